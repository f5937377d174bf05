// Fuzz target: start-up, the Update command and device events of the application, with the
// unit's replies, the interfaces, the events and the answers to the boxes taken from the input.
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/status.h"
#include "tests/fuzz/fuzz.h"
#include "tests/support/clock.h"
#include "tests/support/recording_ui.h"

#include "sim/sim.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// The input, read from the front; past its end every byte is 0:
//   unit byte    the simulated unit and its ESC (applyUnit)
//   image byte   the image is 1 + (byte + 95) % 200 bytes long: 0 gives two whole blocks
//   count byte   interfaces present at start (count % 3), each a descriptor (fuzzPlug)
//   actions      one byte each (act) with the bytes that the action reads, until the end.
// Besides: every exchange reads one byte (hid_fuzz.cpp); every question one byte (bit 0 set:
// Cancel or No); every message box one byte (bits 0-2: that many actions while it is open); every
// pause one byte (bit 7 set: 1 + bits 0-1 actions during it).

namespace {
constexpr size_t MAX_IMAGE = 200;
constexpr int MAX_BOX_DEPTH = 3;
constexpr size_t MAX_ACTIONS = 64;

enum Action {
    ACT_UPDATE,
    ACT_PLUG,        // descriptor byte(s)
    ACT_UNPLUG,      // interface number
    ACT_ARRIVAL,     //
    ACT_REMOVAL,     // interface number, then 0: its path, 1: in capitals, 2: a path never seen
    ACT_OTHER_EVENT, // bit 0 set: another event kind; else an arrival (bit 1) or removal of no
                     // device interface
    ACT_UNIT,        // unit byte
    ACT_COUNT
};

const uint8_t *gInput = nullptr;
size_t gInputSize = 0;
size_t gInputAt = 0;

uint8_t gImage[MAX_IMAGE];
size_t gImageLength = 0;
bool gUpdating = false;
int gBoxDepth = 0;
// The unit open when the last question was answered: a failed update must have closed it.
HidHandle gUnitAfterQuestions = HID_INVALID_HANDLE;

// Unit byte: bits 0-1 the ESC type (the two supported ones, 0, another), bits 2-3 the ESC
// firmware (2.10, 3.0, none, 3.1), bit 4 the unit runs its bootloader, bit 5 no updatable ESC,
// bit 6 the ESC info read answers error 5, bit 7 the boot info read answers error 7.
void applyUnit(uint8_t unit) {
    static const uint32_t TYPES[] = {SUPPORTED_ESC_TYPES[0], SUPPORTED_ESC_TYPES[1], 0, 0x12345678};
    static const uint16_t VERSIONS[] = {0x020A, 0x0300, 0xFFFF, 0x0301};
    simSetEscType(TYPES[unit & 3]);
    simSetEscFirmwareVersion(VERSIONS[(unit >> 2) & 3]);
    gSimUnit.identifyState = (unit & 0x10) != 0 ? 1 : 0;
    gSimUnit.escStatus = (unit & 0x20) != 0 ? 2 : 3;
    gSimUnit.escInfoError = (unit & 0x40) != 0 ? 5 : 0;
    gSimUnit.escBootInfoError = (unit & 0x80) != 0 ? 7 : 0;
}

void deliver(DeviceEventKind kind, bool isDeviceInterface, const std::vector<wchar_t> &path) {
    DeviceEvent event{};
    event.kind = kind;
    event.isDeviceInterface = isDeviceInterface;
    for (size_t i = 0; i + 1 < DEVICE_PATH_CAPACITY && i < path.size(); ++i) {
        event.path[i] = path[i];
    }
    appDeviceEvent(&gUnit, &event);
}

void checkImageWritten() {
    std::vector<uint8_t> expected(gImage, gImage + gImageLength);
    expected.resize((gImageLength + 3) / 4 * 4, 0xFF);
    if (fuzzWrittenBlocks() != expected) {
        fuzzFail("a successful update did not write exactly the image padded with 0xFF");
    }
}

void pressUpdate() {
    gUpdating = true;
    gUnitAfterQuestions = HID_INVALID_HANDLE;
    fuzzUpdateStarts();
    appUpdate(&gUnit);
    gUpdating = false;
}

void act(uint8_t action) {
    switch (action % ACT_COUNT) {
    case ACT_UPDATE:
        // Update is pressed only in the main window, never inside a box or the transfer.
        if (gBoxDepth == 0 && !appUpdateBusy(&gUnit)) {
            pressUpdate();
        }
        break;
    case ACT_PLUG:
        fuzzPlug();
        break;
    case ACT_UNPLUG:
        fuzzUnplug(fuzzByte());
        break;
    case ACT_ARRIVAL:
        deliver(DEVICE_ARRIVAL, true, {L'\0'});
        break;
    case ACT_REMOVAL: {
        std::vector<wchar_t> path = fuzzPath(fuzzByte());
        uint8_t variant = fuzzByte() % 3;
        for (wchar_t &c : path) {
            if (variant == 1 && c >= L'a' && c <= L'z') {
                c = static_cast<wchar_t>(c - L'a' + L'A');
            }
        }
        if (variant == 2) {
            path = {L'/', L'd', L'e', L'v', L'/', L'x', L'\0'};
        }
        deliver(DEVICE_REMOVE_COMPLETE, true, path);
        break;
    }
    case ACT_OTHER_EVENT: {
        uint8_t kind = fuzzByte();
        if ((kind & 1) != 0) {
            deliver(DEVICE_OTHER, true, fuzzPath(0));
        } else {
            deliver((kind & 2) != 0 ? DEVICE_ARRIVAL : DEVICE_REMOVE_COMPLETE, false, fuzzPath(0));
        }
        break;
    }
    case ACT_UNIT:
        applyUnit(fuzzByte());
        break;
    default:
        break;
    }
}

void onCall(const UiCall &call) {
    switch (call.op) {
    case UI_ASK_OK_CANCEL:
    case UI_ASK_YES_NO:
        scriptAnswers({(fuzzByte() & 1) == 0});
        break;
    case UI_SET_STATUS:
        if (call.text == catalogueText(MSG_READY, LANGUAGE_ENGLISH)) {
            fuzzMarkReady(gUnit.connection.handle);
        } else if (gUpdating &&
                   call.text == catalogueText(MSG_UPDATE_SUCCEEDED, LANGUAGE_ENGLISH)) {
            checkImageWritten();
        }
        break;
    case UI_SHOW_ERROR:
        if (gUpdating) {
            fuzzUpdateFailed();
            if (gUnitAfterQuestions != HID_INVALID_HANDLE && fuzzHandleOpen(gUnitAfterQuestions)) {
                fuzzFail("the unit stayed open after a failed update");
            }
        }
        break;
    default:
        break;
    }
}

// Device events handled while a message box is open, as its message loop delivers them.
void onBox(const UiCall &call) {
    uint8_t plan = fuzzByte();
    if (gBoxDepth < MAX_BOX_DEPTH) {
        ++gBoxDepth;
        for (int i = 0; i < (plan & 7); ++i) {
            act(fuzzByte());
        }
        --gBoxDepth;
    }
    if (call.op == UI_ASK_OK_CANCEL || call.op == UI_ASK_YES_NO) {
        gUnitAfterQuestions = gUnit.connection.handle;
    }
}

// Device events that come during a pause: while the update sends, the application holds them.
void onPause(size_t, uint32_t) {
    uint8_t plan = fuzzByte();
    if ((plan & 0x80) != 0) {
        for (int i = 0; i <= (plan & 3); ++i) {
            act(fuzzByte());
        }
    }
}
} // namespace

void fuzzStartInput(const uint8_t *data, size_t size) {
    gInput = data;
    gInputSize = size;
    gInputAt = 0;
}

uint8_t fuzzByte() {
    return gInputAt < gInputSize ? gInput[gInputAt++] : 0;
}

bool fuzzInputLeft() {
    return gInputAt < gInputSize;
}

void fuzzFail(const char *rule) {
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzStartInput(data, size);
    appReset(&gUnit);
    fuzzHidReset();
    // The recording UI is reset once: making room for long transcripts costs more than a whole
    // run, and nothing it keeps changes what the application does (every question's answer is
    // scripted when it is asked, the image is set for each run).
    static bool uiReady = false;
    if (!uiReady) {
        uiReady = true;
        resetRecordingUi();
        setTranscriptEnabled(false);
    }
    resetRecordedPauses();
    setPauseHook(onPause);
    setCallHook(onCall);
    setBoxHook(onBox);
    gBoxDepth = 0;
    gUpdating = false;

    applyUnit(fuzzByte());
    gImageLength = 1 + (fuzzByte() + 95u) % MAX_IMAGE;
    for (size_t i = 0; i < gImageLength; ++i) {
        gImage[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    setImage(gImage, gImageLength);
    for (uint8_t count = fuzzByte() % 3; count > 0; --count) {
        fuzzPlug();
    }

    appInitialise(&gUnit);
    for (size_t n = 0; n < MAX_ACTIONS && fuzzInputLeft(); ++n) {
        act(fuzzByte());
    }
    appClose(&gUnit);
    if (fuzzOpenHandles() != 0 || fuzzOpenLists() != 0) {
        fuzzFail("a device handle or an interface list was left open");
    }
    return 0;
}
