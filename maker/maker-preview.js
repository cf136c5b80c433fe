// The live preview: the presentation itself (quillon-page.js as a
// component) running in the page with the last good content. A change
// restarts it with the new content on the fast clock, leafing with right
// clicks as each reveal ends until the page asked for stands fully
// revealed; then the real clock goes on. The controls drive it only
// through its own inputs: right clicks, the space bar, the left button.
'use strict';
(() => {
  const M = window.QuillonMaker = window.QuillonMaker || {};
  const WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, VK_SPACE = 0x20;
  const WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205;
  const FAST_STEP_MS = 6; // more than the scene's 5 ms step: each frame moves it on
  const CENTRE = (240 << 16) | 320;

  class Preview {
    // canvas: where the frames go; wasmBinary: the program's; onState(text, busy).
    constructor({ canvas, wasmBinary, captureFrames, onState, onShown }) {
      this.canvas = canvas;
      this.wasmBinary = wasmBinary;
      this.captureFrames = captureFrames || 0;
      this.onState = onState;
      this.onShown = onShown || (() => {});
      this.compiled = null;
      this.audio = null;   // { context, gain, Player? } once a gesture allowed sound
      this.muted = false;
      this.run = null;     // the running program
      this.content = null;
      this.target = 1;
      this.generation = 0;
      canvas.addEventListener('contextmenu', (e) => e.preventDefault());
      canvas.addEventListener('mousedown', (e) => this.mouse(e));
      canvas.addEventListener('mouseup', (e) => this.mouse(e));
      canvas.addEventListener('keydown', (e) => this.key(e));
      canvas.addEventListener('keyup', (e) => this.key(e));
    }

    available() {
      return !!(window.QuillonPresentation && this.wasmBinary);
    }

    // Sound needs a gesture: made on the person's first click or key.
    // A program already running silent is started again with sound.
    enableSound() {
      if (this.audio || typeof AudioContext !== 'function') return;
      try {
        const context = new AudioContext({ sampleRate: 44100 });
        const gain = context.createGain();
        gain.gain.value = this.muted ? 0 : 1;
        gain.connect(context.destination);
        this.audio = { context, destination: gain, ready: null };
        context.resume().catch(() => {});
        this.audio.ready = window.QuillonPresentation.prepareAudio(context).then((extra) => {
          Object.assign(this.audio, extra, { prepared: true });
          if (this.content) this.show(this.content, this.currentPage());
        }).catch((error) => {
          console.error('maker: no sound: ' + error);
          this.audio = null;
        });
      } catch (error) {
        console.error('maker: no sound: ' + error);
      }
    }

    mute(on) {
      this.muted = on;
      if (this.audio) this.audio.destination.gain.value = on ? 0 : 1;
    }

    currentPage() {
      return this.target;
    }

    // Starts the program again with `content` and brings it to `page`.
    async show(content, page) {
      if (!this.available()) return;
      this.content = content;
      this.target = Math.max(1, Math.min(4, page || 1));
      const generation = ++this.generation;
      this.stop();
      this.onState(`Going to page ${this.target}\u2026`, true);
      const startedAt = performance.now();
      try {
        if (!this.compiled) this.compiled = await WebAssembly.compile(this.wasmBinary);
        if (this.audio && this.audio.ready) await this.audio.ready;
        if (generation !== this.generation) return;
        const clicks = { sent: 0, sawMotion: false, waitMotion: false, done: false };
        const run = await window.QuillonPresentation.create({
          canvas: this.canvas,
          input: null,
          wasmModule: this.compiled,
          content,
          audio: this.audio && this.audio.prepared ? this.audio : null,
          captureFrames: this.captureFrames,
          beforeMain: (program) => program.setClockStep(FAST_STEP_MS),
          onFrame: (program) => this.leaf(program, clicks, generation, startedAt),
          onEnd: (code) => {
            if (generation === this.generation) this.onState(`The presentation ended (${code}). Click it or pick a page to start again.`, false);
          },
          onMessageBox: (message) => {
            if (generation === this.generation) this.onState(message, false);
          },
          onAbort: (what) => {
            if (generation === this.generation) this.onState(`The preview stopped: ${what}`, false);
          },
        });
        if (generation !== this.generation) {
          run.stop();
          return;
        }
        this.run = run;
        window.quillon = run.status;
        run.start();
      } catch (error) {
        if (generation === this.generation) this.onState(`The preview could not start: ${error.message || error}`, false);
      }
    }

    // At each frame of the fast run: a right click whenever the scene
    // comes to rest short of the page asked for; at the page, the real clock.
    leaf(program, clicks, generation, startedAt) {
      if (clicks.done || generation !== this.generation) return;
      const rest = program.atRest();
      if (!rest) {
        clicks.sawMotion = true;
        clicks.waitMotion = false;
        return;
      }
      if (!clicks.sawMotion || clicks.waitMotion) return;
      if (clicks.sent < this.target - 1) {
        program.post(WM_RBUTTONDOWN, 0x02, CENTRE);
        program.post(WM_RBUTTONUP, 0, CENTRE);
        ++clicks.sent;
        clicks.waitMotion = true;
        return;
      }
      clicks.done = true;
      program.setClockStep(0);
      const ms = Math.round(performance.now() - startedAt);
      this.onState(`Page ${this.target}${this.audio ? '' : ' (click anywhere for sound)'}`, false);
      this.onShown(this.target, ms, this.content);
    }

    stop() {
      if (this.run) {
        this.run.stop();
        this.run = null;
      }
    }

    post(message, wParam, lParam) {
      if (this.run && this.run.running) this.run.post(message, wParam, lParam);
    }

    counter() {
      this.post(WM_KEYDOWN, VK_SPACE, 1);
      this.post(WM_KEYUP, VK_SPACE, 1 | (1 << 30) | (1 << 31));
    }

    closing() {
      this.post(WM_LBUTTONDOWN, 0x01, CENTRE);
      this.post(WM_LBUTTONUP, 0, CENTRE);
    }

    point(event) {
      const r = this.canvas.getBoundingClientRect();
      const x = Math.max(0, Math.min(639, Math.floor((event.clientX - r.left) * 640 / r.width)));
      const y = Math.max(0, Math.min(479, Math.floor((event.clientY - r.top) * 480 / r.height)));
      return (y << 16) | x;
    }

    mouse(event) {
      if (!this.run || !this.run.running) {
        if (event.type === 'mousedown' && this.content) this.show(this.content, 1);
        return;
      }
      event.preventDefault();
      this.canvas.focus();
      const down = event.type === 'mousedown';
      if (event.button === 0) this.post(down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? 0x01 : 0, this.point(event));
      else if (event.button === 2) {
        this.post(down ? WM_RBUTTONDOWN : WM_RBUTTONUP, down ? 0x02 : 0, this.point(event));
        if (!down && this.target < 4) ++this.target;
      }
    }

    key(event) {
      if (event.code !== 'Space') return;
      event.preventDefault();
      if (event.repeat) return;
      if (event.type === 'keydown') this.post(WM_KEYDOWN, VK_SPACE, 1);
      else this.post(WM_KEYUP, VK_SPACE, 1 | (1 << 30) | (1 << 31));
    }
  }

  M.Preview = Preview;
})();
