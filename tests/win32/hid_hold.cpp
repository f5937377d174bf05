// Another program of ours for hid_win32_test: holds a path open through the HID backend until
// its standard input ends. Usage: hid_hold_win32 PATH (ASCII). Prints "held" once the path is
// open, or "refused CODE" with hidLastError.
#include "link/hid.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hid_hold_win32 PATH\n");
        return 2;
    }
    std::wstring path;
    for (const char *c = argv[1]; *c != '\0'; ++c) {
        path += static_cast<wchar_t>(*c);
    }
    HidHandle handle = hidOpenPath(path.c_str());
    if (handle == HID_INVALID_HANDLE) {
        std::printf("refused %u\n", hidLastError());
        std::fflush(stdout);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char buffer[64];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    hidClose(handle);
    return 0;
}
