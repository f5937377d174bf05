// The updater's page: shows what the core, running in its worker, tells, and asks what it asks.
//
// The page holds no part of the update. It starts the worker (the core compiled to WebAssembly,
// web/main.cpp), hands it the user's clicks and answers, and shows the messages that come back:
// the title, the labels and versions, the status text, whether Update is offered, the boxes, the
// progress of the blocks and the records of the log. Besides, it does what only a page can: it
// asks the browser for the unit (requestDevice, after a click), asks before it is closed while an
// update sends, saves the log, and says so when this browser has no WebHID.
'use strict';
(() => {
  const byId = (id) => document.getElementById(id);
  const WORKER = document.currentScript.dataset.worker;
  let texts = PAGE_TEXTS.en;
  let filters = [];
  let sending = false;
  let offered = false;
  let refused = false;
  const records = [];
  const timing = {ready: 0, sendingStarted: 0, sendingEnded: 0};
  let worker = null;

  // Texts of the catalogue and of the core come with "\r\n" line ends.
  const lines = (text) => text.replace(/\r\n/g, '\n');
  const show = (element, shown) => {
    element.hidden = !shown;
  };
  const onLinux = () => {
    const platform = navigator.userAgentData ? navigator.userAgentData.platform : navigator.platform;
    return /linux/i.test(platform) && !/android|cros/i.test(navigator.userAgent);
  };

  // ---- What the core tells ----

  const setTitle = (title) => {
    document.title = title;
    byId('title').textContent = title;
  };

  const setLabels = (labels) => {
    byId('label-unit').textContent = labels[0];
    byId('label-bootloader').textContent = labels[1];
    byId('label-esc').textContent = labels[2];
  };

  const setVersions = (versions) => {
    if (versions.unitLabel !== null) {
      byId('label-unit').textContent = versions.unitLabel;
    }
    byId('version-unit').value = versions.unit;
    byId('version-bootloader').value = versions.bootloader;
    byId('version-esc').value = versions.esc;
    byId('versions').classList.toggle('off', versions.unitLabel === null);
  };

  const setStatus = (text) => {
    refused = false;
    byId('status').value = lines(text);
    show(byId('rule'), false);
  };

  // The browser may not open the unit: on Linux that is its hidraw node, which the user may not
  // open without the project's udev rule. Elsewhere the core's own status stands.
  const openingRefused = () => {
    if (onLinux()) {
      refused = true;
      byId('status').value = lines(texts.LINUX_REFUSED);
      show(byId('rule'), true);
    }
  };

  const updateButtons = () => {
    byId('update').disabled = !offered || sending;
    byId('save-log').disabled = records.length === 0;
  };

  // One modal box: information or error with OK, or a question. Its answer goes back to the
  // core, which waits for it.
  const BOX_BUTTONS = {inform: ['OK'], error: ['OK'], okCancel: ['OK', 'CANCEL'], yesNo: ['YES', 'NO']};
  const showBox = (box) => {
    const dialog = byId('box');
    const [first, second] = BOX_BUTTONS[box.kind];
    dialog.className = box.kind;
    dialog.setAttribute('role', box.kind === 'inform' ? 'dialog' : 'alertdialog');
    byId('box-caption').textContent = box.caption;
    byId('box-text').textContent = lines(box.text);
    byId('box-yes').textContent = texts[first];
    byId('box-no').textContent = second !== undefined ? texts[second] : '';
    show(byId('box-no'), second !== undefined);
    dialog.returnValue = '';
    dialog.onclose = () => {
      // Esc, like the second button, declines; a box without a question has only OK.
      const answer = dialog.returnValue === 'yes' || second === undefined;
      worker.postMessage({answer});
    };
    dialog.showModal();
    byId('box-yes').focus();
  };

  // The progress of the blocks: a modal box of its own, which nothing closes but the core.
  const transferStarted = (text) => {
    const dialog = byId('progress-box');
    byId('progress-caption').textContent = text;
    byId('progress').value = 0;
    dialog.showModal();
  };

  const transferEnded = () => {
    const dialog = byId('progress-box');
    if (dialog.open) {
      dialog.close();
    }
  };

  const setSending = (on) => {
    sending = on;
    timing[on ? 'sendingStarted' : 'sendingEnded'] = performance.now();
    updateButtons();
  };

  const setNotice = (text) => {
    byId('notice-text').textContent = text === null ? '' : lines(text);
    show(byId('notice'), text !== null);
  };

  // ---- The unit: granted once by the user, found again at every later visit ----

  const refreshConnect = async () => {
    const granted = await navigator.hid.getDevices();
    show(byId('connect-area'), granted.length === 0);
  };

  const connect = async () => {
    let devices = [];
    try {
      devices = await navigator.hid.requestDevice({filters});
    } catch (error) {
      // The chooser could not be shown; the button stays for another try.
    }
    if (devices.length > 0) {
      worker.postMessage({granted: true});
    }
    await refreshConnect();
  };

  // ---- The log: the session's records, as the command line's --log writes them ----

  const saveLog = () => {
    const blob = new Blob([records.join('\n') + '\n'], {type: 'application/x-ndjson'});
    const link = document.createElement('a');
    const stamp = new Date().toISOString().replace(/[:.]/g, '-').slice(0, 19);
    link.href = URL.createObjectURL(blob);
    link.download = `quillar-updater-log-${stamp}.jsonl`;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 0);
  };

  // ---- Start-up ----

  const applyTexts = () => {
    document.documentElement.lang = texts === PAGE_TEXTS.de ? 'de' : 'en';
    byId('legend').textContent = texts.GROUP_VERSIONS;
    byId('status-label').textContent = texts.HINT;
    byId('update').textContent = texts.UPDATE;
    byId('save-log').textContent = texts.SAVE_LOG;
    byId('connect').textContent = texts.CONNECT;
    byId('connect-hint').textContent = texts.CONNECT_HINT;
    byId('rule-link').textContent = texts.RULE_DOWNLOAD;
  };

  // No WebHID in the page or in its worker (Firefox, Safari, Chromium before 131): the notice
  // alone, with the title; nothing that could not work is shown.
  const noWebHid = () => {
    byId('no-webhid-caption').textContent = texts.NO_WEBHID_CAPTION;
    byId('no-webhid-text').textContent = lines(texts.NO_WEBHID);
    show(byId('no-webhid'), true);
    show(byId('updater'), false);
  };

  const hello = (message) => {
    texts = PAGE_TEXTS[message.language] || PAGE_TEXTS.en;
    filters = message.filters;
    applyTexts();
    if (!navigator.hid || !message.webHid) {
      noWebHid();
      return;
    }
    show(byId('updater'), true);
    navigator.hid.addEventListener('connect', refreshConnect);
    navigator.hid.addEventListener('disconnect', refreshConnect);
    refreshConnect();
  };

  const HANDLERS = {
    hello,
    title: setTitle,
    labels: setLabels,
    versions: setVersions,
    status: setStatus,
    refused: openingRefused,
    offer: (on) => {
      if (on && timing.ready === 0) {
        timing.ready = performance.now();
      }
      offered = on;
      updateButtons();
    },
    box: showBox,
    sending: setSending,
    transfer: transferStarted,
    progress: (percent) => {
      byId('progress').value = percent;
    },
    transferEnd: transferEnded,
    record: (line) => {
      records.push(line);
      updateButtons();
    },
    otherTab: (on) => setNotice(on ? texts.OTHER_TAB : null),
  };

  const start = () => {
    byId('update').addEventListener('click', () => worker.postMessage({update: true}));
    byId('connect').addEventListener('click', connect);
    byId('save-log').addEventListener('click', saveLog);
    byId('progress-box').addEventListener('cancel', (event) => event.preventDefault());
    addEventListener('beforeunload', (event) => {
      if (sending) {
        event.preventDefault();
        event.returnValue = '';
      }
    });
    worker = new Worker(WORKER);
    worker.onmessage = (event) => {
      for (const [kind, value] of Object.entries(event.data)) {
        if (HANDLERS[kind] !== undefined) {
          HANDLERS[kind](value);
        }
      }
    };
    worker.onerror = () => setNotice(texts.START_FAILED);
    worker.postMessage({start: {language: navigator.language, webHid: Boolean(navigator.hid)}});
  };

  // For the tests and the benchmark: the log; when Update was first offered, and when the last
  // update began and ended sending (milliseconds since the page began to load).
  self.quillarPage = {
    records,
    timing,
    get refused() {
      return refused;
    },
    get sending() {
      return sending;
    },
  };

  start();
})();
