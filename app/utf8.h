// Wide texts as UTF-8, for terminals, JSON and the page.
#pragma once

#include <string>

// UTF-8 of a wide text (UTF-16 pairs joined on Windows, a lone half as U+FFFD); each "\r\n"
// becomes "\n". Empty for null.
std::string utf8Text(const wchar_t *text);
std::string utf8Text(const std::wstring &text);
