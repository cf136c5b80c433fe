// The maker's Windows program: the built maker exe (build-windows-x64/maker/
// quillon-maker.exe, the 64-bit program linked with both players) with a
// person's content in place of the built-in one, made with no compiler.
//
//   quillonWindowsExe.makeWindowsExe(exeBytes, content, options) -> Uint8Array
//
// exeBytes: the maker exe's bytes (Uint8Array). content, each piece optional
// but the name; a piece not given keeps the exe's built-in one:
//   name         the presentation's name: ProductName, InternalName and
//                OriginalFilename (NAME.exe) in Windows' Properties
//   description  one line: FileDescription (the name where empty)
//   font, ani, fps  the BMP files fontc, anigen and fpsgen write (Uint8Array)
//   music        the .xm file's bytes
//   text         the 10240 bytes textc writes
//   player       "small" or "full": the resource PLAYER, which the program's
//                music layer reads at each song start (music/player.h)
//   icon         the .ico file iconc writes: icon group 104 and its icons
// options: resedit (the resedit module; default globalThis.QuillonResEdit,
// which the bundle of maker/bundle-resedit.cjs sets), songLimitBytes
// (default 32 MiB, the largest song the maker page accepts).
//
// Every piece is checked before anything is built: a piece the program
// could not take throws a WindowsExeError whose message names the piece and
// the limit, and nothing is returned. Only the resource section is rebuilt
// (resedit and pe-library): the sections before it keep their bytes and
// places; .reloc, the one section after it, keeps its bytes and moves, with
// its directory entry, when the resources outgrow their pages. The section
// sizes, SizeOfImage, the resource directory entry and the checksum (where
// the exe carries one) follow.
//
// A classic script for the page (it sets globalThis.quillonWindowsExe) and a
// CommonJS module for node, with no build step.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.quillonWindowsExe = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  const RT_BITMAP = 2;
  const RT_RCDATA = 10;
  const ICON_GROUP = 104;
  const TEXT_BYTES = 10240;
  const DEFAULT_SONG_LIMIT = 32 * 1024 * 1024;
  const NAME_LIMIT = 64;
  const DESCRIPTION_LIMIT = 200;
  // The bitmaps as the display loads them (display/layout.h): the glyph
  // strip, the animation's 40 frames side by side, the counter's label and
  // digits.
  const BITMAPS = [
    { key: 'font', id: 'FONT', what: 'The font', width: 784, height: 12 },
    { key: 'ani', id: 'ANI', what: 'The animation', width: 5120, height: 64 },
    { key: 'fps', id: 'FPS', what: 'The counter digit strip', width: 170, height: 8 },
  ];
  // What a Windows file name cannot hold (NAME.exe is the exe's original
  // name).
  const FORBIDDEN_IN_NAME = /[<>:"/\\|?*\u0000-\u001f\u007f]/;
  const RESERVED_NAMES = /^(con|prn|aux|nul|com[0-9]|lpt[0-9])$/i;

  class WindowsExeError extends Error {
    constructor(piece, message) {
      super(message);
      this.name = 'WindowsExeError';
      this.piece = piece;
    }
  }

  function refuse(piece, message) {
    throw new WindowsExeError(piece, message);
  }

  function bytesOf(piece, what, value) {
    if (value instanceof Uint8Array) return value;
    if (value instanceof ArrayBuffer) return new Uint8Array(value);
    if (ArrayBuffer.isView(value)) return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
    return refuse(piece, `${what} is no file.`);
  }

  function count(n) {
    return n.toLocaleString('en-US');
  }

  // A BMP file as LoadImageA and the program's decoder take it: the file
  // header, a 40-byte info header, the size the display needs, 1, 4 or 8
  // bits with a colour table or 24 or 32 bits, uncompressed, every row there.
  function checkBitmap(shape, bytes) {
    const what = shape.what;
    if (bytes.length < 54 || bytes[0] !== 0x42 || bytes[1] !== 0x4d) refuse(shape.key, `${what} is no BMP file.`);
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const pixelsAt = view.getUint32(10, true);
    const headerSize = view.getUint32(14, true);
    const width = view.getInt32(18, true);
    const height = view.getInt32(22, true);
    const planes = view.getUint16(26, true);
    const bits = view.getUint16(28, true);
    const compression = view.getUint32(30, true);
    const usedColours = view.getUint32(46, true);
    if (headerSize !== 40 || planes !== 1 || compression !== 0 || ![1, 4, 8, 24, 32].includes(bits))
      refuse(shape.key, `${what} is a kind of BMP the program cannot read: it takes uncompressed BMPs ` +
        'of 1, 4, 8, 24 or 32 bits with a 40-byte header.');
    const rows = Math.abs(height);
    if (width !== shape.width || rows !== shape.height)
      refuse(shape.key, `${what} is ${width} x ${rows} pixels; the program takes ${shape.width} x ${shape.height}.`);
    const colours = bits <= 8 ? usedColours || 2 ** bits : 0;
    if (bits <= 8 && colours > 2 ** bits) refuse(shape.key, `${what} names ${colours} colours for ${bits} bits a pixel.`);
    const rowBytes = Math.ceil((width * bits) / 32) * 4;
    if (pixelsAt < 54 + 4 * colours || pixelsAt + rowBytes * rows > bytes.length)
      refuse(shape.key, `${what} is cut short: ${count(bytes.length)} bytes, too few for its pixels.`);
    // An RT_BITMAP resource is the file from the info header on.
    return bytes.subarray(14);
  }

  // An .ico file: its directory of 16-byte entries, each icon's bytes inside
  // the file.
  function checkIcon(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (bytes.length < 6 || view.getUint16(0, true) !== 0 || view.getUint16(2, true) !== 1)
      refuse('icon', 'The icon is no .ico file.');
    const n = view.getUint16(4, true);
    if (n === 0) refuse('icon', 'The icon file holds no icon.');
    if (bytes.length < 6 + 16 * n) refuse('icon', 'The icon file is cut short.');
    for (let i = 0; i < n; ++i) {
      const size = view.getUint32(6 + 16 * i + 8, true);
      const at = view.getUint32(6 + 16 * i + 12, true);
      if (size === 0 || at + size > bytes.length) refuse('icon', 'The icon file is cut short.');
    }
  }

  function checkName(name) {
    if (typeof name !== 'string' || name.length === 0) refuse('name', 'The name is empty.');
    if (name.length > NAME_LIMIT)
      refuse('name', `The name is ${name.length} characters long; the Windows program's details take at most ` +
        `${NAME_LIMIT}.`);
    const bad = name.match(FORBIDDEN_IN_NAME);
    if (bad) {
      const shown = bad[0] < ' ' || bad[0] === '\u007f' ? 'a control character' : `"${bad[0]}"`;
      refuse('name', `The name holds ${shown}, which a Windows file name cannot hold.`);
    }
    if (/[. ]$/.test(name)) refuse('name', 'The name ends in a dot or a space, which a Windows file name cannot.');
    if (RESERVED_NAMES.test(name)) refuse('name', `The name "${name}" is one that Windows keeps for a device.`);
  }

  function checkDescription(description) {
    if (typeof description !== 'string') refuse('description', 'The description is no text.');
    if (description.length > DESCRIPTION_LIMIT)
      refuse('description', `The description is ${description.length} characters long; the Windows program's ` +
        `details take at most ${DESCRIPTION_LIMIT}.`);
    if (/[\u0000-\u001f\u007f]/.test(description))
      refuse('description', 'The description is one line: it holds a line break or another control character.');
  }

  // Every piece checked; what the resources get.
  function checkContent(content, songLimit) {
    if (!content || typeof content !== 'object') refuse('content', 'No content was given.');
    checkName(content.name);
    const description = content.description === undefined ? '' : content.description;
    checkDescription(description);
    const out = { name: content.name, description, bitmaps: [] };
    if (content.text !== undefined) {
      const text = bytesOf('text', 'The release text', content.text);
      if (text.length !== TEXT_BYTES)
        refuse('text', `The release text is ${count(text.length)} bytes; the program takes exactly ` +
          `${count(TEXT_BYTES)} (128 lines of 80 characters, as textc writes them).`);
      out.text = text;
    }
    if (content.music !== undefined) {
      const music = bytesOf('music', 'The song', content.music);
      if (music.length === 0) refuse('music', 'The song is empty.');
      if (music.length > songLimit)
        refuse('music', `The song is ${count(music.length)} bytes; the Windows program takes songs of at most ` +
          `${count(songLimit)} bytes${songLimit >= 1048576 ? ` (${+(songLimit / 1048576).toFixed(1)} MB)` : ''}.`);
      out.music = music;
    }
    if (content.player !== undefined) {
      if (content.player !== 'small' && content.player !== 'full')
        refuse('player', `The player is "${String(content.player)}"; it is "small" or "full".`);
      out.player = content.player;
    }
    for (const shape of BITMAPS)
      if (content[shape.key] !== undefined)
        out.bitmaps.push({ id: shape.id, bin: checkBitmap(shape, bytesOf(shape.key, shape.what, content[shape.key])) });
    if (content.icon !== undefined) {
      out.icon = bytesOf('icon', 'The icon', content.icon);
      checkIcon(out.icon);
    }
    return out;
  }

  // The headers' facts this rewrite and its tests look at, read straight
  // from the bytes: the section table and the data directories. Null for
  // bytes that are no PE file.
  function readLayout(bytes) {
    if (bytes.length < 64) return null;
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (view.getUint16(0, true) !== 0x5a4d) return null;
    const nt = view.getUint32(60, true);
    if (nt + 264 > bytes.length || view.getUint32(nt, true) !== 0x4550) return null;
    const sectionCount = view.getUint16(nt + 6, true);
    const optionalSize = view.getUint16(nt + 20, true);
    const optional = nt + 24;
    const magic = view.getUint16(optional, true);
    const directories = optional + (magic === 0x20b ? 112 : 96);
    const dirCount = Math.min(view.getUint32(directories - 4, true), 16);
    const table = optional + optionalSize;
    if (table + 40 * sectionCount > bytes.length) return null;
    const dirs = [];
    for (let i = 0; i < dirCount; ++i)
      dirs.push({ virtualAddress: view.getUint32(directories + 8 * i, true), size: view.getUint32(directories + 8 * i + 4, true) });
    const sections = [];
    for (let i = 0; i < sectionCount; ++i) {
      const at = table + 40 * i;
      let name = '';
      for (let k = 0; k < 8 && bytes[at + k]; ++k) name += String.fromCharCode(bytes[at + k]);
      sections.push({
        name,
        virtualSize: view.getUint32(at + 8, true),
        virtualAddress: view.getUint32(at + 12, true),
        sizeOfRawData: view.getUint32(at + 16, true),
        pointerToRawData: view.getUint32(at + 20, true),
      });
    }
    return {
      machine: view.getUint16(nt + 4, true),
      magic,
      checkSumAt: optional + 64,
      checkSum: view.getUint32(optional + 64, true),
      sizeOfImage: view.getUint32(optional + 56, true),
      dirs,
      sections,
    };
  }

  // The PE checksum as the linker and Windows compute it: the 16-bit words
  // of the file summed with their carries folded in, the checksum field
  // left out, plus the file's length.
  function peChecksum(bytes, checkSumAt) {
    let sum = 0;
    for (let i = 0; i + 1 < bytes.length; i += 2) {
      if (i === checkSumAt || i === checkSumAt + 2) continue;
      sum += bytes[i] | (bytes[i + 1] << 8);
      sum = (sum & 0xffff) + (sum >>> 16);
    }
    if (bytes.length & 1) {
      sum += bytes[bytes.length - 1];
      sum = (sum & 0xffff) + (sum >>> 16);
    }
    return (sum + bytes.length) >>> 0;
  }

  // pe-library (2.0.1) writes the section names with Buffer where there is
  // one (node) and otherwise with a loop that repeats the first character
  // (".text" becomes "........" in a browser). The sections are the built
  // exe's, in its order, so their names are copied back from it, and the
  // checksum computed again.
  function restoreSectionNames(exe, out) {
    const from = new DataView(exe.buffer, exe.byteOffset, exe.byteLength);
    const to = new DataView(out.buffer, out.byteOffset, out.byteLength);
    const tableOf = (view) => {
      const nt = view.getUint32(60, true);
      return { at: nt + 24 + view.getUint16(nt + 20, true), count: view.getUint16(nt + 6, true) };
    };
    const a = tableOf(from), b = tableOf(to);
    if (a.count !== b.count) throw new Error('windows-exe.js: the section count changed');
    for (let i = 0; i < a.count; ++i) out.set(exe.subarray(a.at + 40 * i, a.at + 40 * i + 8), b.at + 40 * i);
    const layout = readLayout(out);
    if (layout.checkSum !== 0) to.setUint32(layout.checkSumAt, peChecksum(out, layout.checkSumAt), true);
  }

  function exeFault(message) {
    return refuse('exe', `The maker's Windows program cannot be rewritten: ${message}.`);
  }

  // The piece in place of the resource of that type and name, in its
  // language.
  function replaceResource(entries, type, id, bin, lang) {
    const found = entries.filter((e) => e.type === type && e.id === id);
    if (found.length) lang = found[0].lang;
    for (const e of found) entries.splice(entries.indexOf(e), 1);
    const copy = new Uint8Array(bin.length);
    copy.set(bin);
    entries.push({ type, id, lang, codepage: 0, bin: copy.buffer });
  }

  function makeWindowsExe(exeBytes, content, options) {
    options = options || {};
    const resedit = options.resedit || globalThis.QuillonResEdit;
    if (!resedit) throw new Error('windows-exe.js: the resedit bundle is not loaded');
    const songLimit = options.songLimitBytes || DEFAULT_SONG_LIMIT;
    const pieces = checkContent(content, songLimit);
    const exe = bytesOf('exe', "The maker's Windows program", exeBytes);

    // The layout this rewrite keeps: nothing but .reloc after the resource
    // section, so the resources may grow without moving anything the code
    // addresses (.reloc holds addresses in the other sections, none in
    // itself), and a relocation directory that is the whole of .reloc, as
    // pe-library sets it when it moves the section.
    const layout = readLayout(exe);
    if (!layout) exeFault('it is no PE file');
    if (layout.dirs.length < 6 || !layout.dirs[2].size) exeFault('it has no resources');
    const rsrc = layout.sections.find((s) => s.virtualAddress === layout.dirs[2].virtualAddress);
    if (!rsrc) exeFault('its resources are not a section of their own');
    const after = layout.sections.filter((s) => s.virtualAddress > rsrc.virtualAddress);
    if (after.some((s) => s.name !== '.reloc')) exeFault('a section other than .reloc follows its resources');
    if (after.length && layout.dirs[5].size !== after[0].virtualSize) exeFault('.reloc holds more than its relocations');

    let image, res;
    try {
      image = resedit.NtExecutable.from(exe);
      res = resedit.NtExecutableResource.from(image);
    } catch (error) {
      exeFault(error.message);
    }
    const entries = res.entries;
    const music = entries.find((e) => e.type === RT_RCDATA && e.id === 'MUSIC');
    if (!music) exeFault('it has no MUSIC resource');
    const lang = music.lang;

    for (const bitmap of pieces.bitmaps) replaceResource(entries, RT_BITMAP, bitmap.id, bitmap.bin, lang);
    if (pieces.music) replaceResource(entries, RT_RCDATA, 'MUSIC', pieces.music, lang);
    if (pieces.text) replaceResource(entries, RT_RCDATA, 'TEXT', pieces.text, lang);
    if (pieces.player) replaceResource(entries, RT_RCDATA, 'PLAYER', new TextEncoder().encode(pieces.player), lang);
    if (pieces.icon) {
      let icons;
      try {
        icons = resedit.Data.IconFile.from(pieces.icon).icons.map((item) => item.data);
      } catch (error) {
        refuse('icon', `The icon file cannot be read: ${error.message}.`);
      }
      const group = resedit.Resource.IconGroupEntry.fromEntries(entries).find((g) => g.id === ICON_GROUP);
      resedit.Resource.IconGroupEntry.replaceIconsForResource(entries, ICON_GROUP, group ? group.lang : lang, icons);
    }

    // The version details: the person's name and line; the program's
    // version and copyright stay, the company (Quillon's) goes.
    const versions = resedit.Resource.VersionInfo.fromEntries(entries);
    if (versions.length !== 1) exeFault('it has no version details');
    const version = versions[0];
    const languages = version.getAllLanguagesForStringValues();
    if (languages.length !== 1) exeFault('its version details are not in one language');
    const language = languages[0];
    const built = { ...version.getStringValues(language) };
    for (const key of Object.keys(built)) version.removeStringValue(language, key, false);
    const strings = {
      FileDescription: pieces.description || pieces.name,
      FileVersion: built.FileVersion || '',
      InternalName: pieces.name,
      OriginalFilename: `${pieces.name}.exe`,
      ProductName: pieces.name,
      ProductVersion: built.ProductVersion || '',
    };
    if (built.LegalCopyright) strings.LegalCopyright = built.LegalCopyright;
    if (built.ProductVersion) strings.Comments = `Made with Quillon ${built.ProductVersion}`;
    version.setStringValues(language, strings);
    version.outputToResourceEntries(entries);

    // Shrinking too: a smaller song gives a smaller exe, not stale bytes.
    res.outputResource(image, false, true);
    const out = new Uint8Array(image.generate());
    restoreSectionNames(exe, out);

    // What must not have moved, checked on the result itself.
    const outLayout = readLayout(out);
    for (const s of layout.sections) {
      if (s === rsrc || s.name === '.reloc') continue;
      const kept = outLayout.sections.some((t) => t.name === s.name && t.virtualAddress === s.virtualAddress &&
        t.pointerToRawData === s.pointerToRawData && t.sizeOfRawData === s.sizeOfRawData);
      if (!kept) throw new Error(`windows-exe.js: section ${s.name} moved`);
    }
    return out;
  }

  return {
    makeWindowsExe,
    checkContent,
    readLayout,
    peChecksum,
    WindowsExeError,
    TEXT_BYTES,
    DEFAULT_SONG_LIMIT,
    NAME_LIMIT,
    DESCRIPTION_LIMIT,
  };
});
