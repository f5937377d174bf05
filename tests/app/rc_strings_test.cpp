// The Windows string tables generated from the texts hold exactly the built-in catalogue.
#include "app/messages.h"
#include "app/texts.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// The string of a table entry in one language, read from the resource block itself, so that
// the test does not depend on the user interface language of the Wine prefix.
bool tableString(UINT id, WORD language, std::wstring *text) {
    HRSRC found = FindResourceExW(nullptr, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                  MAKEINTRESOURCEW(id / 16 + 1), language);
    if (found == nullptr) {
        return false;
    }
    const WCHAR *entry = static_cast<const WCHAR *>(LockResource(LoadResource(nullptr, found)));
    for (UINT i = 0; i < id % 16; ++i) {
        entry += 1 + *entry;
    }
    if (*entry == 0) {
        return false;
    }
    text->assign(entry + 1, *entry);
    return true;
}

const WORD ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD GERMAN = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

TEST(StringTables, text_differs_from_catalogue) {
    size_t messages = 0;
    for (UINT id = 40000; id <= 40041; ++id) {
        const wchar_t *english = catalogueText(static_cast<uint16_t>(id), LANGUAGE_ENGLISH);
        std::wstring text;
        if (english == nullptr) {
            EXPECT_FALSE(tableString(id, ENGLISH, &text)) << id;
            continue;
        }
        ++messages;
        ASSERT_TRUE(tableString(id, ENGLISH, &text)) << id;
        EXPECT_EQ(text, english) << id;
        ASSERT_TRUE(tableString(id, GERMAN, &text)) << id;
        EXPECT_EQ(text, catalogueText(static_cast<uint16_t>(id), LANGUAGE_GERMAN)) << id;
    }
    EXPECT_EQ(messages, 29u);
}

TEST(StringTables, umlauts_and_line_breaks_mangled) {
    std::wstring text;
    ASSERT_TRUE(tableString(40001, GERMAN, &text));
    EXPECT_NE(text.find(L"Empf\u00e4nger"), std::wstring::npos);
    EXPECT_NE(text.find(L"Windows\u2122PC"), std::wstring::npos);
    EXPECT_NE(text.find(L"\u00fcber den Button"), std::wstring::npos);
    EXPECT_EQ(text.substr(0, 5), L"1.)\r\n");
}

TEST(StringTables, dialog_text_differs) {
    for (int id = DIALOG_CAPTION; id <= DIALOG_LABEL_ESC; ++id) {
        std::wstring text;
        ASSERT_TRUE(tableString(static_cast<UINT>(100 + id), ENGLISH, &text)) << id;
        EXPECT_EQ(text, dialogText(static_cast<DialogTextId>(id), LANGUAGE_ENGLISH));
        ASSERT_TRUE(tableString(static_cast<UINT>(100 + id), GERMAN, &text)) << id;
        EXPECT_EQ(text, dialogText(static_cast<DialogTextId>(id), LANGUAGE_GERMAN));
    }
}

TEST(StringTables, load_string_in_wrong_language) {
    // LoadStringW picks the table of the user interface language, English for any other.
    bool german = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN;
    wchar_t buffer[MESSAGE_BUFFER_SIZE];
    int length = LoadStringW(GetModuleHandleW(nullptr), 40002, buffer, MESSAGE_BUFFER_SIZE);
    ASSERT_GT(length, 0);
    EXPECT_STREQ(buffer, german ? L"Update fehlgeschlagen!" : L"Update failed!");
}

} // namespace
