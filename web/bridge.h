// Between the core in the worker and the page: the inbox the core waits on, and what it posts.
#pragma once

#include "app/device_event.h"
#include "app/frontend.h"

#include <cstddef>
#include <cstdint>

// What the core is handed, one at a time (web/worker.js keeps them until it asks).
enum InboxKind { INBOX_UPDATE, INBOX_ANSWER, INBOX_ARRIVAL, INBOX_REMOVAL };

struct InboxItem {
    InboxKind kind;
    bool answer;                        // INBOX_ANSWER: OK or Yes
    wchar_t path[DEVICE_PATH_CAPACITY]; // INBOX_ARRIVAL, INBOX_REMOVAL: the device's path
};

// What the page said when it started the worker.
struct PageStart {
    char language[64]; // navigator.language of the page
    bool pageHasHid;   // navigator.hid in the page
};

// Waits for the page's start message.
PageStart webWaitForPage();
// Starts watching the browser's HID arrivals and removals; false without WebHID in the worker.
bool webWatchDevices();
// Waits for the next item of the inbox.
void webNextItem(InboxItem *item);

// The origin's lock of the units (web/worker.js). webLock with wait waits for another tab's
// update to end; without, it fails at once when another tab holds the lock. Both say so on the
// page meanwhile. The core's own calls nest.
bool webLock(bool wait);
void webUnlock();

// Messages to the page (web/page.js).
void webPostHello(const char *language, bool workerHasHid, uint16_t vendorId,
                  const uint16_t *productIds, size_t productCount);
void webPostText(const char *kind, const wchar_t *text);
void webPostFlag(const char *kind, bool on);
void webPostNumber(const char *kind, uint32_t number);
void webPostLabels(const wchar_t *unit, const wchar_t *bootloader, const wchar_t *esc);
void webPostVersions(const VersionTexts *texts);
void webPostBox(BoxKind kind, const wchar_t *caption, const wchar_t *text);
void webPostRecord(const char *line);
