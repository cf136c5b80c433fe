// The figures of the maker page, for the notes (not part of ctest):
//
//   node figures.cjs [chromium|firefox ...] [--song LONG.xm] [--rounds N]
//
// For build-web/quillon-maker.html opened from disk, in each browser: the
// time from opening to a usable page (the page's own clock: every check
// done, the preview started), the time from a keystroke in the text to the
// edited page fully revealed in the preview, and the time from dropping a
// song (a 3-minute one: --song) to its first sound. Also the size of
// quillon-maker.html, raw and gzipped. Environment as for maker_test.cjs
// (QUILLON_WEB_BUILD, QUILLON_NODE_MODULES, QUILLON_MAKER_SONG).
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const { pathToFileURL } = require('url');
const h = require('../web/harness.cjs');

// A song of at least `seconds` made from `song` (lasting `songSeconds`):
// its order list played over as many times as that takes (at most 256
// positions), written beside the figures' output.
function longSong(song, songSeconds, seconds) {
  const bytes = Buffer.from(fs.readFileSync(song));
  const length = bytes.readUInt16LE(64);
  const times = Math.min(Math.ceil(seconds / songSeconds), Math.floor(256 / length));
  const orders = bytes.subarray(80, 80 + length);
  for (let t = 1; t < times; ++t) orders.copy(bytes, 80 + t * length);
  bytes.writeUInt16LE(length * times, 64);
  const file = path.join(require('os').tmpdir(), `long-${path.basename(song)}`);
  fs.writeFileSync(file, bytes);
  return file;
}

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];

async function measure(kind, url, song, rounds) {
  const b = await h.openBrowser(kind);
  try {
    const page = b.page;
    await page.setViewport({ width: 1366, height: 860 });
    await page.goto(url);
    await h.waitFor('the maker', () => page.evaluate(() => !!(window.quillonMaker && window.quillonMaker.ready)), 60000, 20);
    const readyMs = await page.evaluate(() => window.quillonMaker.readyMs);
    await page.click('h1'); // sound
    await h.waitFor('page 1', () => page.evaluate(() => !!window.quillonMaker.shown), 30000, 20);

    // Keystrokes on page 2 (line 40): each a letter typed over a space.
    const keys = [];
    const restarts = []; // of that, from the program's restart to the page
    for (let i = 0; i < rounds; ++i) {
      await page.evaluate((i) => {
        const area = document.getElementById('text');
        const at = area.value.split('\n').slice(0, 39).join('\n').length + 1 + 70 + (i % 8);
        area.focus();
        area.setSelectionRange(at, at + 1);
      }, i);
      const before = await page.evaluate(() => window.quillonMaker.shown.at);
      await page.keyboard.type(String.fromCharCode(65 + i));
      const shown = await h.waitFor('the edited page', () => page.evaluate((before) => {
        const s = window.quillonMaker.shown;
        return s.at > before && s.page === 2 ? s : null;
      }, before), 30000, 10);
      keys.push(Math.round(shown.sinceChange));
      restarts.push(shown.ms);
    }

    // A song dropped: the time until the preview plays it.
    const bytes = fs.readFileSync(song).toString('base64');
    const dropMs = await page.evaluate((name, base64) => new Promise((resolve) => {
      const binary = atob(base64);
      const data = new Uint8Array(binary.length);
      for (let i = 0; i < binary.length; ++i) data[i] = binary.charCodeAt(i);
      const transfer = new DataTransfer();
      transfer.items.add(new File([data], name));
      const started = performance.now();
      const before = window.quillon;
      document.querySelector('.piece[data-piece="song"]').dispatchEvent(
        new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
      const poll = () => {
        const q = window.quillon;
        if (q && q !== before && q.bytesPlayed > 0) resolve(Math.round(performance.now() - started));
        else setTimeout(poll, 5);
      };
      poll();
    }), path.basename(song), bytes);
    return { readyMs, keys, restarts, dropMs };
  } finally {
    await b.close();
  }
}

async function main() {
  const kinds = [];
  // finalman-quickie.xm lasts 96 s: twice over, 3 minutes.
  let song = process.env.QUILLON_MAKER_SONG && longSong(process.env.QUILLON_MAKER_SONG, 96, 180);
  let rounds = 5;
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i] === '--song') song = argv[++i];
    else if (argv[i] === '--rounds') rounds = Number(argv[++i]);
    else kinds.push(argv[i]);
  }
  const file = path.join(h.env('QUILLON_WEB_BUILD'), 'quillon-maker.html');
  const bytes = fs.readFileSync(file);
  console.log(`SIZE: quillon-maker.html ${bytes.length} bytes, gzipped ${zlib.gzipSync(bytes, { level: 9 }).length} bytes`);
  for (const kind of kinds.length ? kinds : ['chromium', 'firefox']) {
    const r = await measure(kind, pathToFileURL(file).href, song, rounds);
    console.log(`FIGURES: ${kind}, file://: usable after ${r.readyMs} ms; keystroke to the page shown ` +
      `${r.keys.join(' ')} ms (median ${median(r.keys)}; the program's restart to the page ${median(r.restarts)}); ${path.basename(song)} dropped to its sound ${r.dropMs} ms`);
  }
}

main().catch((error) => {
  console.error(error.stack || error);
  process.exit(1);
});
