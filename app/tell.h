// What the application tells and asks the user of one unit, through the unit's front end.
#pragma once

#include "app/context.h"
#include "app/messages.h"

#include <cstddef>
#include <cstdint>

// Calls one operation of the unit's front end, when the front end has it:
// tell(unit, &FrontEndOps::showStatus, text).
template <typename Op, typename... Args>
void tell(const UnitContext *unit, Op FrontEndOps::*op, Args... args) {
    const FrontEndOps *ops = unit->frontEnd.ops;
    if (ops != nullptr && ops->*op != nullptr) {
        (ops->*op)(unit->frontEnd.state, args...);
    }
}

// The unit's window operations; null for a front end without windows.
inline const WindowOps *windowOf(const UnitContext *unit) {
    return unit->frontEnd.ops != nullptr ? unit->frontEnd.ops->window : nullptr;
}

// A modal box of the given kind with a caption and a text of the catalogue, the text formatted
// with args when argCount is not 0. Returns true when the user answered OK or Yes, or dismissed a
// box without a question; false when declined. A front end that shows no boxes declines every
// question.
bool showBox(const UnitContext *unit, BoxKind kind, uint16_t captionId, uint16_t textId,
             const FormatArg *args = nullptr, size_t argCount = 0);
// The same with texts already made.
bool showBoxText(const UnitContext *unit, BoxKind kind, const wchar_t *caption,
                 const wchar_t *text);

// Shows a catalogue text as the whole status.
void showStatusMessage(const UnitContext *unit, uint16_t messageId);
