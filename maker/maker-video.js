// "Record a video": the presentation with the maker's content, played by
// the capture tool's default tour on the capture tool's clock (frame n at
// floor(n * 1000 / fps) ms after the first, which reads 100000 ms, as
// quillon-capture's), encoded with the browser's WebCodecs encoders and
// written by Mediabunny into NAME.webm (VP9, or VP8, with Opus) or NAME.mp4
// (H.264 with Opus). Nothing is filmed in real time: the program waits at
// each frame until the encoders have taken it, so every frame and every
// sample is the one quillon-capture writes.
//
// The tour (capture/capture_run.cpp's): page 1 reveals by itself; a page
// that has rested (quillon_scene_at_rest) for 3 s gets the right button
// (pages 1 to 3) or the left button (page 4: the closing). Without a
// length the video lasts until the program ends, at most 600 s; that
// length is found first by a quick run of the tour without encoding.
'use strict';
(() => {
  const M = window.QuillonMaker = window.QuillonMaker || {};
  const WM_CLOSE = 0x0010, WM_LBUTTONDOWN = 0x0201, WM_RBUTTONDOWN = 0x0204;
  const START_MS = 100000;  // the clock at the first frame (quillon-capture's)
  const HOLD_MS = 3000;     // the tour holds each page this long at rest
  const LONGEST_SECONDS = 600;
  const MAX_FPS = 250, MAX_SCALE = 8;
  const SAMPLE_RATE = 44100;
  const AUDIO_BITRATE = 128000;
  // The browser gets a turn at least this often, so the progress shows and
  // Cancel works while the program makes frames.
  const TURN_MS = 50;
  // Below this speed (times real time) a VP9 recording suggests VP8.
  const SLOW_SPEED = 0.2;

  // The formats offered: [container, video codec, audio codec].
  const FORMATS = {
    webm: { label: 'WebM (VP9 + Opus)', extension: 'webm', video: 'vp9', container: 'webm' },
    webm8: { label: 'WebM (VP8 + Opus)', extension: 'webm', video: 'vp8', container: 'webm' },
    mp4: { label: 'MP4 (H.264 + Opus)', extension: 'mp4', video: 'avc', container: 'mp4' },
  };
  const CODEC_NAMES = { vp9: 'VP9', vp8: 'VP8', avc: 'H.264', opus: 'Opus' };

  const frameTimeMs = (n, fps) => Math.floor(n * 1000 / fps);
  const frameSamples = (n, fps) => Math.floor(n * SAMPLE_RATE / fps);

  // Frames for a length in seconds: quillon-capture's FrameLimit.
  function frameLimit(seconds, fps) {
    const s = seconds > 0 ? seconds : LONGEST_SECONDS;
    return Math.max(1, Math.round(s * fps));
  }

  function timeText(seconds) {
    const s = Math.max(0, Math.round(seconds));
    return s >= 60 ? `${Math.floor(s / 60)} min ${s % 60} s` : `${s} s`;
  }

  // The tour's step after a frame: decided on the scene's state after the
  // frame at `now`, it posts the input that arrives before the frame at
  // `next`.
  class Tour {
    constructor() {
      this.page = 1;
      this.resting = false;
      this.restSince = 0;
    }

    step(run, now, next) {
      if (!run.atRest()) {
        this.resting = false;
        return;
      }
      if (!this.resting) {
        this.resting = true;
        this.restSince = now;
      }
      if (next - this.restSince < HOLD_MS) return;
      this.resting = false;
      if (this.page < 4) {
        ++this.page;
        run.post(WM_RBUTTONDOWN, 0, 0);
      } else {
        run.post(WM_LBUTTONDOWN, 0, 0);
      }
    }
  }

  // One run of the program on the recording clock. onFrame(n, pixels
  // address, width, height, samples address, count) is called at each
  // frame (its promise holds the program); resolves to the frames made
  // when the program ends by itself or `limit` frames are done (the run is
  // stopped there, as quillon-capture takes no frame after its limit).
  function tourRun({ wasmModule, content, fps, limit, onFrame, cancelled }) {
    return new Promise((resolve, reject) => {
      let frames = 0;
      let done = false;
      let run = null;
      const tour = new Tour();
      const finish = (error) => {
        if (done) return;
        done = true;
        if (run) run.stop();
        if (error) reject(error);
        else resolve(frames);
      };
      window.QuillonPresentation.create({
        canvas: document.createElement('canvas'),
        input: null,
        wasmModule,
        content,
        audio: null,
        onEnd: () => finish(null),
        onAbort: (what) => finish(new Error(`the presentation stopped: ${what}`)),
        onMessageBox: (message) => finish(new Error(`the presentation stopped with an error: ${message}`)),
        beforeMain: (r) => {
          if (!r.module._quillon_web_record || !r.module._quillon_web_record(fps, START_MS))
            throw new Error('this page\'s program cannot record');
          r.module.quillonRecordFrame = async (pixels, width, height, samples, count, rate) => {
            if (done) return new Promise(() => {}); // the run is over: it never goes on
            if (cancelled()) {
              finish(new Error('cancelled'));
              return new Promise(() => {});
            }
            const n = frames;
            try {
              await onFrame(n, r.module, pixels, width, height, samples, count, rate);
            } catch (error) {
              finish(error); // an encoder's fault ends the run where it stands
              return new Promise(() => {});
            }
            frames = n + 1;
            if (frames >= limit) {
              finish(null);
              return new Promise(() => {});
            }
            tour.step(r, frameTimeMs(n, fps), frameTimeMs(n + 1, fps));
          };
        },
      }).then((r) => {
        run = r;
        if (done) {
          r.stop();
          return;
        }
        try {
          r.start(null).catch((error) => finish(error));
        } catch (error) {
          finish(error);
        }
      }, reject);
    });
  }

  // The program's picture enlarged `scale` times, each pixel a square,
  // as a VideoFrame: drawn through two canvases without smoothing, which
  // both browsers do far faster than a frame made from bytes.
  class Enlarger {
    constructor(width, height, scale) {
      this.small = new OffscreenCanvas(width, height);
      this.smallContext = this.small.getContext('2d', { alpha: false });
      this.big = new OffscreenCanvas(width * scale, height * scale);
      this.bigContext = this.big.getContext('2d', { alpha: false });
    }

    frame(heap, pixels, width, height, timestamp, duration) {
      const bytes = new Uint8ClampedArray(heap.buffer, pixels, width * height * 4);
      this.smallContext.putImageData(new ImageData(bytes, width, height), 0, 0);
      this.bigContext.imageSmoothingEnabled = false;
      this.bigContext.drawImage(this.small, 0, 0, this.big.width, this.big.height);
      return new VideoFrame(this.big, { timestamp, duration });
    }
  }

  // What this browser can encode at this size: { vp9, vp8, avc, opus }.
  async function encoders(width, height, fps) {
    const MB = window.Mediabunny;
    const result = {};
    if (!MB || typeof VideoEncoder !== 'function' || typeof AudioEncoder !== 'function') return result;
    for (const codec of ['vp9', 'vp8', 'avc'])
      result[codec] = await MB.canEncodeVideo(codec, { width, height, frameRate: fps, quality: MB.QUALITY_HIGH }).catch(() => false);
    result.opus = await MB.canEncodeAudio('opus', { numberOfChannels: 2, sampleRate: SAMPLE_RATE, bitrate: AUDIO_BITRATE })
      .catch(() => false);
    return result;
  }

  // Records the video; resolves to { bytes, frames, seconds, codec }.
  async function record({ wasmModule, content, format, fps, scale, seconds, onProgress, cancelled }) {
    const MB = window.Mediabunny;
    const f = FORMATS[format];
    const width = 640 * scale, height = 480 * scale;
    const started = performance.now();
    // Without a length the tour's own length, found by a run without encoding.
    let limit = frameLimit(seconds, fps);
    if (!(seconds > 0)) {
      onProgress({ stage: 'measuring', done: 0, total: 0 });
      let lastTurn = performance.now();
      limit = await tourRun({ wasmModule, content, fps, limit, cancelled, onFrame: async (n) => {
        if (performance.now() - lastTurn > TURN_MS) {
          await new Promise((r) => setTimeout(r, 0));
          lastTurn = performance.now();
          onProgress({ stage: 'measuring', done: n, total: 0 });
        }
      } });
    }

    const output = new MB.Output({
      format: f.container === 'mp4' ? new MB.Mp4OutputFormat({ fastStart: 'in-memory' }) : new MB.WebMOutputFormat(),
      target: new MB.BufferTarget(),
    });
    const video = new MB.VideoSampleSource({ codec: f.video, bitrate: MB.QUALITY_HIGH, keyFrameInterval: 2 });
    const audio = new MB.AudioSampleSource({ codec: 'opus', bitrate: AUDIO_BITRATE });
    output.addVideoTrack(video, { frameRate: fps });
    output.addAudioTrack(audio);
    await output.start();

    const enlarger = new Enlarger(640, 480, scale);
    const encodeStart = performance.now();
    let lastTurn = encodeStart;
    let frames = 0;
    // Where the time goes (ms): the program's frames, the enlarged
    // pictures and the sound made ready, the two
    // encoders' intake (their backpressure included), the file's end.
    const timing = { program: 0, picture: 0, video: 0, audio: 0, finish: 0 };
    let lastBack = 0;
    try {
      frames = await tourRun({ wasmModule, content, fps, limit, cancelled, onFrame: async (n, m, pixels, w, h, samples, count, rate) => {
        const t0 = performance.now();
        if (lastBack) timing.program += t0 - lastBack;
        const sample = new MB.VideoSample(enlarger.frame(m.HEAPU8, pixels, w, h, Math.round(n * 1e6 / fps),
          Math.round((n + 1) * 1e6 / fps) - Math.round(n * 1e6 / fps)));
        const sound = new Int16Array(count * 2);
        sound.set(new Int16Array(m.HEAPU8.buffer, samples, count * 2));
        // The browser's own AudioData (a Mediabunny sample made from bytes
        // copies them more slowly), timed in microseconds.
        const pcm = new MB.AudioSample(new AudioData({ format: 's16', sampleRate: rate, numberOfChannels: 2,
          numberOfFrames: count, timestamp: Math.round(frameSamples(n, fps) * 1e6 / SAMPLE_RATE), data: sound }));
        const t1 = performance.now();
        timing.picture += t1 - t0;
        await video.add(sample);
        sample.close();
        const t2 = performance.now();
        timing.video += t2 - t1;
        await audio.add(pcm);
        pcm.close();
        timing.audio += performance.now() - t2;
        if (performance.now() - lastTurn > TURN_MS || n + 1 === limit) {
          const spent = (performance.now() - encodeStart) / 1000;
          onProgress({ stage: 'encoding', done: n + 1, total: limit, left: spent / (n + 1) * (limit - n - 1),
            speed: (n + 1) / fps / spent, codec: f.video });
          await new Promise((r) => setTimeout(r, 0));
          lastTurn = performance.now();
        }
        lastBack = performance.now();
      } });
      onProgress({ stage: 'finishing', done: frames, total: limit });
      const t = performance.now();
      await output.finalize();
      timing.finish = performance.now() - t;
    } catch (error) {
      await output.cancel().catch(() => {});
      throw error;
    }
    const encodeSeconds = (performance.now() - encodeStart) / 1000;
    return { bytes: new Uint8Array(output.target.buffer), frames, fps, codec: f.video, encodeSeconds,
      seconds: (performance.now() - started) / 1000, speed: frames / fps / encodeSeconds,
      timing: Object.fromEntries(Object.entries(timing).map(([k, v]) => [k, Math.round(v)])) };
  }

  // The panel: its choices, the progress bar with Cancel, and the notes.
  // maker.js gives: content() (the last good content), wasm() (the
  // program's compiled module, a promise), name() (the download's name).
  function init({ content, wasm, name }) {
    const $ = (id) => document.getElementById(id);
    const panel = $('video-panel');
    if (!panel) return;
    const status = window.quillonMaker || {};
    status.video = { state: 'idle', progress: 0, done: 0, total: 0, result: null, error: null };
    let busy = false, cancel = false;
    let support = null;

    const fpsChoice = () => Math.max(1, Math.min(MAX_FPS, Math.round(Number($('video-fps').value) || 60)));
    const scaleChoice = () => Math.max(1, Math.min(MAX_SCALE, Math.round(Number($('video-scale').value) || 2)));
    const secondsChoice = () => {
      const s = Number($('video-seconds').value);
      return s > 0 ? Math.min(LONGEST_SECONDS, s) : 0;
    };

    function say(text, bad) {
      const p = $('video-note');
      p.textContent = text;
      p.classList.toggle('bad', !!bad);
    }

    // Which formats this browser encodes at the chosen size, said plainly;
    // a format it cannot make is disabled and the next one chosen.
    async function checkSupport() {
      const scale = scaleChoice(), fps = fpsChoice();
      support = await encoders(640 * scale, 480 * scale, fps);
      const missing = [];
      for (const [key, f] of Object.entries(FORMATS)) {
        const option = $('video-format').querySelector(`option[value="${key}"]`);
        const can = !!(support[f.video] && support.opus);
        option.disabled = !can;
        if (!support[f.video]) missing.push(CODEC_NAMES[f.video]);
      }
      if (!support.opus) missing.push('Opus');
      const select = $('video-format');
      if (select.selectedOptions[0] && select.selectedOptions[0].disabled) {
        const usable = [...select.options].find((o) => !o.disabled);
        if (usable) select.value = usable.value;
      }
      const lines = [];
      if (!window.Mediabunny || typeof VideoEncoder !== 'function') {
        lines.push('This browser has no WebCodecs video encoder, so it cannot record a video here. Current Chrome, Edge and Firefox can.');
      } else if (missing.length) {
        const offered = [...select.options].filter((o) => !o.disabled).map((o) => o.textContent);
        lines.push(`This browser has no ${[...new Set(missing)].join(' or ')} encoder at ${640 * scale}x${480 * scale}` +
          (offered.length ? `; it can make ${offered.join(' or ')}.` : ', so it cannot record a video here.'));
      }
      if (select.value === 'mp4') lines.push('An MP4 with Opus sound may not play everywhere (some players and sites expect AAC); WebM plays in every current browser.');
      say(lines.join(' '), !!lines.length && !support.opus);
      $('video-record').disabled = busy || !(support.opus && support[FORMATS[select.value].video]);
      status.video.support = support;
    }

    function progress({ stage, done, total, left, speed, codec }) {
      // VP8 is the way out where VP9 encodes too slowly (Firefox's does
      // here at well under a fifth of real time), said once it shows.
      if (codec === 'vp9' && done >= 2 * fpsChoice() && speed < SLOW_SPEED && left > 60 && !$('video-format').options[1].disabled)
        say(`VP9 encodes slowly in this browser (${speed.toFixed(2)} times real time). WebM (VP8 + Opus) is made faster, ` +
          'as a larger file: Cancel and choose it to have the video sooner.');
      const bar = $('video-progress');
      status.video.state = stage;
      status.video.done = done;
      status.video.total = total;
      if (stage === 'measuring') {
        bar.removeAttribute('value');
        $('video-progress-text').textContent = `Timing the tour\u2026 ${timeText(done / fpsChoice())} so far`;
        return;
      }
      bar.max = total;
      bar.value = done;
      status.video.progress = total ? Math.round(100 * done / total) : 0;
      $('video-progress-text').textContent = stage === 'finishing' ? `${done} of ${total} frames; writing the file\u2026`
        : `${done} of ${total} frames (${status.video.progress}%), about ${timeText(left)} left`;
    }

    async function start() {
      if (busy) return;
      busy = true;
      cancel = false;
      status.video = { ...status.video, state: 'starting', progress: 0, done: 0, total: 0, result: null, error: null };
      $('video-record').disabled = true;
      $('video-cancel').hidden = false;
      $('video-progress-box').hidden = false;
      const format = $('video-format').value;
      const file = `${M.downloadName(name())}.${FORMATS[format].extension}`;
      try {
        const result = await record({ wasmModule: await wasm(), content: content(), format, fps: fpsChoice(),
          scale: scaleChoice(), seconds: secondsChoice(), onProgress: progress, cancelled: () => cancel });
        status.video.progress = 100;
        status.video.state = 'done';
        status.video.result = { file, size: result.bytes.length, frames: result.frames, speed: result.speed,
          encodeSeconds: result.encodeSeconds, codec: result.codec, timing: result.timing };
        $('video-progress-text').textContent = `${file}: ${result.frames} frames, ` +
          `${(result.bytes.length / 1048576).toFixed(1)} MB, made at ${result.speed.toFixed(2)} times real time.`;
        console.log(`maker: video ${file} ${result.frames} frames ${result.bytes.length} bytes ` +
          `${result.encodeSeconds.toFixed(1)} s encoding (${result.speed.toFixed(2)}x real time)`);
        M.saveFile(file, result.bytes, format === 'mp4' ? 'video/mp4' : 'video/webm');
      } catch (error) {
        const message = error && error.message === 'cancelled' ? 'Cancelled: no video was written.'
          : `The video could not be made: ${error && error.message ? error.message : error}`;
        status.video.state = error && error.message === 'cancelled' ? 'cancelled' : 'failed';
        status.video.error = message;
        $('video-progress-text').textContent = message;
        console.error('maker: ' + message);
      } finally {
        busy = false;
        $('video-cancel').hidden = true;
        $('video-record').disabled = false;
      }
    }

    $('video-open').addEventListener('click', () => {
      panel.hidden = !panel.hidden;
      if (!panel.hidden) checkSupport();
    });
    $('video-record').addEventListener('click', start);
    $('video-cancel').addEventListener('click', () => { cancel = true; });
    for (const id of ['video-format', 'video-fps', 'video-scale']) $(id).addEventListener('change', checkSupport);
    status.video.check = checkSupport;
  }

  M.Video = { init, record, encoders, frameLimit, Tour, FORMATS };
})();
