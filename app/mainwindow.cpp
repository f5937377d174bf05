// The portable side of the main window: start-up, the commands, device events and close.
#include "app/mainwindow.h"

#include "app/events.h"
#include "app/messages.h"
#include "app/tell.h"
#include "app/texts.h"
#include "app/update.h"

namespace {
constexpr size_t TITLE_BUFFER_SIZE = 256;

// Icon, title and the three labels of the version lines.
void dressWindow(const UnitContext *unit, const WindowOps *window) {
    void *state = unit->frontEnd.state;
    window->setIcon(state);
    wchar_t title[TITLE_BUFFER_SIZE];
    const FormatArg titleArgs[] = {{TEXT_MODEL_NAME, 0},
                                   {nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                                   {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu},
                                   {PLACEHOLDER_BUILD ? TEXT_TEST_BUILD : L"", 0}};
    formatText(title, TITLE_BUFFER_SIZE, TEXT_TITLE_FORMAT, titleArgs, 4);
    window->setTitle(state, title);
    wchar_t labels[3][MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_LABEL_UNIT, labels[0], MESSAGE_BUFFER_SIZE);
    loadMessage(MSG_LABEL_BOOTLOADER, labels[1], MESSAGE_BUFFER_SIZE);
    loadMessage(MSG_LABEL_ESC, labels[2], MESSAGE_BUFFER_SIZE);
    window->setLabels(state, labels[0], labels[1], labels[2]);
}
} // namespace

void appReset(UnitContext *unit) {
    closeConnection(&unit->connection);
    initUnitContext(unit);
}

StartResult appInitialise(UnitContext *unit) {
    const WindowOps *window = windowOf(unit);
    if (window != nullptr) {
        dressWindow(unit, window);
        if (!window->registerDevices(unit->frontEnd.state)) {
            showBox(unit, BOX_ERROR, MSG_APPLICATION_ERROR_CAPTION, MSG_REGISTRATION_FAILED);
            closeConnection(&unit->connection);
            window->endWindow(unit->frontEnd.state, WINDOW_RESULT_REGISTRATION_FAILED);
            return StartResult{false, OUTCOME_NO_UNIT};
        }
        unit->registered = true;
    }
    return StartResult{true, classifyConnection(unit, TRIGGER_STARTUP)};
}

void appClose(UnitContext *unit) {
    // The window answers paints and sent messages while the update waits; a Close sent to it
    // then must not pull the unit away from under the transfer.
    if (unit->updateBusy) {
        return;
    }
    const WindowOps *window = windowOf(unit);
    if (unit->registered) {
        window->unregisterDevices(unit->frontEnd.state);
        unit->registered = false;
    }
    closeConnection(&unit->connection);
    if (window != nullptr) {
        window->endWindow(unit->frontEnd.state, WINDOW_RESULT_CLOSED);
    }
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
