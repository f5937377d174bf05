// The update from the page's Update button to the simulated unit's flash, in headless Chromium:
// success, declined questions, a unit unplugged during the blocks, a unit that stops answering,
// and a second tab while the first updates.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import {test} from 'node:test';
import {DEMO, IMAGE, message, notReady, openPage, pageText, sharedBrowser, shownState,
        startUpdate, updateEnded, waitForStart} from './harness.mjs';

const env = sharedBrowser();

const SHOTS = path.join(DEMO, '..', 'screenshots');
const sha256 = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');
const hex = (value) => '0x' + (value >>> 0).toString(16).padStart(8, '0');
const failure = (text, result, systemError) =>
  message(text) + '\n' + message(40036).replace('0x%08x', hex(result)).replace('0x%08x', hex(systemError));

const LINK_WRITE_FAILED = -2;
const LINK_READ_FAILED = -3;
const GONE = 0x20000105;
const TIMEOUT = 0x20000107;

test('ready, update, success: the simulated flash holds the image, and the log is saved',
     async () => {
  const context = await env.browser.newContext({acceptDownloads: true});
  const page = await openPage(context, env.server, {granted: true});
  fs.mkdirSync(SHOTS, {recursive: true});
  await page.screenshot({path: path.join(SHOTS, 'web-ready-en.png'), fullPage: true});
  const loaded = env.server.requests.length;
  // Everything is loaded: the update needs no network from here on.
  await context.setOffline(true);

  await page.click('#update');
  await page.waitForFunction(() => document.getElementById('box').open);
  assert.deepEqual((await shownState(page)).box,
                   {caption: message(40037), text: message(40038),
                    buttons: [pageText('OK'), pageText('CANCEL')]});
  await page.click('#box-yes');
  await page.waitForFunction(() => document.getElementById('progress-box').open, null,
                             {timeout: 20000});
  assert.equal(await page.textContent('#progress-caption'), message(40029));
  assert.equal((await shownState(page)).update, false);

  // Closing or reloading the tab while it sends is asked about first.
  const asked = new Promise((resolve) => page.once('dialog', async (dialog) => {
    await dialog.dismiss();
    resolve(dialog.type());
  }));
  await page.close({runBeforeUnload: true});
  assert.equal(await asked, 'beforeunload');

  await updateEnded(page);
  const state = await shownState(page);
  assert.equal(state.status, message(40032));
  assert.equal(state.box, null);
  assert.equal(state.update, false);
  assert.deepEqual(state.versions, [['TALOMIR', '2.3'], ['ESC-bootloader', '1.2'], ['ESC', '3.0']]);
  assert.equal(await page.evaluate(() => document.getElementById('progress-box').open), false);
  await page.screenshot({path: path.join(SHOTS, 'web-updated-en.png'), fullPage: true});

  const flash = await page.evaluate((length) => hidDouble.flash(length), IMAGE.length);
  assert.equal(flash.sha256, sha256(IMAGE));
  assert.deepEqual(flash.after, Array(8).fill(0xff), 'erased, and nothing written past the image');
  assert.equal(flash.state & 3, 1, 'write-protected again, system lock released');

  const records = await page.evaluate(() => quillarPage.records);
  assert.equal(records.length, 1);
  const record = JSON.parse(records[0]);
  assert.match(record.time, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/);
  assert.match(record.device, /^webhid\/3a7c:0002\/\d+$/);
  assert.deepEqual({...record, time: 0, device: 0}, {
    schema: 1, event: 'result', time: 0, device: 0, product: 'TALOMIR',
    before: {unit: {raw: 0x00010203, shown: '2.3'}, escBootloader: {raw: 0x102, shown: '1.2'},
             escFirmware: {raw: 0x020a, shown: '2.10'}},
    after: {unit: {raw: 0x00010203, shown: '2.3'}, escBootloader: {raw: 0x102, shown: '1.2'},
            escFirmware: {raw: 0x0300, shown: '3.0'}},
    outcome: 'updated', result: 0, systemError: 0});

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save-log')]);
  assert.match(download.suggestedFilename(), /^quillar-updater-log-.*\.jsonl$/);
  assert.equal(fs.readFileSync(await download.path(), 'utf8'), records[0] + '\n');
  assert.equal(env.server.requests.length, loaded, 'nothing fetched after the page was loaded');
  await context.close();
});

// Answers are clicks on a box's buttons, or keys (the second case is all keyboard).
const declines = [
  {name: 'Cancel at the confirmation', double: {granted: true}, answers: ['#box-no']},
  {name: 'Esc at the confirmation', double: {granted: true}, keyboard: true, answers: ['Escape']},
  {name: 'No at the version question', double: {granted: true, escVersion: 0x0300},
   answers: ['#box-yes', '#box-no'], question: {caption: message(40025), text: message(40023),
                                                buttons: [pageText('YES'), pageText('NO')]}},
];

for (const {name, double, keyboard, answers, question} of declines) {
  test(`${name} sends nothing and leaves the page as it was`, async () => {
    const context = await env.browser.newContext();
    const page = await openPage(context, env.server, double);
    const before = await shownState(page);
    if (keyboard) {
      await page.focus('#update');
      await page.keyboard.press('Enter');
    } else {
      await page.click('#update');
    }
    for (const [index, answer] of answers.entries()) {
      await page.waitForFunction(() => document.getElementById('box').open);
      if (index === 1) {
        assert.deepEqual((await shownState(page)).box, question);
      }
      await (answer.startsWith('#') ? page.click(answer) : page.keyboard.press(answer));
    }
    await page.waitForFunction(() => quillarPage.records.length === 1);
    assert.deepEqual(await shownState(page), before);
    const record = JSON.parse((await page.evaluate(() => quillarPage.records))[0]);
    assert.deepEqual([record.outcome, record.result, record.systemError], ['declined', 0, 0]);
    const flash = await page.evaluate(() => hidDouble.flash(16));
    assert.equal(flash.state & 4, 0, 'not erased');
    await context.close();
  });
}

const failures = [
  {name: 'the unit unplugged during the blocks', double: {granted: true, unplugAtBlock: 300},
   text: failure(40009, LINK_WRITE_FAILED, GONE), result: LINK_WRITE_FAILED, systemError: GONE},
  {name: 'a unit that stops answering waits out the reply, then fails',
   double: {granted: true, silentAtBlock: 3},
   text: failure(40009, LINK_READ_FAILED, TIMEOUT), result: LINK_READ_FAILED, systemError: TIMEOUT},
];

for (const {name, double, text, result, systemError} of failures) {
  test(name, async () => {
    const context = await env.browser.newContext();
    const page = await openPage(context, env.server, double);
    await startUpdate(page);
    await updateEnded(page, 60000);
    assert.deepEqual((await shownState(page)).box,
                     {caption: message(40002), text, buttons: [pageText('OK')]});
    await page.click('#box-yes');
    // The failed status comes after the box, and the update stops sending after that.
    await page.waitForFunction(() => !quillarPage.sending);
    const state = await shownState(page);
    assert.equal(state.status, message(40030));
    assert.equal(state.update, false);
    assert.equal(state.versionsOn, false);
    const record = JSON.parse((await page.evaluate(() => quillarPage.records))[0]);
    assert.deepEqual([record.outcome, record.result, record.systemError, record.after],
                     ['failed', result, systemError, null]);
    await context.close();
  });
}

test('a second tab neither updates nor asks the unit anything while the first updates', async () => {
  const context = await env.browser.newContext();
  const first = await openPage(context, env.server, {granted: true});
  const second = await openPage(context, env.server, {granted: true});
  await startUpdate(first);

  // The second tab that tries is told that another tab updates, and nothing else happens.
  await second.click('#update');
  await second.waitForFunction(() => !document.getElementById('notice').hidden);
  let state = await shownState(second);
  assert.equal(state.notice, pageText('OTHER_TAB'));
  assert.equal(state.box, null);

  // A tab opened now waits with the same notice before it looks for a unit.
  const third = await context.newPage();
  await third.addInitScript(() => {
    self.QUILLAR_DOUBLE = {granted: true};
  });
  await third.goto(env.server.url + 'index.html');
  await third.waitForFunction(() => !document.getElementById('notice').hidden);
  assert.equal((await shownState(third)).status, '');

  // The first update ends (its unit unplugged); then both tabs may go on.
  await first.evaluate(() => hidDouble.unplug());
  await updateEnded(first, 60000);
  await first.click('#box-yes');
  await first.waitForFunction(() => !quillarPage.sending);
  await waitForStart(third);
  await second.waitForFunction(() => document.getElementById('notice').hidden);
  await third.waitForFunction(() => document.getElementById('notice').hidden);
  state = await shownState(third);
  assert.equal(state.status, message(40000));
  assert.equal((await shownState(first)).status, message(40030));
  await context.close();
});
