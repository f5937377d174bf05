// Messages of the Windows program come from its string tables, in the user interface language.
#include "app/messages.h"

#include <climits>

#include "win32/program.h"

size_t loadMessage(uint16_t id, wchar_t *buffer, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    // LoadStringW with a buffer size of 0 hands out a pointer instead of copying: never ask that.
    const int size = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
    HINSTANCE module = gModule != nullptr ? gModule : GetModuleHandleW(nullptr);
    const int length = LoadStringW(module, id, buffer, size);
    if (length <= 0) {
        buffer[0] = L'\0';
        return 0;
    }
    return static_cast<size_t>(length);
}
