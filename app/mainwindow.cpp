// The portable side of the main window: start-up, the commands, device events and close.
#include "app/mainwindow.h"

#include "app/boxes.h"
#include "app/events.h"
#include "app/messages.h"
#include "app/texts.h"
#include "app/ui.h"
#include "app/update.h"
#include "resource.h"

namespace {
constexpr size_t TITLE_BUFFER_SIZE = 256;

void setLabel(int controlId, uint16_t messageId) {
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(messageId, text, MESSAGE_BUFFER_SIZE);
    uiSetControlText(controlId, text);
}
} // namespace

void appReset(UnitContext *unit) {
    closeConnection(&unit->connection);
    initUnitContext(unit);
}

StartResult appInitialise(UnitContext *unit) {
    uiSetIcon();
    wchar_t title[TITLE_BUFFER_SIZE];
    const FormatArg titleArgs[] = {{TEXT_MODEL_NAME, 0},
                                   {nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                                   {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu},
                                   {PLACEHOLDER_BUILD ? TEXT_TEST_BUILD : L"", 0}};
    formatText(title, TITLE_BUFFER_SIZE, TEXT_TITLE_FORMAT, titleArgs, 4);
    uiSetTitle(title);
    setLabel(IDC_LABEL_UNIT, MSG_LABEL_UNIT);
    setLabel(IDC_LABEL_BOOTLOADER, MSG_LABEL_BOOTLOADER);
    setLabel(IDC_LABEL_ESC, MSG_LABEL_ESC);
    if (!uiRegisterDeviceNotifications()) {
        showBox(BOX_ERROR, MSG_APPLICATION_ERROR_CAPTION, MSG_REGISTRATION_FAILED);
        closeConnection(&unit->connection);
        uiEndWindow(WINDOW_RESULT_REGISTRATION_FAILED);
        return StartResult{false, OUTCOME_NO_UNIT};
    }
    unit->registered = true;
    return StartResult{true, classifyConnection(unit, TRIGGER_STARTUP)};
}

void appClose(UnitContext *unit) {
    // The window answers paints and sent messages while the update waits; a Close sent to it
    // then must not pull the unit away from under the transfer.
    if (unit->updateBusy) {
        return;
    }
    if (unit->registered) {
        uiUnregisterDeviceNotifications();
        unit->registered = false;
    }
    closeConnection(&unit->connection);
    uiEndWindow(WINDOW_RESULT_CLOSED);
}

UpdateResult appUpdate(UnitContext *unit) {
    // The programs take no input while the update runs; a second press must not start another.
    if (unit->updateBusy) {
        return UpdateResult{UPDATE_BUSY, 0, 0, 0};
    }
    unit->updateBusy = true;
    UpdateResult result = runUpdate(unit);
    unit->updateBusy = false;
    return result;
}

bool appUpdateBusy(const UnitContext *unit) {
    return unit->updateBusy;
}
