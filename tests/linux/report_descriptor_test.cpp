// Report lengths from descriptors: the unit's layout, other layouts, and damaged descriptors.
#include "os/linux/report_descriptor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string hex(const Bytes &bytes) {
    std::string text;
    char digits[4];
    for (uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", byte);
        text += digits;
    }
    return text;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const Bytes VENDOR_APPLICATION = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
const Bytes END_COLLECTION = {0xC0};

Bytes reportId(uint8_t id) {
    return {0x85, id};
}
Bytes size8Count(uint8_t count) {
    return {0x75, 0x08, 0x95, count};
}
const Bytes INPUT = {0x09, 0x02, 0x81, 0x02};
const Bytes OUTPUT = {0x09, 0x03, 0x91, 0x02};

// The unit's application collection with its logical limits, before its reports.
const Bytes UNIT_HEAD = join({VENDOR_APPLICATION, {0x15, 0x00, 0x26, 0xFF, 0x00}});

// Output report 1 and input report 2 of 59 data bytes each, with logical limits as the unit has.
const Bytes UNIT = join({UNIT_HEAD, reportId(1), size8Count(59), OUTPUT, reportId(2),
                         size8Count(59), INPUT, END_COLLECTION});

struct Parsed {
    bool ok;
    uint32_t input;
    uint32_t output;
};

// Parses from a heap block of exactly the descriptor's size, so that the sanitizer reports
// any read past its end.
Parsed parse(const Bytes &descriptor) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[descriptor.size()]);
    std::copy(descriptor.begin(), descriptor.end(), exact.get());
    Parsed parsed = {false, 0xDEADu, 0xBEEFu};
    parsed.ok =
        reportLengthsFromDescriptor(exact.get(), descriptor.size(), &parsed.input, &parsed.output);
    return parsed;
}

struct LengthCase {
    const char *fault;
    Bytes descriptor;
    uint32_t input;
    uint32_t output;
};

TEST(ReportDescriptor, lengths_match_the_other_platform) {
    const LengthCase cases[] = {
        {"unit_frames_not_60", UNIT, 60, 60},
        {"report_id_byte_not_counted_without_ids",
         join({VENDOR_APPLICATION, size8Count(63), INPUT, size8Count(63), OUTPUT, END_COLLECTION}),
         64, 64},
        {"partial_byte_not_rounded_up",
         join({VENDOR_APPLICATION,
               {0x75, 0x01, 0x95, 0x03, 0x81, 0x02}, // 3 bits
               {0x75, 0x05, 0x95, 0x01, 0x81, 0x03}, // 5 bits padding
               {0x75, 0x01, 0x95, 0x09, 0x81, 0x02}, // 9 bits
               {0x75, 0x04, 0x95, 0x01, 0x91, 0x02}, // 4 bits
               END_COLLECTION}),
         4, 2},
        {"fields_of_one_report_not_summed",
         join({VENDOR_APPLICATION, reportId(2), size8Count(40), INPUT, reportId(1), size8Count(59),
               OUTPUT, reportId(2), size8Count(19), INPUT, END_COLLECTION}),
         60, 60},
        {"longer_reports_hidden_by_the_unit_ids",
         join({VENDOR_APPLICATION, reportId(3), size8Count(100), INPUT, reportId(2), size8Count(59),
               INPUT, reportId(4), size8Count(120), OUTPUT, reportId(1), size8Count(59), OUTPUT,
               END_COLLECTION}),
         101, 121},
        {"longer_output_hidden_by_the_unit_output",
         join({UNIT_HEAD, reportId(1), size8Count(59), OUTPUT, reportId(2), size8Count(59), INPUT,
               reportId(9), size8Count(63), OUTPUT, END_COLLECTION}),
         60, 64},
        {"longer_input_after_the_unit_input_ignored",
         join({UNIT_HEAD,
               reportId(2),
               size8Count(59),
               INPUT,
               reportId(1),
               size8Count(59),
               OUTPUT,
               reportId(0x80),
               {0x75, 0x01, 0x96, 0xE0, 0x01},
               INPUT,
               END_COLLECTION}),
         61, 60},
        {"longest_report_not_taken_without_unit_ids",
         join({VENDOR_APPLICATION, reportId(5), size8Count(20), INPUT, reportId(6), size8Count(30),
               INPUT, reportId(7), size8Count(8), OUTPUT, END_COLLECTION}),
         31, 9},
        {"missing_direction_not_zero",
         join({VENDOR_APPLICATION, reportId(2), size8Count(59), INPUT, END_COLLECTION}), 60, 0},
        {"feature_report_counted",
         join({VENDOR_APPLICATION,
               reportId(1),
               size8Count(59),
               OUTPUT,
               reportId(2),
               size8Count(59),
               INPUT,
               reportId(3),
               size8Count(200),
               {0xB1, 0x02},
               END_COLLECTION}),
         60, 60},
        {"pop_does_not_restore_report_id_and_size",
         join({VENDOR_APPLICATION,
               reportId(1),
               size8Count(20),
               OUTPUT,
               {0xA4},
               reportId(3),
               {0x75, 0x10, 0x95, 0x02},
               INPUT,
               {0xB4},
               {0x95, 39},
               OUTPUT,
               reportId(2),
               size8Count(59),
               INPUT,
               END_COLLECTION}),
         60, 60},
        {"long_item_data_taken_for_items",
         join({{0xFE, 0x04, 0x10, 0x85, 0x07, 0x95, 0xFF}, UNIT, {0xFE, 0x00, 0x11}}), 60, 60},
        {"four_byte_data_misread",
         join({VENDOR_APPLICATION,
               reportId(2),
               {0x77, 0x08, 0x00, 0x00, 0x00},
               {0x97, 0x3B, 0x00, 0x00, 0x00},
               INPUT,
               reportId(1),
               {0x76, 0x08, 0x00},
               {0x96, 0x3B, 0x00},
               OUTPUT,
               END_COLLECTION}),
         60, 60},
        {"longest_allowed_report_rejected",
         join({VENDOR_APPLICATION, {0x75, 0x08, 0x96, 0xFE, 0xFF}, INPUT, END_COLLECTION}), 0xFFFF,
         0},
        {"empty_descriptor_not_zero", {}, 0, 0},
    };
    for (const LengthCase &c : cases) {
        SCOPED_TRACE(std::string(c.fault) + ": " + hex(c.descriptor));
        Parsed parsed = parse(c.descriptor);
        ASSERT_TRUE(parsed.ok);
        EXPECT_EQ(parsed.input, c.input);
        EXPECT_EQ(parsed.output, c.output);
    }
}

struct RejectCase {
    const char *fault;
    Bytes descriptor;
};

TEST(ReportDescriptor, damaged_descriptors_rejected) {
    const RejectCase cases[] = {
        {"short_item_data_past_end", {0x06, 0x00}},
        {"four_byte_item_past_end", {0x97, 0x3B, 0x00, 0x00}},
        {"long_item_header_past_end", {0xFE, 0x01}},
        {"long_item_prefix_alone", {0xFE}},
        {"long_item_data_past_end", {0xFE, 0x05, 0x10, 0x01, 0x02}},
        {"long_item_data_one_byte_short", {0xFE, 0x03, 0x10, 0x01, 0x02}},
        {"report_id_zero", join({VENDOR_APPLICATION, reportId(0), END_COLLECTION})},
        {"report_id_without_data", join({VENDOR_APPLICATION, {0x84}, END_COLLECTION})},
        {"report_id_above_255", join({VENDOR_APPLICATION, {0x86, 0x00, 0x01}, END_COLLECTION})},
        {"pop_without_push", join({VENDOR_APPLICATION, {0xB4}, END_COLLECTION})},
        {"push_too_deep", Bytes(17, 0xA4)},
        {"end_collection_unopened", {0xC0}},
        {"collection_unclosed", join({VENDOR_APPLICATION, reportId(2), size8Count(59), INPUT})},
        {"reports_with_and_without_ids",
         join({VENDOR_APPLICATION, size8Count(8), INPUT, reportId(2), size8Count(59), INPUT,
               END_COLLECTION})},
        {"report_past_16_bit_length",
         join({VENDOR_APPLICATION, {0x75, 0x08, 0x96, 0xFF, 0xFF}, INPUT, END_COLLECTION})},
        {"size_times_count_wraps_64_bits", join({VENDOR_APPLICATION,
                                                 reportId(2),
                                                 {0x77, 0xFF, 0xFF, 0xFF, 0xFF},
                                                 {0x97, 0xFF, 0xFF, 0xFF, 0xFF},
                                                 INPUT,
                                                 INPUT,
                                                 INPUT,
                                                 END_COLLECTION})},
        {"sum_of_fields_past_length", join({VENDOR_APPLICATION,
                                            reportId(2),
                                            {0x75, 0x08, 0x96, 0x00, 0x80},
                                            INPUT,
                                            INPUT,
                                            END_COLLECTION})},
    };
    for (const RejectCase &c : cases) {
        SCOPED_TRACE(std::string(c.fault) + ": " + hex(c.descriptor));
        Parsed parsed = parse(c.descriptor);
        EXPECT_FALSE(parsed.ok);
        EXPECT_EQ(parsed.input, 0xDEADu);
        EXPECT_EQ(parsed.output, 0xBEEFu);
    }
}

// Every cut of the unit's descriptor either ends inside an item or leaves the collection
// open, except the cuts before the collection starts.
TEST(ReportDescriptor, truncated_unit_descriptor_rejected) {
    for (size_t length = 0; length < UNIT.size(); ++length) {
        Bytes cut(UNIT.begin(), UNIT.begin() + static_cast<std::ptrdiff_t>(length));
        SCOPED_TRACE(hex(cut));
        bool beforeCollection = length == 0 || length == 3 || length == 5;
        EXPECT_EQ(parse(cut).ok, beforeCollection);
    }
}

} // namespace
