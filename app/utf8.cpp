// Wide texts as UTF-8, for terminals, JSON and the page.
#include "app/utf8.h"

#include <cstdint>

namespace {
void appendUtf8(std::string *out, uint32_t code) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}
} // namespace

std::string utf8Text(const wchar_t *text) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    for (const wchar_t *at = text; *at != L'\0'; ++at) {
        uint32_t code = static_cast<uint32_t>(*at);
        if (code == L'\r' && at[1] == L'\n') {
            continue; // the catalogue's line breaks are CR LF; a terminal line ends in LF
        }
        // A UTF-16 pair (wchar_t is 16 bits wide on Windows); a lone half becomes U+FFFD.
        if (code >= 0xD800 && code <= 0xDBFF && at[1] >= 0xDC00 && at[1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(at[1]) - 0xDC00);
            ++at;
        } else if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            code = 0xFFFD;
        }
        appendUtf8(&out, code);
    }
    return out;
}

std::string utf8Text(const std::wstring &text) {
    return utf8Text(text.c_str());
}
