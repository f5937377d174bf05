// Report lengths from a HID report descriptor: a walk over its short and long items.
#include "os/linux/report_descriptor.h"

namespace {

constexpr uint8_t LONG_ITEM_PREFIX = 0xFE;

constexpr uint8_t TYPE_MAIN = 0;
constexpr uint8_t TYPE_GLOBAL = 1;

constexpr uint8_t MAIN_INPUT = 0x8;
constexpr uint8_t MAIN_OUTPUT = 0x9;
constexpr uint8_t MAIN_COLLECTION = 0xA;
constexpr uint8_t MAIN_FEATURE = 0xB;
constexpr uint8_t MAIN_END_COLLECTION = 0xC;

constexpr uint8_t GLOBAL_REPORT_SIZE = 0x7;
constexpr uint8_t GLOBAL_REPORT_ID = 0x8;
constexpr uint8_t GLOBAL_REPORT_COUNT = 0x9;
constexpr uint8_t GLOBAL_PUSH = 0xA;
constexpr uint8_t GLOBAL_POP = 0xB;

// Deeper than any real descriptor nests Push; a deeper one is treated as malformed.
constexpr size_t GLOBAL_STACK_DEPTH = 16;
constexpr size_t REPORT_IDS = 256;
constexpr uint64_t MAX_REPORT_BITS = uint64_t{DESCRIPTOR_MAX_REPORT_LENGTH - 1} * 8;

struct GlobalState {
    uint32_t reportSize;
    uint32_t reportCount;
    uint8_t reportId; // 0 until a Report ID item
};

// Bits of every input and output report, indexed by report ID (0: reports without an ID).
struct ReportBits {
    uint64_t input[REPORT_IDS];
    uint64_t output[REPORT_IDS];
};

uint32_t itemValue(const uint8_t *data, size_t length) {
    uint32_t value = 0;
    for (size_t i = length; i > 0; --i) {
        value = (value << 8) | data[i - 1];
    }
    return value;
}

uint32_t lengthFromBits(uint64_t bits) {
    return bits == 0 ? 0 : static_cast<uint32_t>((bits + 7) / 8 + 1);
}

// The length of the longest numbered report.
uint32_t longestLength(const uint64_t *bits) {
    uint64_t longest = 0;
    for (size_t id = 1; id < REPORT_IDS; ++id) {
        if (bits[id] > longest) {
            longest = bits[id];
        }
    }
    return lengthFromBits(longest);
}

// Adds one main item's fields to its report. Both factors are 32-bit, so their product fits
// 64 bits, and the sum is checked against the cap after every item, so it never wraps.
bool addBits(uint64_t *bits, const GlobalState &global) {
    bits[global.reportId] += uint64_t{global.reportSize} * global.reportCount;
    return bits[global.reportId] <= MAX_REPORT_BITS;
}

} // namespace

bool reportLengthsFromDescriptor(const uint8_t *descriptor, size_t size, uint32_t *inputLength,
                                 uint32_t *outputLength) {
    ReportBits bits = {};
    GlobalState global = {};
    GlobalState stack[GLOBAL_STACK_DEPTH];
    size_t stackDepth = 0;
    size_t collectionDepth = 0;
    bool numbered = false;
    bool unnumberedMain = false;

    size_t pos = 0;
    while (pos < size) {
        uint8_t prefix = descriptor[pos];
        size_t left = size - pos - 1;
        if (prefix == LONG_ITEM_PREFIX) {
            // Data size and tag bytes, then the data; long items carry nothing lengths need.
            if (left < 2 || left - 2 < descriptor[pos + 1]) {
                return false;
            }
            pos += 3 + size_t{descriptor[pos + 1]};
            continue;
        }
        size_t dataLength = (prefix & 0x3) == 0x3 ? 4 : (prefix & 0x3);
        if (left < dataLength) {
            return false;
        }
        uint32_t value = itemValue(descriptor + pos + 1, dataLength);
        uint8_t type = (prefix >> 2) & 0x3;
        uint8_t tag = prefix >> 4;
        pos += 1 + dataLength;

        if (type == TYPE_MAIN) {
            if (tag == MAIN_INPUT || tag == MAIN_OUTPUT || tag == MAIN_FEATURE) {
                if (global.reportId == 0) {
                    unnumberedMain = true;
                }
                // Feature reports exchange nothing here; they matter only for the ID rule.
                if (tag == MAIN_INPUT && !addBits(bits.input, global)) {
                    return false;
                }
                if (tag == MAIN_OUTPUT && !addBits(bits.output, global)) {
                    return false;
                }
            } else if (tag == MAIN_COLLECTION) {
                ++collectionDepth;
            } else if (tag == MAIN_END_COLLECTION) {
                if (collectionDepth == 0) {
                    return false;
                }
                --collectionDepth;
            }
        } else if (type == TYPE_GLOBAL) {
            switch (tag) {
            case GLOBAL_REPORT_SIZE:
                global.reportSize = value;
                break;
            case GLOBAL_REPORT_COUNT:
                global.reportCount = value;
                break;
            case GLOBAL_REPORT_ID:
                if (value == 0 || value >= REPORT_IDS) {
                    return false;
                }
                global.reportId = static_cast<uint8_t>(value);
                numbered = true;
                break;
            case GLOBAL_PUSH:
                if (stackDepth == GLOBAL_STACK_DEPTH) {
                    return false;
                }
                stack[stackDepth++] = global;
                break;
            case GLOBAL_POP:
                if (stackDepth == 0) {
                    return false;
                }
                global = stack[--stackDepth];
                break;
            default:
                break;
            }
        }
    }
    // Reports both with and without an ID cannot be told apart on the wire.
    if (collectionDepth != 0 || (numbered && unnumberedMain)) {
        return false;
    }
    if (numbered) {
        *inputLength = longestLength(bits.input);
        *outputLength = longestLength(bits.output);
    } else {
        *inputLength = lengthFromBits(bits.input[0]);
        *outputLength = lengthFromBits(bits.output[0]);
    }
    return true;
}
