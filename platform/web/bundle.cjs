// Makes the two forms of the web page from the page template and the built
// program (run by cmake/web.cmake):
//
//   node bundle.cjs --template index.html --program quillon.js --wasm quillon.wasm
//        --page quillon-page.js --audio quillon-audio.js --folder DIR --single FILE
//        --song-limit-mb N --memory-mb N --memory-limit-mb N
//
// DIR/index.html loads quillon.js, quillon-page.js and (at the start
// gesture) quillon-audio.js from beside it, and the program fetches
// quillon.wasm; FILE is one self-contained page with all of them inlined:
// the wasm as base64 (handed to the program as its binary), the audio
// player's source as a string (loaded from a Blob URL), the scripts as they
// are. It fetches nothing. Both begin with window.quillonConfig: the largest
// song the page hands the program (songLimitBytes), and the program's
// memory without content of the page's own (memoryBytes) and at most
// (memoryLimitBytes), as cmake/web.cmake sets them.
'use strict';
const fs = require('fs');

const MARK = '<!-- quillon:scripts -->';

function parseArguments(argv) {
  const options = {};
  for (let i = 0; i < argv.length; i += 2) {
    if (!argv[i].startsWith('--') || i + 1 >= argv.length) throw new Error(`unexpected argument ${argv[i]}`);
    options[argv[i].slice(2)] = argv[i + 1];
  }
  for (const name of ['template', 'program', 'wasm', 'page', 'audio', 'folder', 'single', 'song-limit-mb', 'memory-mb',
    'memory-limit-mb'])
    if (!options[name]) throw new Error(`--${name} is missing`);
  for (const name of ['song-limit-mb', 'memory-mb', 'memory-limit-mb'])
    if (!/^[1-9][0-9]*$/.test(options[name])) throw new Error(`--${name} must be a whole number of megabytes`);
  return options;
}

// A script's text inside <script>...</script>: only "</script" (any case)
// and "<!--" could end or change it there; the program's and the page's
// own code contain neither, which is checked rather than rewritten.
function inlineScript(name, text) {
  if (/<\/script|<!--/i.test(text)) throw new Error(`${name} holds text that would end its inline <script>`);
  return `<script>\n${text}\n</script>`;
}

// A string constant that is safe inside a <script>.
function jsString(text) {
  return JSON.stringify(text).replace(/</g, '\\u003c');
}

const MB = 1024 * 1024;

function config(o) {
  const settings = {
    songLimitBytes: Number(o['song-limit-mb']) * MB,
    memoryBytes: Number(o['memory-mb']) * MB,
    memoryLimitBytes: Number(o['memory-limit-mb']) * MB,
  };
  return `<script>\nwindow.quillonConfig = ${JSON.stringify(settings)};\n</script>`;
}

function main() {
  const o = parseArguments(process.argv.slice(2));
  const template = fs.readFileSync(o.template, 'utf8');
  if (template.split(MARK).length !== 2) throw new Error(`${o.template} must hold ${MARK} once`);

  const folderScripts = `${config(o)}\n<script src="quillon.js"></script>\n<script src="quillon-page.js"></script>`;
  fs.writeFileSync(`${o.folder}/index.html`, template.replace(MARK, folderScripts));

  const wasm = fs.readFileSync(o.wasm).toString('base64');
  const single = [
    config(o),
    `<script>\nwindow.quillonWasm = ${jsString(wasm)};\n` +
      `window.quillonAudioSource = ${jsString(fs.readFileSync(o.audio, 'utf8'))};\n</script>`,
    inlineScript('the program', fs.readFileSync(o.program, 'utf8')),
    inlineScript('the page', fs.readFileSync(o.page, 'utf8')),
  ].join('\n');
  fs.writeFileSync(o.single, template.replace(MARK, () => single));
}

try {
  main();
} catch (error) {
  console.error(`bundle.cjs: ${error.message}`);
  process.exit(1);
}
