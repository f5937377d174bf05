// loadMessage from the built-in catalogue, in the language chosen with setMessageLanguage.
#include "app/messages.h"

size_t loadMessage(uint16_t id, wchar_t *buffer, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    const wchar_t *text = catalogueText(id, messageLanguage());
    size_t length = 0;
    if (text != nullptr) {
        while (text[length] != L'\0' && length + 1 < capacity) {
            buffer[length] = text[length];
            ++length;
        }
    }
    buffer[length] = L'\0';
    return length;
}
