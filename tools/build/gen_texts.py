#!/usr/bin/env python3
"""Generates the program's texts from resources/texts.json, the single source of every text.

Called by the build through quillar_generate (cmake/QuillarGenerate.cmake): app/CMakeLists.txt
and tests/fuzz/CMakeLists.txt (cpp), win32/CMakeLists.txt and tests/app/CMakeLists.txt (rc),
web/CMakeLists.txt (web).

Usage:
  gen_texts.py cpp TEXTS_JSON OUT_CPP
  gen_texts.py rc TEXTS_JSON OUT_RC OUT_H
  gen_texts.py web TEXTS_JSON OUT_JS

cpp mode writes the built-in catalogue (compiled into quillar_app), implementing app/texts.h
and catalogueText of app/messages.h:
  - const wchar_t *catalogueText(uint16_t id, MessageLanguage language): the text of a message
    in English or German, null for an unknown ID. "{WEB_ADDRESS}" in a message is replaced by
    the language's web_address.
  - extern const wchar_t *const TEXT_<KEY> for every key of "fixed" (TEXT_TITLE_FORMAT,
    TEXT_MODEL_NAME, TEXT_VERSION_MAJOR_FORMAT, TEXT_VERSION_PAIR_FORMAT, TEXT_NO_VERSION,
    TEXT_NO_FIRMWARE, TEXT_UNIT_TALOMIR, TEXT_UNIT_MERIVAN, TEXT_PARAGRAPH_BREAK,
    TEXT_LINE_BREAK, TEXT_PROGRESS_CLASS, TEXT_TEST_BUILD).
  - const wchar_t *dialogText(DialogTextId id, MessageLanguage language) for every key of
    "dialog", the enumerator being DIALOG_<KEY> (DIALOG_CAPTION, DIALOG_CLOSE, ...).
  Non-ASCII characters are written as \\uXXXX, line breaks as \\r\\n.

rc mode writes what the Windows resource script includes:
  - OUT_RC: two STRINGTABLE blocks, "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US" and
    "LANGUAGE LANG_GERMAN, SUBLANG_GERMAN", one line `ID, L"..."` per message. Non-ASCII is
    written as \\xXXXX (exactly four hex digits, which windres reads as one UTF-16 unit), a
    double quote as "", a backslash as \\\\, line breaks as \\r\\n. It needs <windows.h> (or
    winresrc.h) included before it for the LANG_ and SUBLANG_ names.
  - OUT_H: for the dialog template, one `#define DLG_EN_<KEY> L"..."` and one
    `#define DLG_DE_<KEY> L"..."` per key of "dialog" (DLG_EN_CLOSE, DLG_DE_CLOSE, ...), with
    the same escapes, usable as CAPTION and control texts of a DIALOGEX.

web mode writes the page's own texts (web/page.js), the keys of "dialog" and "web" in both
languages, "{WEB_ADDRESS}" replaced as in the messages:
  const PAGE_TEXTS = {"en": {"CAPTION": "...", "CONNECT": "...", ...}, "de": {...}};
The messages are not among them: the page shows those as the core, in its worker, hands them
over.
"""
import json
import sys

LANGUAGES = ("en", "de")
RC_LANGUAGE = {
    "en": "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US",
    "de": "LANGUAGE LANG_GERMAN, SUBLANG_GERMAN",
}
# LoadStringW fills at most this many characters; a longer text would be cut on Windows only.
MAX_TEXT = 2047


def fail(message):
    sys.stderr.write("gen_texts.py: %s\n" % message)
    sys.exit(1)


def load(path):
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    messages = {}
    for key, entry in data["messages"].items():
        number = int(key)
        if not 0 < number < 65536:
            fail("message ID %s is not a 16-bit number" % key)
        texts = {}
        for language in LANGUAGES:
            if language not in entry:
                fail("message %s has no %s text" % (key, language))
            text = entry[language].replace("{WEB_ADDRESS}", data["web_address"][language])
            if len(text.encode("utf-16-le")) // 2 > MAX_TEXT:
                fail("message %s (%s) is longer than %d characters" % (key, language, MAX_TEXT))
            texts[language] = text
        messages[number] = texts
    for key, entry in data["dialog"].items():
        for language in LANGUAGES:
            if language not in entry:
                fail("dialog text %s has no %s text" % (key, language))
    return data, messages


def identifier(key):
    if not key.replace("_", "").isalnum() or not key.isupper():
        fail("%r cannot name a constant" % key)
    return key


def wide_literal(text, quote, non_ascii):
    """A wide string literal; quote escapes '"', non_ascii writes one character outside ASCII."""
    simple = {"\r": "\\r", "\n": "\\n", "\t": "\\t", "\\": "\\\\", '"': quote}
    out = []
    for ch in text:
        if ch in simple:
            out.append(simple[ch])
        elif 0x20 <= ord(ch) < 0x7F:
            out.append(ch)
        else:
            out.append(non_ascii(ch))
    return 'L"' + "".join(out) + '"'


def cpp_character(ch):
    code = ord(ch)
    if code < 0xA0:
        # Universal character names may not name controls; octal stops after three digits.
        return "\\%03o" % code
    if code <= 0xFFFF:
        return "\\u%04x" % code
    return "\\U%08x" % code


def rc_character(ch):
    units = ch.encode("utf-16-le")
    return "".join("\\x%04x" % int.from_bytes(units[i:i + 2], "little")
                   for i in range(0, len(units), 2))


def cpp_literal(text):
    return wide_literal(text, '\\"', cpp_character)


def rc_literal(text):
    return wide_literal(text, '""', rc_character)


def write_cpp(data, messages, out_path):
    lines = [
        "// Generated by tools/build/gen_texts.py from resources/texts.json; do not edit.",
        '#include "app/messages.h"',
        '#include "app/texts.h"',
        "",
        "#include <cstddef>",
        "#include <cstdint>",
        "",
    ]
    for key, text in data["fixed"].items():
        lines.append("extern const wchar_t *const TEXT_%s = %s;" % (identifier(key),
                                                                     cpp_literal(text)))
    lines += [
        "",
        "namespace {",
        "struct CatalogueEntry {",
        "    uint16_t id;",
        "    const wchar_t *english;",
        "    const wchar_t *german;",
        "};",
        "",
        "const CatalogueEntry CATALOGUE[] = {",
    ]
    for number in sorted(messages):
        lines.append("    {%d, %s," % (number, cpp_literal(messages[number]["en"])))
        lines.append("     %s}," % cpp_literal(messages[number]["de"]))
    lines += [
        "};",
        "} // namespace",
        "",
        "const wchar_t *catalogueText(uint16_t id, MessageLanguage language) {",
        "    for (const CatalogueEntry &entry : CATALOGUE) {",
        "        if (entry.id == id) {",
        "            return language == LANGUAGE_GERMAN ? entry.german : entry.english;",
        "        }",
        "    }",
        "    return nullptr;",
        "}",
        "",
        "const wchar_t *dialogText(DialogTextId id, MessageLanguage language) {",
        "    const bool german = language == LANGUAGE_GERMAN;",
        "    switch (id) {",
    ]
    for key, entry in data["dialog"].items():
        lines.append("    case DIALOG_%s:" % identifier(key))
        lines.append("        return german ? %s : %s;" % (cpp_literal(entry["de"]),
                                                          cpp_literal(entry["en"])))
    lines += [
        "    }",
        '    return L"";',
        "}",
        "",
    ]
    with open(out_path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines))


def write_rc(data, messages, rc_path, h_path):
    lines = ["// Generated by tools/build/gen_texts.py from resources/texts.json; do not edit.", ""]
    for language in LANGUAGES:
        lines += [RC_LANGUAGE[language], "STRINGTABLE", "BEGIN"]
        for number in sorted(messages):
            lines.append("    %d, %s" % (number, rc_literal(messages[number][language])))
        lines += ["END", ""]
    with open(rc_path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines))

    header = [
        "/* Generated by tools/build/gen_texts.py from resources/texts.json; do not edit. */",
        "#pragma once",
        "",
    ]
    for key, entry in data["dialog"].items():
        for language in LANGUAGES:
            header.append("#define DLG_%s_%s %s" % (language.upper(), identifier(key),
                                                    rc_literal(entry[language])))
    header.append("")
    with open(h_path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(header))


def write_web(data, js_path):
    texts = {}
    for language in LANGUAGES:
        texts[language] = {}
        for section in ("dialog", "web"):
            for key, entry in data[section].items():
                if language not in entry:
                    fail("%s text %s has no %s text" % (section, key, language))
                texts[language][identifier(key)] = entry[language].replace(
                    "{WEB_ADDRESS}", data["web_address"][language])
    lines = [
        "// Generated by tools/build/gen_texts.py from resources/texts.json; do not edit.",
        "'use strict';",
        "const PAGE_TEXTS = %s;" % json.dumps(texts, ensure_ascii=True, indent=1, sort_keys=True),
        "",
    ]
    with open(js_path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines))


def main(argv):
    if len(argv) == 4 and argv[1] == "cpp":
        data, messages = load(argv[2])
        write_cpp(data, messages, argv[3])
    elif len(argv) == 5 and argv[1] == "rc":
        data, messages = load(argv[2])
        write_rc(data, messages, argv[3], argv[4])
    elif len(argv) == 4 and argv[1] == "web":
        data, _messages = load(argv[2])
        write_web(data, argv[3])
    else:
        fail("usage: gen_texts.py cpp TEXTS_JSON OUT_CPP | rc TEXTS_JSON OUT_RC OUT_H"
             " | web TEXTS_JSON OUT_JS")


if __name__ == "__main__":
    main(sys.argv)
