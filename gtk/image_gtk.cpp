// The image that the GTK program carries: the firmware file of its built-in bundle.
#include "app/image.h"

#include "gtk/gtk_program.h"

namespace {
GBytes *gImage;
}

bool loadCarriedImage(const uint8_t **data, size_t *length) {
    // The bundle lies in the program's read-only data; the bytes are used where they are.
    if (gImage == nullptr) {
        gImage = g_resources_lookup_data(QUILLAR_RESOURCE_FIRMWARE, G_RESOURCE_LOOKUP_FLAGS_NONE,
                                         nullptr);
    }
    if (gImage == nullptr) {
        return false;
    }
    gsize size = 0;
    *data = static_cast<const uint8_t *>(g_bytes_get_data(gImage, &size));
    *length = size;
    return true;
}
