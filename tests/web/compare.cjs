// What the browser tests compare: a canvas against the headless snapshot
// over the still part of the screen, and the samples the audio player
// captured against xmrender's rendering of the same song, sample for sample.
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const h = require('./harness.cjs');

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

// xmrender's rendering of `song` from its start, as 16-bit samples;
// extra: ['--full'] or ['--small'].
function rendered(out, song, seconds, extra = []) {
  const wav = path.join(out, `xmrender-${path.basename(song)}-${seconds}s${extra.join('')}.wav`);
  const render = spawnSync(h.env('QUILLON_XMRENDER'), [song, wav, '--seconds', String(seconds), ...extra], { encoding: 'utf8' });
  if (render.status !== 0) throw new Error(`xmrender failed: ${render.stderr}`);
  return new Int16Array(readWavData(wav));
}

// The samples the audio player captured (?capture=SECONDS), once complete.
async function captured(page, timeoutMs = 60000) {
  await h.waitFor('the captured samples', () => page.evaluate(() => !!(window.quillon && window.quillon.capture)),
    timeoutMs, 200);
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
// mismatch; a gap or a repeat anywhere shows as a mismatch. Returns the
// number of frames compared.
function compareSound(played, expected, what) {
  const firstSound = (s) => { for (let i = 0; i < s.length; ++i) if (s[i] !== 0) return i >> 1; return -1; };
  const a = firstSound(played), e = firstSound(expected);
  if (a < 0 || e < 0) throw new Error(`${what}: no sound: first non-zero frame played ${a}, rendered ${e}`);
  if (a !== e) throw new Error(`${what}: the start is shifted by ${a - e} frames`);
  const frames = Math.min(played.length / 2 - a, expected.length / 2 - e);
  for (let i = 0; i < frames; ++i) {
    if (played[2 * (a + i)] === expected[2 * (e + i)] && played[2 * (a + i) + 1] === expected[2 * (e + i) + 1]) continue;
    // How long the player went silent there, and where it picks up the song again.
    let silent = 0;
    while (i + silent < frames && played[2 * (a + i + silent)] === 0 && played[2 * (a + i + silent) + 1] === 0) ++silent;
    let resumes = '';
    const j = i + silent;
    for (let shift = -44100; shift <= 44100 && !resumes && j + 64 < frames; ++shift) {
      let ok = 0;
      while (ok < 64 && e + j + ok + shift >= 0 && played[2 * (a + j + ok)] === expected[2 * (e + j + ok + shift)] &&
        played[2 * (a + j + ok) + 1] === expected[2 * (e + j + ok + shift) + 1]) ++ok;
      if (ok === 64) resumes = `; after ${silent} silent frames it plays the song ${shift} frames on`;
    }
    throw new Error(`${what}: frame ${i} (${(i / 44100).toFixed(3)} s) played ${played[2 * (a + i)]},${played[2 * (a + i) + 1]}, ` +
      `xmrender ${expected[2 * (e + i)]},${expected[2 * (e + i) + 1]}${resumes || `; ${silent} silent frames follow`}`);
  }
  return frames;
}

module.exports = { BAR_HEIGHT, ANI_BOX, stillDifferences, waitForPicture, rendered, captured, compareSound, readWavData };
