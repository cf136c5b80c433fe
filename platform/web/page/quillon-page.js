// The page around the program: it checks that the browser can run it,
// loads it, shows the start screen, and on the visitor's first click or key
// (which the program never sees) starts the sound, full screen where the
// browser allows it, and the program. The program runs on this page's own
// thread and gives the browser its turn whenever it waits (at each frame);
// the page resolves those waits, puts its frames on the canvas, turns
// mouse, keyboard and visibility into its window messages (written into
// the block of platform/web/web_internal.h; the indices below are its
// fields) and carries its sound to the audio player. When the program
// ends, the page says so and offers to start again.
//
// Everything can come inlined in the one file quillon.html: the program's
// wasm as window.quillonWasm (base64) and the audio player's source as
// window.quillonAudioSource; otherwise they are fetched beside the page.
// A presentation of a person's own is the same page with their pieces in
// window.quillonContent (see "The page's own content" below).
//
// The program itself is a component, window.QuillonPresentation: one run
// of it on a given canvas with given content, which the maker page
// (maker/) uses for its preview. With window.quillonPageAsComponent set
// before this script runs, only the component is defined.
'use strict';
(() => {
  const MAGIC = 0x51554c4e;
  const HIDDEN = 1, INPUT_HEAD = 2, INPUT_TAIL = 3, INPUT = 4, INPUT_SLOTS = 64;
  const WM_SIZE = 0x0005, WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101;
  const WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205;
  const WM_MBUTTONDOWN = 0x0207;
  const SIZE_RESTORED = 0, SIZE_MINIMIZED = 1;
  const SAMPLE_RATE = 44100;
  // What ends a wait of the program (WebWake in web_internal.h).
  const WAKE_TIMEOUT = 0, WAKE_ANIMATION_FRAME = 1, WAKE_PAGE = 2;

  function decodeBase64(text) {
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // ---- The page's own content ---------------------------------------------
  // window.quillonContent, when there, holds the pieces of a person's own
  // presentation, each base64 text or a Uint8Array: FONT, ANI, FPS (the BMP
  // files fontc, anigen and fpsgen write), MUSIC (the .xm file), TEXT
  // (textc's 10240 bytes); and player: 'small' or 'full'. Each piece given
  // replaces the built-in one; other names are not the program's and are
  // left alone. window.quillonConfig (bundle.cjs) says how large a song may
  // be and how much memory the program takes. The program gets the pieces
  // before main, in memory made for them, and keeps them while it runs.
  const RESOURCE_TYPES = { FONT: 2, ANI: 2, FPS: 2, MUSIC: 10, TEXT: 10 }; // RT_BITMAP, RT_RCDATA
  // What a song needs loaded beside its own bytes: its 8-bit samples
  // widened to 16 bits (twice the file at most), its patterns and headers.
  const SONG_PATTERN_BYTES = 16 * 1024 * 1024;
  const WASM_PAGE = 65536;

  function megabytes(bytes) {
    return (bytes / (1024 * 1024)).toFixed(1).replace(/\.0$/, '') + ' MB';
  }

  // { pieces: [[name, bytes]...], player: 0 | 1 | null } from the pieces
  // given (window.quillonContent's form); throws an Error saying what is wrong.
  function readContent(given) {
    const content = { pieces: [], player: null };
    if (!given) return content;
    for (const name of Object.keys(RESOURCE_TYPES)) {
      const piece = given[name];
      if (piece === undefined || piece === null) continue;
      const bytes = typeof piece === 'string' ? decodeBase64(piece) : piece;
      if (!(bytes instanceof Uint8Array) || bytes.length === 0) throw new Error(`The presentation's ${name} is empty or unreadable.`);
      content.pieces.push([name, bytes]);
    }
    if (given.player !== undefined && given.player !== null) {
      if (given.player !== 'small' && given.player !== 'full') throw new Error(`No player is called "${given.player}".`);
      content.player = given.player === 'full' ? 1 : 0;
    }
    const config = window.quillonConfig;
    const song = content.pieces.find(([name]) => name === 'MUSIC');
    if (song && config && song[1].length > config.songLimitBytes) {
      throw new Error(`The song is too large: ${song[1].length} bytes, and a presentation plays songs of up to ` +
        `${megabytes(config.songLimitBytes)} (${config.songLimitBytes} bytes).`);
    }
    return content;
  }

  // The program's memory, sized for the content and never growing (its
  // maximum is its size), so the views of it stay valid.
  function contentMemory(content) {
    const config = window.quillonConfig;
    if (!config) return null;
    let bytes = config.memoryBytes;
    for (const [name, piece] of content.pieces)
      bytes += piece.length + (name === 'MUSIC' ? 2 * piece.length + SONG_PATTERN_BYTES : 0);
    bytes = Math.min(config.memoryLimitBytes, Math.ceil(bytes / WASM_PAGE) * WASM_PAGE);
    const pages = bytes / WASM_PAGE;
    return new WebAssembly.Memory({ initial: pages, maximum: pages });
  }

  function giveContent(m, content) {
    for (const [name, piece] of content.pieces) {
      const data = m._malloc(piece.length);
      const label = m._malloc(name.length + 1);
      if (!data || !label) throw new Error(`no memory for the presentation's ${name}`);
      m.HEAPU8.set(piece, data);
      for (let i = 0; i < name.length; ++i) m.HEAPU8[label + i] = name.charCodeAt(i);
      m.HEAPU8[label + name.length] = 0;
      m._quillon_web_set_resource(label, RESOURCE_TYPES[name], data, piece.length);
      m._free(label);
    }
    if (content.player !== null) m._quillon_web_set_player(content.player);
    if (content.pieces.length || content.player !== null)
      console.log('quillon: own content: ' + content.pieces.map(([name, piece]) => `${name} ${piece.length}`).join(', ') +
        (content.player === null ? '' : `; the ${content.player ? 'full' : 'small'} player`));
  }
  // -----------------------------------------------------------------------------

  // ---------------------------------------------------------------------
  // One run of the program (the component).
  //
  // create(options) loads a fresh instance and resolves to its run:
  //   options.canvas      the 640x480 canvas its frames go on
  //   options.view        optional: a canvas that shows them enlarged sharp
  //   options.input       where mouse and keys come from (window on the
  //                       presentation's page; null: only run.post)
  //   options.wasmBinary or options.wasmModule (a compiled WebAssembly.Module)
  //   options.content     what the program shows and plays instead of its
  //                       built-in content, as window.quillonContent gives it
  //                       or as readContent made it
  //   options.audio       { context, destination?, Player? } from
  //                       prepareAudio, or null: silent (may also be given
  //                       to run.start)
  //   options.captureFrames  frames of sound the player keeps for the tests
  //   options.status      the object the tests read (window.quillon)
  //   options.beforeMain(run), options.onFrame(run), options.onEnd(code),
  //   options.onAbort(what), options.onMessageBox(text), options.onCursor(visible)
  // The run: start([audio]) calls main and resolves to its exit code;
  // post(message, wParam, lParam) writes a window message; setClockStep(ms)
  // and atRest() are the program's fast clock and its "nothing is moving";
  // stop() ends it where it stands (its waits never return).
  function create(options) {
    try {
      return createRun(options);
    } catch (error) {
      return Promise.reject(error); // content or memory refused: as a failed load
    }
  }

  function createRun(options) {
    const content = options.content && options.content.pieces ? options.content : readContent(options.content);
    const canvas = options.canvas;
    const context2d = canvas.getContext('2d', { alpha: false });
    const view = options.view || null;
    const viewContext = view ? view.getContext('2d', { alpha: false }) : null;
    const input = options.input || null;
    const status = options.status || { presented: 0, capture: null, exitCode: null, message: null, bytesPlayed: 0,
      silentFrames: 0 };
    status.bytesPlayedNow = () => status.bytesPlayed;
    status.framesHandedOver = () => status.presented;

    let program = null;   // the instance
    let words = null;     // Int32Array over the shared block
    let audio = options.audio || null;
    let running = false;
    let stopped = false;
    let waker = null;     // ends the program's current wait
    const pressed = new Set(); // buttons and keys whose press the program got
    const listeners = [];

    // The program's waits (web_clock_threads.cpp): a timeout, the next
    // animation frame when asked for, or a wake-up from the page. A
    // stopped run's waits never end.
    function wait(milliseconds, animationFrame) {
      return new Promise((resolve) => {
        if (stopped) return;
        let timer = 0, request = 0;
        const finish = (why) => {
          if (waker !== finish) return;
          waker = null;
          clearTimeout(timer);
          if (request) cancelAnimationFrame(request);
          if (!stopped) resolve(why);
        };
        waker = finish;
        timer = setTimeout(() => finish(WAKE_TIMEOUT), milliseconds);
        if (animationFrame) request = requestAnimationFrame(() => finish(WAKE_ANIMATION_FRAME));
      });
    }

    function wake() {
      if (waker) waker(WAKE_PAGE);
    }

    function post(message, wParam, lParam) {
      if (!running) return;
      const head = words[INPUT_HEAD];
      if (((head - words[INPUT_TAIL]) | 0) >= INPUT_SLOTS) return; // full: dropped
      const at = INPUT + ((head >>> 0) % INPUT_SLOTS) * 3;
      words[at] = message;
      words[at + 1] = wParam;
      words[at + 2] = lParam;
      words[INPUT_HEAD] = (head + 1) | 0;
      wake();
    }

    // Mouse position in the program's 640x480, packed as Windows does.
    function point(event) {
      const r = (view || canvas).getBoundingClientRect();
      const x = Math.max(0, Math.min(canvas.width - 1, Math.floor((event.clientX - r.left) * canvas.width / r.width)));
      const y = Math.max(0, Math.min(canvas.height - 1, Math.floor((event.clientY - r.top) * canvas.height / r.height)));
      return (y << 16) | x;
    }

    const BUTTONS = {
      0: [WM_LBUTTONDOWN, WM_LBUTTONUP, 0x01],
      1: [WM_MBUTTONDOWN, 0, 0x10],
      2: [WM_RBUTTONDOWN, WM_RBUTTONUP, 0x02],
    };

    function onMouse(event) {
      const b = BUTTONS[event.button];
      if (!running || !b) return;
      event.preventDefault();
      const id = 'button' + event.button;
      if (event.type === 'mousedown') {
        pressed.add(id);
        post(b[0], b[2], point(event));
      } else if (pressed.delete(id) && b[1]) {
        post(b[1], 0, point(event));
      }
    }

    // Virtual-key codes of the keys passed on; undefined for the rest.
    function virtualKey(event) {
      if (event.code === 'Space') return 0x20;
      if (event.code === 'Escape') return 0x1b;
      if (event.code === 'Enter') return 0x0d;
      const m = /^(?:Key([A-Z])|Digit([0-9]))$/.exec(event.code);
      return m ? (m[1] || m[2]).charCodeAt(0) : undefined;
    }

    function onKey(event) {
      const vk = virtualKey(event);
      if (!running || vk === undefined) return;
      if (vk === 0x20) event.preventDefault(); // no scrolling
      // lParam as Windows gives it: repeat count 1, bit 30 the previous
      // state (auto-repeat and release), bit 31 the transition (release).
      if (event.type === 'keydown') {
        pressed.add(event.code);
        post(WM_KEYDOWN, vk, event.repeat ? 1 | (1 << 30) : 1);
      } else if (pressed.delete(event.code)) {
        post(WM_KEYUP, vk, 1 | (1 << 30) | (1 << 31));
      }
    }

    function onVisibility() {
      if (!running) return;
      const hidden = document.visibilityState === 'hidden';
      words[HIDDEN] = hidden ? 1 : 0;
      if (hidden) post(WM_SIZE, SIZE_MINIMIZED, 0);
      else post(WM_SIZE, SIZE_RESTORED, (canvas.height << 16) | canvas.width);
    }

    function listen(target, type, handler) {
      target.addEventListener(type, handler);
      listeners.push(() => target.removeEventListener(type, handler));
    }

    if (input) {
      listen(input, 'mousedown', onMouse);
      listen(input, 'mouseup', onMouse);
      listen(input, 'contextmenu', (event) => { if (running) event.preventDefault(); });
      listen(input, 'keydown', onKey);
      listen(input, 'keyup', onKey);
      listen(document, 'visibilitychange', onVisibility);
    }

    // The program's Flip: its RGBA picture, straight out of its memory.
    // In fast-forward (run.setClockStep) the frames come far faster than
    // the display shows them, and drawing each would be most of the work: the
    // latest is drawn at the browser's next paint (the program's buffer then
    // holds it, as the program waits while the page runs).
    let fastForward = false;
    let pendingFrame = null;

    function present(pixels, width, height) {
      if (!running) return;
      ++status.presented;
      if (fastForward) {
        if (!pendingFrame) requestAnimationFrame(drawPendingFrame);
        pendingFrame = [pixels, width, height];
      } else {
        pendingFrame = null;
        draw(pixels, width, height);
      }
      if (options.onFrame) options.onFrame(run);
    }

    function drawPendingFrame() {
      const frame = pendingFrame;
      pendingFrame = null;
      if (frame && running) draw(...frame);
    }

    function draw(pixels, width, height) {
      if (canvas.width !== width || canvas.height !== height) {
        canvas.width = width;
        canvas.height = height;
      }
      const bytes = new Uint8ClampedArray(program.HEAPU8.buffer, pixels, width * height * 4);
      context2d.putImageData(new ImageData(bytes, width, height), 0, 0);
      if (view) drawView();
    }

    // The view: the picture enlarged sharp by the largest whole factor
    // that fits, which the browser then scales smoothly by the small rest,
    // so every copy of a letter keeps even strokes at any window size.
    function drawView() {
      const r = view.getBoundingClientRect();
      const ratio = window.devicePixelRatio || 1;
      const scale = Math.min(r.width * ratio / canvas.width, r.height * ratio / canvas.height);
      const whole = Math.max(1, Math.floor(scale + 1e-4));
      if (view.width !== canvas.width * whole || view.height !== canvas.height * whole) {
        view.width = canvas.width * whole;
        view.height = canvas.height * whole;
      }
      viewContext.imageSmoothingEnabled = false;
      viewContext.drawImage(canvas, 0, 0, view.width, view.height);
    }

    function showCursor(visible) {
      if (options.onCursor) options.onCursor(visible);
    }

    function messageBox(text, caption) {
      status.message = caption + ': ' + text;
      console.error('quillon: ' + status.message);
      if (options.onMessageBox) options.onMessageBox(status.message);
    }

    // The waveform device (web_audio.cpp). The page copies the program's ring
    // into messages for the player, half the ring ahead of what the player
    // has played; the device's position is what has been copied. The player's
    // reports wait in the queue while the page is busy, so the page adds the
    // frames its audio clock has rendered since the last one.
    const device = { ring: 0, ringBytes: 0, sent: 0, played: 0, reportedAt: 0, generation: 0, node: null };

    function playedNow() {
      const since = Math.round(audio.context.currentTime * audio.context.sampleRate) - device.reportedAt;
      return Math.min(device.sent, device.played + 4 * Math.max(0, since));
    }

    function openAudio(rate) {
      if (stopped || !audio || !audio.context || audio.context.sampleRate !== rate) return 0;
      try {
        const captureFrames = options.captureFrames || 0;
        const node = audio.Player ? playerOnPage(audio.context, audio.Player, { captureFrames }, audio.destination)
          : new AudioWorkletNode(audio.context, 'quillon-wave', {
            numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2],
            processorOptions: { captureFrames },
          });
        node.port.onmessage = (event) => {
          const m = event.data;
          if (m.type === 'played') {
            if (m.generation !== device.generation) return;
            device.played = m.frames * 4;
            device.reportedAt = m.at;
            status.bytesPlayed = device.played;
            status.silentFrames = m.silentFrames;
            wake();
          } else if (m.type === 'capture') {
            status.capture = m.samples;
            console.log('quillon: captured ' + m.samples.length / 2 + ' frames');
          }
        };
        if (!audio.Player) node.connect(audio.destination || audio.context.destination);
        device.node = node;
        device.ring = 0;
        console.log('quillon: sound on at ' + rate + ' Hz' + (audio.Player ? ' (the player on the page\'s thread)' : ''));
        return 1;
      } catch (error) {
        console.error('quillon: no sound: ' + error);
        return 0;
      }
    }

    function topUp() {
      if (!device.ring || !device.node) return;
      const target = playedNow() + ((device.ringBytes / 2) & ~3);
      if (target <= device.sent) return;
      const samples = new Int16Array((target - device.sent) / 2);
      const heap = program.HEAPU8;
      let at = 0;
      while (device.sent < target) {
        const from = device.sent % device.ringBytes;
        const n = Math.min(target - device.sent, device.ringBytes - from);
        new Uint8Array(samples.buffer).set(heap.subarray(device.ring + from, device.ring + from + n), at);
        at += n;
        device.sent += n;
      }
      device.node.port.postMessage({ type: 'data', generation: device.generation, samples }, [samples.buffer]);
    }

    // Until the player's first report, what it has played is counted from
    // the audio clock at the write: the context may have run for a long
    // while before (the maker's preview restarts in one context; a slow
    // start-up), and counting from its start would send the player ring
    // bytes the feeder has not written yet.
    function audioWrite(ring, ringBytes) {
      const now = audio && audio.context ? Math.round(audio.context.currentTime * audio.context.sampleRate) : 0;
      Object.assign(device, { ring, ringBytes, sent: 0, played: 0, reportedAt: now, generation: device.generation + 1 });
      if (device.node) device.node.port.postMessage({ type: 'play', generation: device.generation });
      topUp();
    }

    function audioPosition() {
      topUp();
      return device.sent | 0;
    }

    function audioReset() {
      device.ring = 0;
      ++device.generation;
      if (device.node) device.node.port.postMessage({ type: 'stop' });
    }

    function closeAudio() {
      if (device.node) {
        device.node.port.postMessage({ type: 'close' });
        device.node.disconnect();
        device.node = null;
      }
    }

    function finish() {
      running = false;
      waker = null;
      for (const off of listeners.splice(0)) off();
    }

    function ended(code) {
      finish();
      program = null;
      status.exitCode = code;
      console.log('quillon: ended with exit code ' + code);
      if (options.onEnd) options.onEnd(code);
      return code;
    }

    const run = {
      status,
      get running() { return running; },
      get module() { return program; },
      post,
      setClockStep: (ms) => {
        if (!program) return;
        program._quillon_web_set_clock_step(ms >>> 0);
        fastForward = ms > 0;
      },
      atRest: () => !!(program && program._quillon_scene_at_rest && program._quillon_scene_at_rest()),
      start(withAudio) {
        if (withAudio !== undefined) audio = withAudio;
        words = new Int32Array(program.HEAPU8.buffer, program._quillon_web_shared(), INPUT + INPUT_SLOTS * 3);
        if (words[0] !== MAGIC) return Promise.reject(new Error('the program and its page do not match'));
        pressed.clear();
        words[HIDDEN] = document.visibilityState === 'hidden' ? 1 : 0;
        running = true;
        if (options.beforeMain) options.beforeMain(run);
        console.log('quillon: started');
        // main gives the page its turn at its first wait and goes on from
        // there; the promise settles with its exit code when it returns.
        return program.ccall('main', 'number', ['number', 'number'], [0, 0], { async: true }).then(ended);
      },
      stop() {
        if (stopped) return;
        stopped = true;
        const w = waker;
        finish();
        if (w) w(WAKE_PAGE); // its promise stays unresolved: the program never goes on
        closeAudio();
        program = null;
      },
    };

    if (!status.atRest) status.atRest = () => running && run.atRest();

    const moduleOptions = {
      print: (text) => console.log(text),
      printErr: (text) => console.error(text),
      onAbort: (what) => {
        running = false;
        if (options.onAbort) options.onAbort(what);
      },
      quillonWait: wait,
      quillonPresent: present,
      quillonOpenAudio: openAudio,
      quillonAudioWrite: audioWrite,
      quillonAudioPosition: audioPosition,
      quillonAudioReset: audioReset,
      quillonCloseAudio: closeAudio,
      quillonMessageBox: messageBox,
      quillonShowCursor: showCursor,
    };
    if (options.wasmModule) {
      moduleOptions.instantiateWasm = (imports, receive) => {
        WebAssembly.instantiate(options.wasmModule, imports).then((instance) => receive(instance, options.wasmModule));
        return {};
      };
    } else if (options.wasmBinary) {
      moduleOptions.wasmBinary = options.wasmBinary;
    }
    // Memory made for the content, always: without it the program would
    // make a growable one, and the views of it would not stay valid.
    const memory = contentMemory(content);
    if (memory) moduleOptions.wasmMemory = memory;
    return createQuillon(moduleOptions).then((m) => {
      giveContent(m, content);
      program = m;
      return run;
    });
  }

  // The player's module: beside the page, or from the inlined source, as a
  // Blob URL and, where the browser refuses a blob module to a page opened
  // from disk (Chromium: its origin is opaque), as a data: URL.
  function addAudioModule(context) {
    const source = window.quillonAudioSource;
    if (!source) return context.audioWorklet.addModule('quillon-audio.js');
    const blob = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
    return context.audioWorklet.addModule(blob).catch((error) => {
      console.log('quillon: the player from a Blob URL failed (' + error.message + '); from a data: URL');
      const data = 'data:text/javascript;base64,' + btoa(unescape(encodeURIComponent(source)));
      return context.audioWorklet.addModule(data);
    }).finally(() => URL.revokeObjectURL(blob));
  }

  function hasWorklet() {
    return typeof AudioWorkletNode === 'function' && 'audioWorklet' in AudioContext.prototype;
  }

  // Where the browser gives no audio worklet (a page served over plain
  // http by another machine is no secure context), the same player runs on
  // the page's own thread under a ScriptProcessorNode, 128 frames at a time
  // as in a worklet. The program gives the page its turn at every frame; the
  // node's buffer of 4096 frames (93 ms) rides out the frames in between.
  function loadPlayerOnPage() {
    const source = window.quillonAudioSource ? Promise.resolve(window.quillonAudioSource)
      : fetch('quillon-audio.js').then((response) => response.text());
    return source.then((text) => {
      let Player = null;
      class Base {
        constructor() {
          const channel = new MessageChannel();
          this.port = channel.port1;
          this.pagePort = channel.port2;
        }
      }
      new Function('AudioWorkletProcessor', 'registerProcessor', text)(Base, (name, c) => { Player = c; });
      return Player;
    });
  }

  function playerOnPage(context, Player, options, destination) {
    const clock = () => Math.round(context.currentTime * context.sampleRate);
    const player = new Player({ processorOptions: { ...options, clock } });
    const node = context.createScriptProcessor(4096, 0, 2);
    let alive = true;
    node.onaudioprocess = (event) => {
      const left = event.outputBuffer.getChannelData(0), right = event.outputBuffer.getChannelData(1);
      for (let i = 0; i < left.length && alive; i += 128)
        alive = player.process([], [[left.subarray(i, i + 128), right.subarray(i, i + 128)]]);
    };
    node.connect(destination || context.destination);
    return { port: player.pagePort, disconnect: () => node.disconnect() };
  }

  // Makes the audio player ready in a running AudioContext: resolves to
  // what create's options.audio needs besides the context ({ Player } where
  // the player runs on the page's thread).
  function prepareAudio(context) {
    return hasWorklet() ? addAudioModule(context).then(() => ({}))
      : loadPlayerOnPage().then((Player) => ({ Player }));
  }

  window.QuillonPresentation = { create, prepareAudio, readContent, decodeBase64, SAMPLE_RATE };
  if (window.quillonPageAsComponent) return;

  // ---------------------------------------------------------------------
  // The presentation's own page (quillon.html).
  const params = new URLSearchParams(window.location.search);
  // The program's picture at its own size (what the tests read), and the
  // view the person sees.
  const canvas = document.getElementById('screen');
  const view = document.getElementById('view');
  const panels = ['loading', 'start', 'ended', 'cannot'].map((id) => document.getElementById(id));

  // What the tests read: the page's state, the frames presented, and what
  // the audio player played (the first ?capture=SECONDS of it as samples).
  const status = {
    state: 'loading', presented: 0, capture: null, exitCode: null, message: null, bytesPlayed: 0,
    silentFrames: 0,
    // Fast-forward: the program's clock moves `milliseconds` at each frame
    // and frames do not wait for the display; 0 is the real clock again.
    setClockStep: (milliseconds) => { if (run) run.setClockStep(milliseconds); },
    // True when no reveal, wipe or closing is under way.
    atRest: () => !!run && run.running && run.atRest(),
  };
  window.quillon = status;

  let run = null;       // the loaded program, not yet started, or running
  let audio = null;     // { context, ready, Player (the player on the page, without a worklet) }
  let content = null;   // the page's own pieces (readContent)

  function show(id) {
    for (const panel of panels) panel.hidden = panel.id !== id;
    view.hidden = id !== 'running';
    status.state = id;
  }

  function cannotPlay(text) {
    document.getElementById('cannot-text').textContent = text;
    show('cannot');
    console.error('quillon: cannot play: ' + text);
  }

  function showCursor(visible) {
    document.body.style.cursor = visible ? '' : 'none';
  }

  function ended() {
    run = null;
    showCursor(true);
    if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(() => {});
    show('ended');
  }

  function load() {
    return create({
      canvas, view, input: window, status,
      wasmBinary: window.quillonWasm ? decodeBase64(window.quillonWasm) : undefined,
      content,
      captureFrames: Math.round(Number(params.get('capture') || 0) * SAMPLE_RATE),
      beforeMain: () => {
        show('running');
        showCursor(true);
      },
      onEnd: ended,
      onAbort: (what) => cannotPlay('The presentation stopped: ' + what),
      onCursor: showCursor,
      onMessageBox: (message) => {
        const error = document.getElementById('ended-error');
        error.textContent = message;
        error.hidden = false;
      },
    }).then((r) => {
      run = r;
      return r;
    });
  }

  // The sound needs the gesture: the context is made (or resumed) inside
  // its handler; the player's code is added before the program starts.
  function startSound() {
    if (typeof AudioContext !== 'function') return Promise.resolve();
    try {
      if (!audio) audio = { context: new AudioContext({ sampleRate: SAMPLE_RATE }), ready: null };
      audio.context.resume().catch(() => {});
      if (!audio.ready) audio.ready = prepareAudio(audio.context).then((extra) => Object.assign(audio, extra));
      return audio.ready.catch((error) => {
        console.error('quillon: no sound: ' + error);
        audio = null;
      });
    } catch (error) {
      console.error('quillon: no sound: ' + error);
      audio = null;
      return Promise.resolve();
    }
  }

  function enterFullScreen() {
    const root = document.documentElement;
    if (!root.requestFullscreen) return;
    root.requestFullscreen({ navigationUI: 'hide' })
      .then(() => console.log('quillon: full screen'))
      .catch((error) => console.log('quillon: no full screen: ' + error.message));
  }

  // Everything a gesture starts; the gesture itself goes nowhere else.
  function start(event) {
    event.preventDefault();
    event.stopImmediatePropagation();
    enterFullScreen();
    const loaded = run ? Promise.resolve(run) : load();
    Promise.all([loaded, startSound()]).then(([r]) => r.start(audio && audio.context ? audio : null)).catch((error) => cannotPlay('The presentation could not start: ' + error));
  }

  function waitForStart() {
    const once = (event) => {
      if (event.type === 'keydown' && ['Shift', 'Control', 'Alt', 'Meta', 'Tab'].includes(event.key)) return;
      window.removeEventListener('mousedown', once, true);
      window.removeEventListener('keydown', once, true);
      start(event);
    };
    window.addEventListener('mousedown', once, true);
    window.addEventListener('keydown', once, true);
  }

  document.getElementById('restart').addEventListener('click', (event) => {
    document.getElementById('ended-error').hidden = true;
    status.message = null;
    start(event);
  });

  function init() {
    if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
      cannotPlay('This browser cannot run WebAssembly, which the presentation is made of. ' +
        'Any current Chrome, Edge, Firefox or Safari can.');
      return;
    }
    try {
      content = readContent(window.quillonContent);
    } catch (error) {
      cannotPlay(error.message);
      return;
    }
    if (typeof AudioContext !== 'function') {
      const note = document.getElementById('no-sound');
      note.textContent = 'This browser has no Web Audio: the presentation plays without its music.';
      note.hidden = false;
      console.log('quillon: no Web Audio');
    }
    load().then(() => {
      show('start');
      waitForStart();
      console.log('quillon: start screen after ' + Math.round(performance.now()) + ' ms');
    }).catch((error) => cannotPlay('The presentation could not load: ' + error));
  }

  init();
})();
