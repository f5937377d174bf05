// The commands status, update and watch, over the same application as the window programs.
#include "platform/cli/cli.h"

#include "app/mainwindow.h"
#include "app/status.h"
#include "app/texts.h"
#include "app/update.h"
#include "link/connection.h"
#include "platform/cli/device_watch.h"
#include "resource.h"

#include <nlohmann/json.hpp>

#include <ctime>

namespace {
int exitCodeOf(ConnectionOutcome outcome) {
    switch (outcome) {
    case OUTCOME_NO_UNIT:
        return EXIT_NO_UNIT;
    case OUTCOME_WRONG_MODE:
        return EXIT_WRONG_MODE;
    case OUTCOME_NO_UPDATABLE_ESC:
        return EXIT_NO_UPDATABLE_ESC;
    case OUTCOME_INCOMPATIBLE_ESC:
        return EXIT_INCOMPATIBLE_ESC;
    case OUTCOME_READY:
        break;
    }
    return EXIT_OK;
}

const char *outcomeName(ConnectionOutcome outcome) {
    switch (outcome) {
    case OUTCOME_NO_UNIT:
        return "no-unit";
    case OUTCOME_WRONG_MODE:
        return "wrong-mode";
    case OUTCOME_NO_UPDATABLE_ESC:
        return "no-updatable-esc";
    case OUTCOME_INCOMPATIBLE_ESC:
        return "incompatible-esc";
    case OUTCOME_READY:
        break;
    }
    return "ready";
}

// The main window's start-up: labels, registration, the first classification.
void startWindow(bool answerYes, bool quietBoxes = false, bool watchDevices = false) {
    cliUiReset();
    cliSetAnswerYes(answerYes);
    cliSetQuietBoxes(quietBoxes);
    cliSetWatchDevices(watchDevices);
    appReset();
    appInitialise();
}

std::string controlText(int controlId) {
    return utf8Text(cliControlText(controlId));
}

// The version group as the window shows it: heading, then label and version of each line.
std::string versionLines() {
    std::string heading = utf8Text(dialogText(DIALOG_GROUP_VERSIONS, messageLanguage()));
    std::string lines = heading + "\n";
    const int rows[][2] = {{IDC_LABEL_UNIT, IDC_VERSION_UNIT},
                           {IDC_LABEL_BOOTLOADER, IDC_VERSION_BOOTLOADER},
                           {IDC_LABEL_ESC, IDC_VERSION_ESC}};
    for (const auto &row : rows) {
        std::string label = controlText(row[0]);
        if (label.size() < 20) {
            label.append(20 - label.size(), ' ');
        }
        lines += "  ";
        lines += label;
        lines += " ";
        lines += controlText(row[1]);
        lines += "\n";
    }
    return lines;
}

std::string imageVersionText() {
    wchar_t text[32];
    const FormatArg args[] = {{nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                              {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu}};
    formatText(text, 32, TEXT_VERSION_PAIR_FORMAT, args, 2);
    return utf8Text(text);
}

// The keys in the order the interface names them.
std::string statusJson() {
    bool open = isUnitOpen(&gConnection);
    nlohmann::ordered_json product = nullptr;
    if (open) {
        product = controlText(IDC_LABEL_UNIT);
    }
    auto version = [](uint32_t raw, int controlId) {
        return nlohmann::ordered_json{{"raw", raw}, {"shown", controlText(controlId)}};
    };
    nlohmann::ordered_json object = {
        {"outcome", outcomeName(lastConnectionOutcome())},
        {"product", product},
        {"versions",
         {{"unit", version(gConnection.unitFirmwareVersion, IDC_VERSION_UNIT)},
          {"escBootloader", version(escBootloaderVersion(&gConnection), IDC_VERSION_BOOTLOADER)},
          {"escFirmware", version(escFirmwareVersion(&gConnection), IDC_VERSION_ESC)}}},
        {"imageVersion", {{"raw", IMAGE_FIRMWARE_VERSION}, {"shown", imageVersionText()}}},
        {"status", utf8Text(cliStatusText())}};
    return object.dump(2) + "\n";
}

std::string clockText() {
    std::time_t now = std::time(nullptr);
    char text[32];
    std::tm *local = std::localtime(&now);
    if (local == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local) == 0) {
        return "-";
    }
    return text;
}

std::wstring wide(const std::string &ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// The first paragraph of the status: the message above the connection instructions.
std::wstring statusMessage() {
    std::wstring status = cliStatusText();
    size_t end = status.find(TEXT_PARAGRAPH_BREAK);
    return end == std::wstring::npos ? status : status.substr(0, end);
}

struct WatchTally {
    uint32_t updated;
    uint32_t failed;
    uint32_t notReady;
};

// Updates the unit that classification found ready, and prints its result line.
void updateWatchedUnit(WatchTally *tally) {
    std::wstring product = cliControlText(IDC_LABEL_UNIT);
    std::wstring before = cliControlText(IDC_VERSION_ESC);
    uint32_t errors = cliErrorCount();
    appUpdate();
    bool failed = cliErrorCount() != errors;
    std::wstring result;
    if (failed) {
        std::wstring error = cliLastErrorLine();
        const FormatArg errorArg = {error.c_str(), 0};
        result = cliFormatWide(MSG_CLI_WATCH_FAILED, &errorArg, 1);
        ++tally->failed;
    } else {
        result = cliFormatWide(MSG_CLI_WATCH_UPDATED, nullptr, 0);
        ++tally->updated;
    }
    std::wstring time = wide(clockText());
    std::wstring escLabel = cliControlText(IDC_LABEL_ESC);
    std::wstring after = cliControlText(IDC_VERSION_ESC);
    const FormatArg args[] = {{time.c_str(), 0},   {product.c_str(), 0}, {escLabel.c_str(), 0},
                              {before.c_str(), 0}, {after.c_str(), 0},   {result.c_str(), 0}};
    printOut(cliFormat(MSG_CLI_WATCH_RESULT, args, 6) + "\n");
}

// A unit that is there but not ready: its status once, then it is waited out.
void reportNotReady(WatchTally *tally) {
    std::wstring time = wide(clockText());
    std::wstring message = statusMessage();
    const FormatArg args[] = {{time.c_str(), 0}, {message.c_str(), 0}};
    printOut(cliFormat(MSG_CLI_WATCH_NOT_READY, args, 2) + "\n");
    ++tally->notReady;
}

bool unitThereButNotReady(ConnectionOutcome outcome) {
    return outcome == OUTCOME_WRONG_MODE || outcome == OUTCOME_NO_UPDATABLE_ESC ||
           outcome == OUTCOME_INCOMPATIBLE_ESC;
}
} // namespace

int cliStatus(bool json) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    startWindow(false, json);
    if (json) {
        printOut(statusJson());
    } else {
        printOut(utf8Text(cliStatusText()) + "\n\n" + versionLines());
        if (PLACEHOLDER_BUILD) {
            printOut("\n");
            printOut(cliMessage(MSG_CLI_TEST_BUILD) + "\n");
        }
    }
    int code = exitCodeOf(lastConnectionOutcome());
    appClose();
    return code;
}

int cliUpdate(bool yes) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    startWindow(yes);
    ConnectionOutcome outcome = lastConnectionOutcome();
    if (outcome != OUTCOME_READY) {
        printOut(utf8Text(cliStatusText()) + "\n");
        appClose();
        return exitCodeOf(outcome);
    }
    printOut(versionLines());
    appUpdate();
    int code = EXIT_OK;
    if (cliErrorCount() > 0) {
        code = EXIT_UPDATE_FAILED;
    } else if (cliDeclinedCount() > 0) {
        code = EXIT_DECLINED;
    } else {
        printOut(utf8Text(cliStatusText()) + "\n");
    }
    appClose();
    return code;
}

int cliWatch(bool yes, uint32_t count) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    cliUiReset();
    if (!yes) {
        wchar_t caption[MESSAGE_BUFFER_SIZE];
        wchar_t text[MESSAGE_BUFFER_SIZE];
        loadMessage(MSG_IMPORTANT_CAPTION, caption, MESSAGE_BUFFER_SIZE);
        loadMessage(MSG_IMPORTANT, text, MESSAGE_BUFFER_SIZE);
        appendText(text, MESSAGE_BUFFER_SIZE, TEXT_PARAGRAPH_BREAK);
        wchar_t holds[MESSAGE_BUFFER_SIZE];
        loadMessage(MSG_CLI_WATCH_CONFIRM, holds, MESSAGE_BUFFER_SIZE);
        appendText(text, MESSAGE_BUFFER_SIZE, holds);
        if (!cliAsk(caption, text)) {
            return EXIT_DECLINED;
        }
    }
    // Ctrl-C while waiting ends the watch with its summary; during an update it is held.
    cliSetIdleInterrupt(INTERRUPT_NOTICE);
    startWindow(true, false, true);
    if (cliEndResult() != 0) {
        cliSetWatchDevices(false);
        return EXIT_UPDATE_FAILED;
    }
    printOut(cliMessage(MSG_CLI_WATCH_WAITING) + "\n");
    WatchTally tally = {0, 0, 0};
    // A unit updated stays open until it is removed; until then it never counts again.
    bool updatedStillThere = false;
    bool classified = true;
    while (count == 0 || tally.updated < count) {
        if (!isUnitOpen(&gConnection)) {
            updatedStillThere = false;
        }
        ConnectionOutcome outcome = lastConnectionOutcome();
        if (classified && outcome == OUTCOME_READY && isUnitOpen(&gConnection) &&
            !updatedStillThere) {
            updateWatchedUnit(&tally);
            updatedStillThere = isUnitOpen(&gConnection);
            continue;
        }
        if (classified && unitThereButNotReady(outcome) && !isUnitOpen(&gConnection)) {
            reportNotReady(&tally);
        }
        DeviceEvent event;
        if (!deviceWatchNext(&event)) {
            break;
        }
        uint32_t changes = cliStatusChangeCount();
        bool wasOpen = isUnitOpen(&gConnection);
        appDeviceEvent(&event);
        // Only an arrival that found no unit open classifies anew.
        classified = !wasOpen && event.kind == DEVICE_ARRIVAL && cliStatusChangeCount() != changes;
    }
    appClose();
    cliSetWatchDevices(false);
    const FormatArg args[] = {
        {nullptr, tally.updated}, {nullptr, tally.failed}, {nullptr, tally.notReady}};
    printOut(cliFormat(MSG_CLI_WATCH_SUMMARY, args, 3) + "\n");
    return tally.failed > 0 ? EXIT_UPDATE_FAILED : EXIT_OK;
}

std::string cliVersionText() {
    const FormatArg args[] = {{L"quillar-updater-cli", 0},
                              {nullptr, QUILLAR_PROGRAM_VERSION_MAJOR},
                              {nullptr, QUILLAR_PROGRAM_VERSION_MINOR},
                              {nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                              {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu}};
    std::string text = cliFormat(MSG_CLI_VERSION, args, 5);
    return PLACEHOLDER_BUILD ? text + " " + utf8Text(TEXT_TEST_BUILD) : text;
}
