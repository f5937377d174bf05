// Message boxes whose caption and text come from the message catalogue.
#pragma once

#include "app/messages.h"

#include <cstddef>
#include <cstdint>

// The four boxes of app/ui.h: information, OK/Cancel and Yes/No questions, error.
enum BoxKind { BOX_INFORM, BOX_ASK_OK_CANCEL, BOX_ASK_YES_NO, BOX_ERROR };

// Loads the caption and the text in the current language, formats the text with args when
// argCount is not 0, and shows them in a modal box of that kind. Returns true when the user
// answered OK or Yes; a box without a question returns true once dismissed.
bool showBox(BoxKind kind, uint16_t captionId, uint16_t textId, const FormatArg *args = nullptr,
             size_t argCount = 0);
