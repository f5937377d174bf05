// Message boxes whose caption and text come from the message catalogue.
#include "app/boxes.h"

#include "app/ui.h"

bool showBox(BoxKind kind, uint16_t captionId, uint16_t textId, const FormatArg *args,
             size_t argCount) {
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
    switch (kind) {
    case BOX_INFORM:
        uiInform(caption, text);
        return true;
    case BOX_ASK_OK_CANCEL:
        return uiAskOkCancel(caption, text);
    case BOX_ASK_YES_NO:
        return uiAskYesNo(caption, text);
    case BOX_ERROR:
        break;
    }
    uiShowError(caption, text);
    return true;
}
