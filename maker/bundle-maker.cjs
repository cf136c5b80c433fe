// Makes the maker page, one self-contained file (run by maker/CMakeLists.txt):
//
//   node bundle-maker.cjs --out quillon-maker.html --maker-dir maker/
//        --page-template index.html --program quillon.js --wasm quillon.wasm
//        --page quillon-page.js --audio quillon-audio.js
//        --fflate fflate/umd/index.js --mediabunny mediabunny/dist/bundles/mediabunny.min.cjs --text release.txt --icon quillon.png
//        --song-limit-mb N --memory-mb N --memory-limit-mb N
//        [--tools-js quillon-tools.js --tools-wasm quillon-tools.wasm]
//        [--windows-exe quillon-maker.exe --resedit resedit.js --windows-readme README-windows.txt
//         --windows-player small|full]
//
// Inlined: the maker's own style and scripts (maker-*.js, then maker.js),
// the zip writer, the video muxer (Mediabunny), the tools (their wasm as base64, their JS and
// maker/tools-runner.js), and every part of the presentation as strings:
// its page template, program, wasm (base64), page script and audio player;
// with --windows-exe, the Windows program (base64) it rewrites for each
// NAME-windows.zip, with resedit and maker/windows-exe.js, which do that.
// The maker runs the program and the page script from those strings for
// its preview, and writes them into each NAME.html it gives. The page
// fetches nothing.
'use strict';
const fs = require('fs');
const path = require('path');

const STYLE_MARK = '<!-- maker:style -->';
const SCRIPT_MARK = '<!-- maker:scripts -->';
// The maker's scripts in the order they build on each other.
const MAKER_SCRIPTS = ['maker-pieces.js', 'maker-editor.js', 'maker-storage.js', 'maker-checks.js',
  'maker-downloads.js', 'maker-preview.js', 'maker-video.js', 'maker.js'];

function parseArguments(argv) {
  const options = {};
  for (let i = 0; i < argv.length; i += 2) {
    if (!argv[i].startsWith('--') || i + 1 >= argv.length) throw new Error(`unexpected argument ${argv[i]}`);
    options[argv[i].slice(2)] = argv[i + 1];
  }
  for (const name of ['out', 'maker-dir', 'page-template', 'program', 'wasm', 'page', 'audio', 'fflate', 'mediabunny',
    'text', 'icon',
    'song-limit-mb', 'memory-mb', 'memory-limit-mb'])
    if (!options[name]) throw new Error(`--${name} is missing`);
  if (!!options['tools-js'] !== !!options['tools-wasm']) throw new Error('--tools-js and --tools-wasm come together');
  const windows = ['windows-exe', 'resedit', 'windows-readme', 'windows-player'].filter((name) => options[name]);
  if (windows.length !== 0 && windows.length !== 4)
    throw new Error('--windows-exe, --resedit, --windows-readme and --windows-player come together');
  if (options['windows-player'] && !/^(small|full)$/.test(options['windows-player']))
    throw new Error('--windows-player is small or full');
  return options;
}

// A script's text inside <script>...</script>: only "</script" (any case)
// and "<!--" could end or change it there, which is checked rather than
// rewritten.
function inlineScript(name, text) {
  if (/<\/script|<!--/i.test(text)) throw new Error(`${name} holds text that would end its inline <script>`);
  return `<script>\n${text}\n</script>`;
}

// A string constant that is safe inside a <script>.
function jsString(text) {
  return JSON.stringify(text).replace(/</g, '\\u003c');
}

function main() {
  const o = parseArguments(process.argv.slice(2));
  const read = (file) => fs.readFileSync(file, 'utf8');
  const template = read(path.join(o['maker-dir'], 'maker.html'));
  for (const mark of [STYLE_MARK, SCRIPT_MARK])
    if (template.split(mark).length !== 2) throw new Error(`maker.html must hold ${mark} once`);
  const pageTemplate = read(o['page-template']);
  // What each download changes in the presentation's page must be there.
  for (const piece of ['<!-- quillon:scripts -->', '<title>Quillon</title>', '<link rel="icon" href="data:,">',
    '<h1>QUILLON</h1>'])
    if (!pageTemplate.includes(piece)) throw new Error(`${o['page-template']} has no ${piece}`);

  // The presentation's limits as cmake/web.cmake sets them (bundle.cjs
  // gives quillon.html the same): the maker's page and each download.
  const config = {};
  for (const [option, key] of [['song-limit-mb', 'songLimitBytes'], ['memory-mb', 'memoryBytes'],
    ['memory-limit-mb', 'memoryLimitBytes']]) {
    if (!/^[1-9][0-9]*$/.test(o[option])) throw new Error(`--${option} must be a whole number of megabytes`);
    config[key] = Number(o[option]) * 1024 * 1024;
  }
  const program = read(o.program), page = read(o.page);
  // Checked here, as the download inlines them in <script> elements.
  inlineScript('the program', program);
  inlineScript('the page', page);

  const data = [
    `window.quillonConfig = ${JSON.stringify(config)};`,
    `window.quillonMakerParts = {\n  template: ${jsString(pageTemplate)},\n  program: ${jsString(program)},\n` +
      `  wasm: ${jsString(fs.readFileSync(o.wasm).toString('base64'))},\n  page: ${jsString(page)},\n` +
      `  audio: ${jsString(read(o.audio))},\n};`,
    `window.quillonMakerBuiltins = {\n  text: ${jsString(read(o.text))},\n` +
      `  icon: ${jsString(fs.readFileSync(o.icon).toString('base64'))},\n};`,
  ];
  const scripts = [`<script>\n${data.join('\n')}\n</script>`];
  // The presentation's program and page script, run from the strings
  // above (the page script as a component: the maker has no start screen).
  scripts.push(inlineScript('the starter', [
    'window.quillonPageAsComponent = true;',
    'window.quillonAudioSource = window.quillonMakerParts.audio;',
    'for (const key of [\'program\', \'page\']) {',
    '  const script = document.createElement(\'script\');',
    '  script.textContent = window.quillonMakerParts[key];',
    '  document.head.appendChild(script);',
    '}',
  ].join('\n')));
  scripts.push(inlineScript('fflate', read(o.fflate)));
  // Its browser bundle defines the global Mediabunny.
  scripts.push(inlineScript('mediabunny', read(o.mediabunny)));
  if (o['tools-js']) {
    scripts.push(`<script>\nwindow.quillonMakerTools = { wasm: ${jsString(fs.readFileSync(o['tools-wasm']).toString('base64'))} };\n</script>`);
    scripts.push(inlineScript('the tools', read(o['tools-js'])));
    scripts.push(inlineScript('the tools runner', read(path.join(o['maker-dir'], 'tools-runner.js'))));
  }
  if (o['windows-exe']) {
    const windows = { exe: fs.readFileSync(o['windows-exe']).toString('base64'), readme: read(o['windows-readme']),
      player: o['windows-player'] };
    scripts.push(`<script>\nwindow.quillonMakerWindows = ${JSON.stringify(windows).replace(/</g, '\\u003c')};\n</script>`);
    scripts.push(inlineScript('resedit', read(o.resedit)));
    scripts.push(inlineScript('windows-exe.js', read(path.join(o['maker-dir'], 'windows-exe.js'))));
  }
  for (const name of MAKER_SCRIPTS) scripts.push(inlineScript(name, read(path.join(o['maker-dir'], name))));

  const style = `<style>\n${read(path.join(o['maker-dir'], 'maker.css'))}\n</style>`;
  const out = template.replace(STYLE_MARK, () => style).replace(SCRIPT_MARK, () => scripts.join('\n'));
  fs.writeFileSync(o.out, out);
}

try {
  main();
} catch (error) {
  console.error(`bundle-maker.cjs: ${error.message}`);
  process.exit(1);
}
