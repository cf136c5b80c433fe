// The figures of the web page, for the notes (not part of ctest):
//
//   node figures.cjs [chromium|firefox ...] [--also NAME=URL ...]
//
// For build-web/quillon.html opened from disk, and for each page named by
// --also (another build served somewhere, to compare), in each browser: the
// time from opening to the start screen (the page's own clock), the figures
// the frame counter shows over 10 s, and the CPU time of all the browser's
// processes over the same 10 s as a share of one core. Also the size of
// quillon.html, raw and gzipped. Environment as for web_test.cjs.
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const { pathToFileURL } = require('url');
const h = require('./harness.cjs');
const { counterFigure, labelShown } = require('./counter.cjs');

const SECONDS = 10;

// utime + stime in clock ticks of the process and all its descendants.
function treeTicks(root) {
  const parents = new Map();
  const ticks = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      parents.set(Number(entry), Number(fields[1]));
      ticks.set(Number(entry), Number(fields[11]) + Number(fields[12]));
    } catch {
      // gone meanwhile
    }
  }
  const inTree = (pid) => {
    for (let p = pid; p > 1; p = parents.get(p)) if (p === root) return true;
    return false;
  };
  let sum = 0;
  for (const [pid, t] of ticks) if (inTree(pid)) sum += t;
  return sum;
}

async function measure(kind, name, url) {
  const b = await h.openBrowser(kind);
  try {
    const fps = h.snapshots(['page1'], 'FPS').page1;
    await b.page.goto(url);
    const line = await b.waitForLog(/^quillon: start screen after \d+ ms/, 60000);
    const startMs = Number(/after (\d+) ms/.exec(line)[1]);
    await b.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
    await b.waitForLog(/^quillon: started/, 30000);
    await h.sleep(6000); // past the first reveal
    await b.page.keyboard.press(' ');
    await h.waitFor('the counter', async () => labelShown(await h.canvasPixels(b.page), fps), 10000, 50);
    await h.waitFor('a figure', async () => counterFigure(await h.canvasPixels(b.page), fps), 5000, 100);
    const pid = b.browser.process().pid;
    const ticksBefore = treeTicks(pid);
    const start = Date.now();
    const figures = [];
    while (Date.now() - start < SECONDS * 1000) {
      await h.sleep(1000);
      figures.push(await h.waitFor('a figure', async () => counterFigure(await h.canvasPixels(b.page), fps), 2000, 20));
    }
    const seconds = (Date.now() - start) / 1000;
    // The readings themselves cost a little; the same for every page.
    const cpu = (treeTicks(pid) - ticksBefore) / 100 / seconds;
    const mean = figures.reduce((a, f) => a + f, 0) / figures.length;
    return { kind, name, startMs, figures, mean, cpu };
  } finally {
    await b.close();
  }
}

async function main() {
  const kinds = [];
  const pages = [{ name: 'quillon.html (file://)', url: pathToFileURL(path.join(h.env('QUILLON_WEB_BUILD'), 'quillon.html')).href }];
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i] === '--also') {
      const [name, url] = argv[++i].split(/=(.*)/s);
      pages.push({ name, url });
    } else kinds.push(argv[i]);
  }
  const file = path.join(h.env('QUILLON_WEB_BUILD'), 'quillon.html');
  const bytes = fs.readFileSync(file);
  console.log(`SIZE: quillon.html ${bytes.length} bytes, gzipped ${zlib.gzipSync(bytes, { level: 9 }).length} bytes`);
  for (const kind of kinds.length ? kinds : ['chromium', 'firefox'])
    for (const page of pages) {
      const r = await measure(kind, page.name, page.url);
      console.log(`FIGURES: ${r.kind}, ${r.name}: start screen after ${r.startMs} ms; counter ${r.figures.join(' ')} ` +
        `(mean ${r.mean.toFixed(1)}); browser CPU ${(100 * r.cpu).toFixed(0)}% of one core over ${SECONDS} s`);
    }
}

main().catch((error) => {
  console.error(error.stack || error);
  process.exit(1);
});
