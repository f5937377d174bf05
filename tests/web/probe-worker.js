// The worker of probe.html: the HID double and its simulated unit, then the link's probe.
importScripts('quillar-sim.js', 'hid-double.js', 'link-probe.js');
