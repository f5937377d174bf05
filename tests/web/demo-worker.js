// The worker of the demo page: the HID double with its simulated unit, then the updater's core.
importScripts('quillar-sim.js', 'hid-double.js', 'quillar-updater.js');
