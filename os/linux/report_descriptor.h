// Report lengths from a HID report descriptor, as the other platform's HID capabilities give them.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest report a descriptor may describe, report ID included; the other platform keeps
// report lengths in 16 bits.
constexpr uint32_t DESCRIPTOR_MAX_REPORT_LENGTH = 0xFFFF;

// Walks the descriptor's items and gives the byte lengths, report ID byte included, of one
// input and one output report, as the other platform's HID capabilities give them:
// - with report IDs: the longest input and the longest output report, whichever their IDs, so
//   that a device declaring a report longer than the unit's is judged alike on both platforms;
// - without report IDs: the one report, plus one byte for the report ID 0 that the other
//   platform counts in front of it.
// A direction without any report gives length 0. Returns false, touching neither length, for a
// descriptor that is truncated or malformed (Report ID 0, Pop without Push, unbalanced
// collections, reports both with and without IDs, a report longer than
// DESCRIPTOR_MAX_REPORT_LENGTH); never reads past descriptor + size.
bool reportLengthsFromDescriptor(const uint8_t *descriptor, size_t size, uint32_t *inputLength,
                                 uint32_t *outputLength);
