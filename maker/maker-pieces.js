// The pieces a person brings, and how a dropped file is told apart: what
// each piece is, how big a file of it may be (refused by its size before a
// byte of it is read), and what kind a file is by its first bytes (an XM
// header, a PNG's size, the shape of a text form).
'use strict';
(() => {
  const M = window.QuillonMaker = window.QuillonMaker || {};
  const KB = 1024, MB = 1024 * 1024;

  // The largest song the presentation's memory holds (cmake/web.cmake
  // names it; the bundle hands it over as window.quillonConfig).
  M.songLimitBytes = () => (window.quillonConfig && window.quillonConfig.songLimitBytes) || 16 * MB;

  // kind: title, the make variable that names it, the largest file taken.
  M.PIECES = {
    text: { title: 'release text', variable: 'TEXT', limit: () => 1 * MB },
    song: { title: 'song', variable: 'SONG', limit: M.songLimitBytes },
    font: { title: 'font', variable: 'FONT', limit: () => 4 * MB },
    ani: { title: 'animation', variable: 'ANI', limit: () => 8 * MB },
    icon: { title: 'icon', variable: 'ICON', limit: () => 8 * MB },
    fps: { title: 'counter digits', variable: 'FPS', limit: () => 1 * MB },
  };
  M.KINDS = Object.keys(M.PIECES);

  M.sizeText = (bytes) => bytes >= MB ? `${(bytes / MB).toFixed(bytes >= 10 * MB ? 0 : 1)} MB`
    : bytes >= KB ? `${(bytes / KB).toFixed(bytes >= 10 * KB ? 0 : 1)} KB` : `${bytes} bytes`;

  // The message for a file too big for `kind`, or '' when it fits.
  M.tooBig = (size, name, kind) => {
    const limit = M.PIECES[kind].limit();
    if (size <= limit) return '';
    const why = kind === 'song' ? 'the presentation\'s memory holds songs of up to ' + M.sizeText(limit)
      : `a ${M.PIECES[kind].title} file is at most ${M.sizeText(limit)}`;
    return `${name} is ${M.sizeText(size)}: too big, ${why}.`;
  };
  M.largestLimit = () => Math.max(...M.KINDS.map((k) => M.PIECES[k].limit()));

  // A file name the tools and the zip can use as it is: letters, digits,
  // dot, dash and underscore (what else there was becomes "_").
  M.safeName = (name, fallback) => {
    const base = String(name || '').split(/[\\/]/).pop().replace(/[^A-Za-z0-9._-]+/g, '_').replace(/^[.-]+/, '');
    return base.slice(-80) || fallback;
  };

  const PNG = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
  const startsWith = (bytes, sig) => sig.every((b, i) => bytes[i] === b);
  const ascii = (bytes, from, to) => String.fromCharCode(...bytes.subarray(from, Math.min(to, bytes.length)));

  // What other picture formats look like, to name them when one comes as .png.
  function otherPicture(bytes) {
    if (startsWith(bytes, [0xff, 0xd8, 0xff])) return 'a JPEG picture';
    if (ascii(bytes, 0, 4) === 'GIF8') return 'a GIF picture';
    if (ascii(bytes, 0, 2) === 'BM') return 'a BMP picture';
    if (ascii(bytes, 0, 4) === 'RIFF' && ascii(bytes, 8, 12) === 'WEBP') return 'a WebP picture';
    if (ascii(bytes, 4, 12) === 'ftypavif') return 'an AVIF picture';
    return '';
  }

  // The width and height a PNG's header gives, or null.
  M.pngSize = (bytes) => {
    if (bytes.length < 24 || !startsWith(bytes, PNG) || ascii(bytes, 12, 16) !== 'IHDR') return null;
    const v = new DataView(bytes.buffer, bytes.byteOffset, 24);
    return { width: v.getUint32(16), height: v.getUint32(20) };
  };

  // The bytes as text (UTF-8), or null where they are no text: a NUL, a
  // control character other than tab, line feed, form feed and carriage
  // return, or a byte sequence that is not UTF-8.
  M.asText = (bytes) => {
    let text;
    try {
      text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    } catch {
      return null;
    }
    return /[\u0000-\u0008\u000b\u000e-\u001f\u007f]/.test(text) ? null : text;
  };

  // What a file is, from its name and first bytes (at least 64 KB of them):
  // { kind } where clear, otherwise { kind: null, what } with what it seems to be.
  M.sniff = (name, head) => {
    const lower = String(name).toLowerCase();
    if (ascii(head, 0, 17) === 'Extended Module: ' || /\.xm$/.test(lower)) return { kind: 'song' };
    const size = M.pngSize(head);
    if (size) {
      const { width, height } = size;
      if (width === 784 && height === 12) return { kind: 'font' };
      if (width === 5120 && height === 64) return { kind: 'ani' };
      if (width === height && width >= 48) return { kind: 'icon' };
      return { kind: null, what: `a PNG picture of ${width}x${height} pixels` };
    }
    const picture = otherPicture(head);
    if (picture) return { kind: null, what: picture, notPng: true };
    const text = M.asText(head.length >= 65536 ? head.subarray(0, 65532) : head);
    if (text === null) return { kind: null, what: 'no text and no picture or song this page knows', junk: true };
    const setting = (names) => new RegExp(`^\\s*(?:${names})\\s*=`, 'm').test(text);
    if (setting('major_radius|minor_radius|ring_cells|tube_cells|spin_cells_per_loop')) return { kind: 'ani' };
    if (setting('tile_edge|tile_centre|ring_outer|ring_inner|tail_from_x')) return { kind: 'icon' };
    if (/^=\s*32\b/m.test(text) && /^[.#]{8}\s*$/m.test(text)) return { kind: 'font' };
    if (/^=\s*[F0-9]\s*$/m.test(text) && /^[.#]{10}\s*$/m.test(text)) return { kind: 'fps' };
    const lines = text.split(/\r?\n/);
    const wide = lines.filter((l) => l.length >= 60).length;
    if (lines.length >= 32 && wide >= lines.length / 3) return { kind: 'text' };
    return { kind: null, what: 'a text of another kind' };
  };

  // What a wrong file named .png really is, for its message; '' when it is a PNG.
  M.notPngMessage = (name, bytes) => {
    if (!/\.png$/i.test(name) || M.pngSize(bytes)) return '';
    const picture = otherPicture(bytes);
    return picture ? `${name} is ${picture}, not a PNG, though its name says so: save it as PNG and drop it again.`
      : '';
  };
})();
