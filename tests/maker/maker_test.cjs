// The maker page, build-web/quillon-maker.html, in headless Chromium and
// Firefox, driven as a person drives it (files dropped on it, text typed):
//   node maker_test.cjs chromium|firefox CASE
// Each case starts one browser (tests/web/harness.cjs); `own` starts the
// other one as well, for the download.
//
// Environment, besides tests/web's:
//   QUILLON_HOST_TOOLS     the host's tools (textc, fontc...) whose messages the page must give
//   QUILLON_MAKER_SONG     a song of the tests' (an .xm that is not the built-in one)
//   QUILLON_MAKER_TEXT     a text of the tests' (not the built-in one)
//   QUILLON_MAKER_REFERENCE  pictures of a native build with that text (own_reference.sh)
//   QUILLON_MAKER_FIXTURES tests/own_content/fixtures (a PNG of a wrong size)
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');
const h = require('../web/harness.cjs');
const c = require('../web/compare.cjs');

const CAPTURE_SECONDS = 4;
const VIEWPORT = { width: 1366, height: 860 };

const makerFile = (ctx) => path.join(ctx.build, 'quillon-maker.html');

// The two ways a person opens the maker: from disk and from a plain host.
const ORIGINS = [
  { name: 'file', open: async (ctx) => pathToFileURL(makerFile(ctx)).href },
  { name: 'plain server', open: async (ctx) => `${(await ctx.server()).url}quillon-maker.html` },
];

async function openMaker(b, page, url) {
  await page.setViewport(VIEWPORT);
  page.on('dialog', (dialog) => dialog.accept());
  await page.goto(url);
  await h.waitFor('the maker to be ready', () => page.evaluate(() => !!(window.quillonMaker && window.quillonMaker.ready)),
    30000, 50);
  // The first gesture allows sound (on the heading: it does nothing else).
  await page.click('h1');
}

// Drops files on the element `selector` (a piece's place, or the page):
// [{ name, bytes (Buffer) } or { name, megabytes }], as a person's drop.
async function drop(page, selector, files) {
  const list = files.map((f) => ({ name: f.name, base64: f.bytes ? f.bytes.toString('base64') : null, megabytes: f.megabytes }));
  await page.evaluate((selector, list) => {
    const transfer = new DataTransfer();
    for (const f of list) {
      let parts;
      if (f.base64) {
        const binary = atob(f.base64);
        const bytes = new Uint8Array(binary.length);
        for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
        parts = [bytes];
      } else {
        const megabyte = new Uint8Array(1 << 20);
        parts = Array.from({ length: f.megabytes }, () => megabyte);
      }
      transfer.items.add(new File(parts, f.name));
    }
    document.querySelector(selector).dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, selector, list);
}

// Puts a whole text into the editor as a paste would.
async function typeText(page, text) {
  await page.evaluate((text) => {
    const area = document.getElementById('text');
    area.focus();
    area.value = text;
    area.setSelectionRange(0, 0);
    area.dispatchEvent(new Event('input', { bubbles: true }));
  }, text);
}

const checkOf = (page, kind) => page.evaluate((kind) => window.quillonMaker.checks[kind] || null, kind);

// Waits until the check of `kind` has given a result that `test` accepts.
async function waitForCheck(page, kind, what, test, timeoutMs = 20000) {
  let last = null;
  try {
    return await h.waitFor(what, async () => {
      last = await checkOf(page, kind);
      return last && !/^Checking/.test(last.lines[0] || '') && test(last) ? last : null;
    }, timeoutMs, 50);
  } catch (error) {
    throw new Error(`${error.message}; the ${kind} check said ${JSON.stringify(last)}`);
  }
}

// The preview has shown `pageNumber` with (at least) the resources named.
async function waitForShown(page, pageNumber, since, resources = []) {
  return h.waitFor(`the preview at page ${pageNumber} with ${resources.join(', ')}`, () => page.evaluate((n, since, resources) => {
    const s = window.quillonMaker.shown;
    return s && s.page === n && s.at > since && resources.every((r) => s.resources.includes(r)) ? s : null;
  }, pageNumber, since, resources), 30000, 50);
}

const now = (page) => page.evaluate(() => performance.now());

// A host tool run on `bytes` saved as `name` in a folder of its own: what
// it prints (stderr, then stdout).
function hostTool(tool, args, name, bytes) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-maker-tool-'));
  fs.writeFileSync(path.join(dir, name), bytes);
  const run = spawnSync(path.join(h.env('QUILLON_HOST_TOOLS'), tool), args, { cwd: dir, encoding: 'utf8' });
  fs.rmSync(dir, { recursive: true, force: true });
  return { code: run.status, text: `${run.stderr}${run.stdout}`.trim() };
}

const readText = () => fs.readFileSync(h.env('QUILLON_MAKER_TEXT'), 'utf8');

// The built-in text with one fault: an "é" at line 40, column 12.
function textWithFault(text) {
  const lines = text.replace(/\n$/, '').split('\n');
  lines[39] = `${lines[39].slice(0, 11)}\u00e9${lines[39].slice(12)}`;
  return `${lines.join('\n')}\n`;
}

const cases = {
  // Opened from disk and from a plain host: a text with a fault shows
  // exactly textc's message, its line marked; each bad input gets its
  // message; and the preview still shows the last good content.
  async checks(ctx) {
    const builtIn = h.snapshots(['page1']).page1;
    const fixtures = h.env('QUILLON_MAKER_FIXTURES');
    const song = fs.readFileSync(h.env('QUILLON_MAKER_SONG'));
    const b = await ctx.browser();
    let page = b.page;
    for (const origin of ORIGINS) {
      console.log(`-- ${ctx.kind}, ${origin.name}`);
      if (!page) page = await b.newPage();
      await openMaker(b, page, await origin.open(ctx));
      if (origin.name === 'file') await page.screenshot({ path: path.join(ctx.out, 'maker.png') });
      await c.waitForPicture(`built-in page 1 ${origin.name}`, page, builtIn, ctx.out);

      // The text with a fault: the message is textc's, line and column.
      const builtInText = await page.evaluate(() => window.quillonMaker.text());
      await typeText(page, textWithFault(builtInText));
      const shownText = await page.evaluate(() => window.quillonMaker.text());
      const native = hostTool('textc', ['--own', 'release.txt', 'release.bin'], 'release.txt', Buffer.from(shownText, 'utf8'));
      if (native.code !== 1) throw new Error(`textc took the faulty text: ${native.text}`);
      const check = await waitForCheck(page, 'text', 'the text\'s fault', (r) => !r.ok);
      if (!check.lines.includes(native.text))
        throw new Error(`the page says ${JSON.stringify(check.lines)}; textc says ${JSON.stringify(native.text)}`);
      if (!/line 40 \(page 2, line 8\), column 12/.test(native.text)) throw new Error(`textc says ${native.text}`);
      const shown = await page.evaluate(() => document.getElementById('text-message').innerText);
      if (!shown.includes(native.text)) throw new Error(`beside the text: ${shown}`);
      const marked = await page.evaluate(() => [...document.querySelectorAll('#gutter .bad')].map((e) => e.textContent.trim()));
      if (marked.join() !== '40') throw new Error(`the lines marked are ${marked.join()}`);
      if (origin.name === 'file') await page.screenshot({ path: path.join(ctx.out, 'text-fault.png') });

      // Bad input, each with its message; the page goes on.
      const limitMb = await page.evaluate(() => Math.round(window.quillonConfig.songLimitBytes / 1048576));
      const wrongSize = fs.readFileSync(path.join(fixtures, 'wrong_size.png'));
      const fontc = hostTool('fontc', ['--own', 'wrong_size.png', 'FONT.bmp'], 'wrong_size.png', wrongSize);
      const longLine = builtInText.split('\n');
      longLine[6] = 'x'.repeat(1000);
      const junk = Buffer.from(Array.from({ length: 3000 }, (_, i) => (i * 7919 + 13) % 256));
      const bad = [
        { what: 'a 200 MB file', piece: 'song', files: [{ name: 'huge.xm', megabytes: 200 }],
          where: 'notice', expect: new RegExp(`huge\\.xm is 200 MB: too big, .*up to ${limitMb} MB`) },
        { what: 'a PNG of the wrong size as the font', piece: 'font', files: [{ name: 'wrong_size.png', bytes: wrongSize }],
          where: 'font', expect: fontc.text },
        { what: 'a JPEG named .png', piece: 'ani', files: [{ name: 'ring.png',
          bytes: Buffer.from([0xff, 0xd8, 0xff, 0xe0, 0, 16, 0x4a, 0x46, 0x49, 0x46, 0, 1, 1, 0, 0, 1, 0, 1, 0, 0]) }],
        where: 'ani', expect: /ring\.png is a JPEG picture, not a PNG/ },
        { what: 'a song cut short', piece: 'song', files: [{ name: 'cut.xm', bytes: song.subarray(0, song.length >> 1) }],
          where: 'song', expect: /cut off/ },
        { what: 'a line of 1000 characters', piece: 'text', text: longLine.join('\n'),
          where: 'text', expect: /line 7 \(page 1, line 7\): 1000 characters/ },
        { what: 'binary junk as text', piece: 'text', files: [{ name: 'junk.txt', bytes: junk }],
          where: 'text', expect: /junk\.txt is no text/ },
      ];
      for (const t of bad) {
        const since = Date.now();
        if (t.text !== undefined) await typeText(page, t.text);
        else await drop(page, t.piece === 'text' ? '#text-panel' : `.piece[data-piece="${t.piece}"]`, t.files);
        const matches = (text) => (typeof t.expect === 'string' ? text.includes(t.expect) : t.expect.test(text));
        await h.waitFor(`the message for ${t.what}`, async () => {
          const text = t.where === 'notice' ? await page.evaluate(() => document.getElementById('notice').innerText)
            : (await checkOf(page, t.where) || { lines: [] }).lines.join('\n');
          return matches(text);
        }, 20000, 50).catch(async (error) => {
          const said = await page.evaluate(() => ({ notice: document.getElementById('notice').innerText,
            checks: window.quillonMaker.checks }));
          throw new Error(`${error.message}: the page said ${JSON.stringify(said)}`);
        });
        console.log(`BAD INPUT: ${ctx.kind}, ${origin.name}: ${t.what}: answered in ${Date.now() - since} ms`);
      }

      // Five files at once: the song, three text forms sorted by their
      // shape, and a picture of no piece's size, which the page asks about.
      const resources = path.join(__dirname, '..', '..', 'resources');
      await drop(page, 'main', [
        { name: 'tune.xm', bytes: song },
        { name: 'letters.txt', bytes: fs.readFileSync(path.join(resources, 'font.txt')) },
        { name: 'digits.txt', bytes: fs.readFileSync(path.join(resources, 'fps.txt')) },
        { name: 'ring.txt', bytes: fs.readFileSync(path.join(resources, 'ani.txt')) },
        { name: 'wrong_size.png', bytes: wrongSize },
      ]);
      const question = await h.waitFor('the question', () => page.evaluate(() =>
        !document.getElementById('ask').hidden && document.getElementById('ask-text').innerText), 20000, 50);
      if (!/wrong_size\.png \(a PNG picture of 100x64 pixels\)/.test(question)) throw new Error(`the page asks "${question}"`);
      const inUse = await h.waitFor('the sorted pieces', async () => {
        const names = await page.evaluate(() => Object.fromEntries([...document.querySelectorAll('.piece')]
          .map((p) => [p.dataset.piece, p.querySelector('.in-use').innerText])));
        return /^tune\.xm/.test(names.song) && /^letters\.txt/.test(names.font) && /^digits\.txt/.test(names.fps) &&
          /^ring\.txt/.test(names.ani) && names.icon === 'built-in' ? names : null;
      }, 20000, 50);
      console.log(`FIVE FILES: ${ctx.kind}: ${JSON.stringify(inUse)}; asked "${question}"`);
      await page.click('#ask-buttons button[data-answer="none"]');
      for (const kind of ['song', 'font', 'fps', 'ani']) await waitForCheck(page, kind, `the ${kind} check`, (r) => r.ok);

      // The text is still faulty: the preview keeps the built-in one.
      await c.waitForPicture(`last good page 1 ${origin.name}`, page, builtIn, ctx.out);
      if (origin.name === 'file') await page.screenshot({ path: path.join(ctx.out, 'bad-input.png') });
      await page.click('#start-over');
      await page.waitForNavigation().catch(() => {});
      await page.close();
      page = null;
    }
  },

  // The tests' own text and song: the preview's page 1 equals a native
  // build's with that text, its sound equals xmrender's with the player the
  // page chose; a right click leafs. The download, opened from disk in the
  // other browser, shows the same page 1, plays the same sound, leafs on a
  // right click and ends on a left click.
  async own(ctx) {
    const reference = h.env('QUILLON_MAKER_REFERENCE');
    const shots = Object.fromEntries(['page1', 'page2', 'page3'].map((p) => [p, h.readPpm(path.join(reference, `${p}.ppm`))]));
    const songFile = h.env('QUILLON_MAKER_SONG');
    const b = await ctx.browser();
    const page = b.page;
    await openMaker(b, page, `${pathToFileURL(makerFile(ctx)).href}?capture=${CAPTURE_SECONDS}`);
    await page.$eval('#name', (e) => { e.value = 'Own Release'; e.dispatchEvent(new Event('input', { bubbles: true })); });
    const since = await now(page);
    await drop(page, 'main', [{ name: 'notes.txt', bytes: Buffer.from(readText(), 'utf8') },
      { name: path.basename(songFile), bytes: fs.readFileSync(songFile) }]);
    await waitForCheck(page, 'song', 'the song check', (r) => r.ok);
    await waitForCheck(page, 'text', 'the text check', (r) => r.ok);
    await waitForShown(page, 1, since, ['TEXT', 'MUSIC']);
    await c.waitForPicture('own page 1 in the preview', page, shots.page1, ctx.out);
    await page.screenshot({ path: path.join(ctx.out, 'own.png') });
    const player = await page.evaluate(() => window.quillonMaker.player());
    const expected = c.rendered(ctx.out, songFile, CAPTURE_SECONDS + 1, [`--${player}`]);
    const frames = c.compareSound(await c.captured(page), expected, `${ctx.kind}, the preview (${player} player)`);
    console.log(`SOUND: ${ctx.kind}, the preview, the ${player} player: ${frames} frames equal to xmrender`);
    if (frames < 3 * 44100) throw new Error(`only ${frames} frames compared`);
    // A right click leafs once the page's reveal has ended.
    await h.waitFor('page 1 at rest', () => page.evaluate(() => window.quillon.atRest()), 20000, 20);
    const box = await page.$eval('#screen', (e) => { const r = e.getBoundingClientRect(); return { x: r.x + r.width / 2, y: r.y + r.height / 2 }; });
    await page.mouse.click(box.x, box.y, { button: 'right' });
    await c.waitForPicture('own page 2 in the preview', page, shots.page2, ctx.out);

    // The controls: page 3 straight away, then the closing, which ends the run.
    const beforePage3 = await now(page);
    await page.click('button.page[data-page="3"]');
    const third = await waitForShown(page, 3, beforePage3, ['TEXT', 'MUSIC']);
    await c.waitForPicture('own page 3 in the preview', page, shots.page3, ctx.out);
    console.log(`PAGE 3: ${ctx.kind}: shown ${third.ms} ms after the button`);
    await page.click('#closing');
    await h.waitFor('the preview\'s end', () => page.evaluate(() => window.quillon.exitCode === 1), 20000);

    await page.click('#download');
    const fileName = await h.waitFor('the download', () => page.evaluate(() => Object.keys(window.quillonMaker.downloads)
      .find((n) => n.endsWith('.html'))), 10000);
    if (fileName !== 'Own-Release.html') throw new Error(`the download is called ${fileName}`);
    const base64 = await page.evaluate((n) => {
      const bytes = window.quillonMaker.downloads[n];
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      return btoa(text);
    }, fileName);
    const saved = path.join(ctx.out, fileName);
    fs.writeFileSync(saved, Buffer.from(base64, 'base64'));
    // The sources: the pieces as given, and the line that builds them.
    await page.click('#download-sources');
    await h.waitFor('the sources', () => page.evaluate(() => !!window.quillonMaker.downloads['Own-Release-sources.zip']), 10000);
    const zipped = Buffer.from(await page.evaluate(() => {
      const bytes = window.quillonMaker.downloads['Own-Release-sources.zip'];
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      return btoa(text);
    }), 'base64');
    const { unzipSync } = require(path.join(h.env('QUILLON_NODE_MODULES'), 'fflate'));
    const files = unzipSync(new Uint8Array(zipped));
    const folder = 'Own-Release-sources';
    const songName = path.basename(songFile);
    if (!Buffer.from(files[`${folder}/release.txt`] || []).equals(Buffer.from(readText(), 'utf8')) ||
        !Buffer.from(files[`${folder}/${songName}`] || []).equals(fs.readFileSync(songFile)))
      throw new Error(`the zip holds ${Object.keys(files).join(', ')}, not the pieces as given`);
    const readme = Buffer.from(files[`${folder}/README.txt`]).toString('utf8');
    const line = `make run TEXT=${folder}/release.txt SONG=${folder}/${songName}${player === 'full' ? ' FULLXM=1' : ''}`;
    if (!readme.includes(`    ${line}\r\n`)) throw new Error(`README.txt says:\n${readme}`);
    await b.close();

    const other = ctx.kind === 'chromium' ? 'firefox' : 'chromium';
    console.log(`-- ${fileName} in ${other}`);
    const o = await h.openBrowser(other);
    try {
      await o.page.goto(`${pathToFileURL(saved).href}?capture=${CAPTURE_SECONDS}`);
      await o.waitForLog(/^quillon: start screen/, 30000);
      const title = await o.page.title();
      if (title !== 'Own Release') throw new Error(`the download's title is "${title}"`);
      const icon = await o.page.evaluate(() => document.querySelector('link[rel="icon"]').href.slice(0, 40));
      if (!icon.startsWith('data:image/png;base64,')) throw new Error(`the download's icon is ${icon}`);
      await o.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
      await o.waitForLog(/^quillon: started/, 30000);
      await c.waitForPicture(`own page 1 in ${other}`, o.page, shots.page1, ctx.out);
      const played = c.compareSound(await c.captured(o.page), expected, `${other}, the download`);
      console.log(`SOUND: ${other}, the download: ${played} frames equal to xmrender`);
      await h.waitFor('page 1 at rest', () => o.page.evaluate(() => window.quillon.atRest()), 20000, 20);
      await o.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2, { button: 'right' });
      await c.waitForPicture(`own page 2 in ${other}`, o.page, shots.page2, ctx.out);
      // The left button counts once the page's reveal has ended (the still
      // picture is complete earlier where its last lines are empty).
      await h.waitFor('page 2 at rest', () => o.page.evaluate(() => window.quillon.atRest()), 20000, 20);
      await o.page.mouse.click(h.WIDTH / 2, h.HEIGHT / 2);
      await h.waitFor('the end screen', () => o.page.evaluate(() => window.quillon.exitCode === 1 &&
        !document.getElementById('ended').hidden), 20000);
      const others = o.requests.filter((r) => !r.startsWith('file:') && !/^(data|blob):/.test(r));
      if (others.length) throw new Error(`the download requested ${others.join(', ')}`);
    } finally {
      await o.close();
    }
  },

  // From disk: the name, the text and the pieces survive a reload and a
  // closed tab, until "Start over".
  async reload(ctx) {
    const b = await ctx.browser();
    const url = pathToFileURL(makerFile(ctx)).href;
    await openMaker(b, b.page, url);
    const storage = await b.page.evaluate(() => window.quillonMaker.storage);
    if (storage !== 'kept') throw new Error(`the page says its storage is ${storage}`);
    await b.page.$eval('#name', (e) => { e.value = 'kept'; e.dispatchEvent(new Event('input', { bubbles: true })); });
    const text = textWithFault(await b.page.evaluate(() => window.quillonMaker.text())).replace('release 1.0', 'release 2.0');
    await typeText(b.page, text);
    const fps = fs.readFileSync(path.join(__dirname, '..', '..', 'resources', 'fps.txt'));
    await drop(b.page, '.piece[data-piece="fps"]', [{ name: 'digits.txt', bytes: fps }]);
    await h.waitFor('the digits in use', () => b.page.evaluate(() =>
      /^digits\.txt/.test(document.querySelector('.piece[data-piece="fps"] .in-use').innerText)), 10000);
    await h.sleep(1000); // the text is kept 0.3 s after the last key
    const look = (page) => page.evaluate(() => ({
      name: document.getElementById('name').value,
      text: window.quillonMaker.text(),
      fps: document.querySelector('.piece[data-piece="fps"] .in-use').innerText,
    }));
    const expect = async (page, when) => {
      const seen = await look(page);
      if (seen.name !== 'kept' || seen.text !== text || !/^digits\.txt/.test(seen.fps))
        throw new Error(`after ${when}: ${JSON.stringify({ name: seen.name, fps: seen.fps, sameText: seen.text === text })}`);
    };
    await b.page.reload();
    await h.waitFor('the maker again', () => b.page.evaluate(() => !!(window.quillonMaker && window.quillonMaker.ready)), 30000);
    await expect(b.page, 'a reload');
    await b.page.close();
    const tab = await b.newPage();
    await openMaker(b, tab, url);
    await expect(tab, 'the tab was closed');
    // Where the browser refuses storage (?nostorage stands for that), the
    // page says so once and offers the sources instead.
    const refused = await b.newPage();
    await openMaker(b, refused, `${url}?nostorage`);
    const said = await refused.evaluate(() => document.getElementById('notice').innerText);
    if (!/keeps nothing for this page/.test(said) || !/Download sources/.test(said)) throw new Error(`without storage: "${said}"`);
    await refused.close();

    await tab.click('#start-over');
    await h.waitFor('a fresh maker', async () => {
      try {
        const seen = await look(tab);
        return seen.name === 'quillon' && seen.fps === 'built-in';
      } catch {
        return false; // between the two pages
      }
    }, 30000);
  },
};

if (process.env.QUILLON_WEB_BUILD && !fs.existsSync(path.join(process.env.QUILLON_WEB_BUILD, 'quillon-maker.html'))) {
  console.log(`SKIP: no quillon-maker.html in ${process.env.QUILLON_WEB_BUILD} (make web makes it)`);
  process.exit(77);
}
h.main(cases);
