// The link over the WebHID backend, without the application: the simulated unit behind the
// navigator.hid double is found, opened and identified by the core in a worker.
import assert from 'node:assert/strict';
import {test} from 'node:test';
import {sharedBrowser} from './harness.mjs';

const env = sharedBrowser();

async function probe(double) {
  const page = await env.browser.newPage();
  await page.addInitScript((config) => {
    self.QUILLAR_DOUBLE = config;
  }, double);
  await page.goto(env.server.url + 'probe.html');
  const found = await page.evaluate(() => new Promise((resolve) => {
    new Worker('probe-worker.js').onmessage = (event) => resolve(event.data.probe);
  }));
  await page.close();
  return found;
}

const LINK_NO_DEVICE = -4;
const OPEN_REFUSED = 0x20000103;

const cases = [
  {name: 'a TALOMIR with a supported ESC', double: {granted: true},
   want: {result: 0, productId: 2, bootloader: 0, escStatus: 3, escVersion: 0x020a,
          escType: 0x111f408c, inputLength: 60, outputLength: 60}},
  {name: 'a MERIVAN in its bootloader', double: {granted: true, productId: 1, mode: 'bootloader'},
   want: {result: 0, productId: 1, bootloader: 1}},
  {name: 'a unit without an updatable ESC', double: {granted: true, esc: 'none'},
   want: {result: 0, escStatus: 0}},
  {name: 'a unit not granted to the page', double: {granted: false},
   want: {result: LINK_NO_DEVICE, refused: 0}},
  {name: 'a unit the browser may not open', double: {granted: true, refuseOpen: true},
   want: {result: LINK_NO_DEVICE, refused: 1, systemError: OPEN_REFUSED}},
];

for (const {name, double, want} of cases) {
  test(name, async () => {
    const found = await probe(double);
    for (const [key, value] of Object.entries(want)) {
      assert.equal(found[key], value, `${key} of ${JSON.stringify(found)}`);
    }
    if (want.result === 0) {
      assert.match(found.path, /^webhid\/3a7c:000[12]\/\d+$/);
    }
  });
}
