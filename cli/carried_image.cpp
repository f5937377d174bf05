// The image that the command-line program carries, for the application's update.
#include "app/image.h"
#include "cli/carried_image.h"

bool loadCarriedImage(const uint8_t **data, size_t *length) {
    *data = CARRIED_IMAGE;
    *length = CARRIED_IMAGE_SIZE;
    return true;
}
