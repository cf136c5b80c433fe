// What the web tests share: the page's own static server, headless
// Chromium and Firefox through puppeteer-core (no browser download: Debian's
// chromium and firefox-esr; Firefox over WebDriver BiDi), the console and
// the requests of the page, waiting for conditions, the canvas's pixels and
// the pictures of the headless snapshot tool.
//
// Environment (set by tests/web/CMakeLists.txt):
//   QUILLON_WEB_BUILD     the tree make web built (quillon.html in it)
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
function startServer(folder, { isolation = false } = {}) {
  const script = path.join(__dirname, '..', '..', 'platform', 'web', 'serve.cjs');
  const args = [script, folder];
  if (isolation) args.push('--isolation');
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

// A PulseAudio server of our own with a null sink, for Firefox, whose
// AudioContext does not run without an output device; resolves to
// { environment, stop }. Chromium's headless audio needs none.
async function startPulseAudio() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-pulse-'));
  const socket = path.join(dir, 'pulse.sock');
  const environment = { XDG_RUNTIME_DIR: dir, PULSE_RUNTIME_PATH: path.join(dir, 'pulse'), PULSE_SERVER: `unix:${socket}` };
  const child = spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--use-pid-file=no', '--system=no',
    '-L', 'module-null-sink sink_name=quillon rate=44100 format=s16le channels=2',
    '-L', `module-native-protocol-unix auth-anonymous=1 socket=${socket}`],
  { stdio: 'ignore', env: { ...process.env, ...environment, HOME: dir } });
  const stop = () => {
    if (child.exitCode === null) process.kill(child.pid, 'SIGTERM');
    fs.rmSync(dir, { recursive: true, force: true });
  };
  await waitFor('the PulseAudio server', () => fs.existsSync(socket) || child.exitCode !== null, 20000, 100);
  if (child.exitCode !== null) throw new Error('pulseaudio did not start');
  return { environment, stop };
}

// A headless browser ('chromium' or 'firefox') with a profile of its own;
// the page's console lines and the requests it makes are collected (the
// console echoed, so a failing run shows it). `prepare(page)` runs before
// anything is loaded.
// `hostAlias` names a host that resolves to 127.0.0.1, so a page can be
// had over plain http from "another machine" (not a secure context).
async function openBrowser(kind, { args = [], prepare = null, hostAlias = null } = {}) {
  const puppeteer = require(path.join(env('QUILLON_NODE_MODULES'), 'puppeteer-core'));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `quillon-${kind}-`));
  const closers = [() => fs.rmSync(profile, { recursive: true, force: true })];
  let options;
  if (kind === 'firefox') {
    const pulse = await startPulseAudio();
    closers.push(pulse.stop);
    options = {
      browser: 'firefox', protocol: 'webDriverBiDi', executablePath: '/usr/bin/firefox-esr', userDataDir: profile,
      env: { ...process.env, ...pulse.environment },
      args: [`--width=${WIDTH}`, `--height=${HEIGHT}`, ...args],
      // Offline and quiet: no updates, telemetry or remote settings.
      extraPrefsFirefox: { 'browser.shell.checkDefaultBrowser': false, 'app.update.enabled': false,
        'datareporting.policy.dataSubmissionEnabled': false, 'toolkit.telemetry.enabled': false,
        ...(hostAlias ? { 'network.dns.localDomains': hostAlias } : {}) },
    };
  } else {
    options = {
      executablePath: '/usr/bin/chromium',
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', `--user-data-dir=${profile}`, `--window-size=${WIDTH},${HEIGHT}`,
        ...(hostAlias ? [`--host-resolver-rules=MAP ${hostAlias} 127.0.0.1`] : []), ...args],
    };
  }
  let browser;
  try {
    browser = await puppeteer.launch({ headless: true, defaultViewport: { width: WIDTH, height: HEIGHT }, ...options });
  } catch (error) {
    for (const close of closers.reverse()) close();
    throw error;
  }
  const lines = [];
  const requests = [];
  const newPage = async () => {
    const page = await browser.newPage();
    page.on('console', (message) => {
      lines.push(message.text());
      console.log(`  page: ${message.text()}`);
    });
    page.on('pageerror', (error) => {
      lines.push(`pageerror: ${error.message}`);
      console.log(`  page error: ${error.message}`);
    });
    page.on('request', (request) => requests.push(request.url()));
    if (prepare) await prepare(page);
    return page;
  };
  const page = await newPage();
  const close = async () => {
    await browser.close().catch(() => {});
    for (const c of closers.reverse()) c();
  };
  const logged = (pattern) => lines.find((line) => pattern.test(line));
  const waitForLog = (pattern, timeoutMs) => waitFor(`a console line ${pattern}`, () => logged(pattern), timeoutMs);
  return { kind, browser, page, lines, requests, newPage, logged, waitForLog, close };
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

function outputDir(kind) {
  const dir = process.env.QUILLON_WEB_OUT ? path.join(process.env.QUILLON_WEB_OUT, kind)
    : fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-web-'));
  fs.mkdirSync(dir, { recursive: true });
  return dir;
}

// Runs `node SCRIPT BROWSER CASE`: the named case of `cases` in the browser
// ('chromium' or 'firefox'), with servers and browsers that are always
// taken down again; exit 0 passed, 1 failed, 77 skipped.
async function main(cases) {
  const [kind, name] = process.argv.slice(2);
  const test = cases[name];
  if (!test || !['chromium', 'firefox'].includes(kind)) {
    console.error(`usage: ${path.basename(process.argv[1])} chromium|firefox ${Object.keys(cases).join('|')}`);
    process.exit(2);
  }
  const build = env('QUILLON_WEB_BUILD');
  if (!fs.existsSync(path.join(build, 'quillon.html')) ||
      !fs.existsSync(path.join(env('QUILLON_NODE_MODULES'), 'puppeteer-core'))) {
    console.log(`SKIP: no web build in ${build} or no puppeteer-core (make web builds and installs them)`);
    process.exit(SKIP);
  }
  const open = [];
  const context = {
    kind,
    build,
    out: outputDir(kind),
    server: async (options = {}) => {
      const s = await startServer(options.root || build, options);
      open.push(s.stop);
      return s;
    },
    browser: async (options) => { const b = await openBrowser(kind, options); open.push(b.close); return b; },
    spinner: () => {
      const child = spawn(process.execPath, ['-e', 'for (;;) {}'], { stdio: 'ignore' });
      open.push(() => { if (child.exitCode === null) process.kill(child.pid, 'SIGKILL'); });
    },
  };
  let failed = null;
  try {
    await test(context);
  } catch (error) {
    failed = error;
  }
  for (const close of open.reverse()) await close();
  if (failed) {
    console.log(`FAIL: ${kind} ${name}: ${failed.stack || failed}`);
    process.exit(1);
  }
  console.log(`PASS: ${kind} ${name}`);
  process.exit(0);
}

module.exports = { WIDTH, HEIGHT, sleep, waitFor, startServer, openBrowser, canvasPixels, rgbaPixel, readPpm, writePpm,
  snapshots, env, main };
