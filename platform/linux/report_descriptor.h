// Report lengths from a HID report descriptor, as the other platform's HID capabilities give them.
#pragma once

#include <cstddef>
#include <cstdint>

// The report IDs whose lengths the programming unit's link needs.
constexpr uint8_t DESCRIPTOR_OUTPUT_REPORT_ID = 0x01;
constexpr uint8_t DESCRIPTOR_INPUT_REPORT_ID = 0x02;

// The longest report a descriptor may describe, report ID included; the other platform keeps
// report lengths in 16 bits.
constexpr uint32_t DESCRIPTOR_MAX_REPORT_LENGTH = 0xFFFF;

// Walks the descriptor's items and gives the byte lengths, report ID byte included, of one
// input and one output report:
// - with report IDs: report DESCRIPTOR_INPUT_REPORT_ID for input and
//   DESCRIPTOR_OUTPUT_REPORT_ID for output when the descriptor has them; otherwise the longest
//   input or output report, which is what the other platform's capabilities give;
// - without report IDs: the one report, plus one byte for the report ID 0 that the other
//   platform counts in front of it.
// A direction without any report gives length 0. Returns false, touching neither length, for a
// descriptor that is truncated or malformed (Report ID 0, Pop without Push, unbalanced
// collections, reports both with and without IDs, a report longer than
// DESCRIPTOR_MAX_REPORT_LENGTH); never reads past descriptor + size.
bool reportLengthsFromDescriptor(const uint8_t *descriptor, size_t size, uint32_t *inputLength,
                                 uint32_t *outputLength);
