// The benchmark of the page (tools/bench-web.sh): figures, never a pass or a failure.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import {DEMO, IMAGE, hideBehindTab, launchHideable, openPage, serve, startUpdate,
        updateEnded} from './harness.mjs';

const PAUSES_MS = 4 * 20 + 1000 + 4000 + Math.ceil(IMAGE.length / 48) * 20;
const LOADS = 10;
const DIST = path.join(DEMO, '..', 'dist');

const gzipped = (names) => names.reduce(
  (sum, name) => sum + zlib.gzipSync(fs.readFileSync(path.join(DIST, name)), {level: 9}).length, 0);
const figure = (value) => Math.round(value).toLocaleString('en');

async function update(context, server, hidden) {
  const page = await openPage(context, server, {granted: true});
  await startUpdate(page);
  let show = null;
  if (hidden) {
    show = await hideBehindTab(context, page);
  }
  await updateEnded(page);
  const state = await page.evaluate(() => [document.visibilityState, quillarPage.timing]);
  if (show !== null) {
    await show();
  }
  await page.close();
  const [visibility, timing] = state;
  if (visibility !== (hidden ? 'hidden' : 'visible')) {
    throw new Error(`the page was ${visibility} at the end of the update`);
  }
  return timing.sendingEnded - timing.sendingStarted;
}

async function loadToReady(context, server) {
  const times = [];
  for (let i = 0; i < LOADS; ++i) {
    const page = await openPage(context, server, {granted: true});
    await page.waitForFunction(() => quillarPage.timing.ready > 0);
    times.push(await page.evaluate(() => quillarPage.timing.ready));
    await page.close();
  }
  times.sort((a, b) => a - b);
  return {median: times[times.length >> 1], max: times[times.length - 1]};
}

const server = await serve();
const chromium = await launchHideable();
try {
  const version = chromium.browser.version();
  console.log(`Chromium ${version}, load average ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
  const ready = await loadToReady(chromium.context, server);
  console.log(`load to ready: median ${ready.median.toFixed(0)} ms, at most ${ready.max.toFixed(0)} ms` +
              ` over ${LOADS} loads (goal: at most 300 ms)`);
  for (const hidden of [false, true]) {
    const took = await update(chromium.context, server, hidden);
    console.log(`update, tab ${hidden ? 'hidden' : 'visible'}: ${figure(took)} ms, ` +
                `${(took / PAUSES_MS).toFixed(4)} of its pauses' ${figure(PAUSES_MS)} ms ` +
                '(goal: at most 1.01)');
  }
  const core = gzipped(['quillar-updater.wasm', 'quillar-updater.js']);
  const page = gzipped(['index.html', 'page.js', 'page-texts.js', 'style.css']);
  console.log(`wasm + worker script, gzipped: ${figure(core)} bytes (goal: at most 400 kB); ` +
              `the page's own files: ${figure(page)} bytes`);
  console.log(`load average ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
} finally {
  await chromium.close();
  await server.close();
}
