// The WebHID half of the browser's HID backend (os/web/hid.cpp calls it): devices, handles, reports.
//
// Runs in the worker that runs the core. Every device that navigator.hid hands out gets a path of
// its own ("webhid/3a7c:0002/1"), kept for as long as the browser keeps that device object, so a
// removal names the interface that the core opened. A reply is an "inputreport" event; it waits
// in its handle's queue until a read takes it. A device that leaves ends its handles' reads at
// once, as a failed exchange.
//
// The system error codes (hidLastError) of this backend; bit 29 marks them as the program's own.
var WEB_HID_ERROR = {
  NO_WEBHID: 0x20000101,     // navigator.hid is missing, or its device list failed
  NOT_PRESENT: 0x20000102,   // no device at that path (it left)
  OPEN_REFUSED: 0x20000103,  // the browser could not open the device (on Linux: hidraw access)
  BAD_HANDLE: 0x20000104,    // the handle is not open
  GONE: 0x20000105,          // the device left while open
  SEND_FAILED: 0x20000106,   // sendReport was refused
  TIMEOUT: 0x20000107,       // no reply, or the report not taken, within the time allowed
};

var webHid = {
  paths: new WeakMap(), // device object -> path
  present: new Map(),   // path -> device object, while connected
  nextPath: 1,
  lists: new Map(),
  nextList: 1,
  handles: new Map(),
  nextHandle: 1,
  lastError: 0,
  refusedOpens: 0,
  watching: null,
  // A queue of replies longer than this holds nothing that a read still waits for.
  QUEUE_LIMIT: 64,

  api() {
    const hid = typeof navigator !== 'undefined' ? navigator.hid : undefined;
    if (hid && this.watching !== hid) {
      this.watching = hid;
      hid.addEventListener('connect', (event) => this.present.set(this.pathOf(event.device), event.device));
      hid.addEventListener('disconnect', (event) => this.left(event.device));
    }
    return hid;
  },

  pathOf(device) {
    let path = this.paths.get(device);
    if (path === undefined) {
      const hex = (value) => value.toString(16).padStart(4, '0');
      path = 'webhid/' + hex(device.vendorId) + ':' + hex(device.productId) + '/' + this.nextPath++;
      this.paths.set(device, path);
    }
    return path;
  },

  left(device) {
    const path = this.pathOf(device);
    this.present.delete(path);
    for (const handle of this.handles.values()) {
      if (handle.device === device) {
        handle.gone = true;
        handle.reports.length = 0;
        this.wake(handle, null);
      }
    }
  },

  fail(code) {
    this.lastError = code;
    return 0;
  },

  async openList() {
    const hid = this.api();
    if (!hid) {
      return this.fail(WEB_HID_ERROR.NO_WEBHID);
    }
    let devices;
    try {
      devices = await hid.getDevices();
    } catch (error) {
      return this.fail(WEB_HID_ERROR.NO_WEBHID);
    }
    const paths = devices.map((device) => {
      const path = this.pathOf(device);
      this.present.set(path, device);
      return path;
    });
    const id = this.nextList++;
    this.lists.set(id, paths);
    return id;
  },

  listPath(list, index) {
    const paths = this.lists.get(list);
    return paths !== undefined && index < paths.length ? paths[index] : undefined;
  },

  async open(path) {
    const device = this.present.get(path);
    if (device === undefined) {
      return this.fail(WEB_HID_ERROR.NOT_PRESENT);
    }
    try {
      if (!device.opened) {
        await device.open();
      }
    } catch (error) {
      this.refusedOpens++;
      return this.fail(WEB_HID_ERROR.OPEN_REFUSED);
    }
    if (!this.present.has(path)) {
      return this.fail(WEB_HID_ERROR.NOT_PRESENT);
    }
    const handle = {device, reports: [], waiter: null, timer: 0, gone: false};
    handle.listener = (event) => this.received(handle, event);
    device.addEventListener('inputreport', handle.listener);
    const id = this.nextHandle++;
    this.handles.set(id, handle);
    return id;
  },

  handle(id) {
    const handle = this.handles.get(id);
    if (handle === undefined) {
      this.fail(WEB_HID_ERROR.BAD_HANDLE);
    } else if (handle.gone) {
      this.fail(WEB_HID_ERROR.GONE);
    }
    return handle !== undefined && !handle.gone ? handle : undefined;
  },

  received(handle, event) {
    const data = event.data;
    const report = new Uint8Array(1 + data.byteLength);
    report[0] = event.reportId;
    report.set(new Uint8Array(data.buffer, data.byteOffset, data.byteLength), 1);
    if (handle.waiter !== null) {
      this.wake(handle, report);
    } else if (handle.reports.length < this.QUEUE_LIMIT) {
      handle.reports.push(report);
    }
  },

  wake(handle, report) {
    const waiter = handle.waiter;
    if (waiter !== null) {
      handle.waiter = null;
      clearTimeout(handle.timer);
      waiter(report);
    }
  },

  // The longest input and output report of the device, in bytes with the report ID.
  reportLengths(device) {
    const longest = (collections, kind) => {
      let bytes = 0;
      for (const collection of collections || []) {
        for (const report of collection[kind] || []) {
          let bits = 0;
          for (const item of report.items || []) {
            bits += item.reportSize * item.reportCount;
          }
          bytes = Math.max(bytes, Math.ceil(bits / 8));
        }
        bytes = Math.max(bytes, longest(collection.children, kind));
      }
      return bytes;
    };
    const input = longest(device.collections, 'inputReports');
    const output = longest(device.collections, 'outputReports');
    return {input: input > 0 ? input + 1 : 0, output: output > 0 ? output + 1 : 0};
  },

  async write(id, report, timeoutMs) {
    const handle = this.handle(id);
    if (handle === undefined) {
      return 0;
    }
    // A reply that came after its read gave up belongs to an exchange that is over.
    handle.reports.length = 0;
    let timer = 0;
    const late = new Promise((resolve) => {
      timer = setTimeout(() => resolve('timeout'), timeoutMs);
    });
    let outcome;
    try {
      outcome = await Promise.race([handle.device.sendReport(report[0], report.subarray(1)), late]);
    } catch (error) {
      outcome = 'refused';
    } finally {
      clearTimeout(timer);
    }
    if (handle.gone) {
      return this.fail(WEB_HID_ERROR.GONE);
    }
    if (outcome === 'timeout') {
      return this.fail(WEB_HID_ERROR.TIMEOUT);
    }
    if (outcome === 'refused') {
      return this.fail(WEB_HID_ERROR.SEND_FAILED);
    }
    this.lastError = 0;
    return 1;
  },

  // The next reply, or undefined after a failure (lastError tells which).
  async read(id, timeoutMs) {
    const handle = this.handle(id);
    if (handle === undefined) {
      return undefined;
    }
    let report = handle.reports.shift();
    if (report === undefined) {
      report = await new Promise((resolve) => {
        handle.waiter = resolve;
        handle.timer = setTimeout(() => this.wake(handle, undefined), timeoutMs);
      });
    }
    if (handle.gone || report === null) {
      this.fail(WEB_HID_ERROR.GONE);
      return undefined;
    }
    if (report === undefined) {
      this.fail(WEB_HID_ERROR.TIMEOUT);
      return undefined;
    }
    this.lastError = 0;
    return report;
  },

  async close(id) {
    const handle = this.handles.get(id);
    if (handle === undefined) {
      return;
    }
    this.handles.delete(id);
    handle.device.removeEventListener('inputreport', handle.listener);
    this.wake(handle, null);
    const shared = [...this.handles.values()].some((other) => other.device === handle.device);
    if (!handle.gone && !shared && handle.device.opened) {
      try {
        await handle.device.close();
      } catch (error) {
        // A device that cannot be closed has left; nothing of it is kept.
      }
    }
  },
};
