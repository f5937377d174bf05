// The image that the Windows program carries: RCDATA 142 of its resources, used in place.
#include "app/image.h"

#include "win32/program.h"

#include "resources/resource.h"

bool loadCarriedImage(const uint8_t **data, size_t *length) {
    HRSRC found = FindResourceW(gModule, MAKEINTRESOURCEW(IDR_FIRMWARE), RT_RCDATA);
    if (found == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(gModule, found);
    const DWORD size = SizeofResource(gModule, found);
    const void *start = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (start == nullptr) {
        return false;
    }
    *data = static_cast<const uint8_t *>(start);
    *length = size;
    return true;
}
