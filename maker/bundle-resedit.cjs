// Makes the resedit bundle maker/windows-exe.js works with: resedit and
// pe-library (npm, from platform/web/package-lock.json) in one classic
// script that sets globalThis.QuillonResEdit, minified, their licences at its
// head, so the maker page can inline it and node can run it as it is.
//
//   node bundle-resedit.cjs --node-modules DIR --out resedit.js
'use strict';
const fs = require('fs');
const path = require('path');

function main() {
  const args = process.argv.slice(2);
  const option = (name) => {
    const at = args.indexOf(`--${name}`);
    if (at < 0 || at + 1 >= args.length) throw new Error(`--${name} is missing`);
    return args[at + 1];
  };
  const modules = path.resolve(option('node-modules'));
  const out = option('out');
  const esbuild = require(path.join(modules, 'esbuild'));
  const licences = ['resedit', 'pe-library'].map((name) => {
    const info = JSON.parse(fs.readFileSync(path.join(modules, name, 'package.json'), 'utf8'));
    const text = fs.readFileSync(path.join(modules, name, 'LICENSE'), 'utf8').trim();
    return `${name} ${info.version} (${info.license}):\n${text}`;
  });
  const result = esbuild.buildSync({
    stdin: { contents: "export { NtExecutable, NtExecutableResource, Data, Resource } from 'resedit';", resolveDir: modules },
    nodePaths: [modules],
    bundle: true,
    format: 'iife',
    globalName: 'QuillonResEdit',
    minify: true,
    legalComments: 'none',
    platform: 'neutral',
    target: 'es2020',
    write: false,
  });
  const code = result.outputFiles[0].text;
  // Inlined in a <script> element by the maker's bundle.
  if (/<\/script|<!--/i.test(code)) throw new Error('the bundle holds text that would end its inline <script>');
  const head = `/*\n${licences.join('\n\n').replace(/\*\//g, '* /')}\n*/\n`;
  fs.writeFileSync(out, `${head}${code}`);
}

try {
  main();
} catch (error) {
  console.error(`bundle-resedit.cjs: ${error.message}`);
  process.exit(1);
}
