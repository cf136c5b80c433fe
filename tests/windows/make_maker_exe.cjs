// The maker's Windows exe made from files, as the maker page makes it
// (maker/windows-exe.js with the resedit bundle): the Wine test's driver.
//
//   node make_maker_exe.cjs --resedit resedit.js --exe quillon-maker.exe --out NAME.exe --name NAME
//        [--description LINE] [--text release.bin] [--music song.xm] [--player small|full]
//        [--font FONT.bmp] [--ani ANI.bmp] [--fps FPS.bmp] [--icon quillon.ico] [--song-limit BYTES]
//
// Prints the time the rewrite took. A piece the program cannot take: its
// message on stderr, exit 1, no file written.
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const FILES = ['text', 'music', 'font', 'ani', 'fps', 'icon'];

function main() {
  const args = process.argv.slice(2);
  const o = {};
  for (let i = 0; i < args.length; i += 2) {
    if (!args[i].startsWith('--') || i + 1 >= args.length) throw new Error(`unexpected argument ${args[i]}`);
    o[args[i].slice(2)] = args[i + 1];
  }
  for (const name of ['resedit', 'exe', 'out', 'name']) if (o[name] === undefined) throw new Error(`--${name} is missing`);
  vm.runInThisContext(fs.readFileSync(o.resedit, 'utf8'), { filename: o.resedit });
  const { makeWindowsExe, WindowsExeError } = require(path.join(__dirname, '../../maker/windows-exe.js'));
  const content = { name: o.name };
  if (o.description !== undefined) content.description = o.description;
  if (o.player !== undefined) content.player = o.player;
  for (const key of FILES) if (o[key] !== undefined) content[key] = fs.readFileSync(o[key]);
  const options = o['song-limit'] ? { songLimitBytes: Number(o['song-limit']) } : {};
  const exe = fs.readFileSync(o.exe);
  const start = process.hrtime.bigint();
  let out;
  try {
    out = makeWindowsExe(exe, content, options);
  } catch (error) {
    if (!(error instanceof WindowsExeError)) throw error;
    console.error(`refused (${error.piece}): ${error.message}`);
    process.exit(1);
  }
  const ms = Number(process.hrtime.bigint() - start) / 1e6;
  fs.writeFileSync(o.out, out);
  console.log(`${o.out}: ${out.length} bytes, made in ${ms.toFixed(0)} ms`);
}

try {
  main();
} catch (error) {
  console.error(`make_maker_exe.cjs: ${error.stack}`);
  process.exit(2);
}
