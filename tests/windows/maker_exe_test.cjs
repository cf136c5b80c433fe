// maker/windows-exe.js on the built maker exe, in node with the resedit
// bundle the page inlines: what the rewrite keeps, what it fixes, what it
// writes, and what it refuses.
//   MAKER_EXE   build-windows-x64/maker/quillon-maker.exe
//   RESEDIT_JS  build-windows-x64/maker/resedit.js
//   MAKER_CONTENT  the test's release.bin and MUSIC.xm (native tree)
//   HOST_RES    the native tree's resources/ (the built-in BMPs and icon)
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const vm = require('vm');

vm.runInThisContext(fs.readFileSync(process.env.RESEDIT_JS, 'utf8'), { filename: process.env.RESEDIT_JS });
const resedit = globalThis.QuillonResEdit;
const windowsExe = require(path.join(__dirname, '../../maker/windows-exe.js'));
const { makeWindowsExe, readLayout, WindowsExeError } = windowsExe;

const exe = new Uint8Array(fs.readFileSync(process.env.MAKER_EXE));
const content = (name) => new Uint8Array(fs.readFileSync(path.join(process.env.MAKER_CONTENT, name)));
const hostRes = (name) => new Uint8Array(fs.readFileSync(path.join(process.env.HOST_RES, name)));
const TEXT = content('release.bin');
const SONG = content('MUSIC.xm');

const roundUp = (n, a) => Math.ceil(n / a) * a;

// The PE checksum as Windows computes it: the file's 16-bit words summed
// with the carries folded in, the checksum field itself left out, plus the
// file's length.
function peChecksum(bytes, checkSumAt) {
  let sum = 0;
  for (let i = 0; i + 1 < bytes.length; i += 2) {
    if (i === checkSumAt || i === checkSumAt + 2) continue;
    sum += bytes[i] | (bytes[i + 1] << 8);
    sum = (sum & 0xffff) + (sum >>> 16);
  }
  if (bytes.length & 1) {
    sum += bytes[bytes.length - 1];
    sum = (sum & 0xffff) + (sum >>> 16);
  }
  return (sum + bytes.length) >>> 0;
}

function sectionBytes(bytes, s) {
  return Buffer.from(bytes.subarray(s.pointerToRawData, s.pointerToRawData + s.sizeOfRawData));
}

// The resources of an exe as {"type/name": bytes}, read back with resedit.
function resources(bytes) {
  const res = resedit.NtExecutableResource.from(resedit.NtExecutable.from(bytes));
  const out = {};
  for (const e of res.entries) out[`${e.type}/${e.id}`] = Buffer.from(e.bin);
  return { res, out };
}

function versionStrings(bytes) {
  const { res } = resources(bytes);
  const [version] = resedit.Resource.VersionInfo.fromEntries(res.entries);
  const [language] = version.getAllLanguagesForStringValues();
  return version.getStringValues(language);
}

// Each rewrite keeps every section but .rsrc byte for byte, in its place,
// .reloc excepted only in its place: it follows .rsrc, and its directory
// entry follows it. The headers change only where they must: the checksum,
// SizeOfImage, the resource and relocation entries and the two sections'
// rows of the table.
const rewrites = [
  { what: 'the test text and song, the small player', content: { name: 'Lantern', text: TEXT, music: SONG, player: 'small' } },
  { what: 'a song of a few bytes (the section shrinks)', content: { name: 'Tiny', music: SONG.subarray(0, 400) } },
  {
    what: 'a song of 3 MB (the section grows past .reloc)',
    content: { name: 'Big', music: new Uint8Array(3 * 1024 * 1024).fill(7) },
  },
  {
    what: 'every piece',
    content: {
      name: 'Every Piece', description: 'All of it', text: TEXT, music: SONG, player: 'full',
      font: hostRes('FONT.bmp'), ani: hostRes('ANI.bmp'), fps: hostRes('FPS.bmp'), icon: hostRes('quillon.ico'),
    },
  },
];

test('a rewrite keeps every other section and fixes the headers', () => {
  const before = readLayout(exe);
  const rsrcBefore = before.sections.find((s) => s.name === '.rsrc');
  const align = 0x1000;
  const relocBefore = before.sections.find((s) => s.name === '.reloc');
  const relocMoves = [];
  for (const c of rewrites) {
    const copy = exe.slice();
    const out = makeWindowsExe(copy, c.content, { resedit });
    assert.deepStrictEqual(copy, exe, `${c.what}: the exe given is left as it was`);
    const after = readLayout(out);
    assert.deepStrictEqual(after.sections.map((s) => s.name), before.sections.map((s) => s.name), c.what);
    const rsrc = after.sections.find((s) => s.name === '.rsrc');
    const reloc = after.sections.find((s) => s.name === '.reloc');
    for (const [i, s] of before.sections.entries()) {
      const t = after.sections[i];
      if (s.name === '.rsrc') continue;
      assert.ok(sectionBytes(out, t).equals(sectionBytes(exe, s)), `${c.what}: ${s.name} keeps its bytes`);
      if (s.name === '.reloc') continue;
      assert.deepStrictEqual(t, s, `${c.what}: ${s.name} keeps its place`);
    }
    assert.strictEqual(rsrc.virtualAddress, rsrcBefore.virtualAddress, c.what);
    assert.strictEqual(rsrc.pointerToRawData, rsrcBefore.pointerToRawData, c.what);
    assert.strictEqual(rsrc.sizeOfRawData, roundUp(rsrc.virtualSize, 0x200), `${c.what}: .rsrc's raw size`);
    assert.deepStrictEqual(after.dirs[2], { virtualAddress: rsrc.virtualAddress, size: rsrc.virtualSize }, c.what);
    assert.strictEqual(reloc.virtualAddress, roundUp(rsrc.virtualAddress + rsrc.virtualSize, align), c.what);
    relocMoves.push(Math.sign(reloc.virtualAddress - relocBefore.virtualAddress));
    assert.strictEqual(reloc.pointerToRawData, rsrc.pointerToRawData + rsrc.sizeOfRawData, c.what);
    assert.deepStrictEqual(after.dirs[5], { virtualAddress: reloc.virtualAddress, size: before.dirs[5].size }, c.what);
    assert.strictEqual(after.sizeOfImage, roundUp(reloc.virtualAddress + reloc.virtualSize, align), c.what);
    assert.strictEqual(out.length, reloc.pointerToRawData + reloc.sizeOfRawData, `${c.what}: nothing after .reloc`);
    assert.notStrictEqual(before.checkSum, 0, 'the built exe carries a checksum');
    assert.strictEqual(before.checkSum, peChecksum(exe, before.checkSumAt), 'the checksum is computed as the linker does');
    assert.strictEqual(after.checkSum, peChecksum(out, after.checkSumAt), `${c.what}: the checksum`);
    // Every other header byte as built.
    const headersEnd = Math.min(...before.sections.filter((s) => s.pointerToRawData).map((s) => s.pointerToRawData));
    const mask = (bytes, layout) => {
      const b = Buffer.from(bytes.subarray(0, headersEnd));
      const nt = b.readUInt32LE(60);
      const optional = nt + 24;
      b.fill(0, layout.checkSumAt, layout.checkSumAt + 4);
      b.fill(0, optional + 56, optional + 60);
      b.fill(0, optional + 112 + 16, optional + 112 + 24);
      b.fill(0, optional + 112 + 40, optional + 112 + 48);
      const table = optional + b.readUInt16LE(nt + 20);
      for (const [i, s] of layout.sections.entries())
        if (s.name === '.rsrc' || s.name === '.reloc') b.fill(0, table + 40 * i + 8, table + 40 * i + 24);
      return b;
    };
    assert.ok(mask(out, after).equals(mask(exe, before)), `${c.what}: the other header bytes`);
  }
  // The cases moved .reloc both ways.
  assert.ok(relocMoves.includes(1) && relocMoves.includes(-1), `.reloc moves: ${relocMoves}`);
});

test('the resources hold the pieces, the rest as built', () => {
  const built = resources(exe).out;
  assert.strictEqual(built['10/PLAYER'], undefined, 'the built exe has no PLAYER: its default player plays');
  const every = rewrites[3].content;
  const out = makeWindowsExe(exe, every, { resedit });
  const got = resources(out).out;
  const expected = {
    '2/FONT': every.font.subarray(14), '2/ANI': every.ani.subarray(14), '2/FPS': every.fps.subarray(14),
    '10/MUSIC': every.music, '10/TEXT': every.text, '10/PLAYER': Buffer.from('full'),
  };
  for (const [key, bytes] of Object.entries(expected)) assert.ok(got[key].equals(Buffer.from(bytes)), key);
  // Only the pieces given change: the song alone leaves the rest as built.
  const songOnly = resources(makeWindowsExe(exe, { name: 'x', music: SONG }, { resedit })).out;
  for (const key of ['2/FONT', '2/ANI', '2/FPS', '10/TEXT', '14/104', '24/1'])
    assert.ok(songOnly[key].equals(built[key]), `${key} as built`);
  assert.ok(songOnly['10/MUSIC'].equals(Buffer.from(SONG)));
  // The icon group names as many icons as the .ico holds, each of its bytes.
  const ico = Buffer.from(every.icon);
  const icons = ico.readUInt16LE(4);
  assert.strictEqual(got['14/104'].readUInt16LE(4), icons);
  for (let i = 0; i < icons; ++i) {
    const size = ico.readUInt32LE(6 + 16 * i + 8), at = ico.readUInt32LE(6 + 16 * i + 12);
    const id = got['14/104'].readUInt16LE(6 + 14 * i + 12);
    assert.ok(got[`3/${id}`].equals(ico.subarray(at, at + size)), `icon ${i}`);
  }
});

test('the version details carry the name and description', () => {
  const built = versionStrings(exe);
  const cases = [
    { name: 'Lantern Nights', description: 'Our release, in four pages', shown: 'Our release, in four pages' },
    { name: 'Ünïcode ☃', description: '', shown: 'Ünïcode ☃' },
    { name: 'n'.repeat(64), description: 'd'.repeat(200), shown: 'd'.repeat(200) },
  ];
  for (const c of cases) {
    const got = versionStrings(makeWindowsExe(exe, { name: c.name, description: c.description }, { resedit }));
    assert.deepStrictEqual(got, {
      FileDescription: c.shown,
      FileVersion: built.FileVersion,
      InternalName: c.name,
      OriginalFilename: `${c.name}.exe`,
      ProductName: c.name,
      ProductVersion: built.ProductVersion,
      LegalCopyright: built.LegalCopyright,
      Comments: `Made with Quillon ${built.ProductVersion}`,
    }, c.name);
  }
});

test('a piece the program cannot take is refused with its message', () => {
  const bmp = (file, patch) => {
    const b = Buffer.from(hostRes(file));
    patch(b);
    return b;
  };
  const cases = [
    ['text', { text: TEXT.subarray(1) }, /^The release text is 10,239 bytes; the program takes exactly 10,240/],
    ['text', { text: new Uint8Array(10241) }, /^The release text is 10,241 bytes/],
    ['music', { music: new Uint8Array(32 * 1024 * 1024 + 1) },
      /^The song is 33,554,433 bytes; the Windows program takes songs of at most 33,554,432 bytes \(32 MB\)\.$/],
    ['music', { music: new Uint8Array(0) }, /^The song is empty\.$/],
    ['player', { player: 'medium' }, /^The player is "medium"; it is "small" or "full"\.$/],
    ['player', { player: 'Full' }, /^The player is "Full"/],
    ['font', { font: hostRes('ANI.bmp') }, /^The font is 5120 x 64 pixels; the program takes 784 x 12\.$/],
    ['ani', { ani: hostRes('FONT.bmp') }, /^The animation is 784 x 12 pixels; the program takes 5120 x 64\.$/],
    ['fps', { fps: hostRes('quillon.png') }, /^The counter digit strip is no BMP file\.$/],
    ['fps', { fps: hostRes('FPS.bmp').subarray(0, 400) }, /^The counter digit strip is cut short: 400 bytes, too few for its pixels\.$/],
    ['font', { font: bmp('FONT.bmp', (b) => b.writeUInt32LE(1, 30)) }, /^The font is a kind of BMP the program cannot read/],
    ['font', { font: bmp('FONT.bmp', (b) => b.writeUInt16LE(2, 28)) }, /^The font is a kind of BMP/],
    ['font', { font: bmp('FONT.bmp', (b) => b.writeUInt32LE(0, 10)) }, /^The font is cut short/],
    ['icon', { icon: hostRes('quillon.png') }, /^The icon is no \.ico file\.$/],
    ['icon', { icon: hostRes('quillon.ico').subarray(0, 100) }, /^The icon file is cut short\.$/],
    ['name', { name: '' }, /^The name is empty\.$/],
    ['name', { name: 'n'.repeat(65) }, /^The name is 65 characters long; the Windows program's details take at most 64\.$/],
    ['name', { name: 'a/b' }, /^The name holds "\/", which a Windows file name cannot hold\.$/],
    ['name', { name: 'tab\there' }, /^The name holds a control character/],
    ['name', { name: 'dots...' }, /ends in a dot or a space/],
    ['name', { name: 'CON' }, /^The name "CON" is one that Windows keeps for a device\.$/],
    ['description', { description: 'd'.repeat(201) }, /^The description is 201 characters long; .* at most 200\.$/],
    ['description', { description: 'two\nlines' }, /^The description is one line/],
  ];
  for (const [piece, change, message] of cases) {
    const given = { name: 'Refused', text: TEXT, music: SONG, ...change };
    assert.throws(() => makeWindowsExe(exe, given, { resedit }), (error) => {
      assert.ok(error instanceof WindowsExeError, `${piece}: ${error.stack}`);
      assert.strictEqual(error.piece, piece);
      assert.match(error.message, message);
      return true;
    }, `${piece} ${JSON.stringify(Object.keys(change))}`);
  }
  // The page's own limit, where it gives one.
  assert.throws(() => makeWindowsExe(exe, { name: 'x', music: SONG }, { resedit, songLimitBytes: SONG.length - 1 }),
    /^WindowsExeError: The song is [0-9,]+ bytes; the Windows program takes songs of at most/);
  makeWindowsExe(exe, { name: 'x', music: SONG }, { resedit, songLimitBytes: SONG.length });
});

test('an exe this rewrite cannot keep whole is refused, not mangled', () => {
  const moved = exe.slice();
  // .reloc named otherwise: a section after the resources that the code
  // might address.
  const layout = readLayout(moved);
  const nt = Buffer.from(moved.buffer).readUInt32LE(60);
  const table = nt + 24 + Buffer.from(moved.buffer).readUInt16LE(nt + 20);
  const i = layout.sections.findIndex((s) => s.name === '.reloc');
  moved.set(Buffer.from('.data2\0\0'), table + 40 * i);
  const cases = [
    [new Uint8Array(1000), /is no PE file/],
    [moved, /a section other than \.reloc follows its resources/],
  ];
  for (const [bytes, message] of cases)
    assert.throws(() => makeWindowsExe(bytes, { name: 'x' }, { resedit }), (error) => {
      assert.ok(error instanceof WindowsExeError);
      assert.strictEqual(error.piece, 'exe');
      assert.match(error.message, message);
      return true;
    });
});

// A page has no Buffer, and pe-library takes other paths there (its
// section-name writer among them): the same content gives the same bytes.
test('without node\'s Buffer, as in a page, the rewrite gives the same exe', () => {
  const every = rewrites[3].content;
  const inNode = makeWindowsExe(exe, every, { resedit });
  const nodeBuffer = globalThis.Buffer;
  let inPage;
  try {
    delete globalThis.Buffer;
    assert.strictEqual(typeof Buffer, 'undefined');
    inPage = makeWindowsExe(exe, every, { resedit });
  } finally {
    globalThis.Buffer = nodeBuffer;
  }
  assert.ok(Buffer.from(inPage).equals(Buffer.from(inNode)));
});
