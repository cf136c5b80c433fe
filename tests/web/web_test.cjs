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
const { ANI_BOX, stillDifferences, waitForPicture, readWavData } = require('./compare.cjs');

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

// ---- The page's own content (window.quillonContent) ------------------------

// quillon.html with `content` (the object a downloaded presentation
// carries) as window.quillonContent, written beside the test's pictures.
function pageWithContent(c, name, content) {
  const html = fs.readFileSync(path.join(c.build, 'quillon.html'), 'utf8');
  const script = `<script>\nwindow.quillonContent = ${JSON.stringify(content)};\n</script>\n`;
  const at = html.indexOf('<script>');
  const file = path.join(c.out, `${name}.html`);
  fs.writeFileSync(file, html.slice(0, at) + script + html.slice(at));
  return pathToFileURL(file).href;
}

// The built-in release text with its pages turned by one: its page 1 is
// the built-in page 2, and so on.
function turnedText() {
  const text = fs.readFileSync(h.env('QUILLON_RELEASE_TEXT'));
  if (text.length !== 10240) throw new Error(`the built-in text has ${text.length} bytes`);
  return Buffer.concat([text.subarray(2560), text.subarray(0, 2560)]);
}

// A song of the test's own, built by songc from a short score.
function ownSong(out, score, name) {
  const source = path.join(out, `${name}.txt`), xm = path.join(out, `${name}.xm`);
  fs.writeFileSync(source, score);
  const run = spawnSync(h.env('QUILLON_SONGC'), [source, xm], { encoding: 'utf8' });
  if (run.status !== 0) throw new Error(`songc failed: ${run.stderr}`);
  return xm;
}

const OWN_SCORE = `song own
channels 2
speed 3
bpm 140
order 0 0
instrument lead wave=saw cycle=32 rel=12 harmonics=9 volume=48
instrument hat wave=hat rel=24 length=0.05 highpass=7000 lowpass=15000 decay=0.012 volume=40
track tune
 0 C-4 lead
 4 E-4 lead
 8 G-4 lead A02*4
12 C-5 lead
16 off
end
track beat
 0 C-4 hat
 8 C-4 hat
end
pattern 0 tune beat
`;

// A 24-bit BMP of width x height, every pixel 0xRRGGBB.
function plainBmp(width, height, rgb) {
  const row = (width * 3 + 3) & ~3;
  const bmp = Buffer.alloc(54 + row * height);
  bmp.write('BM', 0, 'latin1');
  bmp.writeUInt32LE(bmp.length, 2);
  bmp.writeUInt32LE(54, 10);
  bmp.writeUInt32LE(40, 14);
  bmp.writeInt32LE(width, 18);
  bmp.writeInt32LE(height, 22);
  bmp.writeUInt16LE(1, 26);
  bmp.writeUInt16LE(24, 28);
  bmp.writeUInt32LE(row * height, 34);
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width; ++x) {
      const at = 54 + y * row + 3 * x;
      bmp[at] = rgb & 0xff;
      bmp[at + 1] = (rgb >> 8) & 0xff;
      bmp[at + 2] = (rgb >> 16) & 0xff;
    }
  return bmp;
}

// xmrender's rendering of `song` with `player` ('small' or 'full').
function renderedSong(out, song, player, seconds) {
  const wav = path.join(out, `${path.basename(song, '.xm')}-${player}-${seconds}s.wav`);
  const render = spawnSync(h.env('QUILLON_XMRENDER'), [song, wav, `--${player}`, '--seconds', String(seconds)],
    { encoding: 'utf8' });
  if (render.status !== 0) throw new Error(`xmrender failed: ${render.stderr}`);
  return new Int16Array(readWavData(wav));
}

// The player the build gives a page that chooses none, and the other one.
const DEFAULT_PLAYER = process.env.QUILLON_FULL_XM === 'ON' ? 'full' : 'small';
const OTHER_PLAYER = DEFAULT_PLAYER === 'full' ? 'small' : 'full';

// 32 MB, as cmake/web.cmake's QUILLON_WEB_SONG_LIMIT_MB.
async function songLimit(page) {
  return page.evaluate(() => window.quillonConfig.songLimitBytes);
}

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

  // quillon.html with a text and a song of its own and the player that is
  // not the build's: page 1 shows the own text's first page (the built-in
  // page 2, as the snapshot shows it) and the sound is xmrender's of the
  // own song with that player. Meanwhile the page's fast-forward: a clock
  // step of 6 ms makes the counter show 166 frames a second whatever the
  // display's rate, and the program at rest is told; back on the real
  // clock the display's rate again, and the next page at rest after a
  // right click. Then a font of the page's own (all white): the page area
  // is white where the built-in font would draw.
  async ownContent(c) {
    const shots = h.snapshots(['page2', 'page3']);
    const fps = h.snapshots(['page1'], 'FPS').page1;
    const song = ownSong(c.out, OWN_SCORE, 'own-song');
    const expected = renderedSong(c.out, song, OTHER_PLAYER, CAPTURE_SECONDS + 1);
    const b = await c.browser();
    const url = pageWithContent(c, 'own', {
      TEXT: turnedText().toString('base64'), MUSIC: fs.readFileSync(song).toString('base64'), player: OTHER_PLAYER,
    });
    await b.page.goto(`${url}?capture=${CAPTURE_SECONDS}`);
    await b.waitForLog(/^quillon: start screen/, 30000);
    const given = b.logged(/^quillon: own content/);
    const expectedLine = `quillon: own content: MUSIC ${fs.statSync(song).size}, TEXT 10240; the ${OTHER_PLAYER} player`;
    if (given !== expectedLine) throw new Error(`the page said "${given}", not "${expectedLine}"`);

    await b.page.evaluate(() => window.quillon.setClockStep(6));
    await startByClick(b);
    await h.waitFor('the page at rest', () => b.page.evaluate(() => window.quillon.atRest()), 20000, 20);
    await waitForPicture('own page 1', b.page, shots.page2, c.out, 10000);
    await b.page.keyboard.press(' ');
    const fast = await h.waitFor('the fast-forward figure', async () => {
      const figure = counterFigure(await h.canvasPixels(b.page), fps);
      return figure !== null && figure > 100 ? figure : null;
    }, 10000, 50);
    if (fast !== 166) throw new Error(`fast-forward by 6 ms a frame shows ${fast} frames a second, not 166`);

    await b.page.evaluate(() => window.quillon.setClockStep(0));
    const real = await h.waitFor('the real-time figure', async () => {
      const figure = counterFigure(await h.canvasPixels(b.page), fps);
      return figure !== null && figure < 150 ? figure : null;
    }, 10000, 50);
    console.log(`CLOCK: ${c.kind}: ${fast} frames a second in fast-forward, ${real} on the real clock`);
    await b.page.keyboard.press(' ');
    await b.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2, { button: 'right' });
    await h.waitFor('the wipe to begin', async () => !(await b.page.evaluate(() => window.quillon.atRest())), 5000, 10);
    await h.waitFor('the next page at rest', () => b.page.evaluate(() => window.quillon.atRest()), 20000, 20);
    await waitForPicture('own page 2', b.page, shots.page3, c.out, 10000);

    const frames = compareSound(await captured(b, b.page), expected, `${c.kind}, own song, ${OTHER_PLAYER} player`);
    console.log(`SOUND: ${c.kind}: the own song with the ${OTHER_PLAYER} player: ${frames} frames equal to xmrender`);
    if (frames < 3 * 44100) throw new Error(`only ${frames} frames compared`);

    const white = pageWithContent(c, 'own-font', { FONT: plainBmp(784, 12, 0xffffff).toString('base64') });
    await b.page.goto(white);
    await b.waitForLog(/^quillon: own content: FONT/, 30000);
    await h.waitFor('the second start screen', () => b.lines.filter((l) => /^quillon: start screen/.test(l)).length === 2,
      30000);
    await b.page.evaluate(() => window.quillon.setClockStep(6));
    await startByClick(b);
    await h.waitFor('the white page at rest', () => b.page.evaluate(() => window.quillon.atRest()), 20000, 20);
    const picture = await h.canvasPixels(b.page);
    let other = 0;
    for (let y = 48; y < 48 + 384; ++y)
      for (let x = 0; x < h.WIDTH; ++x)
        if (!(x >= ANI_BOX.x && y >= ANI_BOX.y) && h.rgbaPixel(picture, x, y) !== 0xffffff) ++other;
    if (other) {
      h.writePpm(path.join(c.out, 'own-font-last.ppm'), picture);
      throw new Error(`${other} pixels of the page area are not the own font's white`);
    }
  },

  // The largest song the page takes (QUILLON_WEB_SONG_LIMIT_MB), made to
  // need the most memory a song of its size can (largest_song.cpp: one
  // 8-bit sample, which the program holds in 16 bits, and every pattern
  // the format allows), loads and plays as xmrender renders it; one byte
  // more, and the page refuses it, naming the limit, before anything starts.
  async songLimit(c) {
    const b = await c.browser();
    await b.page.goto(pageWithContent(c, 'limit-probe', {}));
    await b.waitForLog(/^quillon: start screen/, 30000);
    const limit = await songLimit(b.page);
    const song = path.join(c.out, 'largest-song.xm');
    const make = spawnSync(h.env('QUILLON_LARGEST_SONG'), [String(limit), song], { encoding: 'utf8' });
    if (make.status !== 0) throw new Error(`largest_song failed: ${make.stderr}`);
    const bytes = fs.readFileSync(song);
    if (bytes.length !== limit) throw new Error(`the song at the limit has ${bytes.length} bytes, not ${limit}`);
    const expected = renderedSong(c.out, song, DEFAULT_PLAYER, 3);

    await b.page.goto(`${pageWithContent(c, 'limit', { MUSIC: bytes.toString('base64') })}?capture=2`);
    await h.waitFor('the start screen of the largest song',
      () => b.lines.filter((l) => /^quillon: start screen/.test(l)).length === 2, 60000);
    await startByClick(b);
    await b.waitForLog(/^quillon: sound on/, 20000);
    const frames = compareSound(await captured(b, b.page), expected, `${c.kind}, a song of ${limit} bytes`);
    console.log(`LIMIT: ${c.kind}: a song of ${limit} bytes: ${frames} frames equal to xmrender`);
    if (frames < 44100) throw new Error(`only ${frames} frames compared`);
    const message = await b.page.evaluate(() => window.quillon.message);
    if (message) throw new Error(`the program said ${message}`);

    const over = Buffer.concat([bytes, Buffer.from([0])]);
    await b.page.goto(pageWithContent(c, 'over-limit', { MUSIC: over.toString('base64') }));
    await b.waitForLog(/^quillon: cannot play/, 60000);
    const text = await b.page.evaluate(() => document.getElementById('cannot').innerText);
    const refusal = `The song is too large: ${limit + 1} bytes, and a presentation plays songs of up to 32 MB ` +
      `(${limit} bytes).`;
    if (!text.includes(refusal))
      throw new Error(`for a song one byte over the limit the page says "${text}"`);
    await b.page.screenshot({ path: path.join(c.out, 'over-limit.png') });
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

h.main(cases);
