// What the page shows at start-up and on a unit's arrival, for each state of the unit, in
// headless Chromium over the HID double: the statuses of the catalogue, the versions, Update, the
// boxes, German, a browser without WebHID, and Linux's words for a unit it may not open.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {test} from 'node:test';
import {message, notReady, openPage, pageText, ROOT, sharedBrowser, shownState} from './harness.mjs';

const env = sharedBrowser();

const TITLE = 'ZARVELO QUILLAR FW Updater 3.0 TEST BUILD';
const NO_UNIT = [['programming unit', '0.0.0'], ['ESC-bootloader', '0.0.0'], ['ESC', '0.0.0']];
const TALOMIR = [['TALOMIR', '2.3'], ['ESC-bootloader', '1.2'], ['ESC', '2.10']];
const INCOMPATIBLE_TEXT = message(40034).replace('%s', 'QUILLAR');

const cases = [
  {name: 'a ready unit', double: {granted: true},
   want: {status: message(40000), update: true, versions: TALOMIR, versionsOn: true, connect: false}},
  {name: 'an ESC that is not compatible', double: {granted: true, esc: 'incompatible'},
   box: {caption: message(40033), text: INCOMPATIBLE_TEXT, buttons: ['OK']},
   want: {status: notReady(40035), update: false, versions: NO_UNIT, versionsOn: false}},
  {name: 'a unit in its bootloader', double: {granted: true, mode: 'bootloader'},
   want: {status: notReady(40015), update: false, versions: NO_UNIT, versionsOn: false}},
  {name: 'no updatable ESC', double: {granted: true, esc: 'none'},
   want: {status: notReady(40016), update: false, versions: NO_UNIT}},
  {name: 'no unit plugged in', double: {granted: true, plugged: false},
   want: {status: notReady(40017), update: false, connect: true}},
  {name: 'an ESC already on the image\'s version', double: {granted: true, escVersion: 0x0300},
   want: {status: message(40000), update: true, versions: [TALOMIR[0], TALOMIR[1], ['ESC', '3.0']]}},
  {name: 'German', double: {granted: true}, locale: 'de-DE',
   want: {status: message(40000, 'de'), update: true,
          versions: [['TALOMIR', '2.3'], ['Regler-Bootloader', '1.2'], ['Regler', '2.10']]},
   also: async (page) => {
     assert.equal(await page.textContent('#legend'), pageText('GROUP_VERSIONS', 'de'));
     assert.equal(await page.textContent('#save-log'), pageText('SAVE_LOG', 'de'));
     assert.equal(await page.getAttribute('html', 'lang'), 'de');
   }},
  {name: 'a browser without WebHID', double: {webHid: false},
   want: {noWebHid: pageText('NO_WEBHID'), updater: false}},
  {name: 'a browser with WebHID in the page but not in workers', double: {workerHid: false},
   want: {noWebHid: pageText('NO_WEBHID'), updater: false}},
  {name: 'Linux refuses to open the unit', double: {granted: true, refuseOpen: true},
   want: {status: pageText('LINUX_REFUSED'), update: false, rule: true},
   also: async (page) => {
     const rule = await page.evaluate(async () => (await fetch(
       document.getElementById('rule-link').href)).text());
     assert.equal(rule, fs.readFileSync(path.join(ROOT, 'resources/linux/70-quillar-updater.rules'),
                                        'utf8'));
   }},
];

for (const {name, double, locale, box, want, also} of cases) {
  test(name, async () => {
    const context = await env.browser.newContext(locale ? {locale} : {});
    const page = await openPage(context, env.server, double);
    if (box !== undefined) {
      assert.deepEqual((await shownState(page)).box, box);
      await page.click('#box-yes');
      await page.waitForFunction(() => document.getElementById('status').value !== '');
    }
    const state = await shownState(page);
    assert.equal(state.title, TITLE);
    for (const [key, value] of Object.entries(want)) {
      assert.deepEqual(state[key], value, key);
    }
    assert.equal(state.box, null);
    if (also !== undefined) {
      await also(page);
    }
    // Nothing was asked of any other host.
    assert.deepEqual(page.requested.filter((url) => !url.startsWith(env.server.url)), []);
    await context.close();
  });
}

test('the first visit grants the unit with a click, and later visits find it at load', async () => {
  const context = await env.browser.newContext();
  const page = await openPage(context, env.server, {granted: false});
  let state = await shownState(page);
  assert.equal(state.status, notReady(40017));
  assert.equal(state.connect, true);
  assert.equal(await page.textContent('#connect'), pageText('CONNECT'));

  await page.click('#connect');
  await page.waitForFunction(() => !document.getElementById('update').disabled);
  state = await shownState(page);
  assert.equal(state.status, message(40000));
  assert.equal(state.connect, false);
  assert.deepEqual(state.versions, TALOMIR);

  await page.reload();
  await page.waitForFunction(() => !document.getElementById('update').disabled);
  assert.equal((await shownState(page)).connect, false);
  await context.close();
});

test('units that arrive and leave while the page is open', async () => {
  const context = await env.browser.newContext();
  const page = await openPage(context, env.server, {granted: true});
  await page.evaluate(() => hidDouble.unplug());
  // The removal's status comes last.
  await page.waitForFunction((ready) => document.getElementById('status').value !== ready,
                             message(40000));
  let state = await shownState(page);
  assert.equal(state.status, notReady(40020));
  assert.deepEqual(state.versions, [['TALOMIR', '0.0.0'], NO_UNIT[1], NO_UNIT[2]]);
  assert.equal(state.versionsOn, false);

  await page.evaluate(() => hidDouble.plug());
  await page.waitForFunction(() => !document.getElementById('update').disabled);
  state = await shownState(page);
  assert.equal(state.status, message(40000));
  assert.deepEqual(state.versions, TALOMIR);
  await context.close();
});
