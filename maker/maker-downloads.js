// What the person takes away: NAME.html, the presentation as one file (the
// page quillon.html is made from, with their content inside, their name as
// its title and their icon), and NAME-sources.zip, the pieces as files with
// the `make run` line that builds the same presentation natively.
'use strict';
(() => {
  const M = window.QuillonMaker = window.QuillonMaker || {};
  const MARK = '\u003c!-- quillon:scripts -->'; // written so as not to end this script inline
  const TITLE = '<title>Quillon</title>', ICON = '<link rel="icon" href="data:,">';
  const HEADING = '<h1>QUILLON</h1>';
  const BLURB = '<p>A release presentation: four pages of text, with its own music.</p>';
  M.DEFAULT_DESCRIPTION = 'A release presentation: four pages of text, with its own music.';

  const escapeHtml = (text) => String(text).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
  // A string constant that is safe inside a <script>.
  const jsString = (text) => JSON.stringify(text).replace(/</g, '\\u003c');

  M.base64 = (bytes) => {
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  };
  M.fromBase64 = (text) => {
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  };

  // The file name a download gets from the person's name.
  M.downloadName = (name) => M.safeName(String(name || '').trim().replace(/\s+/g, '-'), 'quillon');

  // The presentation as one page. parts: { template, program, wasm (base64),
  // page, audio } as make web built them; content: { NAME: bytes, player:
  // 'small' | 'full' | null } (window.quillonContent's form); icon: a 48x48
  // PNG or null. The limits (window.quillonConfig) are the maker's own.
  M.presentationHtml = (parts, { name, description, content, icon }) => {
    const title = String(name || '').trim() || 'quillon';
    let page = parts.template;
    const swap = (from, to) => {
      if (!page.includes(from)) throw new Error(`the page's template has no ${from}`);
      page = page.replace(from, () => to);
    };
    swap(TITLE, `<title>${escapeHtml(title)}</title>`);
    if (icon) swap(ICON, `<link rel="icon" type="image/png" href="data:image/png;base64,${M.base64(icon)}">`);
    swap(HEADING, `<h1>${escapeHtml(title.toUpperCase())}</h1>`);
    if (description && description.trim()) swap(BLURB, `<p>${escapeHtml(description.trim())}</p>`);
    // Each piece as base64 in a block the browser does not run, read from
    // there by a one-line script: a song of megabytes as a string constant
    // costs the browser seconds to parse (a 32 MB one 13 s in Chromium),
    // as text of an inert block a fraction of that.
    const given = {};
    const blocks = [];
    for (const [key, value] of Object.entries(content)) {
      if (!(value instanceof Uint8Array)) {
        given[key] = value;
        continue;
      }
      blocks.push(`<script type="application/octet-stream" id="quillon-piece-${key}">${M.base64(value)}<\/script>`);
      given[key] = null;
    }
    const read = Object.keys(given).filter((key) => given[key] === null)
      .map((key) => `content.${key} = document.getElementById('quillon-piece-${key}').textContent;\n`).join('');
    const inline = (text) => `<script>\n${text}\n<\/script>`;
    const scripts = [
      ...blocks,
      '<script>\n' +
        `window.quillonWasm = ${jsString(parts.wasm)};\n` +
        `window.quillonAudioSource = ${jsString(parts.audio)};\n` +
        `window.quillonConfig = ${JSON.stringify(window.quillonConfig)};\n` +
        `window.quillonContent = ((content) => {\n${read}return content;\n})(` +
        `${JSON.stringify(given).replace(/</g, '\\u003c')});\n` +
        '<\/script>',
      inline(parts.program),
      inline(parts.page),
    ].join('\n');
    swap(MARK, scripts);
    return page;
  };

  // The zip of the pieces: NAME-sources/ with each piece the person gave
  // and README.txt. pieces: [{ kind, name, bytes }] (the text always).
  M.sourcesZip = ({ name, description, pieces, player }) => {
    const folder = `${M.downloadName(name)}-sources`;
    const files = {};
    const used = new Set();
    const names = [];
    for (const piece of pieces) {
      let file = piece.name;
      for (let n = 2; used.has(file); ++n) file = piece.name.replace(/(\.[^.]*)?$/, `-${n}$1`);
      used.add(file);
      files[`${folder}/${file}`] = piece.bytes;
      names.push(`${M.PIECES[piece.kind].variable}=${folder}/${file}`);
    }
    const line = `make run ${names.join(' ')}${player === 'full' ? ' FULLXM=1' : ''}`;
    const readme = [
      `${String(name || 'quillon').trim()}${description && description.trim() ? ` -- ${description.trim()}` : ''}`,
      '',
      'The pieces of a Quillon presentation, as made in the Quillon maker.',
      'To build the same presentation as a program, unpack this zip at the top of',
      `Quillon's source tree (it makes the folder ${folder}/ there) and run:`,
      '',
      `    ${line}`,
      '',
      'Pieces not named there are the built-in ones. docs/own-presentation.md in',
      'the source tree tells what each piece may be.',
      '',
    ].join('\n');
    files[`${folder}/README.txt`] = new TextEncoder().encode(readme.replace(/\n/g, '\r\n'));
    return { bytes: window.fflate.zipSync(files, { level: 6, mtime: new Date(2000, 0, 1) }), line, readme };
  };

  // NAME-windows.zip: quillon.exe, the maker's 64-bit Windows program
  // rewritten with this content (maker/windows-exe.js), and README.txt.
  // windows: { exe (base64), readme } as make maker carried them; content
  // as for presentationHtml; ico: iconc's .ico or null. Throws the
  // WindowsExeError of a piece the program cannot take.
  M.windowsZip = (windows, { name, description, content, ico }) => {
    const bytes = (piece) => (typeof piece === 'string' ? M.fromBase64(piece) : piece || undefined);
    const exe = window.quillonWindowsExe.makeWindowsExe(M.fromBase64(windows.exe), {
      name, description: description && description.trim() ? description.trim() : undefined,
      text: bytes(content.TEXT), music: bytes(content.MUSIC), font: bytes(content.FONT), ani: bytes(content.ANI),
      fps: bytes(content.FPS), icon: ico || undefined,
      // The exe holds both players; without a choice it plays the build's.
      player: content.player || windows.player,
    }, { songLimitBytes: window.quillonConfig ? window.quillonConfig.songLimitBytes : undefined });
    const readme = new TextEncoder().encode(windows.readme.replace(/\r?\n/g, '\r\n'));
    return window.fflate.zipSync({ 'quillon.exe': exe, 'README.txt': readme }, { level: 6, mtime: new Date(2000, 0, 1) });
  };

  // Hands bytes to the browser as a download; the tests read the last one
  // from window.quillonMaker.downloads.
  M.saveFile = (fileName, bytes, type) => {
    const blob = new Blob([bytes], { type });
    const url = URL.createObjectURL(blob);
    const a = document.createElement('a');
    a.href = url;
    a.download = fileName;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
    if (window.quillonMaker) window.quillonMaker.downloads[fileName] = bytes;
  };
})();
