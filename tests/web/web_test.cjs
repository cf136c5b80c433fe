// The presentation as a web page, in headless Chromium:
//   node web_test.cjs CASE
// Each case starts the page's own server and a fresh browser (see
// harness.cjs) and drives the page as a visitor would.
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const h = require('./harness.cjs');

// Where the scene puts things (display/frame.h, display/stars.*).
const BAR_HEIGHT = 24;            // the star strips at the top and bottom
const ANI_BOX = { x: 510, y: 416 }; // the animation, to the bottom right corner
const FPS_AT = 1;                 // the counter's top left corner (x and y)
const FPS_LABEL_WIDTH = 40;       // the label; the digit slots follow
const FPS_DIGIT_WIDTH = 10;
const FPS_DIGITS_X = 70;          // digit d at 70 + 10d in the FPS surface
const FPS_HEIGHT = 8;

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

// The counter's pixels: its label's coloured pixels, drawn with black as
// the transparent colour, match the FPS surface.
function labelShown(canvas, fps) {
  let coloured = 0;
  for (let y = 0; y < FPS_HEIGHT; ++y)
    for (let x = 0; x < FPS_LABEL_WIDTH; ++x) {
      const p = fps.pixel(x, y);
      if (p === 0) continue;
      ++coloured;
      if (h.rgbaPixel(canvas, FPS_AT + x, FPS_AT + y) !== p) return false;
    }
  return coloured > 0;
}

// The three digits the counter shows, read by matching the FPS surface's
// digit glyphs: the digit whose coloured pixels all match and are the most.
function counterFigure(canvas, fps) {
  let figure = 0;
  for (let slot = 0; slot < 3; ++slot) {
    let best = -1, bestCount = -1;
    for (let d = 0; d < 10; ++d) {
      let count = 0, matches = true;
      for (let y = 0; y < FPS_HEIGHT && matches; ++y)
        for (let x = 0; x < FPS_DIGIT_WIDTH; ++x) {
          const p = fps.pixel(FPS_DIGITS_X + FPS_DIGIT_WIDTH * d + x, y);
          if (p === 0) continue;
          ++count;
          if (h.rgbaPixel(canvas, FPS_AT + FPS_LABEL_WIDTH + FPS_DIGIT_WIDTH * slot + x, FPS_AT + y) !== p) {
            matches = false;
            break;
          }
        }
      if (matches && count > bestCount) { best = d; bestCount = count; }
    }
    if (best < 0) return null;
    figure = figure * 10 + best;
  }
  return figure;
}

async function startByClick(b) {
  await b.waitForLog(/^quillon: start screen/, 30000);
  await b.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
  await b.waitForLog(/^quillon: started/, 30000);
}

const cases = {
  // Page 1 as the snapshot shows it, page 2 after a right click, the counter
  // after the space bar (its figure read for 10 s), after a left click the
  // closing and the end screen, and from there a second start.
  async presentation(c) {
    const shots = h.snapshots(['page1', 'page2']);
    const fps = h.snapshots(['page1'], 'FPS').page1;
    const server = await c.server();
    const b = await c.browser();
    await b.page.goto(server.url);
    await startByClick(b);
    await waitForPicture('page 1', b.page, shots.page1, c.out);
    await b.page.screenshot({ path: path.join(c.out, 'page1.png') });
    await b.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2, { button: 'right' });
    await waitForPicture('page 2', b.page, shots.page2, c.out);

    await b.page.keyboard.press('Space');
    await h.waitFor('the counter', async () => labelShown(await h.canvasPixels(b.page), fps), 10000, 50);
    // The first figure comes after a second of frames.
    await h.waitFor('a figure', async () => counterFigure(await h.canvasPixels(b.page), fps), 5000, 100);
    const figures = [];
    const presentedBefore = await b.page.evaluate(() => window.quillon.presented);
    const start = Date.now();
    while (Date.now() - start < 10000) {
      await h.sleep(1000);
      // A star drawn over a digit spoils a reading; the next frame has it elsewhere.
      const figure = await h.waitFor('a readable figure', async () => counterFigure(await h.canvasPixels(b.page), fps),
        2000, 20);
      figures.push(figure);
    }
    const presented = (await b.page.evaluate(() => window.quillon.presented)) - presentedBefore;
    const seconds = (Date.now() - start) / 1000;
    const mean = figures.reduce((a, f) => a + f, 0) / figures.length;
    console.log(`FPS: the counter showed ${figures.join(' ')} (mean ${mean.toFixed(1)}) over ${seconds.toFixed(1)} s; ` +
      `the page presented ${(presented / seconds).toFixed(1)} frames per second`);
    // A display's rate is 50 Hz or more; a Flip that missed the page's
    // animation frames would fall to 10 per second.
    if (mean < 30) throw new Error(`the counter's mean ${mean.toFixed(1)} is far below the display's rate`);

    await b.page.keyboard.press('Space');
    await b.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
    await b.waitForLog(/^quillon: ended with exit code 1$/, 20000);
    const text = await b.page.evaluate(() => {
      const ended = document.getElementById('ended');
      return ended.hidden ? '' : ended.innerText;
    });
    if (!/The presentation has ended\./.test(text) || !/Start again/.test(text))
      throw new Error(`the end screen says "${text}"`);
    await b.page.screenshot({ path: path.join(c.out, 'ended.png') });

    // Starting again loads a fresh program, which runs as the first did.
    await b.page.click('#restart');
    await h.waitFor('a second start', () => b.lines.filter((l) => /^quillon: started/.test(l)).length === 2, 30000);
    await h.waitFor('sound again', () => b.lines.filter((l) => /^quillon: sound on/.test(l)).length === 2, 10000);
    const again = await b.page.evaluate(() => window.quillon.presented);
    await h.waitFor('frames of the second run',
      async () => (await b.page.evaluate(() => window.quillon.presented)) > again + 30, 20000);
  },

  // The samples the worklet played, as it read them from the ring, equal
  // xmrender's rendering of the song from its start.
  async sound(c) {
    const SECONDS = 4;
    const wav = path.join(c.out, 'xmrender.wav');
    const render = spawnSync(h.env('QUILLON_XMRENDER'), [h.env('QUILLON_SONG'), wav, '--seconds', String(SECONDS + 1)],
      { encoding: 'utf8' });
    if (render.status !== 0) throw new Error(`xmrender failed: ${render.stderr}`);
    const expected = new Int16Array(readWavData(wav));

    const server = await c.server();
    const b = await c.browser();
    await b.page.goto(`${server.url}?capture=${SECONDS}`);
    await startByClick(b);
    await b.waitForLog(/^quillon: captured/, 30000);
    const base64 = await b.page.evaluate(() => {
      const bytes = new Uint8Array(window.quillon.capture.buffer);
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      return btoa(text);
    });
    const bytes = Buffer.from(base64, 'base64');
    const played = new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length / 2);

    // Both start at the song's first frame; the alignment is by the first
    // frame that is not silent, so a lead-in of silence on either side
    // would show as an offset rather than as a mismatch.
    const firstSound = (s) => { for (let i = 0; i < s.length; ++i) if (s[i] !== 0) return i >> 1; return -1; };
    const a = firstSound(played), e = firstSound(expected);
    if (a < 0 || e < 0) throw new Error(`no sound: first non-zero frame played ${a}, rendered ${e}`);
    const frames = Math.min(played.length / 2 - a, expected.length / 2 - e);
    for (let i = 0; i < frames * 2; ++i) {
      if (played[2 * a + i] !== expected[2 * e + i]) {
        throw new Error(`sample ${i} (frame ${i >> 1} after alignment) played ${played[2 * a + i]}, ` +
          `xmrender ${expected[2 * e + i]}`);
      }
    }
    console.log(`SOUND: ${frames} frames (${(frames / 44100).toFixed(2)} s) equal to xmrender; ` +
      `first sound at frame ${a} played, ${e} rendered`);
    if (a !== e) throw new Error(`the start is shifted by ${a - e} frames`);
    if (frames < 3 * 44100) throw new Error(`only ${frames} frames compared`);
  },

  // Nothing runs before the visitor's first key: no program, no sound. The
  // key (space, which would switch the counter on) starts everything but
  // never reaches the program. Nothing is evaluated in the page before it,
  // as an evaluation would count as a gesture. Then the page hidden and
  // shown again, as a minimise and restore.
  async startGesture(c) {
    const fps = h.snapshots(['page1'], 'FPS').page1;
    const server = await c.server();
    const b = await c.browser();
    await b.page.goto(server.url);
    await b.waitForLog(/^quillon: start screen/, 30000);
    await b.page.screenshot({ path: path.join(c.out, 'start.png') });
    await h.sleep(500);
    const early = b.lines.filter((line) => !/^quillon: start screen|Failed to load resource/.test(line));
    if (early.length) throw new Error(`before the gesture the page said: ${early.join(' | ')}`);

    await b.page.keyboard.press('Space');
    await b.waitForLog(/^quillon: started/, 30000);
    await b.waitForLog(/^quillon: sound on/, 10000);
    const played = () => b.page.evaluate(() => window.quillon.bytesPlayed());
    const first = await played();
    await h.waitFor('the sound to play on', async () => (await played()) > first + 44100 * 4 / 2, 10000);
    // The counter would show its first figure a second after the space bar.
    const presented = await b.page.evaluate(() => window.quillon.presented);
    await h.waitFor('1.5 s of frames', async () => (await b.page.evaluate(() => window.quillon.presented)) > presented + 90,
      20000);
    if (labelShown(await h.canvasPixels(b.page), fps)) throw new Error('the start key reached the program');

    // Another tab in front hides the page: the program hears of it as a
    // minimise and stops drawing (a Flip left waiting would still hand over
    // ten frames a second); in front again, it goes on.
    const handedOver = () => b.page.evaluate(() => window.quillon.framesHandedOver());
    const other = await b.browser.newPage();
    await other.bringToFront();
    await h.waitFor('the page to be hidden', () => b.page.evaluate(() => document.visibilityState === 'hidden'), 5000);
    await h.sleep(200);
    const hiddenFrom = await handedOver();
    await h.sleep(1000);
    const hiddenFrames = (await handedOver()) - hiddenFrom;
    if (hiddenFrames > 1) throw new Error(`${hiddenFrames} frames drawn in a second while hidden`);
    await b.page.bringToFront();
    const shownFrom = await handedOver();
    await h.waitFor('frames again', async () => (await handedOver()) > shownFrom + 30, 10000);
  },

  // A browser that cannot load the audio player: the presentation runs
  // silent, and the left click still ends it.
  async silent(c) {
    const server = await c.server();
    const b = await c.browser();
    await b.page.setRequestInterception(true);
    b.page.on('request', (request) => (/quillon-audio\.js$/.test(request.url()) ? request.abort() : request.continue()));
    await b.page.goto(server.url);
    await startByClick(b);
    await b.waitForLog(/^quillon: no sound/, 10000);
    if (b.logged(/^quillon: sound on/)) throw new Error('sound claimed without its player');
    await h.waitFor('frames', () => b.page.evaluate(() => window.quillon.presented > 60), 20000);
    // The click is taken once the page has been revealed; until then it is
    // ignored, so it is repeated.
    await h.waitFor('the end after a left click', async () => {
      await b.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
      await h.sleep(500);
      return b.logged(/^quillon: ended with exit code 1$/);
    }, 30000, 0);
  },

  // Served without the isolation headers, as a plain static host would: the
  // service worker adds them after one reload, and the page then runs.
  async noHeaders(c) {
    const server = await c.server({ isolation: false });
    const b = await c.browser();
    await b.page.goto(server.url);
    await b.waitForLog(/Reloading page to make use of/, 30000);
    await b.waitForLog(/^quillon: start screen/, 30000);
    await b.page.keyboard.press('Enter');
    await b.waitForLog(/^quillon: started/, 30000);
    await h.waitFor('frames', () => b.page.evaluate(() => window.quillon.presented > 30), 20000);
    if (!(await b.page.evaluate(() => window.crossOriginIsolated))) throw new Error('the page is not isolated');
  },

  // Where no shared memory can be had (no headers, and no service worker
  // outside a secure context), the page says why instead of starting.
  async noSharedMemory(c) {
    const server = await c.server({ isolation: false });
    const port = new URL(server.url).port;
    const b = await c.browser(['--host-resolver-rules=MAP quillon.test 127.0.0.1']);
    await b.page.goto(`http://quillon.test:${port}/`);
    await b.waitForLog(/^quillon: cannot play/, 30000);
    const text = await b.page.evaluate(() => document.getElementById('cannot').innerText);
    if (!/shared memory/.test(text) || !/Cross-Origin-Opener-Policy/.test(text))
      throw new Error(`the page says "${text}"`);
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
