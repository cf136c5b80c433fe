// What the web tests share: the page's own static server, headless
// Chromium through puppeteer-core (no browser download: Debian's chromium),
// the console of the page, waiting for conditions, the canvas's pixels and
// the pictures of the headless snapshot tool.
//
// Environment (set by tests/web/CMakeLists.txt):
//   QUILLON_WEB_SITE      the folder make web built
//   QUILLON_NODE_MODULES  where npm installed puppeteer-core
//   QUILLON_SNAPSHOT, QUILLON_XMRENDER, QUILLON_SONG   host tools and the song
//   QUILLON_WEB_OUT       where pictures of the run are left for looking at
'use strict';
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const env = (name) => {
  if (!process.env[name]) throw new Error(`${name} is not set`);
  return process.env[name];
};

const SKIP = 77;
const WIDTH = 640;
const HEIGHT = 480;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Waits for `condition` (may be async) to give a truthy value; fails with
// `what` after `timeoutMs`.
async function waitFor(what, condition, timeoutMs = 20000, intervalMs = 100) {
  const until = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value) return value;
    if (Date.now() > until) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
    await sleep(intervalMs);
  }
}

// Starts platform/web/serve.cjs on a free port; resolves to { url, stop }.
function startServer(folder, { isolation = true } = {}) {
  const script = path.join(__dirname, '..', '..', 'platform', 'web', 'serve.cjs');
  const args = [script, folder];
  if (!isolation) args.push('--no-isolation');
  const child = spawn(process.execPath, args, { stdio: ['ignore', 'pipe', 'inherit'] });
  const stop = () => { if (child.exitCode === null) process.kill(child.pid, 'SIGTERM'); };
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const line = out.split('\n')[0];
      if (out.includes('\n')) resolve({ url: line.trim(), stop });
    });
    child.on('exit', (code) => reject(new Error(`the server ended with ${code}`)));
  });
}

// Headless Chromium with a profile of its own; the page's console lines are
// collected (and echoed, so a failing run shows them).
async function openBrowser(extraArgs = []) {
  const puppeteer = require(path.join(env('QUILLON_NODE_MODULES'), 'puppeteer-core'));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', `--user-data-dir=${profile}`, `--window-size=${WIDTH},${HEIGHT}`,
      ...extraArgs],
    defaultViewport: { width: WIDTH, height: HEIGHT },
  });
  const page = await browser.newPage();
  const lines = [];
  page.on('console', (message) => {
    lines.push(message.text());
    console.log(`  page: ${message.text()}`);
  });
  page.on('pageerror', (error) => {
    lines.push(`pageerror: ${error.message}`);
    console.log(`  page error: ${error.message}`);
  });
  const close = async () => {
    await browser.close().catch(() => {});
    fs.rmSync(profile, { recursive: true, force: true });
  };
  const logged = (pattern) => lines.find((line) => pattern.test(line));
  const waitForLog = (pattern, timeoutMs) => waitFor(`a console line ${pattern}`, () => logged(pattern), timeoutMs);
  return { browser, page, lines, logged, waitForLog, close };
}

// The canvas's own pixels (not a scaled screenshot), RGBA.
async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const bytes = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return { width: WIDTH, height: HEIGHT, rgba: Buffer.from(base64, 'base64') };
}

// An RGB pixel as 0xRRGGBB.
const rgbaPixel = (picture, x, y) => {
  const i = (y * picture.width + x) * 4;
  return (picture.rgba[i] << 16) | (picture.rgba[i + 1] << 8) | picture.rgba[i + 2];
};

function readPpm(file) {
  const bytes = fs.readFileSync(file);
  const header = /^P6\s+(\d+)\s+(\d+)\s+255\s/.exec(bytes.subarray(0, 64).toString('latin1'));
  if (!header) throw new Error(`${file} is no P6 picture`);
  const width = Number(header[1]), height = Number(header[2]);
  const data = bytes.subarray(header[0].length);
  return { width, height, pixel: (x, y) => { const i = (y * width + x) * 3; return (data[i] << 16) | (data[i + 1] << 8) | data[i + 2]; } };
}

function writePpm(file, picture) {
  const rgb = Buffer.alloc(picture.width * picture.height * 3);
  for (let i = 0, j = 0; i < picture.rgba.length; i += 4, j += 3) picture.rgba.copy(rgb, j, i, i + 3);
  fs.writeFileSync(file, Buffer.concat([Buffer.from(`P6\n${picture.width} ${picture.height}\n255\n`), rgb]));
}

// Pictures of the headless snapshot tool: { moment: picture }.
function snapshots(moments, surface = 'PRIMARY') {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-snapshot-'));
  const run = spawnSync(env('QUILLON_SNAPSHOT'), ['--ppm', '--surface', surface, dir, ...moments], { encoding: 'utf8' });
  if (run.status !== 0) throw new Error(`snapshot failed: ${run.stderr}`);
  const pictures = {};
  for (const m of moments) pictures[m] = readPpm(path.join(dir, `${m}.ppm`));
  fs.rmSync(dir, { recursive: true, force: true });
  return pictures;
}

function outputDir() {
  const dir = process.env.QUILLON_WEB_OUT || fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-web-'));
  fs.mkdirSync(dir, { recursive: true });
  return dir;
}

// Runs the named case of `cases` (process.argv[2]) with a server and a
// browser that are always taken down again; exit 0 passed, 1 failed.
async function main(cases) {
  const name = process.argv[2];
  const test = cases[name];
  if (!test) {
    console.error(`usage: ${path.basename(process.argv[1])} ${Object.keys(cases).join('|')}`);
    process.exit(2);
  }
  const site = env('QUILLON_WEB_SITE');
  if (!fs.existsSync(path.join(site, 'quillon.wasm')) ||
      !fs.existsSync(path.join(env('QUILLON_NODE_MODULES'), 'puppeteer-core'))) {
    console.log(`SKIP: no web build in ${site} or no puppeteer-core (make web builds and installs them)`);
    process.exit(SKIP);
  }
  const open = [];
  const context = {
    site,
    out: outputDir(),
    server: async (options) => { const s = await startServer(site, options); open.push(s.stop); return s; },
    browser: async (args) => { const b = await openBrowser(args); open.push(b.close); return b; },
  };
  let failed = null;
  try {
    await test(context);
  } catch (error) {
    failed = error;
  }
  for (const close of open.reverse()) await close();
  if (failed) {
    console.log(`FAIL: ${name}: ${failed.stack || failed}`);
    process.exit(1);
  }
  console.log(`PASS: ${name}`);
  process.exit(0);
}

module.exports = { WIDTH, HEIGHT, sleep, waitFor, canvasPixels, rgbaPixel, readPpm, writePpm, snapshots, env, main };
