// What the application tells and asks the user of one unit, through the unit's front end.
#include "app/tell.h"

bool showBoxText(const UnitContext *unit, BoxKind kind, const wchar_t *caption,
                 const wchar_t *text) {
    const FrontEndOps *ops = unit->frontEnd.ops;
    if (ops == nullptr || ops->showBox == nullptr) {
        return kind == BOX_INFORM || kind == BOX_ERROR;
    }
    return ops->showBox(unit->frontEnd.state, kind, caption, text);
}

bool showBox(const UnitContext *unit, BoxKind kind, uint16_t captionId, uint16_t textId,
             const FormatArg *args, size_t argCount) {
    wchar_t caption[MESSAGE_BUFFER_SIZE];
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(captionId, caption, MESSAGE_BUFFER_SIZE);
    if (argCount == 0) {
        loadMessage(textId, text, MESSAGE_BUFFER_SIZE);
    } else {
        wchar_t format[MESSAGE_BUFFER_SIZE];
        loadMessage(textId, format, MESSAGE_BUFFER_SIZE);
        formatText(text, MESSAGE_BUFFER_SIZE, format, args, argCount);
    }
    return showBoxText(unit, kind, caption, text);
}

void showStatusMessage(const UnitContext *unit, uint16_t messageId) {
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(messageId, text, MESSAGE_BUFFER_SIZE);
    tell(unit, &FrontEndOps::showStatus, text);
}
