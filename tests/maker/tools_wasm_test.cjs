// The maker page's tools (build-web/maker-tools/quillon-tools.wasm, run by
// maker/tools-runner.js) against the command-line tools of the host build:
// for every input of the table each runs on the same file names, and the
// exit code, stdout, stderr and every file written must be the same, byte
// for byte. The inputs are good and bad pieces of every kind a person
// brings: texts, font, animation and icon pictures and settings, counter
// digits and songs, with the faults people make (a line too long, a picture
// of the wrong size, a JPEG named .png, a cut download, a 200 MB file).
// Last, a file too large for the module's memory must be refused plainly.
//   QUILLON_WEB_BUILD    the browser tree (make web); skipped (77) without its tools module
//   QUILLON_HOST_TOOLS   the host build's tools folder (build/tools)
//   QUILLON_SOURCE       the source tree (resources/, tests/own_content/fixtures)
//   QUILLON_SONG         the built-in song as built (build/resources/MUSIC.xm)
//   QUILLON_SHARED_XM    a folder of real songs (optional)
//   node tools_wasm_test.cjs [SUBSTRING]   runs only the cases whose name holds it
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

const webBuild = process.env.QUILLON_WEB_BUILD;
const hostTools = process.env.QUILLON_HOST_TOOLS;
const source = process.env.QUILLON_SOURCE;
const moduleJs = webBuild && path.join(webBuild, 'maker-tools', 'quillon-tools.js');
const moduleWasm = webBuild && path.join(webBuild, 'maker-tools', 'quillon-tools.wasm');
if (!moduleWasm || !fs.existsSync(moduleWasm)) {
    console.log(`No tools module in ${webBuild || '(QUILLON_WEB_BUILD unset)'}: make web builds it. Skipped.`);
    process.exit(77);
}
const createQuillonTools = require(moduleJs);
const { runTool } = require(path.join(source, 'maker', 'tools-runner.js'));

// ---- Small fixtures made here ----

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k)
        c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
});
function crc32(bytes) {
    let c = 0xffffffff;
    for (const b of bytes)
        c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

// An RGBA PNG of width x height, pixel(x, y) -> [r, g, b, a].
function png(width, height, pixel) {
    const raw = Buffer.alloc(height * (1 + 4 * width));
    for (let y = 0; y < height; ++y)
        for (let x = 0; x < width; ++x)
            Buffer.from(pixel(x, y)).copy(raw, y * (1 + 4 * width) + 1 + 4 * x);
    const chunk = (type, data) => {
        const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
        const out = Buffer.alloc(body.length + 8);
        out.writeUInt32BE(data.length, 0);
        body.copy(out, 4);
        out.writeUInt32BE(crc32(body), body.length + 4);
        return out;
    };
    const header = Buffer.alloc(13);
    header.writeUInt32BE(width, 0);
    header.writeUInt32BE(height, 4);
    header.set([8, 6, 0, 0, 0], 8); // 8 bits, RGBA
    return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
                          chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
}

// The PNG with another size in its header (its checksum made right).
function withSize(picture, width, height) {
    const out = Buffer.from(picture);
    out.writeUInt32BE(width, 16);
    out.writeUInt32BE(height, 20);
    out.writeUInt32BE(crc32(out.subarray(12, 29)), 29);
    return out;
}

// The start of a JPEG (what a photo saved as .png holds).
const JPEG = Buffer.concat([Buffer.from([0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10]), Buffer.from('JFIF\0\x01\x01', 'latin1'),
                            Buffer.alloc(200, 0x7f), Buffer.from([0xff, 0xd9])]);

// An Extended Module of two channels and one pattern of four rows, its one
// instrument a square wave: `cells` [row][channel] = [note, instrument,
// volume, effect, parameter]; `envelope` gives the instrument a volume
// envelope; `sampleLength` 0 makes it silent.
function xm({ cells, envelope = false, sampleLength = 64 }) {
    const parts = [];
    const header = Buffer.alloc(60 + 276);
    header.write('Extended Module: ', 0, 'latin1');
    header.write('table song', 17, 'latin1');
    header[37] = 0x1a;
    header.write('tools_wasm_test', 38, 'latin1');
    header.writeUInt16LE(0x0104, 58);
    header.writeUInt32LE(276, 60);
    header.writeUInt16LE(1, 64);  // song length
    header.writeUInt16LE(0, 66);  // restart
    header.writeUInt16LE(2, 68);  // channels
    header.writeUInt16LE(1, 70);  // patterns
    header.writeUInt16LE(1, 72);  // instruments
    header.writeUInt16LE(1, 74);  // linear frequencies
    header.writeUInt16LE(6, 76);  // speed
    header.writeUInt16LE(125, 78); // tempo
    parts.push(header);
    const data = Buffer.alloc(cells.length * 2 * 5);
    cells.forEach((row, r) => row.forEach((cell, c) => Buffer.from(cell).copy(data, (r * 2 + c) * 5)));
    const pattern = Buffer.alloc(9);
    pattern.writeUInt32LE(9, 0);
    pattern.writeUInt16LE(cells.length, 5);
    pattern.writeUInt16LE(data.length, 7);
    parts.push(pattern, data);
    const instrument = Buffer.alloc(243);
    instrument.writeUInt32LE(243, 0);
    instrument.write('square', 4, 'latin1');
    instrument.writeUInt16LE(1, 27); // samples
    instrument.writeUInt32LE(40, 29);
    if (envelope) {
        instrument.writeUInt16LE(0, 129); // points (x, y): (0, 64), (32, 0)
        instrument.writeUInt16LE(64, 131);
        instrument.writeUInt16LE(32, 133);
        instrument.writeUInt16LE(0, 135);
        instrument[225] = 2;
        instrument[233] = 1;
    }
    parts.push(instrument);
    const sample = Buffer.alloc(40);
    sample.writeUInt32LE(sampleLength, 0);
    sample.writeUInt32LE(0, 4);
    sample.writeUInt32LE(sampleLength, 8); // looped over its whole length
    sample[12] = 64;
    sample[14] = sampleLength ? 1 : 0;
    sample[15] = 128;
    sample.write('square', 18, 'latin1');
    parts.push(sample);
    const wave = Buffer.alloc(sampleLength);
    let last = 0;
    for (let i = 0; i < sampleLength; ++i) { // delta coded
        const value = i < sampleLength / 2 ? 64 : -64;
        wave[i] = (value - last) & 0xff;
        last = value;
    }
    parts.push(wave);
    return Buffer.concat(parts);
}

const C4 = 49;
const plainSong = xm({ cells: [[[C4, 1, 0, 0, 0], [0, 0, 0, 0, 0]], [[0, 0, 0, 0, 0], [C4 + 7, 1, 0, 0, 0]],
                               [[0, 0, 0, 0, 0], [0, 0, 0, 0, 0]], [[97, 0, 0, 0, 0], [0, 0, 0, 0, 0]]] });
// The volume column, tremolo (7xx), a volume envelope: the full player's only.
const fullOnlySong = xm({ envelope: true,
                          cells: [[[C4, 1, 0x30, 7, 0x44], [0, 0, 0, 0, 0]], [[0, 0, 0, 0, 0], [C4 + 7, 1, 0x20, 0, 0]],
                                  [[0, 0, 0, 0, 0], [0, 0, 0, 0, 0]], [[0, 0, 0, 0x21, 0x13], [0, 0, 0, 0, 0]]] });
const silentSong = xm({ sampleLength: 0, cells: [[[C4, 1, 0, 0, 0], [0, 0, 0, 0, 0]], [[0, 0, 0, 0, 0], [0, 0, 0, 0, 0]]] });
// A ProTracker module's mark where it keeps it: a song in the wrong format.
const modSong = Buffer.alloc(1084 + 1024);
modSong.write('M.K.', 1080, 'latin1');

function readSource(relative) { return fs.readFileSync(path.join(source, relative)); }
function fixture(name) { return readSource(path.join('tests/own_content/fixtures', name)); }

const releaseText = readSource('resources/release.txt');
const textLines = releaseText.toString('latin1').split('\n');
if (textLines[textLines.length - 1] === '') textLines.pop();
function withLine(index, line) {
    const lines = textLines.slice();
    lines[index] = line;
    return Buffer.from(lines.join('\n') + '\n', 'latin1');
}
// Page 1's navigation box is on its lines 30 to 32 (29 to 31 counted from 0).
const noNavigationBox = withLine(30, ' '.repeat(80));
const fontStrip = png(784, 12, (x, y) => ((x + y) % 8 < 3 ? [0, 0, 0, 255] : [93, 23, 89, 255]));
const aniStrip = png(5120, 64, (x, y) => ((x >> 4) % 2 && y > 8 && y < 56 ? [200, 160, 40, 255] : [0, 0, 0, 0]));
const iconPicture = png(64, 64, (x, y) => [x * 4, y * 4, 128, 255]);
// Bytes no editor writes: every byte value, over and over.
const junk = Buffer.from(Array.from({ length: 12000 }, (_, i) => (i * 37 + (i >> 7)) & 0xff));
const fpsText = readSource('resources/fps.txt').toString('latin1');

// 200 MB: the size a person may drop by mistake (a video, a whole album).
// Every tool must answer it as the command line does, not crash.
let bigFile;
function big() {
    if (!bigFile) {
        bigFile = Buffer.alloc(200 * 1024 * 1024, 0x41);
        for (let i = 80; i < bigFile.length; i += 81) bigFile[i] = 0x0a;
    }
    return bigFile;
}

const builtInSong = fs.readFileSync(process.env.QUILLON_SONG);

// ---- The table ----
// name, tool, args, files: {name: bytes, or a function giving them}.
const cases = [
    // The release text.
    ['text: the built-in text', 'textc', ['release.txt', 'release.bin'], { 'release.txt': releaseText }],
    ['text: own text, --own', 'textc', ['--own', 'release.txt', 'out.bin'], { 'release.txt': fixture('release.txt') }],
    ['text: a line one too long', 'textc', ['--own', 'long.txt', 'out.bin'], { 'long.txt': fixture('long_line.txt') }],
    ['text: a line of 1000 characters', 'textc', ['--own', 'wide.txt', 'out.bin'],
     { 'wide.txt': withLine(5, 'x'.repeat(1000)) }],
    ['text: binary junk', 'textc', ['--own', 'junk.txt', 'out.bin'], { 'junk.txt': junk }],
    ['text: three lines', 'textc', ['--own', 'short.txt', 'out.bin'], { 'short.txt': fixture('short_text.txt') }],
    ['text: too many lines', 'textc', ['--own', 'many.txt', 'out.bin'], { 'many.txt': fixture('too_many_lines.txt') }],
    ['text: a character outside ASCII', 'textc', ['--own', 'cafe.txt', 'out.bin'],
     { 'cafe.txt': fixture('unknown_character.txt') }],
    ['text: a tab', 'textc', ['--own', 'tab.txt', 'out.bin'], { 'tab.txt': withLine(3, '\t' + ' '.repeat(79)) }],
    ['text: CRLF line ends', 'textc', ['--own', 'crlf.txt', 'out.bin'],
     { 'crlf.txt': Buffer.from(textLines.join('\r\n') + '\r\n', 'latin1') }],
    ['text: no navigation box', 'textc', ['nobox.txt', 'out.bin'], { 'nobox.txt': noNavigationBox }],
    ['text: no navigation box, --own', 'textc', ['--own', 'nobox.txt', 'out.bin'], { 'nobox.txt': noNavigationBox }],
    ['text: empty file', 'textc', ['--own', 'empty.txt', 'out.bin'], { 'empty.txt': Buffer.alloc(0) }],
    ['text: no such file', 'textc', ['--own', 'missing.txt', 'out.bin'], {}],
    ['text: 200 MB', 'textc', ['--own', 'huge.txt', 'out.bin'], { 'huge.txt': big }],
    ['text: no arguments', 'textc', [], {}],
    ['text: an unknown option', 'textc', ['--fast', 'release.txt', 'out.bin'], { 'release.txt': releaseText }],
    ['text: --help', 'textc', ['--help'], {}],
    ['text: --version', 'textc', ['--version'], {}],
    // The font.
    ['font: the built-in grid', 'fontc', ['font.txt', 'font.bmp'], { 'font.txt': readSource('resources/font.txt') }],
    ['font: a strip of the right size', 'fontc', ['--own', 'font.png', 'font.bmp'], { 'font.png': fontStrip }],
    ['font: the strip without --own', 'fontc', ['font.png', 'font.bmp'], { 'font.png': fontStrip }],
    ['font: a picture of the wrong size', 'fontc', ['--own', 'font.png', 'font.bmp'],
     { 'font.png': fixture('wrong_size.png') }],
    ['font: a JPEG named .png', 'fontc', ['--own', 'photo.png', 'font.bmp'], { 'photo.png': JPEG }],
    ['font: a PNG cut short', 'fontc', ['--own', 'cut.png', 'font.bmp'],
     { 'cut.png': fontStrip.subarray(0, fontStrip.length >> 1) }],
    ['font: a picture of 16000x16000 pixels', 'fontc', ['--own', 'wide.png', 'font.bmp'],
     { 'wide.png': withSize(fontStrip, 16000, 16000) }],
    ['font: 200 MB', 'fontc', ['--own', 'huge.png', 'font.bmp'], { 'huge.png': big }],
    // The animation.
    ['ani: the built-in settings', 'anigen', ['ani.txt', 'ani.bmp'], { 'ani.txt': readSource('resources/ani.txt') }],
    ['ani: a strip of the right size', 'anigen', ['--own', 'ani.png', 'ani.bmp'], { 'ani.png': aniStrip }],
    ['ani: a picture of the wrong size', 'anigen', ['--own', 'ani.png', 'ani.bmp'], { 'ani.png': iconPicture }],
    ['ani: a JPEG named .png', 'anigen', ['--own', 'ani.png', 'ani.bmp'], { 'ani.png': JPEG }],
    ['ani: a PNG cut short', 'anigen', ['--own', 'ani.png', 'ani.bmp'], { 'ani.png': aniStrip.subarray(0, 100) }],
    ['ani: junk settings', 'anigen', ['--own', 'ani.txt', 'ani.bmp'], { 'ani.txt': junk }],
    // The icon.
    ['icon: the built-in settings', 'iconc', ['icon.txt', 'icon.ico', 'icon.png'],
     { 'icon.txt': readSource('resources/icon.txt') }],
    ['icon: a square picture', 'iconc', ['icon.png', 'out.ico', 'out.png'], { 'icon.png': iconPicture }],
    ['icon: a picture not square', 'iconc', ['icon.png', 'out.ico', 'out.png'], { 'icon.png': fontStrip }],
    ['icon: a picture too small', 'iconc', ['icon.png', 'out.ico', 'out.png'],
     { 'icon.png': png(32, 32, () => [255, 0, 0, 255]) }],
    ['icon: a JPEG named .png', 'iconc', ['icon.png', 'out.ico', 'out.png'], { 'icon.png': JPEG }],
    ['icon: a PNG cut short', 'iconc', ['icon.png', 'out.ico', 'out.png'],
     { 'icon.png': iconPicture.subarray(0, iconPicture.length - 20) }],
    ['icon: a photo of 3000x3000 pixels', 'iconc', ['photo.png', 'out.ico', 'out.png'],
     { 'photo.png': () => png(3000, 3000, (x, y) => [x & 0xff, y & 0xff, (x ^ y) & 0xff, 255]) }],
    ['icon: too few arguments', 'iconc', ['icon.png', 'out.ico'], { 'icon.png': iconPicture }],
    // The counter's digits.
    ['fps: the built-in grid', 'fpsgen', ['fps.txt', 'fps.bmp'], { 'fps.txt': Buffer.from(fpsText, 'latin1') }],
    ['fps: a row too short', 'fpsgen', ['fps.txt', 'fps.bmp'],
     { 'fps.txt': Buffer.from(fpsText.replace('..######..', '..######.'), 'latin1') }],
    ['fps: a digit missing', 'fpsgen', ['fps.txt', 'fps.bmp'],
     { 'fps.txt': Buffer.from(fpsText.replace('= 7', '= Q'), 'latin1') }],
    ['fps: junk', 'fpsgen', ['fps.txt', 'fps.bmp'], { 'fps.txt': junk }],
    ['fps: --own is not its option', 'fpsgen', ['--own', 'fps.txt', 'fps.bmp'], { 'fps.txt': Buffer.from(fpsText) }],
    // Songs.
    ['song: the built-in', 'xmcheck', ['song.xm'], { 'song.xm': builtInSong }],
    ['song: the built-in, --full', 'xmcheck', ['song.xm', '--full'], { 'song.xm': builtInSong }],
    ['song: within the small player', 'xmcheck', ['plain.xm', '--small'], { 'plain.xm': plainSong }],
    ['song: what the small player ignores', 'xmcheck', ['full.xm', '--small'], { 'full.xm': fullOnlySong }],
    ['song: what the small player ignores, --full', 'xmcheck', ['full.xm', '--full'], { 'full.xm': fullOnlySong }],
    ['song: silent', 'xmcheck', ['silent.xm'], { 'silent.xm': silentSong }],
    ['song: cut short', 'xmcheck', ['cut.xm'], { 'cut.xm': builtInSong.subarray(0, builtInSong.length >> 1) }],
    ['song: cut in its header', 'xmcheck', ['cut.xm'], { 'cut.xm': builtInSong.subarray(0, 70) }],
    ['song: cut in the sample data', 'xmcheck', ['cut.xm', '--full'], { 'cut.xm': plainSong.subarray(0, plainSong.length - 10) }],
    ['song: a ProTracker module', 'xmcheck', ['song.mod'], { 'song.mod': modSong }],
    ['song: not a song at all', 'xmcheck', ['song.xm'], { 'song.xm': JPEG }],
    ['song: 200 MB', 'xmcheck', ['huge.xm'], { 'huge.xm': big }],
    ['song: no such file', 'xmcheck', ['missing.xm'], {}],
    ['song: a wrong option', 'xmcheck', ['song.xm', '--loud'], { 'song.xm': plainSong }],
    // The dispatcher itself: a tool it does not hold.
];
const sharedXm = process.env.QUILLON_SHARED_XM;
if (sharedXm && fs.existsSync(sharedXm))
    for (const name of fs.readdirSync(sharedXm).filter((n) => n.endsWith('.xm')).sort())
        for (const mode of [[], ['--full']])
            cases.push([`song: ${name} ${mode.join(' ')}`.trim(), 'xmcheck', [name, ...mode],
                        { [name]: fs.readFileSync(path.join(sharedXm, name)) }]);

// ---- Running both ----

function filesOf(dir, prefix = '') {
    const out = {};
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
        const full = path.join(dir, entry.name);
        if (entry.isDirectory()) Object.assign(out, filesOf(full, prefix + entry.name + '/'));
        else out[prefix + entry.name] = full;
    }
    return out;
}

function runNative(tool, args, files) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-tools-'));
    try {
        const before = {};
        for (const [name, data] of Object.entries(files)) {
            fs.writeFileSync(path.join(dir, name), data);
            before[name] = fs.statSync(path.join(dir, name)).mtimeMs;
        }
        const run = spawnSync(path.join(hostTools, tool), args, { cwd: dir, maxBuffer: 64 << 20 });
        if (run.error) throw run.error;
        const outputs = {};
        for (const [name, full] of Object.entries(filesOf(dir))) {
            const data = fs.readFileSync(full);
            if (!(name in files) || !data.equals(Buffer.from(files[name])))
                outputs[name] = data;
        }
        return { code: run.status, signal: run.signal, stdout: run.stdout, stderr: run.stderr, outputs };
    } finally {
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

function show(bytes) {
    const text = Buffer.from(bytes).toString('latin1');
    return text.length > 600 ? text.slice(0, 600) + `... (${text.length} bytes)` : text;
}

async function main() {
    const wasmBinary = new Uint8Array(fs.readFileSync(moduleWasm));
    const only = process.argv[2];
    let failures = 0;
    for (const [name, tool, args, given] of cases) {
        if (only && !name.includes(only)) continue;
        const files = {};
        for (const [file, data] of Object.entries(given))
            files[file] = typeof data === 'function' ? data() : data;
        const native = runNative(tool, args, files);
        const started = process.hrtime.bigint();
        const wasm = await runTool(createQuillonTools, wasmBinary, tool, args, files);
        const ms = Number(process.hrtime.bigint() - started) / 1e6;
        const faults = [];
        if (native.signal) faults.push(`the native tool died of ${native.signal}`);
        if (wasm.crashed) faults.push('the wasm tool crashed');
        if (wasm.code !== native.code) faults.push(`exit code: native ${native.code}, wasm ${wasm.code}`);
        if (!Buffer.from(wasm.stdoutBytes).equals(native.stdout))
            faults.push(`stdout differs:\n--- native\n${show(native.stdout)}\n--- wasm\n${show(wasm.stdoutBytes)}`);
        if (!Buffer.from(wasm.stderrBytes).equals(native.stderr))
            faults.push(`stderr differs:\n--- native\n${show(native.stderr)}\n--- wasm\n${show(wasm.stderrBytes)}`);
        const names = [...new Set([...Object.keys(native.outputs), ...Object.keys(wasm.outputs)])].sort();
        for (const file of names) {
            if (!(file in wasm.outputs)) faults.push(`${file}: written natively only`);
            else if (!(file in native.outputs)) faults.push(`${file}: written by the wasm only`);
            else if (!Buffer.from(wasm.outputs[file]).equals(native.outputs[file]))
                faults.push(`${file}: the bytes differ (native ${native.outputs[file].length}, wasm ${wasm.outputs[file].length})`);
        }
        // A decoded text equal to the bytes: what the page shows is what was written.
        if (wasm.stderr !== new TextDecoder().decode(wasm.stderrBytes)) faults.push('stderr text is not its bytes');
        const summary = `exit ${wasm.code}, ${names.length} file(s) written, ${ms.toFixed(0)} ms`;
        if (faults.length) {
            ++failures;
            console.log(`FAIL ${name} (${summary})\n  ${faults.join('\n  ')}`);
        } else {
            console.log(`ok   ${name} (${summary})`);
        }
    }
    // The module's own word for a tool it does not hold.
    const unknown = await runTool(createQuillonTools, wasmBinary, 'songc', ['score.txt'], {});
    if (unknown.code !== 2 || !unknown.stderr.startsWith('usage: quillon-tools TOOL')) {
        ++failures;
        console.log(`FAIL an unknown tool: exit ${unknown.code}, stderr ${JSON.stringify(unknown.stderr)}`);
    } else {
        console.log('ok   an unknown tool is named in the usage, exit 2');
    }
    // Beyond what the module's memory holds (the command line, with the
    // machine's memory, would go on): a plain refusal, nothing written, and
    // the next run unharmed.
    bigFile = null;
    const refused = await runTool(createQuillonTools, wasmBinary, 'textc', ['--own', 'huge.txt', 'out.bin'],
                                  { 'huge.txt': Buffer.alloc(700 << 20, 0x41) });
    const next = await runTool(createQuillonTools, wasmBinary, 'textc', ['--version'], {});
    if (refused.code !== 1 || refused.crashed || Object.keys(refused.outputs).length ||
        !/^textc: not enough memory for this input \(the page's tools have \d+ MB in all; is it the right file\?\)\n$/
            .test(refused.stderr) || next.code !== 0) {
        ++failures;
        console.log(`FAIL 700 MB: exit ${refused.code}, crashed ${refused.crashed}, stderr ${JSON.stringify(refused.stderr)}` +
                    `, the next run's exit ${next.code}`);
    } else {
        console.log('ok   700 MB is refused for want of memory, and the next run works');
    }
    if (failures) {
        console.log(`${failures} case(s) differ`);
        process.exit(1);
    }
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
