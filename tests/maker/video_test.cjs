// "Record a video" in the maker page, in headless Chromium or Firefox:
//   node video_test.cjs chromium|firefox record
// The maker records a short video of the built-in presentation (the
// default tour, 60 fps, scale 2) as a person does: the panel, Record, the
// progress bar to 100, the download. The downloaded file, decoded by
// ffmpeg, has length x fps frames; its frame at 6 s is within 35 dB PSNR of
// quillon-capture's lossless frame at 6 s (same length, rate and scale);
// its sound, past Opus, correlates with xmrender's rendering of the song
// at 0.95 or better once aligned. Cancel stops a recording with no file.
//
// Environment, besides tests/web's: QUILLON_CAPTURE (quillon-capture of the
// host tree the web build took its content from), QUILLON_SONG (that
// tree's song), QUILLON_FULL_PLAYER (1 when the build's player is the full one).
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');
const h = require('../web/harness.cjs');
const c = require('../web/compare.cjs');

const SECONDS = 7;
const FPS = 60;
const SCALE = 2;
const AT_SECONDS = 6;
const MIN_PSNR = 35;
const MIN_CORRELATION = 0.95;
const RATE = 44100;

function run(tool, args) {
  const r = spawnSync(tool, args, { encoding: 'buffer', maxBuffer: 1 << 30 });
  if (r.status !== 0) throw new Error(`${tool} ${args.join(' ')} failed: ${r.stderr.toString()}`);
  return r.stdout;
}

const frameCount = (file) => Number(run('ffprobe', ['-v', 'error', '-count_frames', '-select_streams', 'v:0',
  '-show_entries', 'stream=nb_read_frames', '-of', 'csv=p=0', file]).toString().trim());

// Frame `n` of a video's first stream as RGB bytes.
const frameRgb = (file, n) => run('ffmpeg', ['-v', 'error', '-i', file, '-vf', `select=eq(n\\,${n})`, '-vsync', '0',
  '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-']);

// The sound as 16-bit stereo at 44100 Hz.
const soundOf = (file) => {
  const bytes = run('ffmpeg', ['-v', 'error', '-i', file, '-vn', '-ac', '2', '-ar', String(RATE), '-f', 's16le', '-']);
  return new Int16Array(bytes.buffer, bytes.byteOffset, bytes.length >> 1);
};

function psnr(a, b) {
  if (a.length !== b.length || !a.length) throw new Error(`pictures of ${a.length} and ${b.length} bytes`);
  let sum = 0;
  for (let i = 0; i < a.length; ++i) sum += (a[i] - b[i]) ** 2;
  const mse = sum / a.length;
  return mse === 0 ? Infinity : 10 * Math.log10(255 * 255 / mse);
}

// The normalised cross-correlation of the video's sound with the rendered
// song over `window` frames, at the best lag near where both start.
function correlation(played, expected, window) {
  const mono = (s) => { const m = new Float64Array(s.length >> 1); for (let i = 0; i < m.length; ++i) m[i] = s[2 * i] + s[2 * i + 1]; return m; };
  const p = mono(played), e = mono(expected);
  const start = (m) => m.findIndex((v) => Math.abs(v) > 256);
  const ps = start(p), es = start(e);
  if (ps < 0 || es < 0) throw new Error(`no sound: it starts at ${ps} in the video, ${es} in xmrender`);
  const n = Math.min(window, p.length - ps - 2048, e.length - es - 2048);
  if (n < RATE) throw new Error(`only ${n} frames of sound to compare`);
  let best = { value: -1, lag: 0 };
  for (let lag = -1024; lag <= 1024; ++lag) {
    let pe = 0, pp = 0, ee = 0;
    for (let i = 0; i < n; i += 2) {
      const x = p[ps + lag + i], y = e[es + i];
      if (x === undefined) continue;
      pe += x * y; pp += x * x; ee += y * y;
    }
    const value = pe / Math.sqrt(pp * ee || 1);
    if (value > best.value) best = { value, lag, start: ps - es };
  }
  return best;
}

async function openMaker(page, url) {
  await page.setViewport({ width: 1366, height: 860 });
  await page.goto(url);
  await h.waitFor('the maker to be ready', () => page.evaluate(() => !!(window.quillonMaker && window.quillonMaker.ready)), 60000, 50);
  await page.click('#video-open');
  await h.waitFor('the encoders checked', () => page.evaluate(() => !!(window.quillonMaker.video && window.quillonMaker.video.support)), 20000);
}

async function setChoices(page, { format, seconds }) {
  await page.evaluate((format, seconds, fps, scale) => {
    const set = (id, value) => {
      const e = document.getElementById(id);
      e.value = value;
      e.dispatchEvent(new Event('change', { bubbles: true }));
    };
    set('video-format', format);
    set('video-seconds', String(seconds));
    set('video-fps', String(fps));
    set('video-scale', String(scale));
  }, format, seconds, FPS, SCALE);
  await h.sleep(300);
}

const videoState = (page) => page.evaluate(() => {
  const v = window.quillonMaker.video;
  const bar = document.getElementById('video-progress');
  return { state: v.state, progress: v.progress, result: v.result, error: v.error, bar: [bar.value, bar.max] };
});

// The bytes of a download the maker made.
const downloaded = async (page, file) => Buffer.from(await page.evaluate((file) => {
  const bytes = window.quillonMaker.downloads[file];
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  return btoa(text);
}, file), 'base64');

const cases = {
  async record(ctx) {
    // The reference first (the browser waits meanwhile).
    const reference = path.join(ctx.out, 'capture-reference.mkv');
    run(h.env('QUILLON_CAPTURE'), [reference, '--lossless', '--quiet', '--seconds', String(SECONDS), '--fps', String(FPS),
      '--scale', String(SCALE)]);
    const b = await ctx.browser();
    await openMaker(b.page, pathToFileURL(path.join(ctx.build, 'quillon-maker.html')).href);
    const support = await b.page.evaluate(() => window.quillonMaker.video.support);
    console.log(`encoders in ${ctx.kind}: ${JSON.stringify(support)}`);
    const note = await b.page.$eval('#video-note', (e) => e.textContent);
    if (!support.avc && !/no H\.264 encoder/.test(note)) throw new Error(`without H.264 the page says "${note}"`);

    // Cancel: the recording stops and nothing is written.
    await setChoices(b.page, { format: 'webm', seconds: SECONDS });
    await b.page.click('#video-record');
    await h.waitFor('frames being made', async () => (await videoState(b.page)).progress > 0, 60000, 50);
    await b.page.click('#video-cancel');
    await h.waitFor('the cancel', async () => (await videoState(b.page)).state === 'cancelled', 30000, 50);
    if (Object.keys(await b.page.evaluate(() => window.quillonMaker.downloads)).some((f) => /\.webm$/.test(f)))
      throw new Error('a cancelled recording wrote a file');

    await b.page.click('#video-record');
    const done = await h.waitFor('the video', async () => {
      const s = await videoState(b.page);
      if (s.state === 'failed') throw new Error(s.error);
      return s.state === 'done' ? s : null;
    }, 240000, 100);
    if (done.progress !== 100 || done.bar[0] !== done.bar[1]) throw new Error(`the progress bar ends at ${JSON.stringify(done)}`);
    console.log(`FIGURE ${ctx.kind}: ${done.result.file} ${done.result.frames} frames, ${done.result.size} bytes, ` +
      `${done.result.encodeSeconds.toFixed(1)} s, ${done.result.speed.toFixed(2)}x real time (${done.result.codec})`);
    const file = path.join(ctx.out, done.result.file);
    fs.writeFileSync(file, await downloaded(b.page, done.result.file));

    const frames = frameCount(file);
    if (frames !== SECONDS * FPS) throw new Error(`${frames} frames, not ${SECONDS * FPS}`);
    const at = AT_SECONDS * FPS;
    const quality = psnr(frameRgb(file, at), frameRgb(reference, at));
    console.log(`frame ${at}: PSNR ${quality.toFixed(2)} dB against quillon-capture's`);
    if (!(quality >= MIN_PSNR)) throw new Error(`frame ${at} is ${quality.toFixed(2)} dB from quillon-capture's, below ${MIN_PSNR}`);

    const extra = process.env.QUILLON_FULL_PLAYER === '1' ? ['--full'] : ['--small'];
    const expected = c.rendered(ctx.out, h.env('QUILLON_SONG'), SECONDS + 1, extra);
    const best = correlation(soundOf(file), expected, 5 * RATE);
    console.log(`sound: correlation ${best.value.toFixed(4)} at lag ${best.lag} (the song starts ${best.start} frames in)`);
    if (!(best.value >= MIN_CORRELATION)) throw new Error(`the sound correlates with xmrender's at ${best.value.toFixed(4)} only`);
  },

  // Not in ctest: the figures for the whole default tour (no length), for
  // each format the browser encodes (VIDEO_FORMATS=webm,webm8,mp4 to choose).
  async tour(ctx) {
    const b = await ctx.browser();
    await openMaker(b.page, pathToFileURL(path.join(ctx.build, 'quillon-maker.html')).href);
    const support = await b.page.evaluate(() => window.quillonMaker.video.support);
    const formats = (process.env.VIDEO_FORMATS || 'webm,webm8,mp4').split(',');
    const codec = { webm: 'vp9', webm8: 'vp8', mp4: 'avc' };
    for (const format of formats) {
      if (!support[codec[format]]) {
        console.log(`FIGURE ${ctx.kind} ${format}: no encoder`);
        continue;
      }
      await setChoices(b.page, { format, seconds: '' });
      const started = Date.now();
      await b.page.click('#video-record');
      const done = await h.waitFor('the video', async () => {
        const s = await videoState(b.page);
        if (s.state === 'failed') throw new Error(s.error);
        return s.state === 'done' ? s : null;
      }, 1800000, 500);
      const r = done.result;
      console.log(`FIGURE ${ctx.kind} ${format}: ${r.file} ${r.frames} frames (${(r.frames / FPS).toFixed(2)} s), ` +
        `${r.size} bytes, encoding ${r.encodeSeconds.toFixed(1)} s = ${r.speed.toFixed(2)}x real time, ` +
        `${((Date.now() - started) / 1000).toFixed(1)} s from Record to the file (timing the tour included)`);
      await b.page.evaluate(() => { window.quillonMaker.downloads = {}; });
    }
  },
};

if (process.env.QUILLON_WEB_BUILD && !fs.existsSync(path.join(process.env.QUILLON_WEB_BUILD, 'quillon-maker.html'))) {
  console.log(`SKIP: no quillon-maker.html in ${process.env.QUILLON_WEB_BUILD} (make web makes it)`);
  process.exit(77);
}
h.main(cases);
