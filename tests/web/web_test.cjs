// The presentation as one web page, build-web/quillon.html, in headless
// Chromium and Firefox:
//   node web_test.cjs chromium|firefox CASE
// Each case starts one browser (see harness.cjs) and drives the page as a
// visitor would, opened from disk and from the page's own server, with and
// without the headers of cross-origin isolation.
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');
const h = require('./harness.cjs');
const { labelShown, counterFigure } = require('./counter.cjs');

// Where the scene puts things (display/frame.h).
const BAR_HEIGHT = 24;            // the star strips at the top and bottom
const ANI_BOX = { x: 510, y: 416 }; // the animation, to the bottom right corner

// The still part of the screen between the star strips, without the
// animation box: equal to the snapshot once a page is fully revealed.
function stillDifferences(canvas, snapshot) {
  let differences = 0;
  for (let y = BAR_HEIGHT; y < h.HEIGHT - BAR_HEIGHT; ++y)
    for (let x = 0; x < h.WIDTH; ++x) {
      if (x >= ANI_BOX.x && y >= ANI_BOX.y) continue;
      if (h.rgbaPixel(canvas, x, y) !== snapshot.pixel(x, y)) ++differences;
    }
  return differences;
}

async function waitForPicture(what, page, snapshot, out, timeoutMs = 30000) {
  let last = null;
  try {
    await h.waitFor(what, async () => {
      last = await h.canvasPixels(page);
      return stillDifferences(last, snapshot) === 0;
    }, timeoutMs, 50);
  } catch (error) {
    h.writePpm(path.join(out, `${what.replace(/\W+/g, '-')}-last.ppm`), last);
    throw new Error(`${error.message} (${stillDifferences(last, snapshot)} pixels differ; the last canvas is in ${out})`);
  }
}

async function startByClick(b, page = b.page) {
  const before = b.lines.filter((l) => /^quillon: started/.test(l)).length;
  await page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
  await h.waitFor('the start', () => b.lines.filter((l) => /^quillon: started/.test(l)).length > before, 30000);
}

// xmrender's rendering of the song from its start, as 16-bit samples.
function rendered(out, seconds) {
  const wav = path.join(out, `xmrender-${seconds}s.wav`);
  const render = spawnSync(h.env('QUILLON_XMRENDER'), [h.env('QUILLON_SONG'), wav, '--seconds', String(seconds)],
    { encoding: 'utf8' });
  if (render.status !== 0) throw new Error(`xmrender failed: ${render.stderr}`);
  return new Int16Array(readWavData(wav));
}

// The samples the audio player captured (?capture=SECONDS), once complete.
async function captured(b, page) {
  await h.waitFor('the captured samples', () => page.evaluate(() => window.quillon.capture !== null), 60000, 200);
  const base64 = await page.evaluate(() => {
    const bytes = new Uint8Array(window.quillon.capture.buffer);
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  });
  const bytes = Buffer.from(base64, 'base64');
  return new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length / 2);
}

// The samples played equal xmrender's, sample for sample, from the song's
// first frame. Both are aligned by their first frame that is not silent, so
// a lead-in of silence on either side shows as an offset rather than as a
// mismatch; a gap or a repeat anywhere shows as a mismatch, named in blocks
// of 884 frames where the stream goes on shifted.
function compareSound(played, expected, what) {
  const BLOCK = 884;
  const firstSound = (s) => { for (let i = 0; i < s.length; ++i) if (s[i] !== 0) return i >> 1; return -1; };
  const a = firstSound(played), e = firstSound(expected);
  if (a < 0 || e < 0) throw new Error(`${what}: no sound: first non-zero frame played ${a}, rendered ${e}`);
  if (a !== e) throw new Error(`${what}: the start is shifted by ${a - e} frames`);
  const frames = Math.min(played.length / 2 - a, expected.length / 2 - e);
  const same = (i, shift) => played[2 * (a + i)] === expected[2 * (e + i + shift)] &&
    played[2 * (a + i) + 1] === expected[2 * (e + i + shift) + 1];
  for (let i = 0; i < frames; ++i) {
    if (same(i, 0)) continue;
    let shifted = '';
    for (let blocks = -3; blocks <= 3 && !shifted; ++blocks) {
      if (!blocks) continue;
      let ok = 0;
      for (let j = i + 2 * BLOCK; j < i + 3 * BLOCK && j + blocks * BLOCK < frames && j < frames; ++j) ok += same(j, blocks * BLOCK);
      if (ok === BLOCK) shifted = `; from there on it plays ${Math.abs(blocks)} block(s) ${blocks > 0 ? 'ahead (missing)' : 'behind (doubled)'}`;
    }
    throw new Error(`${what}: frame ${i} (${(i / 44100).toFixed(3)} s) played ${played[2 * (a + i)]},${played[2 * (a + i) + 1]}, ` +
      `xmrender ${expected[2 * (e + i)]},${expected[2 * (e + i) + 1]}${shifted}`);
  }
  return frames;
}

// The figure the counter shows, read once a second for `seconds`.
async function readCounter(page, fps, seconds) {
  await h.waitFor('a figure', async () => counterFigure(await h.canvasPixels(page), fps), 5000, 100);
  const figures = [];
  const start = Date.now();
  while (Date.now() - start < seconds * 1000) {
    await h.sleep(1000);
    // A star drawn over a digit spoils a reading; the next frame has it elsewhere.
    figures.push(await h.waitFor('a readable figure', async () => counterFigure(await h.canvasPixels(page), fps),
      2000, 20));
  }
  return figures;
}

// The page's three ways of being opened: from disk, from a plain static
// server (no special headers) and from one that sends the headers of
// cross-origin isolation. Each serves the one file.
const ORIGINS = [
  { name: 'file', open: async (c) => pathToFileURL(path.join(c.build, 'quillon.html')).href },
  { name: 'plain server', open: async (c) => `${(await c.server()).url}quillon.html` },
  { name: 'isolated server', open: async (c) => `${(await c.server({ isolation: true })).url}quillon.html` },
];

const CAPTURE_SECONDS = 4;

const cases = {
  // Opened in each of the three ways, in one browser: page 1 as the
  // snapshot shows it, page 2 after a right click, the counter after the
  // space bar, after a left click the closing and the end screen, and from
  // there a second start; meanwhile the audio player's first 4 s equal
  // xmrender; and no request leaves the file.
  async presentation(c) {
    const shots = h.snapshots(['page1', 'page2']);
    const fps = h.snapshots(['page1'], 'FPS').page1;
    const expected = rendered(c.out, CAPTURE_SECONDS + 1);
    const b = await c.browser();
    let page = b.page;
    for (const origin of ORIGINS) {
      console.log(`-- ${c.kind}, ${origin.name}`);
      const url = await origin.open(c);
      if (page === null) page = await b.newPage();
      b.requests.length = 0;
      const startScreens = b.lines.filter((l) => /^quillon: start screen/.test(l)).length;
      const started = Date.now();
      await page.goto(`${url}?capture=${CAPTURE_SECONDS}`);
      await h.waitFor('the start screen', () => b.lines.filter((l) => /^quillon: start screen/.test(l)).length > startScreens,
        30000, 20);
      const startScreenMs = Date.now() - started;
      await startByClick(b, page);
      await waitForPicture(`page 1 ${origin.name}`, page, shots.page1, c.out);
      if (origin.name === 'file') await page.screenshot({ path: path.join(c.out, 'page1.png') });
      await page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2, { button: 'right' });
      await waitForPicture(`page 2 ${origin.name}`, page, shots.page2, c.out);

      await page.keyboard.press(' ');
      await h.waitFor('the counter', async () => labelShown(await h.canvasPixels(page), fps), 10000, 50);
      const figures = await readCounter(page, fps, 2);
      console.log(`COUNTER: ${c.kind}, ${origin.name}: ${figures.join(' ')}; start screen after ${startScreenMs} ms`);
      // A display's rate is 50 Hz or more; a Flip that missed the page's
      // animation frames would fall to 10 per second.
      if (Math.min(...figures) < 30) throw new Error(`the counter shows ${figures.join(' ')}, far below the display's rate`);

      const frames = compareSound(await captured(b, page), expected, `${c.kind}, ${origin.name}`);
      console.log(`SOUND: ${c.kind}, ${origin.name}: ${frames} frames (${(frames / 44100).toFixed(2)} s) equal to xmrender`);
      if (frames < 3 * 44100) throw new Error(`only ${frames} frames compared`);

      await page.keyboard.press(' ');
      await page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
      await h.waitFor('the end screen', () => page.evaluate(() => window.quillon.exitCode === 1 &&
        !document.getElementById('ended').hidden), 20000);
      const text = await page.evaluate(() => document.getElementById('ended').innerText);
      if (!/The presentation has ended\./.test(text) || !/Start again/.test(text))
        throw new Error(`the end screen says "${text}"`);
      if (origin.name === 'file') await page.screenshot({ path: path.join(c.out, 'ended.png') });

      // Starting again loads a fresh program, which runs as the first did.
      const sounds = b.lines.filter((l) => /^quillon: sound on/.test(l)).length;
      await page.click('#restart');
      await h.waitFor('a second start', () => page.evaluate(() => window.quillon.state === 'running'), 30000);
      await h.waitFor('sound again', () => b.lines.filter((l) => /^quillon: sound on/.test(l)).length > sounds, 10000);
      const again = await page.evaluate(() => window.quillon.presented);
      await h.waitFor('frames of the second run',
        async () => (await page.evaluate(() => window.quillon.presented)) > again + 30, 20000);

      // Nothing is fetched but the page itself ("data:" is the page's own
      // empty icon, "blob:" and "data:" its audio player).
      const page0 = url.replace(/[?#].*$/, '');
      const others = b.requests.filter((r) => r.replace(/[?#].*$/, '') !== page0 && !/^(data|blob):/.test(r));
      if (others.length) throw new Error(`${origin.name}: the page requested ${others.join(', ')}`);
      console.log(`REQUESTS: ${c.kind}, ${origin.name}: ${b.requests.length} (${[...new Set(b.requests.map((r) => r.split(':')[0]))].join(', ')})`);
      await page.close();
      page = null;
    }
  },

  // The sound under load: with a second process spinning a core of the
  // two, the first 20 s the audio player plays equal xmrender's, with no
  // block missing or doubled.
  async load(c) {
    const SECONDS = 20;
    const expected = rendered(c.out, SECONDS + 1);
    c.spinner();
    const b = await c.browser();
    await b.page.goto(`${pathToFileURL(path.join(c.build, 'quillon.html')).href}?capture=${SECONDS}`);
    await b.waitForLog(/^quillon: start screen/, 30000);
    await startByClick(b);
    const played = await captured(b, b.page);
    const silent = await b.page.evaluate(() => window.quillon.silentFrames);
    const frames = compareSound(played, expected, `${c.kind} under load`);
    console.log(`LOAD: ${c.kind}: ${frames} frames (${(frames / 44100).toFixed(2)} s) equal to xmrender, ` +
      `${silent} frames of silence where the player ran dry`);
    if (frames < (SECONDS - 1) * 44100) throw new Error(`only ${frames} frames compared`);
  },

  // Nothing runs before the visitor's first key: no program, no sound. The
  // key (space, which would switch the counter on) starts everything but
  // never reaches the program. Nothing is evaluated in the page before it,
  // as an evaluation would count as a gesture. Then the page hidden and
  // shown again, as a minimise and restore.
  async startGesture(c) {
    const fps = h.snapshots(['page1'], 'FPS').page1;
    const b = await c.browser();
    await b.page.goto(pathToFileURL(path.join(c.build, 'quillon.html')).href);
    await b.waitForLog(/^quillon: start screen/, 30000);
    await b.page.screenshot({ path: path.join(c.out, 'start.png') });
    await h.sleep(500);
    const early = b.lines.filter((line) => !/^quillon: start screen/.test(line));
    if (early.length) throw new Error(`before the gesture the page said: ${early.join(' | ')}`);

    await b.page.keyboard.press(' ');
    await b.waitForLog(/^quillon: started/, 30000);
    await b.waitForLog(/^quillon: sound on/, 10000);
    const played = () => b.page.evaluate(() => window.quillon.bytesPlayed);
    const first = await played();
    await h.waitFor('the sound to play on', async () => (await played()) > first + 44100 * 4 / 2, 10000);
    // The counter would show its first figure a second after the space bar.
    const presented = await b.page.evaluate(() => window.quillon.presented);
    await h.waitFor('1.5 s of frames', async () => (await b.page.evaluate(() => window.quillon.presented)) > presented + 90,
      20000);
    if (labelShown(await h.canvasPixels(b.page), fps)) throw new Error('the start key reached the program');

    // Another tab in front hides the page: the program hears of it as a
    // minimise and stops drawing; in front again, it goes on.
    const handedOver = () => b.page.evaluate(() => window.quillon.framesHandedOver());
    const other = await b.browser.newPage();
    await other.bringToFront();
    await h.waitFor('the page to be hidden', () => b.page.evaluate(() => document.visibilityState === 'hidden'), 5000);
    await h.sleep(200);
    const hiddenFrom = await handedOver();
    const playedHidden = await played();
    await h.sleep(1000);
    const hiddenFrames = (await handedOver()) - hiddenFrom;
    if (hiddenFrames > 1) throw new Error(`${hiddenFrames} frames drawn in a second while hidden`);
    await b.page.bringToFront();
    const shownFrom = await handedOver();
    await h.waitFor('frames again', async () => (await handedOver()) > shownFrom + 30, 10000);
    const silent = await b.page.evaluate(() => window.quillon.silentFrames);
    if ((await played()) < playedHidden + 44100 * 4 || silent > 0)
      throw new Error(`the sound did not play on while hidden (${silent} frames of silence)`);
  },

  // The same page as a folder of files (quillon-web/, and the zip of it),
  // from a plain server: it fetches its parts from beside it and plays.
  async folder(c) {
    const server = await c.server({ root: path.join(c.build, 'quillon-web') });
    const b = await c.browser();
    await b.page.goto(`${server.url}?capture=1`);
    await b.waitForLog(/^quillon: start screen/, 30000);
    await startByClick(b);
    await b.waitForLog(/^quillon: sound on/, 10000);
    await h.waitFor('frames', () => b.page.evaluate(() => window.quillon.presented > 60), 20000);
    const played = await captured(b, b.page);
    if (!played.some((s) => s !== 0)) throw new Error('the folder\'s page played only silence');
    // (A browser may not show the worklet's own fetch among the page's.)
    const parts = ['', 'quillon-audio.js', 'quillon-page.js', 'quillon.js', 'quillon.wasm'];
    const fetched = b.requests.filter((r) => !/^(data|blob):/.test(r))
      .map((r) => r.replace(server.url, '').replace(/[?#].*$/, ''));
    if (fetched.some((r) => !parts.includes(r)) || !fetched.includes('quillon.wasm'))
      throw new Error(`the folder's page fetched ${fetched.join(', ')}`);
  },

  // A browser without Web Audio: the start screen says the music is
  // missing, the presentation runs silent and the left click still ends it.
  // Served over plain http by "another machine" (no secure context, so no
  // audio worklet): the player runs on the page's thread and its first 2 s
  // equal xmrender. One without WebAssembly: the page says it cannot play.
  async lacking(c) {
    const b = await c.browser({
      hostAlias: 'quillon.test',
      prepare: (page) => page.evaluateOnNewDocument(() => {
        if (/nowasm/.test(location.search)) delete window.WebAssembly;
        else if (/noaudio/.test(location.search)) delete window.AudioContext;
      }),
    });
    const file = pathToFileURL(path.join(c.build, 'quillon.html')).href;
    await b.page.goto(`${file}?noaudio`);
    await b.waitForLog(/^quillon: start screen/, 30000);
    const note = await b.page.evaluate(() => document.getElementById('start').innerText);
    if (!/no Web Audio/.test(note)) throw new Error(`the start screen says "${note}"`);
    await startByClick(b);
    await h.waitFor('frames', () => b.page.evaluate(() => window.quillon.presented > 60), 20000);
    if (b.logged(/^quillon: sound on/)) throw new Error('sound claimed without Web Audio');
    // The click is taken once the page has been revealed; until then it is
    // ignored, so it is repeated.
    await h.waitFor('the end after a left click', async () => {
      await b.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
      await h.sleep(500);
      return b.logged(/^quillon: ended with exit code 1$/);
    }, 30000, 0);

    const expected = rendered(c.out, 3);
    const server = await c.server();
    await b.page.goto(`${server.url.replace('127.0.0.1', 'quillon.test')}quillon.html?capture=2`);
    await h.waitFor('the start screen over http', () => b.lines.filter((l) => /^quillon: start screen/.test(l)).length === 2,
      30000);
    if (await b.page.evaluate(() => window.isSecureContext)) throw new Error('quillon.test counts as a secure context');
    await startByClick(b);
    await b.waitForLog(/^quillon: sound on .*page's thread/, 10000);
    const frames = compareSound(await captured(b, b.page), expected, `${c.kind}, the player on the page`);
    console.log(`SOUND: ${c.kind}, over plain http, the player on the page's thread: ${frames} frames equal to xmrender`);

    await b.page.goto(`${file}?nowasm`);
    await b.waitForLog(/^quillon: cannot play/, 30000);
    const text = await b.page.evaluate(() => document.getElementById('cannot').innerText);
    if (!/cannot run WebAssembly/.test(text)) throw new Error(`the page says "${text}"`);
    await b.page.screenshot({ path: path.join(c.out, 'cannot.png') });
  },
};

// The 16-bit samples of a WAV file's data chunk.
function readWavData(file) {
  const bytes = fs.readFileSync(file);
  for (let at = 12; at + 8 <= bytes.length;) {
    const id = bytes.toString('latin1', at, at + 4), size = bytes.readUInt32LE(at + 4);
    if (id === 'data') return bytes.buffer.slice(bytes.byteOffset + at + 8, bytes.byteOffset + at + 8 + size);
    at += 8 + size + (size & 1);
  }
  throw new Error(`${file} has no data`);
}

h.main(cases);
