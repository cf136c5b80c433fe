// The page around the program: it checks that the browser can run it,
// loads it, shows the start screen, and on the visitor's first click or key
// (which the program never sees) starts the sound, full screen where the
// browser allows it, and the program. While the program runs, the page
// presents its frames on the canvas and turns mouse, keyboard and
// visibility into its window messages, through the shared block of
// platform/web/web_internal.h (the indices below are its fields). When the
// program ends, the page says so and offers to start again.
'use strict';
(() => {
  const FRAME_SEQ = 1, PRESENTED_SEQ = 2, FRAME_WIDTH = 3, FRAME_HEIGHT = 4, FRAME_PIXELS = 5;
  const HIDDEN = 6, INPUT_HEAD = 7, INPUT_TAIL = 8, INPUT = 16, INPUT_SLOTS = 64;
  const MAGIC = 0x51554c4e;
  const WM_SIZE = 0x0005, WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101;
  const WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205;
  const WM_MBUTTONDOWN = 0x0207;
  const SIZE_RESTORED = 0, SIZE_MINIMIZED = 1;
  const SAMPLE_RATE = 44100;
  // How long the page waits for the service worker's reload before it
  // says that shared memory cannot be had.
  const ISOLATION_WAIT_MS = 6000;

  const params = new URLSearchParams(window.location.search);
  const canvas = document.getElementById('screen');
  const context2d = canvas.getContext('2d', { alpha: false });
  const panels = ['loading', 'start', 'ended', 'cannot'].map((id) => document.getElementById(id));

  // What the tests read: the page's state, the frames presented, and the
  // samples captured by the audio player (?capture=SECONDS).
  const status = {
    state: 'loading', presented: 0, capture: null, exitCode: null, message: null,
    bytesPlayed: () => (words ? Atomics.load(words, 13) >>> 0 : 0),
    framesHandedOver: () => (words ? Atomics.load(words, FRAME_SEQ) : 0),
  };
  window.quillon = status;

  let module = null;    // the loaded program, not yet started or running
  let words = null;     // Int32Array over the shared block
  let heap = null;      // Uint8Array over the whole memory
  let image = null;
  let audio = null;     // { context, node }
  let running = false;
  const pressed = new Set(); // buttons and keys whose press the program got

  function show(id) {
    for (const panel of panels) panel.hidden = panel.id !== id;
    canvas.hidden = id !== 'running';
    status.state = id;
  }

  function cannotPlay(text) {
    document.getElementById('cannot-text').textContent = text;
    show('cannot');
    console.error('quillon: cannot play: ' + text);
  }

  function post(message, wParam, lParam) {
    if (!running) return;
    const head = Atomics.load(words, INPUT_HEAD);
    if (((head - Atomics.load(words, INPUT_TAIL)) | 0) >= INPUT_SLOTS) return; // full: dropped
    const at = INPUT + ((head >>> 0) % INPUT_SLOTS) * 3;
    Atomics.store(words, at, message);
    Atomics.store(words, at + 1, wParam);
    Atomics.store(words, at + 2, lParam);
    Atomics.store(words, INPUT_HEAD, (head + 1) | 0);
    Atomics.notify(words, INPUT_HEAD);
  }

  // Mouse position in the program's 640x480, packed as Windows does.
  function point(event) {
    const r = canvas.getBoundingClientRect();
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
    Atomics.store(words, HIDDEN, hidden ? 1 : 0);
    if (hidden) post(WM_SIZE, SIZE_MINIMIZED, 0);
    else post(WM_SIZE, SIZE_RESTORED, (canvas.height << 16) | canvas.width);
  }

  window.addEventListener('mousedown', onMouse);
  window.addEventListener('mouseup', onMouse);
  window.addEventListener('contextmenu', (event) => { if (running) event.preventDefault(); });
  window.addEventListener('keydown', onKey);
  window.addEventListener('keyup', onKey);
  document.addEventListener('visibilitychange', onVisibility);

  // Puts the frame the program handed over on the canvas and lets the
  // program's Flip return.
  function present() {
    if (!running) return;
    const seq = Atomics.load(words, FRAME_SEQ);
    if (seq !== Atomics.load(words, PRESENTED_SEQ)) {
      const width = Atomics.load(words, FRAME_WIDTH), height = Atomics.load(words, FRAME_HEIGHT);
      if (canvas.width !== width || canvas.height !== height || !image) {
        canvas.width = width;
        canvas.height = height;
        image = context2d.createImageData(width, height);
      }
      const from = Atomics.load(words, FRAME_PIXELS);
      // An ImageData cannot look into shared memory: the bytes are copied.
      image.data.set(heap.subarray(from, from + width * height * 4));
      context2d.putImageData(image, 0, 0);
      ++status.presented;
      Atomics.store(words, PRESENTED_SEQ, seq);
      Atomics.notify(words, PRESENTED_SEQ);
    }
    requestAnimationFrame(present);
  }

  function showCursor(visible) {
    document.body.style.cursor = visible ? '' : 'none';
  }

  function messageBox(text, caption) {
    status.message = caption + ': ' + text;
    const error = document.getElementById('ended-error');
    error.textContent = status.message;
    error.hidden = false;
    console.error('quillon: ' + status.message);
  }

  function openAudio(buffer, shared, rate) {
    if (!audio || !audio.context || audio.context.sampleRate !== rate) return 0;
    try {
      const captureFrames = Math.round(Number(params.get('capture') || 0) * rate);
      const node = new AudioWorkletNode(audio.context, 'quillon-wave', {
        numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2],
        processorOptions: { buffer, shared, captureFrames },
      });
      node.port.onmessage = (event) => {
        status.capture = event.data;
        console.log('quillon: captured ' + event.data.length / 2 + ' frames');
      };
      node.connect(audio.context.destination);
      audio.node = node;
      console.log('quillon: sound on at ' + rate + ' Hz');
      return 1;
    } catch (error) {
      console.error('quillon: no sound: ' + error);
      return 0;
    }
  }

  function closeAudio() {
    if (audio && audio.node) {
      audio.node.port.postMessage('close');
      audio.node.disconnect();
      audio.node = null;
    }
  }

  function ended(code) {
    running = false;
    module = null;
    status.exitCode = code;
    showCursor(true);
    if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(() => {});
    show('ended');
    console.log('quillon: ended with exit code ' + code);
  }

  function load() {
    return createQuillon({
      print: (text) => console.log(text),
      printErr: (text) => console.error(text),
      onExit: ended,
      quillonOpenAudio: openAudio,
      quillonCloseAudio: closeAudio,
      quillonMessageBox: messageBox,
      quillonShowCursor: showCursor,
    }).then((m) => {
      module = m;
      return m;
    });
  }

  // The sound needs the gesture: the context is made (or resumed) inside
  // its handler; the player's code is added before the program starts.
  function startSound() {
    try {
      if (!audio) audio = { context: new AudioContext({ sampleRate: SAMPLE_RATE }), node: null, ready: null };
      audio.context.resume().catch(() => {});
      if (!audio.ready) audio.ready = audio.context.audioWorklet.addModule('quillon-audio.js');
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
    const loaded = module ? Promise.resolve(module) : load();
    Promise.all([loaded, startSound()]).then(([m]) => {
      words = new Int32Array(m.HEAPU8.buffer, m._quillon_web_shared(), INPUT + INPUT_SLOTS * 3);
      if (words[0] !== MAGIC) throw new Error('the program and its page do not match');
      heap = m.HEAPU8;
      image = null;
      pressed.clear();
      Atomics.store(words, HIDDEN, document.visibilityState === 'hidden' ? 1 : 0);
      running = true;
      show('running');
      showCursor(true);
      requestAnimationFrame(present);
      console.log('quillon: started');
      m.callMain([]);
    }).catch((error) => cannotPlay('The presentation could not start: ' + error));
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
    if (!window.crossOriginIsolated || typeof SharedArrayBuffer === 'undefined') {
      const worker = window.isSecureContext && navigator.serviceWorker;
      const why = 'This presentation needs shared memory between threads (SharedArrayBuffer), which a browser ' +
        'grants only to a cross-origin isolated page. Serve this folder with the headers ' +
        '"Cross-Origin-Opener-Policy: same-origin" and "Cross-Origin-Embedder-Policy: require-corp" ' +
        '(make serve-web does), or from https or localhost, where the included service worker adds them' +
        (worker ? ' after one reload; here that has not happened (is it blocked?).' : '; here no service worker is allowed.');
      if (!worker) cannotPlay(why);
      else setTimeout(() => { if (!window.quillonReloading) cannotPlay(why); }, ISOLATION_WAIT_MS);
      return;
    }
    if (typeof WebAssembly !== 'object') {
      cannotPlay('This browser cannot run WebAssembly.');
      return;
    }
    load().then(() => {
      show('start');
      waitForStart();
      console.log('quillon: start screen after ' + Math.round(performance.now()) + ' ms');
    }).catch((error) => cannotPlay('The presentation could not load: ' + error));
  }

  init();
})();
