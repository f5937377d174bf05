// The firmware image that the page carries inside its WebAssembly, as the programs carry theirs.
#include "app/image.h"
#include "cli/carried_image.h"

bool loadCarriedImage(const uint8_t **data, size_t *length) {
    *data = CARRIED_IMAGE;
    *length = CARRIED_IMAGE_SIZE;
    return CARRIED_IMAGE_SIZE > 0;
}
