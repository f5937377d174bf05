// Classification of what is connected, the status box, the version display and device changes.
#include "app/status.h"

#include "app/messages.h"
#include "app/tell.h"
#include "app/texts.h"
#include "link/frames.h"

namespace {
using Outcome = ConnectionOutcome;

Outcome decide(const UnitConnection *connection, int32_t openResult) {
    if (openResult == LINK_UNIT_IN_USE) {
        return OUTCOME_UNIT_IN_USE;
    }
    if (openResult != 0) {
        return OUTCOME_NO_UNIT;
    }
    if (connection->unitInBootloader != 0) {
        return OUTCOME_WRONG_MODE;
    }
    if (connection->escStatus != ESC_STATUS_UPDATABLE) {
        return OUTCOME_NO_UPDATABLE_ESC;
    }
    uint32_t type = escTypeId(connection);
    for (uint32_t supported : SUPPORTED_ESC_TYPES) {
        if (type == supported) {
            return OUTCOME_READY;
        }
    }
    return OUTCOME_INCOMPATIBLE_ESC;
}

uint16_t notReadyMessage(Outcome outcome) {
    switch (outcome) {
    case OUTCOME_NO_UNIT:
    case OUTCOME_UNIT_IN_USE:
        return MSG_NO_UNIT;
    case OUTCOME_WRONG_MODE:
        return MSG_WRONG_MODE;
    case OUTCOME_NO_UPDATABLE_ESC:
        return MSG_NO_UPDATABLE_ESC;
    case OUTCOME_INCOMPATIBLE_ESC:
    case OUTCOME_READY:
        break;
    }
    return MSG_ESC_NOT_COMPATIBLE;
}

void showIncompatibleBox(const UnitContext *unit) {
    const FormatArg model = {TEXT_MODEL_NAME, 0};
    showBox(unit, BOX_INFORM, MSG_ESC_INCOMPATIBLE_CAPTION, MSG_ESC_INCOMPATIBLE, &model, 1);
}

void offerUpdate(const UnitContext *unit, bool offered) {
    tell(unit, &FrontEndOps::offerUpdate, offered);
}

void formatVersionPart(wchar_t *text, const wchar_t *format, uint32_t first, uint32_t second) {
    const FormatArg args[] = {{nullptr, first}, {nullptr, second}};
    formatText(text, VERSION_TEXT_SIZE, format, args, 2);
}

// N.M.P from bits 24-31, 8-15 and 0-7; M.P alone when N is 0. Bits 16-23 are not shown.
void versionText(uint32_t value, wchar_t *text) {
    uint32_t major = value >> 24;
    uint32_t minor = (value >> 8) & 0xFF;
    uint32_t patch = value & 0xFF;
    text[0] = L'\0';
    if (major != 0) {
        formatVersionPart(text, TEXT_VERSION_MAJOR_FORMAT, major, 0);
    }
    wchar_t pair[VERSION_TEXT_SIZE];
    formatVersionPart(pair, TEXT_VERSION_PAIR_FORMAT, minor, patch);
    appendText(text, VERSION_TEXT_SIZE, pair);
}

void removeOpenUnit(UnitContext *unit) {
    closeConnection(&unit->connection);
    offerUpdate(unit, false);
    refreshVersionDisplay(unit);
    showNotReadyStatus(unit, MSG_CONNECTION_LOST);
}
} // namespace

void initUnitContext(UnitContext *unit) {
    // The front end is the program's, given before the first reset: it stays.
    FrontEnd frontEnd = unit->frontEnd;
    *unit = FRESH_UNIT_CONTEXT;
    unit->frontEnd = frontEnd;
}

bool openUnitIsReady(const UnitContext *unit) {
    return unit->lastOutcome == OUTCOME_READY && isUnitOpen(&unit->connection);
}

void markOpenUnitReady(UnitContext *unit) {
    unit->lastOutcome = OUTCOME_READY;
}

ConnectionOutcome classifyConnection(UnitContext *unit, ClassifyTrigger trigger) {
    int32_t opened = unit->onlyPath != nullptr ? openUnitAt(&unit->connection, unit->onlyPath)
                                               : openUnit(&unit->connection);
    Outcome outcome = decide(&unit->connection, opened);
    unit->lastOutcome = outcome;
    bool startup = trigger == TRIGGER_STARTUP;
    if (outcome == OUTCOME_READY) {
        showStatusMessage(unit, MSG_READY);
        if (startup) {
            offerUpdate(unit, true);
            refreshVersionDisplay(unit);
        } else {
            refreshVersionDisplay(unit);
            offerUpdate(unit, true);
        }
        return outcome;
    }
    if ((outcome == OUTCOME_NO_UNIT || outcome == OUTCOME_UNIT_IN_USE) && !startup) {
        // The connection stays as openUnit left it: a unit whose identification failed stays
        // open, and further arrivals are ignored until it is removed.
        return outcome;
    }
    offerUpdate(unit, false);
    closeConnection(&unit->connection);
    if (outcome == OUTCOME_INCOMPATIBLE_ESC) {
        showIncompatibleBox(unit);
    }
    // The box handles device events: a ready unit that arrived meanwhile has shown its own
    // status, which the notice about the ESC that left must not overwrite.
    if (!(outcome == OUTCOME_INCOMPATIBLE_ESC && openUnitIsReady(unit))) {
        showNotReadyStatus(unit, notReadyMessage(outcome));
    }
    if (startup) {
        refreshVersionDisplay(unit);
    }
    return outcome;
}

ConnectionOutcome lastConnectionOutcome(const UnitContext *unit) {
    return unit->lastOutcome;
}

DeviceEventResult handleDeviceChange(UnitContext *unit, const DeviceEvent *event) {
    DeviceEventResult result = {false, false, OUTCOME_NO_UNIT};
    switch (event->kind) {
    case DEVICE_ARRIVAL:
        if (event->isDeviceInterface && !isUnitOpen(&unit->connection)) {
            result.outcome = classifyConnection(unit, TRIGGER_ARRIVAL);
            result.classified = true;
        }
        result.handled = true;
        break;
    case DEVICE_REMOVE_COMPLETE:
        if (event->isDeviceInterface && isUnitOpen(&unit->connection) &&
            sameDevicePath(event->path, unit->connection.devicePath)) {
            removeOpenUnit(unit);
        }
        result.handled = true;
        break;
    case DEVICE_OTHER:
        break;
    }
    return result;
}

void showNotReadyStatus(const UnitContext *unit, uint16_t messageId) {
    // The message with its break fills at most one buffer, and the instructions another.
    wchar_t text[2 * MESSAGE_BUFFER_SIZE];
    loadMessage(messageId, text, MESSAGE_BUFFER_SIZE);
    appendText(text, MESSAGE_BUFFER_SIZE, TEXT_PARAGRAPH_BREAK);
    wchar_t instructions[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_INSTRUCTIONS, instructions, MESSAGE_BUFFER_SIZE);
    appendText(text, sizeof text / sizeof text[0], instructions);
    tell(unit, &FrontEndOps::showStatus, text);
}

void versionTexts(const UnitContext *unit, VersionTexts *texts) {
    const UnitConnection *connection = &unit->connection;
    if (!isUnitOpen(connection)) {
        texts->unitLabel = nullptr;
        wchar_t *const fields[] = {texts->unit, texts->bootloader, texts->esc};
        for (wchar_t *text : fields) {
            text[0] = L'\0';
            appendText(text, VERSION_TEXT_SIZE, TEXT_NO_VERSION);
        }
        return;
    }
    uint32_t unitVersion = connection->unitFirmwareVersion;
    if ((unitVersion & 0xFF) == 0) {
        unitVersion >>= 8;
    }
    versionText(unitVersion, texts->unit);
    versionText(escBootloaderVersion(connection), texts->bootloader);
    uint16_t escVersion = escFirmwareVersion(connection);
    if (escVersion == NO_FIRMWARE_VERSION) {
        texts->esc[0] = L'\0';
        appendText(texts->esc, VERSION_TEXT_SIZE, TEXT_NO_FIRMWARE);
    } else {
        formatVersionPart(texts->esc, TEXT_VERSION_PAIR_FORMAT, escVersion >> 8,
                          escVersion & 0xFFu);
    }
    texts->unitLabel =
        connection->productId == PRODUCT_ID_MERIVAN ? TEXT_UNIT_MERIVAN : TEXT_UNIT_TALOMIR;
}

void refreshVersionDisplay(const UnitContext *unit) {
    VersionTexts texts;
    versionTexts(unit, &texts);
    const VersionTexts *shown = &texts;
    tell(unit, &FrontEndOps::showVersions, shown);
}

uint16_t outcomeMessage(ConnectionOutcome outcome) {
    if (outcome == OUTCOME_READY) {
        return MSG_READY;
    }
    return notReadyMessage(outcome);
}
