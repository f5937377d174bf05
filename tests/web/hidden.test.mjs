// The update while its tab is hidden, in headless Chromium without Playwright's defaults (which
// hold every page visible and its timers at full pace): the core's worker keeps the pace of its
// pauses, and the update ends as in a visible tab.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import {test} from 'node:test';
import {hideBehindTab, IMAGE, launchHideable, message, openPage, sharedBrowser, shownState,
        startUpdate, updateEnded} from './harness.mjs';

// The update's pauses, with the carried image: 4 steps of 20 ms, 1,000 + 4,000 ms around the
// erase, 20 ms after each of its blocks.
const PAUSES_MS = 4 * 20 + 1000 + 4000 + Math.ceil(IMAGE.length / 48) * 20;

const env = sharedBrowser(launchHideable);

test('the whole update with its tab hidden from the first block to the end', async () => {
  const page = await openPage(env.browser.context, env.server, {granted: true});
  await startUpdate(page);
  const show = await hideBehindTab(env.browser.context, page);
  const hiddenAtStart = await page.evaluate(() => [document.visibilityState, document.hidden]);
  await updateEnded(page);
  const hiddenAtEnd = await page.evaluate(() => [document.visibilityState, document.hidden]);
  const timing = await page.evaluate(() => quillarPage.timing);
  await show();

  assert.deepEqual(hiddenAtStart, ['hidden', true]);
  assert.deepEqual(hiddenAtEnd, ['hidden', true]);
  assert.equal((await shownState(page)).status, message(40032));
  const flash = await page.evaluate((length) => hidDouble.flash(length), IMAGE.length);
  assert.equal(flash.sha256, crypto.createHash('sha256').update(IMAGE).digest('hex'));
  const ratio = (timing.sendingEnded - timing.sendingStarted) / PAUSES_MS;
  console.log(`hidden: ${(timing.sendingEnded - timing.sendingStarted).toFixed(0)} ms sending, ` +
              `${ratio.toFixed(4)} of the pauses' ${PAUSES_MS} ms`);
});
