// Device node names of hidraw interfaces: their order and their wide-character form.
#include "os/linux/hid_paths.h"

#include <cstring>

static bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool nodeNameBefore(const char *a, const char *b) {
    while (*a != '\0' && *b != '\0') {
        if (isDigit(*a) && isDigit(*b)) {
            while (*a == '0') {
                ++a;
            }
            while (*b == '0') {
                ++b;
            }
            size_t runA = 0;
            size_t runB = 0;
            while (isDigit(a[runA])) {
                ++runA;
            }
            while (isDigit(b[runB])) {
                ++runB;
            }
            // Without leading zeros the shorter run is the smaller number.
            if (runA != runB) {
                return runA < runB;
            }
            int order = std::strncmp(a, b, runA);
            if (order != 0) {
                return order < 0;
            }
            a += runA;
            b += runB;
            continue;
        }
        if (*a != *b) {
            return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b);
        }
        ++a;
        ++b;
    }
    return *a == '\0' && *b != '\0';
}

bool widenPath(const char *narrow, wchar_t *wide, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(narrow[i]));
        if (narrow[i] == '\0') {
            return true;
        }
    }
    return false;
}

bool narrowPath(const wchar_t *wide, char *narrow, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (wide[i] < 0 || wide[i] > 0xFF) {
            return false;
        }
        narrow[i] = static_cast<char>(wide[i]);
        if (wide[i] == L'\0') {
            return true;
        }
    }
    return false;
}
