// A stand-in for navigator.hid in the page and in its worker, over the simulated unit (sim/).
//
// The page's half owns the bus: whether the unit is plugged in and whether the page was granted
// it. It hands each worker it starts a private port as the worker's first message; the worker's
// half asks it for that state whenever the core lists devices, and runs the simulated unit
// (quillar-sim.wasm), to which it hands every report the core sends.
//
// Configuration: self.QUILLAR_DOUBLE (set by a test before the page loads), else the page's
// address after "#" (the demo: "#esc=incompatible&mode=bootloader"). Keys, with their defaults:
//   productId 2 (TALOMIR; 1 is MERIVAN), plugged true, granted false, webHid true (false: no
//   navigator.hid at all), workerHid true (false: none in the worker, as before Chromium 131),
//   mode "application" | "bootloader", esc "supported" | "incompatible" | "none",
//   escVersion 0x020A, refuseOpen false, unplugAtBlock 0, silentAtBlock 0 (from 1; 0: never).
// The page's half is window.hidDouble: unplug(), plug(), flash(length) (a digest of the
// simulated flash), and config.
'use strict';
(() => {
  const VENDOR_ID = 0x3a7c;
  const NAMES = {1: 'MERIVAN', 2: 'TALOMIR'};
  const DEFAULTS = {
    productId: 2, plugged: true, granted: false, webHid: true, mode: 'application',
    esc: 'supported', escVersion: 0x020a, refuseOpen: false, unplugAtBlock: 0, silentAtBlock: 0,
    workerHid: true,
  };
  // What the simulated unit did with a report (tests/web/sim_double.cpp).
  const REPLY = 0;
  const SILENT = 1;
  const UNPLUGGED = 2;
  const GRANTS_KEY = 'quillar-hid-double-granted';

  const deviceEvent = (type, device) => {
    const event = new Event(type);
    event.device = device;
    return event;
  };

  class DoubleDevice extends EventTarget {
    constructor(config, reportBytes, exchange) {
      super();
      this.vendorId = VENDOR_ID;
      this.productId = config.productId;
      this.productName = NAMES[config.productId] || 'HID device';
      this.opened = false;
      this.plugged = true;
      const report = (reportId) => ({reportId, items: [{reportSize: 8, reportCount: reportBytes}]});
      this.collections = [{
        usagePage: 0xff00, usage: 1, type: 1, children: [], featureReports: [],
        inputReports: [report(2)], outputReports: [report(1)],
      }];
      this.config = config;
      this.exchange = exchange;
    }

    async open() {
      if (!this.plugged || this.config.refuseOpen) {
        throw new DOMException('Failed to open the device.', 'NotAllowedError');
      }
      this.opened = true;
    }

    async close() {
      this.opened = false;
    }

    async forget() {
      this.opened = false;
    }

    async sendReport(reportId, data) {
      if (!this.opened || !this.plugged) {
        throw new DOMException('The device must be opened first.', 'InvalidStateError');
      }
      return this.exchange(this, reportId, new Uint8Array(data.buffer || data, data.byteOffset || 0,
                                                          data.byteLength));
    }

    async sendFeatureReport() {
      throw new DOMException('Failed to write the feature report.', 'NotAllowedError');
    }

    async receiveFeatureReport() {
      throw new DOMException('Failed to receive the feature report.', 'NotAllowedError');
    }
  }

  class DoubleHid extends EventTarget {
    constructor(bus) {
      super();
      this.bus = bus;
    }

    async getDevices() {
      return this.bus.devices();
    }

    async requestDevice(options) {
      return this.bus.request(options);
    }
  }

  const install = (prototype, hid) => {
    if (hid === null) {
      delete prototype.hid;
      return;
    }
    Object.defineProperty(prototype, 'hid', {get: () => hid, configurable: true});
  };

  const fromAddress = () => {
    const config = {};
    for (const [key, value] of new URLSearchParams(location.hash.slice(1))) {
      config[key] = value === 'true' ? true : value === 'false' ? false
                    : /^(0x[0-9a-f]+|\d+)$/i.test(value) ? Number(value) : value;
    }
    return config;
  };

  // ---- The page's half: the bus ----
  const pageHalf = () => {
    const config = Object.assign({}, DEFAULTS, self.QUILLAR_DOUBLE || fromAddress());
    const ports = [];
    const pending = new Map();
    let nextRequest = 1;
    let granted = config.granted || sessionStorage.getItem(GRANTS_KEY) === 'yes';
    let device = null;
    const bus = {
      devices: () => (device !== null && granted ? [device] : []),
      async request(options) {
        if (!navigator.userActivation.isActive) {
          throw new DOMException('Must be handling a user gesture to show a permission request.',
                                 'SecurityError');
        }
        const wanted = (options && options.filters || []).some((filter) =>
          (filter.vendorId === undefined || filter.vendorId === VENDOR_ID) &&
          (filter.productId === undefined || filter.productId === config.productId));
        if (device === null || !wanted) {
          return [];
        }
        granted = true;
        sessionStorage.setItem(GRANTS_KEY, 'yes');
        for (const port of ports) {
          port.postMessage({type: 'granted'});
        }
        return [device];
      },
    };
    const hid = new DoubleHid(bus);
    const plugIn = () => {
      device = new DoubleDevice(config, 0, () => {
        throw new DOMException('The page does not exchange reports here.', 'NotSupportedError');
      });
      if (granted) {
        hid.dispatchEvent(deviceEvent('connect', device));
      }
    };
    const unplugged = () => {
      if (device === null) {
        return;
      }
      const gone = device;
      gone.plugged = false;
      device = null;
      if (granted) {
        hid.dispatchEvent(deviceEvent('disconnect', gone));
      }
    };
    const ask = (message) => Promise.all(ports.map((port) => new Promise((resolve) => {
      const id = nextRequest++;
      pending.set(id, resolve);
      port.postMessage(Object.assign({id}, message));
    })));
    const listen = (port) => {
      port.onmessage = (event) => {
        const message = event.data;
        if (message.type === 'state') {
          port.postMessage({id: message.id, plugged: device !== null, granted});
        } else if (message.type === 'unplugged') {
          unplugged();
        } else if (pending.has(message.id)) {
          pending.get(message.id)(message);
          pending.delete(message.id);
        }
      };
    };
    const NativeWorker = self.Worker;
    self.Worker = class extends NativeWorker {
      constructor(url, options) {
        super(url, options);
        const channel = new MessageChannel();
        ports.push(channel.port1);
        listen(channel.port1);
        super.postMessage({hidDouble: config}, [channel.port2]);
      }
    };
    if (config.plugged) {
      plugIn();
    }
    install(Navigator.prototype, config.webHid ? hid : null);
    self.hidDouble = {
      config,
      unplug() {
        unplugged();
        return ask({type: 'unplug'});
      },
      plug() {
        if (device === null) {
          plugIn();
          return ask({type: 'plug'});
        }
        return Promise.resolve([]);
      },
      // The digest of the first length bytes of the simulated flash, the bytes after them, and
      // the unit's state bits (1 write-protected, 2 system lock, 4 erased).
      async flash(length) {
        const answers = await ask({type: 'flash', length});
        return answers[0];
      },
    };
  };

  // ---- The worker's half: the simulated unit behind the bus ----
  const workerHalf = () => {
    let port = null;
    let config = null;
    let sim = null;
    let device = null;
    let nextRequest = 1;
    const pending = new Map();
    let started;
    const ready = new Promise((resolve) => {
      started = resolve;
    });
    const ask = (message) => new Promise((resolve) => {
      const id = nextRequest++;
      pending.set(id, resolve);
      port.postMessage(Object.assign({id}, message));
    });
    const hid = new DoubleHid({
      async devices() {
        await ready;
        const state = await ask({type: 'state'});
        granted = state.granted;
        return state.plugged && state.granted && device !== null ? [device] : [];
      },
      async request() {
        throw new DOMException('requestDevice is not allowed in a worker.', 'SecurityError');
      },
    });
    let granted = false;
    const unplugged = () => {
      if (device !== null) {
        const gone = device;
        gone.plugged = false;
        device = null;
        if (granted) {
          hid.dispatchEvent(deviceEvent('disconnect', gone));
        }
      }
    };
    const exchange = (from, reportId, data) => {
      if (from !== device) {
        throw new DOMException('Failed to write the report.', 'NotAllowedError');
      }
      const frame = sim._simDoubleFrameSize();
      const at = sim._malloc(2 * frame);
      sim.HEAPU8.fill(0, at, at + 2 * frame);
      sim.HEAPU8[at] = reportId;
      sim.HEAPU8.set(data.subarray(0, frame - 1), at + 1);
      const action = sim._simDoubleExchange(at, 1 + data.length, at + frame);
      const reply = sim.HEAPU8.slice(at + frame, at + 2 * frame);
      sim._free(at);
      if (action === UNPLUGGED) {
        unplugged();
        port.postMessage({type: 'unplugged'});
      }
      if (action !== REPLY && action !== SILENT) {
        throw new DOMException('Failed to write the report.', 'NotAllowedError');
      }
      // The simulated unit answers at once: its reply comes as soon as the report is taken.
      if (action === REPLY) {
        queueMicrotask(() => {
          if (from === device && from.opened) {
            const event = new Event('inputreport');
            event.device = from;
            event.reportId = reply[0];
            event.data = new DataView(reply.buffer, 1);
            from.dispatchEvent(event);
          }
        });
      }
    };
    const plugIn = () => {
      device = new DoubleDevice(config, sim._simDoubleFrameSize() - 1, exchange);
      if (granted) {
        hid.dispatchEvent(deviceEvent('connect', device));
      }
    };
    const answer = async (message) => {
      if (message.type === 'granted') {
        granted = true;
        return;
      }
      if (message.type === 'unplug') {
        unplugged();
      } else if (message.type === 'plug') {
        await ask({type: 'state'}).then((state) => {
          granted = state.granted;
        });
        plugIn();
      } else if (message.type === 'flash') {
        const flash = sim.HEAPU8.slice(sim._simDoubleFlash(),
                                       sim._simDoubleFlash() + sim._simDoubleFlashSize());
        const digest = await crypto.subtle.digest('SHA-256', flash.subarray(0, message.length));
        port.postMessage({
          id: message.id,
          sha256: [...new Uint8Array(digest)].map((b) => b.toString(16).padStart(2, '0')).join(''),
          after: [...flash.subarray(message.length, message.length + 8)],
          state: sim._simDoubleState(),
          writePointer: sim._simDoubleWritePointer(),
        });
        return;
      }
      port.postMessage({id: message.id});
    };
    self.addEventListener('message', (event) => {
      if (!event.data || !event.data.hidDouble) {
        return;
      }
      event.stopImmediatePropagation();
      config = event.data.hidDouble;
      port = event.ports[0];
      port.onmessage = (portEvent) => {
        const message = portEvent.data;
        if (message.type !== undefined) {
          answer(message);
        } else if (pending.has(message.id)) {
          pending.get(message.id)(message);
          pending.delete(message.id);
        }
      };
      if (!config.webHid || !config.workerHid) {
        install(WorkerNavigator.prototype, null);
      }
      self.QuillarSim().then(async (module) => {
        sim = module;
        sim._simDoubleReset();
        sim._simDoubleSetUnit(config.mode === 'bootloader' ? 1 : 0,
                              {none: 0, supported: 1, incompatible: 2}[config.esc],
                              config.escVersion);
        sim._simDoubleFaults(config.unplugAtBlock, config.silentAtBlock);
        if (config.plugged) {
          plugIn();
        }
        started();
        granted = (await ask({type: 'state'})).granted;
      });
    });
    install(WorkerNavigator.prototype, hid);
  };

  if (typeof window !== 'undefined') {
    pageHalf();
  } else {
    workerHalf();
  }
})();
