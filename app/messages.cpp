// Formatting and joining of catalogue texts, and the language of the built-in catalogue.
#include "app/messages.h"

#include <cwchar>

static MessageLanguage gLanguage = LANGUAGE_ENGLISH;

void setMessageLanguage(MessageLanguage language) {
    gLanguage = language;
}

MessageLanguage messageLanguage() {
    return gLanguage;
}

static bool isTagEnd(char c) {
    return c == '\0' || c == '_' || c == '-' || c == '.' || c == '@';
}

MessageLanguage languageFromTag(const char *tag) {
    if (tag == nullptr) {
        return LANGUAGE_ENGLISH;
    }
    bool german =
        (tag[0] == 'd' || tag[0] == 'D') && (tag[1] == 'e' || tag[1] == 'E') && isTagEnd(tag[2]);
    return german ? LANGUAGE_GERMAN : LANGUAGE_ENGLISH;
}

namespace {
// A zero-terminated text being written into a fixed buffer; whatever does not fit is dropped.
struct TextSink {
    wchar_t *buffer;
    size_t capacity;
    size_t length;
};

bool full(const TextSink *sink) {
    return sink->length + 1 >= sink->capacity;
}

void put(TextSink *sink, wchar_t c) {
    if (!full(sink)) {
        sink->buffer[sink->length++] = c;
        sink->buffer[sink->length] = L'\0';
    }
}

// Padding stops once the buffer is full: a width is a number from a format string, and one
// far beyond any buffer must not keep the program padding for minutes.
void putPadded(TextSink *sink, const wchar_t *text, size_t length, size_t width, wchar_t pad) {
    for (size_t i = length; i < width && !full(sink); ++i) {
        put(sink, pad);
    }
    for (size_t i = 0; i < length; ++i) {
        put(sink, text[i]);
    }
}

void putNumber(TextSink *sink, uint32_t value, uint32_t base, size_t width, wchar_t pad) {
    wchar_t digits[16];
    size_t count = 0;
    do {
        uint32_t digit = value % base;
        digits[count++] = static_cast<wchar_t>(digit < 10 ? L'0' + digit : L'a' + (digit - 10));
        value /= base;
    } while (value != 0);
    wchar_t ordered[16];
    for (size_t i = 0; i < count; ++i) {
        ordered[i] = digits[count - 1 - i];
    }
    putPadded(sink, ordered, count, width, pad);
}
} // namespace

size_t formatText(wchar_t *buffer, size_t capacity, const wchar_t *format, const FormatArg *args,
                  size_t argCount) {
    if (capacity == 0) {
        return 0;
    }
    TextSink sink = {buffer, capacity, 0};
    buffer[0] = L'\0';
    size_t next = 0;
    for (const wchar_t *p = format; *p != L'\0'; ++p) {
        if (*p != L'%') {
            put(&sink, *p);
            continue;
        }
        const wchar_t *start = p++;
        wchar_t pad = L' ';
        if (*p == L'0') {
            pad = L'0';
            ++p;
        }
        size_t width = 0;
        while (*p >= L'0' && *p <= L'9') {
            width = width * 10 + static_cast<size_t>(*p - L'0');
            ++p;
        }
        FormatArg arg = next < argCount ? args[next] : FormatArg{nullptr, 0};
        switch (*p) {
        case L'%':
            put(&sink, L'%');
            break;
        case L's': {
            const wchar_t *text = arg.text != nullptr ? arg.text : L"";
            putPadded(&sink, text, std::wcslen(text), width, L' ');
            ++next;
            break;
        }
        case L'u':
            putNumber(&sink, arg.number, 10, width, pad);
            ++next;
            break;
        case L'x':
            putNumber(&sink, arg.number, 16, width, pad);
            ++next;
            break;
        default:
            // Not a conversion this program uses: kept as written.
            for (const wchar_t *q = start; q <= p && *q != L'\0'; ++q) {
                put(&sink, *q);
            }
            if (*p == L'\0') {
                return sink.length;
            }
            break;
        }
    }
    return sink.length;
}

size_t appendText(wchar_t *buffer, size_t capacity, const wchar_t *text) {
    if (capacity == 0) {
        return 0;
    }
    size_t length = 0;
    while (length < capacity && buffer[length] != L'\0') {
        ++length;
    }
    if (length == capacity) {
        // Not terminated within capacity: end it at the last place.
        length = capacity - 1;
        buffer[length] = L'\0';
    }
    TextSink sink = {buffer, capacity, length};
    for (const wchar_t *p = text; *p != L'\0' && !full(&sink); ++p) {
        put(&sink, *p);
    }
    return sink.length;
}
