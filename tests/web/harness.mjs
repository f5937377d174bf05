// What the browser tests share: the demo folder served on localhost, and Debian's Chromium.
import {after, before} from 'node:test';
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {chromium} from 'playwright-core';

export const CHROMIUM = '/usr/bin/chromium';
export const CHROMIUM_ARGS = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];
// Playwright's own defaults that keep a hidden page's timers at full pace; a measurement of a
// hidden page must run without them.
export const KEEPS_PACE = [
  '--disable-background-timer-throttling', '--disable-backgrounding-occluded-windows',
  '--disable-renderer-backgrounding',
];

export const DEMO = process.env.QUILLAR_WEB_DEMO ||
  path.resolve(path.dirname(new URL(import.meta.url).pathname), '../../build/web/demo');
export const ROOT = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.css': 'text/css', '.png': 'image/png', '.ico': 'image/x-icon', '.rules': 'text/plain',
};

// Serves a folder on 127.0.0.1 at a free port, as any static host would. Every request is
// recorded, so that a test can tell that nothing was asked for elsewhere or later.
export async function serve(root = DEMO) {
  const requests = [];
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(root, name.endsWith('/') ? name + 'index.html' : name);
    requests.push(name);
    if (!file.startsWith(root) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, {'content-type': TYPES[path.extname(file)] || 'application/octet-stream',
                             'cache-control': 'no-store'});
    response.end(fs.readFileSync(file));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    requests,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}

// Chromium headless as Playwright starts it.
export function launch(options = {}) {
  return chromium.launch({executablePath: CHROMIUM, args: CHROMIUM_ARGS, headless: true, ...options});
}

// Chromium headless started here and driven over its DevTools port, with none of Playwright's
// defaults: no focus emulation (which holds every page visible) and no flags that keep hidden
// pages at full pace. A page in it is hidden once another tab of its window is in front
// (hideBehindTab). Returns {browser, context, close}.
export async function launchHideable() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quillar-web-'));
  const child = spawn(CHROMIUM, ['--headless', ...CHROMIUM_ARGS, `--user-data-dir=${profile}`,
                                 '--remote-debugging-port=0', 'about:blank'],
                      {stdio: ['ignore', 'ignore', 'pipe']});
  const endpoint = await new Promise((resolve, reject) => {
    let text = '';
    child.stderr.on('data', (chunk) => {
      text += chunk;
      const found = text.match(/DevTools listening on (ws:\S+)/);
      if (found) {
        resolve(found[1]);
      }
    });
    child.on('exit', () => reject(new Error('chromium ended: ' + text)));
  });
  const browser = await chromium.connectOverCDP(endpoint, {noDefaults: true});
  const context = browser.contexts()[0];
  return {
    browser,
    context,
    async close() {
      await browser.close().catch(() => {});
      child.kill();
      await new Promise((resolve) => child.once('exit', resolve));
      // The browser's helpers may still be leaving the profile for a moment.
      fs.rmSync(profile, {recursive: true, force: true, maxRetries: 10, retryDelay: 100});
    },
  };
}

// Puts another tab of the same window in front of the page, so that the page is hidden; the
// returned function brings the page back.
export async function hideBehindTab(context, page) {
  const tab = await context.newPage();
  await page.waitForFunction(() => document.visibilityState === 'hidden');
  return async () => {
    await tab.close();
    await page.waitForFunction(() => document.visibilityState === 'visible');
  };
}

// The texts as resources/texts.json holds them, with the line ends that the page shows.
const TEXTS = JSON.parse(fs.readFileSync(path.join(ROOT, 'resources/texts.json'), 'utf8'));
const shown = (text, language) =>
  text.replace(/\{WEB_ADDRESS\}/g, TEXTS.web_address[language]).replace(/\r\n/g, '\n');
export const message = (id, language = 'en') => shown(TEXTS.messages[id][language], language);
export const pageText = (key, language = 'en') =>
  shown((TEXTS.web[key] || TEXTS.dialog[key])[language], language);
// A not-ready status: the message, an empty line and the connection instructions.
export const notReady = (id, language = 'en') => message(id, language) + '\n\n' + message(40001, language);

// Opens the demo page over the HID double configured with double, and waits until the core has
// started up (a status, or the notice of a browser without WebHID). Every request the page makes
// is kept in page.requested.
export async function openPage(context, server, double = {}, file = 'index.html') {
  const page = await context.newPage();
  page.requested = [];
  page.on('request', (request) => page.requested.push(request.url()));
  await page.addInitScript((config) => {
    self.QUILLAR_DOUBLE = config;
  }, double);
  await page.goto(server.url + file);
  await waitForStart(page);
  return page;
}

export async function waitForStart(page) {
  await page.waitForFunction(() => document.title !== '' &&
                                   (document.getElementById('status').value !== '' ||
                                    document.getElementById('box').open ||
                                    !document.getElementById('no-webhid').hidden));
}

// What the page shows, for the tests' comparisons.
export function shownState(page) {
  return page.evaluate(() => {
    const byId = (id) => document.getElementById(id);
    const box = byId('box');
    return {
      title: document.title,
      status: byId('status').value,
      update: !byId('update').disabled,
      connect: !byId('connect-area').hidden,
      versions: [...document.querySelectorAll('#versions .line')].map(
        (line) => [line.querySelector('label').textContent, line.querySelector('output').value]),
      versionsOn: !byId('versions').classList.contains('off'),
      box: box.open ? {caption: byId('box-caption').textContent, text: byId('box-text').textContent,
                       buttons: [...box.querySelectorAll('button')].filter((b) => !b.hidden)
                         .map((b) => b.textContent)}
                    : null,
      notice: byId('notice').hidden ? null : byId('notice-text').textContent,
      noWebHid: byId('no-webhid').hidden ? null : byId('no-webhid-text').textContent,
      updater: !byId('updater').hidden,
      rule: !byId('rule').hidden,
    };
  });
}

export const IMAGE = fs.readFileSync(process.env.QUILLAR_WEB_IMAGE ||
                                     path.join(ROOT, 'resources/firmware-placeholder.bin'));

// Clicks Update and answers the confirmation (and the version question, when it comes) with OK
// or Yes; waits until the update sends.
export async function startUpdate(page) {
  await page.click('#update');
  await page.waitForFunction(() => document.getElementById('box').open);
  await page.click('#box-yes');
  await page.waitForFunction(() => quillarPage.sending);
}

// Waits for the end of the update: its failure box (shown while it still counts as sending), or
// the status it leaves.
export async function updateEnded(page, timeout = 120000) {
  await page.waitForFunction(() => document.getElementById('box').open ||
                                   (!quillarPage.sending &&
                                    document.getElementById('status').value !== ''),
                             null, {timeout, polling: 250});
}

// The demo served and Chromium started once for a file's tests, and both ended after them:
// env.server and env.browser. start is launch, or launchHideable for a hidden tab.
export function sharedBrowser(start = launch) {
  const env = {};
  before(async () => {
    env.server = await serve();
    env.browser = await start();
  });
  after(async () => {
    await env.browser.close();
    await env.server.close();
  });
  return env;
}
