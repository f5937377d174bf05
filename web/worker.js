// The worker's side of the page (a --pre-js of quillar-updater.js): the core's inbox, its messages
// to the page, the unit's arrivals and removals, and the lock that keeps two tabs apart.
//
// The core runs one thing at a time and waits in between (web/main.cpp): for the next item of the
// inbox (a click on Update, a box's answer, a unit that arrived or left), for the browser's HID,
// for its pauses. Whatever comes meanwhile waits in the inbox, as window messages wait in a
// window program's queue.
var webPage = {
  inbox: [],
  waiter: null,
  started: null,
  start: null,
  lockDepth: 0,
  release: null,
  // One lock for the whole origin: every exchange with a unit happens under it, so that a second
  // tab neither updates nor asks a unit anything while another tab updates it.
  LOCK: 'quillar-updater-unit',

  put(item) {
    if (this.waiter !== null) {
      const waiter = this.waiter;
      this.waiter = null;
      waiter(item);
    } else {
      this.inbox.push(item);
    }
  },

  next() {
    if (this.inbox.length > 0) {
      return Promise.resolve(this.inbox.shift());
    }
    return new Promise((resolve) => {
      this.waiter = resolve;
    });
  },

  wide(at) {
    let text = '';
    for (let i = at >> 2; at !== 0 && HEAPU32[i] !== 0; ++i) {
      text += String.fromCodePoint(HEAPU32[i]);
    }
    return text;
  },

  writeWide(text, at, capacity) {
    const codes = Array.from(text, (ch) => ch.codePointAt(0)).slice(0, capacity - 1);
    HEAPU32.set(codes, at >> 2);
    HEAPU32[(at >> 2) + codes.length] = 0;
  },

  utf8(at) {
    let end = at;
    while (HEAPU8[end] !== 0) {
      ++end;
    }
    return new TextDecoder().decode(HEAPU8.subarray(at, end));
  },

  // The unit's arrivals and removals, under the paths that the HID backend gave the devices.
  watchDevices() {
    const hid = webHid.api();
    if (hid) {
      hid.addEventListener('connect', (event) => {
        this.put({kind: 'arrival', path: webHid.pathOf(event.device)});
      });
      hid.addEventListener('disconnect', (event) => {
        this.put({kind: 'removal', path: webHid.pathOf(event.device)});
      });
    }
    return Boolean(hid);
  },

  acquire(ifAvailable) {
    return new Promise((resolve) => {
      navigator.locks.request(this.LOCK, {ifAvailable}, (lock) => {
        if (lock === null) {
          resolve(false);
          return undefined;
        }
        resolve(true);
        return new Promise((release) => {
          this.release = release;
        });
      }).catch(() => resolve(false));
    });
  },

  // Takes the lock (again, when the core holds it already). While another tab holds it the page
  // says so; with wait, this waits until that tab is done, else it gives up at once.
  async lock(wait) {
    if (this.lockDepth > 0 || !navigator.locks) {
      ++this.lockDepth;
      return 1;
    }
    let held = await this.acquire(true);
    if (!held) {
      postMessage({otherTab: true});
      if (wait) {
        held = await this.acquire(false);
        postMessage({otherTab: false});
      } else {
        navigator.locks.request(this.LOCK, () => postMessage({otherTab: false}));
      }
    }
    if (held) {
      ++this.lockDepth;
    }
    return held ? 1 : 0;
  },

  unlock() {
    if (this.lockDepth > 0 && --this.lockDepth === 0 && this.release !== null) {
      this.release();
      this.release = null;
    }
  },
};

webPage.started = new Promise((resolve) => {
  self.addEventListener('message', (event) => {
    const message = event.data;
    if (message.start !== undefined) {
      webPage.start = message.start;
      resolve();
    } else if (message.update) {
      webPage.put({kind: 'update'});
    } else if (message.answer !== undefined) {
      webPage.put({kind: 'answer', value: message.answer ? 1 : 0});
    } else if (message.granted) {
      // The user has just let the page use a unit: as if it had been plugged in.
      webPage.put({kind: 'arrival', path: ''});
    }
  });
});
