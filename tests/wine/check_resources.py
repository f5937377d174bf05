#!/usr/bin/env python3
"""Checks what the Windows program carries, by reading its PE resource and import directories.

Usage:
  check_resources.py EXE FIRMWARE_IMAGE   IDD_MAIN (110) and the string tables in English and German
                                          (texts from resources/texts.json), bitmap 121, icon
                                          group 123, RCDATA 142 equal to the image, the manifest
  check_resources.py --imports EXE...     every imported DLL is one of Windows' own
"""
import json
import os
import struct
import sys

TEXTS_JSON = os.path.join(os.path.dirname(__file__), "..", "..", "resources", "texts.json")

RT_BITMAP, RT_ICON, RT_DIALOG, RT_STRING, RT_RCDATA, RT_GROUP_ICON, RT_MANIFEST = 2, 3, 5, 6, 10, 14, 24
ENGLISH, GERMAN = 0x0409, 0x0407

WS_CHILD, WS_VISIBLE, WS_DISABLED = 0x40000000, 0x10000000, 0x08000000
WS_BORDER, WS_VSCROLL, WS_GROUP, WS_TABSTOP = 0x00800000, 0x00200000, 0x00020000, 0x00010000
WS_POPUP, WS_CAPTION, WS_SYSMENU = 0x80000000, 0x00C00000, 0x00080000
DS_MODALFRAME, DS_CENTER, DS_SETFONT, DS_FIXEDSYS = 0x80, 0x800, 0x40, 0x8
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_GROUPBOX = 0, 1, 7
ES_MULTILINE, ES_AUTOVSCROLL, ES_READONLY = 0x4, 0x40, 0x800
SS_LEFT = 0
WS_EX_RIGHT = 0x1000
SHOWN = WS_CHILD | WS_VISIBLE

# The main dialog's controls in template order: ID, class, text key, rectangle, style, ex-style.
CONTROLS = [
    (2, "Button", "CLOSE", (157, 199, 50, 14), BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0),
    (1002, "Button", "UPDATE", (61, 199, 50, 14), BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 0),
    (40010, "Static", "LABEL_UNIT", (22, 24, 60, 8), SS_LEFT | WS_GROUP, 0),
    (1005, "Static", "LABEL_BOOTLOADER", (22, 37, 60, 8), SS_LEFT | WS_GROUP, 0),
    (40013, "Static", "VERSION_PLACEHOLDER", (90, 24, 50, 8), SS_LEFT, WS_EX_RIGHT),
    (40014, "Static", "VERSION_PLACEHOLDER", (90, 37, 50, 8), SS_LEFT, WS_EX_RIGHT),
    (40004, "Edit", None, (15, 89, 271, 101),
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER, 0),
    (0xFFFFFFFF, "Static", "HINT", (15, 79, 49, 8), SS_LEFT | WS_GROUP, 0),
    (40007, "Button", "GROUP_VERSIONS", (15, 10, 135, 57), BS_GROUPBOX | WS_GROUP, 0),
    (40011, "Static", "LABEL_ESC", (22, 50, 60, 8), SS_LEFT | WS_GROUP, 0),
    (40015, "Static", "VERSION_PLACEHOLDER", (90, 50, 50, 8), SS_LEFT, WS_EX_RIGHT),
]
DIALOG_STYLE = (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT
                | DS_FIXEDSYS)
CLASS_ORDINALS = {0x80: "Button", 0x81: "Edit", 0x82: "Static"}

# DLLs that every Windows installation has.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "msimg32.dll",
               "hid.dll", "setupapi.dll", "winmm.dll", "msvcrt.dll", "advapi32.dll",
               "shell32.dll", "ole32.dll", "ntdll.dll", "bcrypt.dll", "ucrtbase.dll"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


class PeFile:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise SystemExit(f"{path}: not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", self.data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", self.data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i)
                            for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            virtual_size, address, raw_size, raw = struct.unpack_from("<IIII", self.data,
                                                                      table + 40 * i + 8)
            self.sections.append((address, max(virtual_size, raw_size), raw))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return rva - address + raw
        raise SystemExit(f"RVA 0x{rva:x} is in no section")

    def resources(self):
        """{(type, name, language): bytes} for every resource with numeric type and name."""
        rva, _ = self.directories[2]
        base = self.offset(rva)
        found = {}

        def entries(offset):
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)
                yield name, target

        for kind, kind_dir in entries(0):
            for name, name_dir in entries(kind_dir & 0x7FFFFFFF):
                for language, leaf in entries(name_dir & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(data_rva)
                    found[(kind, name, language)] = self.data[start:start + size]
        return found

    def imports(self):
        rva, _ = self.directories[1]
        names = []
        position = self.offset(rva)
        while True:
            lookup, _, _, name_rva, thunk = struct.unpack_from("<IIIII", self.data, position)
            if lookup == 0 and name_rva == 0 and thunk == 0:
                return names
            start = self.offset(name_rva)
            names.append(self.data[start:self.data.index(b"\0", start)].decode("ascii"))
            position += 20


def read_sz_or_ord(data, at):
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0:
        return None, at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def parse_dialog(data):
    version, signature, _help, ex_style, style, count, x, y, cx, cy = struct.unpack_from(
        "<HHIIIHhhhh", data, 0)
    if (version, signature) != (1, 0xFFFF):
        raise SystemExit("IDD_MAIN (110) is not an extended dialog template")
    at = 26
    menu, at = read_sz_or_ord(data, at)
    window_class, at = read_sz_or_ord(data, at)
    title, at = read_sz_or_ord(data, at)
    points, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    font, at = read_sz_or_ord(data, at + 6)
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        _help, c_ex, c_style, c_x, c_y, c_cx, c_cy, c_id = struct.unpack_from("<IIIhhhhI", data, at)
        c_class, at = read_sz_or_ord(data, at + 24)
        c_text, at = read_sz_or_ord(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        c_class = CLASS_ORDINALS.get(c_class, c_class)
        controls.append((c_id, c_class.lower(), c_text or "", (c_x, c_y, c_cx, c_cy), c_style, c_ex))
    return {"style": style, "ex_style": ex_style, "rect": (x, y, cx, cy), "menu": menu,
            "class": window_class, "title": title, "font": (points, font), "controls": controls}


def check_dialog(resources, texts, language, tag):
    data = resources.get((RT_DIALOG, 110, language))
    if data is None:
        failures.append(f"IDD_MAIN (110) in language 0x{language:04x} is missing")
        return
    dialog = parse_dialog(data)
    dialog_texts = {key: value[tag] for key, value in texts["dialog"].items()}
    check(dialog["style"] == DIALOG_STYLE,
          f"IDD_MAIN/{tag}: style 0x{dialog['style']:08x}, expected 0x{DIALOG_STYLE:08x}")
    check(dialog["rect"][2:] == (300, 228), f"IDD_MAIN/{tag}: size {dialog['rect'][2:]}")
    check(dialog["menu"] is None, f"IDD_MAIN/{tag}: has a menu")
    check(dialog["font"] == (8, "MS Shell Dlg"), f"IDD_MAIN/{tag}: font {dialog['font']}")
    check(dialog["title"] == dialog_texts["CAPTION"], f"IDD_MAIN/{tag}: caption {dialog['title']!r}")
    expected = [(cid, cls.lower(), dialog_texts[key] if key else "", rect, style | SHOWN, ex)
                for cid, cls, key, rect, style, ex in CONTROLS]
    check(len(dialog["controls"]) == len(expected),
          f"IDD_MAIN/{tag}: {len(dialog['controls'])} controls, expected {len(expected)}")
    for want, got in zip(expected, dialog["controls"]):
        if want != got:
            failures.append(f"IDD_MAIN/{tag}: control\n    expected {want}\n    got      {got}")


def strings(resources, language):
    table = {}
    for (kind, block, lang), data in resources.items():
        if kind != RT_STRING or lang != language:
            continue
        at = 0
        for index in range(16):
            length = struct.unpack_from("<H", data, at)[0]
            text = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            at += 2 + 2 * length
            if length:
                table[(block - 1) * 16 + index] = text
    return table


def check_strings(resources, texts, language, tag):
    table = strings(resources, language)
    for message_id, entry in texts["messages"].items():
        expected = entry[tag].replace("{WEB_ADDRESS}", texts["web_address"][tag])
        got = table.get(int(message_id))
        if got != expected:
            failures.append(f"string {message_id}/{tag}:\n    expected {expected!r}\n    got      {got!r}")
    extra = set(table) - {int(i) for i in texts["messages"]}
    check(not extra, f"strings/{tag}: unexpected IDs {sorted(extra)}")


def only(resources, kind, name):
    found = [data for (k, n, _), data in resources.items() if (k, n) == (kind, name)]
    check(len(found) == 1, f"resource type {kind} name {name}: {len(found)} copies, expected 1")
    return found[0] if found else b""


def check_resources(exe, image_path):
    pe = PeFile(exe)
    resources = pe.resources()
    with open(TEXTS_JSON, encoding="utf-8") as source:
        texts = json.load(source)
    for language, tag in ((ENGLISH, "en"), (GERMAN, "de")):
        check_dialog(resources, texts, language, tag)
        check_strings(resources, texts, language, tag)

    bitmap = only(resources, RT_BITMAP, 121)
    if bitmap:
        _size, width, height, _planes, bits = struct.unpack_from("<IiiHH", bitmap, 0)
        check((width, height, bits) == (1772, 263, 24), f"bitmap 121 is {width}x{height}x{bits}")

    group = only(resources, RT_GROUP_ICON, 123)
    if group:
        count = struct.unpack_from("<H", group, 4)[0]
        sizes = []
        for i in range(count):
            width, _h, _colours, _r, _planes, bits, _bytes, icon_id = struct.unpack_from(
                "<BBBBHHIH", group, 6 + 14 * i)
            sizes.append((width or 256, bits))
            check(any((k, n) == (RT_ICON, icon_id) for k, n, _ in resources),
                  f"icon group 123 names icon {icon_id}, which is missing")
        check(sorted(sizes) == [(16, 32), (32, 32), (48, 32), (64, 32), (128, 32)],
              f"icon group 123 holds {sorted(sizes)}")

    firmware = only(resources, RT_RCDATA, 142)
    with open(image_path, "rb") as source:
        image = source.read()
    check(firmware == image,
          f"RCDATA 142 ({len(firmware)} bytes) differs from {image_path} ({len(image)} bytes)")

    manifest = only(resources, RT_MANIFEST, 1).decode("utf-8", "replace")
    for needed in ('level="asInvoker"', 'name="Microsoft.Windows.Common-Controls"',
                   'version="6.0.0.0"', ">PerMonitorV2", ">true/pm<",
                   "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                   "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
        check(needed in manifest, f"manifest lacks {needed}")


def check_imports(exes):
    for exe in exes:
        for name in PeFile(exe).imports():
            check(name.lower() in SYSTEM_DLLS, f"{os.path.basename(exe)} imports {name}")


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "--imports":
        check_imports(sys.argv[2:])
    elif len(sys.argv) == 3:
        check_resources(sys.argv[1], sys.argv[2])
    else:
        raise SystemExit(__doc__)
    for failure in failures:
        print("FAIL:", failure)
    print("PASS" if not failures else f"{len(failures)} failure(s)")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
