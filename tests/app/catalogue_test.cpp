// The message catalogue: both languages complete and alike, formatting the same everywhere.
#include "app/messages.h"
#include "app/texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const uint16_t MESSAGE_IDS[] = {40000, 40001, 40002, 40008, 40009, 40011, 40012, 40015,
                                40016, 40017, 40020, 40022, 40023, 40025, 40026, 40027,
                                40028, 40029, 40030, 40032, 40033, 40034, 40035, 40036,
                                40037, 40038, 40039, 40040, 40041};

// The conversions of a format string, in order ("%s", "%08x", ...).
std::vector<std::wstring> conversions(const std::wstring &format) {
    std::vector<std::wstring> found;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%') {
            continue;
        }
        size_t end = i + 1;
        while (end < format.size() && (format[end] == L'0' || iswdigit(format[end]))) {
            ++end;
        }
        found.push_back(format.substr(i, end - i + 1));
        i = end;
    }
    return found;
}

std::wstring format(const wchar_t *text, std::vector<FormatArg> args, size_t capacity = 2048) {
    std::vector<wchar_t> buffer(capacity + 1, L'#');
    size_t length = formatText(buffer.data(), capacity, text, args.data(), args.size());
    std::wstring result(buffer.data());
    EXPECT_EQ(length, result.size());
    return result;
}

std::wstring load(uint16_t id, MessageLanguage language) {
    setMessageLanguage(language);
    wchar_t buffer[MESSAGE_BUFFER_SIZE];
    loadMessage(id, buffer, MESSAGE_BUFFER_SIZE);
    setMessageLanguage(LANGUAGE_ENGLISH);
    return buffer;
}

TEST(Catalogue, missing_text_or_mismatched_conversions) {
    for (uint16_t id : MESSAGE_IDS) {
        SCOPED_TRACE(id);
        const wchar_t *english = catalogueText(id, LANGUAGE_ENGLISH);
        const wchar_t *german = catalogueText(id, LANGUAGE_GERMAN);
        ASSERT_NE(english, nullptr);
        ASSERT_NE(german, nullptr);
        EXPECT_NE(english[0], L'\0');
        EXPECT_NE(german[0], L'\0');
        EXPECT_EQ(conversions(english), conversions(german));
        EXPECT_LT(std::wstring(english).size(), MESSAGE_BUFFER_SIZE);
        EXPECT_LT(std::wstring(german).size(), MESSAGE_BUFFER_SIZE);
    }
    EXPECT_EQ(conversions(catalogueText(40034, LANGUAGE_ENGLISH)),
              std::vector<std::wstring>{L"%s"});
    EXPECT_EQ(conversions(catalogueText(40036, LANGUAGE_GERMAN)),
              (std::vector<std::wstring>{L"%08x", L"%08x"}));
    EXPECT_EQ(catalogueText(40003, LANGUAGE_ENGLISH), nullptr);
    EXPECT_EQ(catalogueText(40042, LANGUAGE_GERMAN), nullptr);
}

TEST(Catalogue, fixed_and_dialog_texts_lost) {
    EXPECT_STREQ(TEXT_TITLE_FORMAT, L"ZARVELO %s FW Updater %u.%u %s");
    EXPECT_STREQ(TEXT_MODEL_NAME, L"QUILLAR");
    EXPECT_STREQ(TEXT_PARAGRAPH_BREAK, L"\r\n\r\n");
    EXPECT_STREQ(TEXT_NO_FIRMWARE, L"----------");
    for (int id = DIALOG_CAPTION; id <= DIALOG_LABEL_ESC; ++id) {
        SCOPED_TRACE(id);
        EXPECT_NE(dialogText(static_cast<DialogTextId>(id), LANGUAGE_ENGLISH)[0], L'\0');
        EXPECT_NE(dialogText(static_cast<DialogTextId>(id), LANGUAGE_GERMAN)[0], L'\0');
    }
    EXPECT_STREQ(dialogText(DIALOG_CLOSE, LANGUAGE_GERMAN), L"Beenden");
    EXPECT_STREQ(dialogText(DIALOG_HINT, LANGUAGE_ENGLISH), L"Hint:");
}

TEST(Catalogue, model_name_not_quoted_in_incompatible_text) {
    for (MessageLanguage language : {LANGUAGE_ENGLISH, LANGUAGE_GERMAN}) {
        std::wstring text = format(catalogueText(40034, language), {{TEXT_MODEL_NAME, 0}});
        EXPECT_NE(text.find(L"'QUILLAR'"), std::wstring::npos) << language;
        EXPECT_NE(text.find(L"zarvelo.example"), std::wstring::npos) << language;
        EXPECT_EQ(text.find(L'{'), std::wstring::npos) << language;
    }
}

TEST(Catalogue, negative_result_code_not_twos_complement) {
    const struct {
        int32_t result;
        uint32_t systemError;
        const wchar_t *expected;
    } cases[] = {
        {-2, 0, L"The system shows following errorcode: 0xfffffffe-0x00000000"},
        {-3, 31, L"The system shows following errorcode: 0xfffffffd-0x0000001f"},
        {1627, 0xDEADBEEF, L"The system shows following errorcode: 0x0000065b-0xdeadbeef"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(format(catalogueText(40036, LANGUAGE_ENGLISH),
                         {{nullptr, static_cast<uint32_t>(c.result)}, {nullptr, c.systemError}}),
                  c.expected);
    }
    EXPECT_EQ(format(catalogueText(40036, LANGUAGE_GERMAN), {{nullptr, 0xFFFFFFFDu}, {nullptr, 5}}),
              L"Das System meldet Fehlercode 0xfffffffd-0x00000005");
}

TEST(Catalogue, formatting_differs_from_printf) {
    EXPECT_EQ(format(L"ZARVELO %s FW Updater %u.%u %s",
                     {{L"QUILLAR", 0}, {nullptr, 3}, {nullptr, 0}, {L"", 0}}),
              L"ZARVELO QUILLAR FW Updater 3.0 ");
    EXPECT_EQ(format(L"%u.%u", {{nullptr, 255}, {nullptr, 4294967295u}}), L"255.4294967295");
    EXPECT_EQ(format(L"%x|%4u|%04x|100%%", {{nullptr, 0xAB}, {nullptr, 7}, {nullptr, 0x1F}}),
              L"ab|   7|001f|100%");
    EXPECT_EQ(format(L"%s and %s", {{L"one", 0}}), L"one and ");
    EXPECT_EQ(format(L"%q%", {}), L"%q%");
    // Cut to the buffer: capacity counts the terminating zero.
    EXPECT_EQ(format(L"0x%08x", {{nullptr, 0x1234}}, 6), L"0x000");
    EXPECT_EQ(format(L"abc", {}, 1), L"");
}

// A width that no buffer can hold (a slip in a translated format string) fills the buffer and
// stops, instead of padding for minutes.
TEST(Catalogue, huge_width_pads_forever) {
    EXPECT_EQ(format(L"[%18446744073709551615u]", {{nullptr, 7}}, 8), L"[      ");
    EXPECT_EQ(format(L"%4000000000s|", {{L"x", 0}}, 4), L"   ");
}

TEST(Catalogue, append_overruns_buffer) {
    wchar_t buffer[8] = L"abc";
    EXPECT_EQ(appendText(buffer, 8, L"defghij"), 7u);
    EXPECT_STREQ(buffer, L"abcdefg");
    EXPECT_EQ(appendText(buffer, 8, L"x"), 7u);
    EXPECT_STREQ(buffer, L"abcdefg");
    wchar_t unterminated[4] = {L'a', L'b', L'c', L'd'};
    EXPECT_EQ(appendText(unterminated, 4, L"e"), 3u);
    EXPECT_STREQ(unterminated, L"abc");
}

TEST(Catalogue, load_overruns_or_wrong_language) {
    EXPECT_EQ(load(40002, LANGUAGE_ENGLISH), L"Update failed!");
    EXPECT_EQ(load(40002, LANGUAGE_GERMAN), L"Update fehlgeschlagen!");
    std::wstring german = load(40011, LANGUAGE_GERMAN);
    EXPECT_NE(german.find(L"Ger\u00e4te"), std::wstring::npos);
    EXPECT_EQ(load(40001, LANGUAGE_GERMAN).find(L"Windows\u2122PC") != std::wstring::npos, true);
    EXPECT_EQ(load(40001, LANGUAGE_ENGLISH).substr(0, 5), L"1.)\r\n");
    EXPECT_EQ(load(40003, LANGUAGE_ENGLISH), L"");

    wchar_t small[6] = L"#####";
    EXPECT_EQ(loadMessage(40002, small, 6), 5u);
    EXPECT_STREQ(small, L"Updat");
    EXPECT_EQ(loadMessage(40002, small, 0), 0u);
}

TEST(Catalogue, language_tag_misread) {
    const struct {
        const char *tag;
        MessageLanguage expected;
    } cases[] = {
        {"de", LANGUAGE_GERMAN},      {"de_DE.UTF-8", LANGUAGE_GERMAN},
        {"de-AT", LANGUAGE_GERMAN},   {"DE_ch", LANGUAGE_GERMAN},
        {"de@euro", LANGUAGE_GERMAN}, {"en_US.UTF-8", LANGUAGE_ENGLISH},
        {"fr_FR", LANGUAGE_ENGLISH},  {"deu", LANGUAGE_ENGLISH},
        {"nl_DE", LANGUAGE_ENGLISH},  {"C", LANGUAGE_ENGLISH},
        {"", LANGUAGE_ENGLISH},       {nullptr, LANGUAGE_ENGLISH},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(languageFromTag(c.tag), c.expected) << (c.tag ? c.tag : "(null)");
    }
}

} // namespace
