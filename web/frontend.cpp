// The page's front end of its one unit: the FrontEndOps and WindowOps of the page, which post
// what the core tells to the page (web/page.js) and wait in the inbox for what it asks.
#include "web/frontend.h"

#include "app/mainwindow.h"
#include "app/status.h"
#include "os/web/hid_web.h"
#include "app/record.h"

#include <ctime>
#include <string>

namespace {
// What the page's front end keeps: the context it serves, so that a box can hand it the device
// events that come while the box waits, and the last percentage posted.
struct PageFrontEnd {
    UnitContext *unit;
    uint32_t percent;
};

PageFrontEnd gPage = {nullptr, 0};

void showStatus(void *, const wchar_t *text) {
    webPostText("status", text);
}

void showVersions(void *, const VersionTexts *texts) {
    webPostVersions(texts);
}

void offerUpdate(void *, bool offered) {
    webPostFlag("offer", offered);
}

// A modal box on the page. While it waits for the answer, units that arrive or leave are handled
// at once, as a window program's message box handles them.
bool showBox(void *state, BoxKind kind, const wchar_t *caption, const wchar_t *text) {
    auto *page = static_cast<PageFrontEnd *>(state);
    webPostBox(kind, caption, text);
    for (;;) {
        InboxItem item;
        webNextItem(&item);
        if (item.kind == INBOX_ANSWER) {
            return item.answer;
        }
        if (item.kind == INBOX_ARRIVAL || item.kind == INBOX_REMOVAL) {
            webDeviceEvent(page->unit, &item);
        }
        // The page takes no click on Update while a box is open; one that came is dropped.
    }
}

void sending(void *, bool on) {
    webPostFlag("sending", on);
}

void transferStarted(void *state, const TransferStart *start) {
    static_cast<PageFrontEnd *>(state)->percent = 0;
    webPostText("transfer", start->text);
}

// Posted only when the percentage changes: a hundred messages for two thousand blocks.
void transferProgress(void *state, uint32_t percent) {
    auto *page = static_cast<PageFrontEnd *>(state);
    if (percent != page->percent) {
        page->percent = percent;
        webPostNumber("progress", percent);
    }
}

void transferEnded(void *) {
    webPostFlag("transferEnd", true);
}

void setTitle(void *, const wchar_t *title) {
    webPostText("title", title);
}

void setIcon(void *) {
    // The page's icon is its own file (icon.ico).
}

void setLabels(void *, const wchar_t *unit, const wchar_t *bootloader, const wchar_t *esc) {
    webPostLabels(unit, bootloader, esc);
}

// The worker watches navigator.hid's arrivals and removals from its start (webWatchDevices).
bool registerDevices(void *) {
    return true;
}

void unregisterDevices(void *) {}

// A page is not ended by the program; its user closes the tab.
void endWindow(void *, int) {}

// The progress is a box of the page, which the browser places: no pixels to compute.
UiRect frame(void *) {
    return UiRect{0, 0, 0, 0};
}

int32_t scalePixels(void *, int32_t pixels) {
    return pixels;
}

bool inFront(void *) {
    return true;
}

void raise(void *, bool) {}

const WindowOps PAGE_WINDOW = {
    .setTitle = setTitle,
    .setIcon = setIcon,
    .setLabels = setLabels,
    .registerDevices = registerDevices,
    .unregisterDevices = unregisterDevices,
    .endWindow = endWindow,
    .frame = frame,
    .scalePixels = scalePixels,
    .inFront = inFront,
    .raise = raise,
};

const FrontEndOps PAGE_FRONT_END = {
    .showStatus = showStatus,
    .showVersions = showVersions,
    .offerUpdate = offerUpdate,
    .showBox = showBox,
    .sending = sending,
    .transferStarted = transferStarted,
    .transferProgress = transferProgress,
    .transferEnded = transferEnded,
    .window = &PAGE_WINDOW,
};

// After a classification that found no unit, the page learns whether the browser refused to
// open one meanwhile: on Linux it explains the hidraw node's access.
void tellRefusals(uint32_t refusedBefore, bool classified, ConnectionOutcome outcome) {
    if (classified && outcome == OUTCOME_NO_UNIT && webHidOpensRefused() > refusedBefore) {
        webPostFlag("refused", true);
    }
}

// Now as the records hold it ("2026-12-08T20:32:18Z"); "-" when the clock cannot be read.
std::string utcNow() {
    std::time_t now = std::time(nullptr);
    std::tm parts = {};
    char text[32];
    if (gmtime_r(&now, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0) {
        return "-";
    }
    return text;
}
} // namespace

void webAttachFrontEnd(UnitContext *unit) {
    gPage.unit = unit;
    unit->frontEnd = FrontEnd{&PAGE_FRONT_END, &gPage};
}

void webStartUp(UnitContext *unit) {
    webLock(true);
    uint32_t refusedBefore = webHidOpensRefused();
    StartResult started = appInitialise(unit);
    tellRefusals(refusedBefore, started.registered, started.outcome);
    webUnlock();
}

void webUpdate(UnitContext *unit) {
    if (!webLock(false)) {
        return;
    }
    UnitRecord record;
    record.before = versionsOf(unit);
    if (record.before.known) {
        record.path = unit->connection.devicePath;
        record.product = record.before.texts.unitLabel;
    }
    record.result = appUpdate(unit);
    if (record.result.status != UPDATE_BUSY) {
        record.outcome = unitOutcomeOf(record.result.status);
        record.after = versionsOf(unit);
        webPostRecord(recordJson(record, utcNow()).c_str());
    }
    webUnlock();
}

void webDeviceEvent(UnitContext *unit, const InboxItem *item) {
    DeviceEvent event = {};
    event.kind = item->kind == INBOX_ARRIVAL ? DEVICE_ARRIVAL : DEVICE_REMOVE_COMPLETE;
    event.isDeviceInterface = true;
    for (size_t i = 0; i + 1 < DEVICE_PATH_CAPACITY && item->path[i] != L'\0'; ++i) {
        event.path[i] = item->path[i];
    }
    webLock(true);
    uint32_t refusedBefore = webHidOpensRefused();
    DeviceEventResult result = appDeviceEvent(unit, &event);
    tellRefusals(refusedBefore, result.classified, result.outcome);
    webUnlock();
}
