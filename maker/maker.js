// The maker page: the person's pieces (each the built-in one until they
// give their own), each checked by the tool the command line runs on it,
// the last good content in the live preview, what they made kept in the
// browser's storage, and the two downloads.
//
// The bundle (bundle-maker.cjs) gives it window.quillonMakerParts (the
// presentation's page template, program, wasm and scripts, for the
// preview and the download), window.quillonMakerBuiltins (the built-in
// text and icon), window.quillonMakerTools (the tools' wasm) and
// window.quillonConfig.
'use strict';
(() => {
  const M = window.QuillonMaker;
  const $ = (id) => document.getElementById(id);
  const parts = window.quillonMakerParts || null;
  const builtins = window.quillonMakerBuiltins || {};
  const PIECE_KINDS = ['song', 'font', 'ani', 'icon', 'fps'];
  const TEXT_NAME = 'release.txt';
  const params = new URLSearchParams(location.search);

  // What the tests read: readiness, the downloads made, when the preview
  // last showed a page, and what each check said.
  const status = {
    ready: false, downloads: {}, shown: null, storage: null, checks: {}, changedAt: 0,
    text: () => editor.text,
    player: () => playerChoice() || 'small',
  };
  window.quillonMaker = status;

  const state = { name: 'quillon', description: '', player: 'auto', pieces: {} };
  const good = {};          // resource name -> bytes of the last piece that passed its check
  let songPlayer = 'small'; // the player the song's report names
  let storage = null;
  let checks = null;
  let preview = null;

  function notice(text, bad, action) {
    const p = $('notice');
    p.textContent = text;
    p.classList.toggle('bad', !!bad);
    if (action) {
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = action.label;
      b.style.marginLeft = '1em';
      b.addEventListener('click', action.run);
      p.appendChild(b);
    }
    p.hidden = !text;
  }

  // --- the messages beside each input ---
  function showMessages(kind, lines, ok) {
    status.checks[kind] = { ok, lines: lines.map((l) => l.text) };
    const p = kind === 'text' ? $('text-message') : document.querySelector(`.piece[data-piece="${kind}"] .message`);
    p.textContent = '';
    p.className = `message ${ok ? (lines.some((l) => l.warning) ? 'warn' : 'ok') : 'bad'}`;
    lines.forEach((l, i) => {
      if (i) p.appendChild(document.createTextNode('\n'));
      if (kind === 'text' && l.line) {
        const a = document.createElement('a');
        a.className = 'line-link';
        a.textContent = l.text;
        a.title = 'Show the line';
        a.addEventListener('click', () => editor.reveal(l.line, l.column));
        p.appendChild(a);
      } else {
        p.appendChild(document.createTextNode(l.text));
      }
    });
    if (kind === 'text') {
      const fault = !ok && lines.find((l) => l.line && !l.warning);
      editor.mark(fault ? { line: fault.line, column: fault.column } : null);
    }
  }

  function inUse(kind) {
    const piece = state.pieces[kind];
    const span = document.querySelector(`.piece[data-piece="${kind}"] .in-use`);
    if (span) {
      span.textContent = piece ? `${piece.name} (${M.sizeText(piece.bytes.length)})` : 'built-in';
      span.classList.toggle('own', !!piece);
    }
    const back = document.querySelector(`.builtin[data-piece="${kind}"]`);
    if (back) back.disabled = !piece;
  }

  // --- checks ---
  let textSerial = 0;
  async function checkText(page) {
    const serial = ++textSerial;
    const text = editor.text;
    const bytes = new TextEncoder().encode(text);
    if (!checks) return;
    const r = await checks.check('text', TEXT_NAME, bytes);
    if (serial !== textSerial) return; // a newer text is being checked
    showMessages('text', r.ok && !r.lines.length ? [{ text: 'The text is right: 128 lines of 80 characters.' }] : r.lines, r.ok);
    if (r.ok) {
      good.TEXT = text === builtins.text ? null : r.bytes;
      updatePreview(page);
    }
  }

  async function checkPiece(kind) {
    const piece = state.pieces[kind];
    const resource = M.RESOURCE_OF[kind];
    const report = kind === 'song' ? document.querySelector('.piece[data-piece="song"] .report') : null;
    if (!piece) {
      good[resource] = null;
      if (kind === 'icon') good.ICO = null;
      showMessages(kind, [], true);
      if (report) report.hidden = true;
      if (kind === 'song') songPlayer = 'small';
      return true;
    }
    if (!checks) {
      showMessages(kind, [{ text: 'The checks are missing from this page, so the piece waits.' }], false);
      return false;
    }
    showMessages(kind, [{ text: 'Checking\u2026' }], true);
    const r = await checks.check(kind, piece.name, piece.bytes);
    if (state.pieces[kind] !== piece) return false; // replaced meanwhile
    if (report) {
      report.hidden = !r.report;
      report.querySelector('pre').textContent = r.report || '';
    }
    const lines = r.ok ? (r.lines.length ? r.lines : [{ text: 'Checked: in use.' }]) : [...r.lines, { text: good[resource] ? 'The preview keeps the last good one.'
      : 'The preview keeps the built-in one.' }];
    showMessages(kind, lines, r.ok);
    if (r.ok) {
      good[resource] = r.bytes;
      Object.assign(good, r.also || {});
      if (kind === 'song') songPlayer = r.player;
      if (kind === 'icon') setFavicon(r.bytes);
    }
    return r.ok;
  }

  function setFavicon(png) {
    const link = document.querySelector('link[rel="icon"]');
    if (png && link) link.href = `data:image/png;base64,${M.base64(png)}`;
  }

  // --- the preview ---
  function playerChoice() {
    if (state.player !== 'auto') return state.player;
    return state.pieces.song ? songPlayer : null; // the built-in song: the build's own player
  }

  // What the preview and the download hand the program (window.quillonContent's form).
  function content() {
    const given = { player: playerChoice() };
    for (const key of ['TEXT', 'FONT', 'ANI', 'FPS', 'MUSIC']) if (good[key]) given[key] = good[key];
    return given;
  }

  let previewTimer = 0;
  function updatePreview(page) {
    if (!preview) return;
    clearTimeout(previewTimer);
    previewTimer = setTimeout(() => preview.show(content(), page || preview.currentPage()), 0);
    $('player').options[0].textContent = `as the song check says (${state.pieces.song ? songPlayer : 'small'})`;
  }

  // --- pieces coming in ---
  // Sorts files by kind where it is clear; asks about the rest, one at a time.
  async function takeFiles(files, kind) {
    const questions = [];
    for (const file of files) {
      if (file.size > M.largestLimit() || (kind && file.size > M.PIECES[kind].limit())) {
        notice(M.tooBig(file.size, file.name, kind || 'song'), true);
        continue;
      }
      if (kind && files.length === 1) {
        await takeFile(file, kind);
        continue;
      }
      const head = new Uint8Array(await file.slice(0, 65536).arrayBuffer());
      const sniffed = M.sniff(file.name, head);
      if (sniffed.kind) await takeFile(file, sniffed.kind);
      else if (sniffed.junk) notice(`${file.name} is ${sniffed.what}: it was left out.`, true);
      else questions.push({ file, what: sniffed.what });
    }
    for (const q of questions) {
      const answer = await ask(`Which piece is ${q.file.name} (${q.what})?`);
      if (answer) await takeFile(q.file, answer);
    }
  }

  function ask(question) {
    return new Promise((resolve) => {
      const box = $('ask'), buttons = $('ask-buttons');
      $('ask-text').textContent = question;
      buttons.textContent = '';
      const choices = [['text', 'Release text'], ['song', 'Song'], ['font', 'Font'], ['ani', 'Animation'],
        ['icon', 'Icon'], ['fps', 'Counter digits'], [null, 'Leave it out']];
      for (const [kind, label] of choices) {
        const b = document.createElement('button');
        b.type = 'button';
        b.textContent = label;
        b.dataset.answer = kind || 'none';
        b.addEventListener('click', () => {
          box.hidden = true;
          resolve(kind);
        });
        buttons.appendChild(b);
      }
      box.hidden = false;
    });
  }

  async function takeFile(file, kind) {
    const big = M.tooBig(file.size, file.name, kind);
    if (big) {
      notice(big, true);
      return;
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    if (kind === 'text') {
      const text = M.asText(bytes);
      if (text === null) {
        const why = `${file.name} is no text (it holds bytes that are not letters); the text stays as it was.`;
        showMessages('text', [{ text: why }], false);
        notice(why, true);
        return;
      }
      notice('');
      editor.set(text);
      textChanged(1);
      return;
    }
    const wrong = M.notPngMessage(file.name, bytes);
    if (wrong) {
      showMessages(kind, [{ text: wrong }], false);
      notice(wrong, true);
      return;
    }
    if (kind !== 'song' && !M.pngSize(bytes) && M.asText(bytes) === null) {
      const why = `${file.name} is neither a PNG picture nor a text form of the ${M.PIECES[kind].title}.`;
      showMessages(kind, [{ text: why }], false);
      notice(why, true);
      return;
    }
    notice('');
    await setPiece(kind, { name: M.safeName(file.name, kind), bytes });
  }

  async function setPiece(kind, piece) {
    state.pieces[kind] = piece;
    inUse(kind);
    save(`piece:${kind}`, piece);
    const ok = await checkPiece(kind);
    if (ok || !piece) updatePreview();
  }

  // --- storage ---
  function save(key, value) {
    if (!storage || !storage.db) return;
    storage.put(key, value).catch((error) => storageRefused(String(error.message || error)));
  }

  let refusalShown = false;
  function storageRefused(why) {
    status.storage = 'refused';
    if (refusalShown) return;
    refusalShown = true;
    notice(`This browser keeps nothing for this page (${why}): your work is lost when the tab closes. ` +
      'Keep it as a zip:', true, { label: 'Download sources', run: downloadSources });
  }

  let textSaveTimer = 0;
  let textCheckTimer = 0;
  function textChanged(page) {
    status.changedAt = performance.now();
    clearTimeout(textSaveTimer);
    textSaveTimer = setTimeout(() => save('text', editor.text), 300);
    clearTimeout(textCheckTimer);
    textCheckTimer = setTimeout(() => checkText(page || caretPage()), 60);
  }

  function caretPage() {
    const line = $('text').value.slice(0, $('text').selectionStart).split('\n').length;
    return Math.min(4, Math.floor((line - 1) / 32) + 1);
  }

  // --- downloads ---
  function downloadPresentation() {
    const name = state.name.trim() || 'quillon';
    const html = M.presentationHtml(parts, { name, description: state.description, content: content(),
      icon: good.ICON || (builtins.icon ? M.fromBase64(builtins.icon) : null) });
    M.saveFile(`${M.downloadName(name)}.html`, new TextEncoder().encode(html), 'text/html');
  }

  // NAME-windows.zip: the maker's Windows program with this content inside
  // (maker/windows-exe.js). A piece the program cannot take is named and
  // nothing is written.
  function downloadWindows() {
    const name = state.name.trim() || 'quillon';
    let zip;
    try {
      zip = M.windowsZip(window.quillonMakerWindows, { name, description: state.description, content: content(),
        ico: good.ICO || null });
    } catch (error) {
      if (!(window.quillonWindowsExe && error instanceof window.quillonWindowsExe.WindowsExeError)) throw error;
      status.windowsRefused = error.message;
      notice(`No Windows program was made: ${error.message}`, true);
      return;
    }
    status.windowsRefused = null;
    M.saveFile(`${M.downloadName(name)}-windows.zip`, zip, 'application/zip');
  }

  function downloadSources() {
    const pieces = [{ kind: 'text', name: TEXT_NAME, bytes: new TextEncoder().encode(editor.text) }];
    for (const kind of PIECE_KINDS) if (state.pieces[kind]) pieces.push({ kind, ...state.pieces[kind] });
    const zip = M.sourcesZip({ name: state.name, description: state.description, pieces,
      player: state.pieces.song ? playerChoice() : null });
    M.saveFile(`${M.downloadName(state.name)}-sources.zip`, zip.bytes, 'application/zip');
  }

  function nameChanged() {
    const file = M.downloadName(state.name);
    $('download').textContent = `Download ${file}.html`;
    document.title = `${state.name.trim() || 'quillon'} \u2014 Quillon maker`;
  }

  // --- wiring ---
  let editor;
  let pickFor = null;

  function wire() {
    editor = new M.Editor({ area: $('text'), gutter: $('gutter'), marks: $('marks'), onChange: () => textChanged() });
    $('name').addEventListener('input', () => {
      state.name = $('name').value;
      nameChanged();
      save('name', state.name);
    });
    $('description').addEventListener('input', () => {
      state.description = $('description').value;
      save('description', state.description);
    });
    $('player').addEventListener('change', () => {
      state.player = $('player').value;
      save('player', state.player);
      updatePreview();
    });
    $('download').addEventListener('click', downloadPresentation);
    $('download-sources').addEventListener('click', downloadSources);
    $('download-windows').addEventListener('click', downloadWindows);
    $('start-over').addEventListener('click', async () => {
      if (!window.confirm('Start over: forget your text, your pieces and your name?')) return;
      if (storage) await storage.clear().catch(() => {});
      location.reload();
    });
    for (const b of document.querySelectorAll('.page'))
      b.addEventListener('click', () => preview && preview.show(content(), Number(b.dataset.page)));
    $('counter').addEventListener('click', () => preview && preview.counter());
    $('closing').addEventListener('click', () => preview && preview.closing());
    $('mute').addEventListener('click', () => {
      const on = $('mute').getAttribute('aria-pressed') !== 'true';
      $('mute').setAttribute('aria-pressed', String(on));
      if (preview) preview.mute(on);
    });

    const picker = $('picker');
    for (const b of document.querySelectorAll('.pick')) {
      b.addEventListener('click', () => {
        pickFor = b.dataset.piece;
        picker.value = '';
        picker.accept = { song: '.xm', text: '.txt,text/plain', fps: '.txt,text/plain' }[pickFor] || '.png,.txt,image/png,text/plain';
        picker.click();
      });
    }
    picker.addEventListener('change', () => {
      if (picker.files.length) takeFiles([...picker.files], pickFor);
    });
    for (const b of document.querySelectorAll('.builtin')) {
      b.addEventListener('click', () => {
        const kind = b.dataset.piece;
        if (kind === 'text') {
          editor.set(builtins.text || '');
          textChanged(1);
        } else {
          setPiece(kind, null);
        }
      });
    }

    // Files dropped anywhere are sorted; on a piece's own place they are that piece.
    let depth = 0;
    const veil = $('drop-veil');
    const hasFiles = (e) => e.dataTransfer && [...(e.dataTransfer.types || [])].includes('Files');
    document.addEventListener('dragenter', (e) => {
      if (!hasFiles(e)) return;
      ++depth;
      veil.hidden = false;
    });
    document.addEventListener('dragleave', () => {
      if (--depth <= 0) {
        depth = 0;
        veil.hidden = true;
      }
    });
    document.addEventListener('dragover', (e) => {
      if (!hasFiles(e)) return;
      e.preventDefault();
      e.dataTransfer.dropEffect = 'copy';
    });
    document.addEventListener('drop', (e) => {
      depth = 0;
      veil.hidden = true;
      const files = e.dataTransfer ? [...e.dataTransfer.files] : [];
      if (!files.length) return;
      e.preventDefault();
      const zone = e.target.closest && e.target.closest('[data-piece]');
      takeFiles(files, zone ? zone.dataset.piece : null);
    });

    // The first gesture allows sound.
    const gesture = () => {
      if (preview) preview.enableSound();
      window.removeEventListener('pointerdown', gesture, true);
      window.removeEventListener('keydown', gesture, true);
    };
    window.addEventListener('pointerdown', gesture, true);
    window.addEventListener('keydown', gesture, true);
  }

  function makeChecks() {
    const tools = window.quillonMakerTools;
    const runTool = window.QuillonToolsRunner && window.QuillonToolsRunner.runTool;
    if (!tools || !runTool || typeof window.createQuillonTools !== 'function') return null;
    const wasm = M.fromBase64(tools.wasm);
    return new M.Checks((tool, args, files) => runTool(window.createQuillonTools, wasm, tool, args, files));
  }

  async function init() {
    wire();
    checks = makeChecks();
    if (!checks) notice('The content checks are missing from this page (its build had no tools), so nothing you give reaches the preview.', true);
    if (parts && window.QuillonPresentation) {
      preview = new M.Preview({
        canvas: $('screen'), wasmBinary: M.fromBase64(parts.wasm),
        captureFrames: Math.round(Number(params.get('capture') || 0) * 44100),
        onState: (text) => { $('preview-state').textContent = text; },
        onShown: (page, ms, shown) => {
          status.shown = { page, ms, at: performance.now(), sinceChange: performance.now() - status.changedAt,
            resources: Object.keys(shown).filter((k) => k !== 'player'), player: shown.player };
          console.log(`maker: page ${page} shown ${ms} ms after the restart`);
        },
      });
      $('download').disabled = false;
      // "Record a video" (maker-video.js): the same content and program.
      if (M.Video) M.Video.init({ content, name: () => state.name,
        wasm: () => preview.compiled ? Promise.resolve(preview.compiled) : WebAssembly.compile(M.fromBase64(parts.wasm)) });
    } else {
      $('preview-state').textContent = 'No preview: this page was built without the presentation.';
    }
    $('download-sources').disabled = typeof window.fflate !== 'object';
    $('download-windows').disabled = !(window.quillonMakerWindows && window.quillonWindowsExe &&
      typeof window.fflate === 'object');

    storage = new M.Storage();
    const opened = params.has('nostorage') ? false : await storage.open();
    let saved = {};
    if (opened) {
      try {
        saved = await storage.all();
        status.storage = 'kept';
      } catch (error) {
        storageRefused(String(error.message || error));
      }
    } else {
      storageRefused(storage.refused || 'storage is off');
    }
    state.name = typeof saved.name === 'string' ? saved.name : 'quillon';
    state.description = typeof saved.description === 'string' ? saved.description : '';
    state.player = ['auto', 'small', 'full'].includes(saved.player) ? saved.player : 'auto';
    $('name').value = state.name;
    $('description').value = state.description;
    $('player').value = state.player;
    nameChanged();
    editor.set(typeof saved.text === 'string' ? saved.text : builtins.text || '');
    for (const kind of PIECE_KINDS) {
      const piece = saved[`piece:${kind}`];
      state.pieces[kind] = piece && piece.bytes instanceof Uint8Array ? piece : null;
      inUse(kind);
    }
    await Promise.all(PIECE_KINDS.map((kind) => checkPiece(kind)));
    await checkText(1);
    if (!checks) updatePreview(1);
    status.readyMs = Math.round(performance.now());
    status.ready = true;
    console.log(`maker: ready after ${Math.round(performance.now())} ms`);
  }

  init().catch((error) => {
    notice(`The maker could not start: ${error.message || error}`, true);
    console.error(error);
  });
})();
