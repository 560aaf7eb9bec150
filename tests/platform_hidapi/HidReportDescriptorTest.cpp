#include "platform/hidapi/HidReportDescriptor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::HidReportDescriptor;
using Bytes = std::vector<uint8_t>;

std::optional<HidReportDescriptor> parse(const Bytes& bytes) {
    return HidReportDescriptor::parse(bytes);
}

// A vendor-defined device with one 64-byte input and one 64-byte output report.
const std::vector<Bytes> kSignItems = {
    {0x06, 0x00, 0xFF},  // Usage Page (vendor 0xFF00)
    {0x09, 0x01},        // Usage 1
    {0xA1, 0x01},        // Collection (Application)
    {0x15, 0x00},        // Logical Minimum 0
    {0x26, 0xFF, 0x00},  // Logical Maximum 255
    {0x75, 0x08},        // Report Size 8
    {0x95, 0x40},        // Report Count 64
    {0x09, 0x01},        // Usage 1
    {0x81, 0x02},        // Input (Data, Var, Abs): 512 bits
    {0x09, 0x01},        // Usage 1
    {0x91, 0x02},        // Output (Data, Var, Abs): 512 bits
    {0xC0},              // End Collection
};

Bytes join(const std::vector<Bytes>& items) {
    Bytes out;
    for (const Bytes& item : items)
        out.insert(out.end(), item.begin(), item.end());
    return out;
}

struct Lengths {
    uint16_t input;
    uint16_t output;
    bool ids;
};

struct Case {
    const char* name;
    Bytes bytes;
    std::optional<Lengths> expected;
};

class Descriptor : public ::testing::TestWithParam<Case> {};

TEST_P(Descriptor, GivesTheLongestReportPlusTheIdByte) {
    const Case& c = GetParam();
    const auto parsed = parse(c.bytes);
    ASSERT_EQ(parsed.has_value(), c.expected.has_value());
    if (!parsed) return;
    EXPECT_EQ(parsed->inputReportLength, c.expected->input);
    EXPECT_EQ(parsed->outputReportLength, c.expected->output);
    EXPECT_EQ(parsed->usesReportIds, c.expected->ids);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Descriptor,
    ::testing::Values(
        Case{"VendorDefined64In64Out", join(kSignItems), Lengths{65, 65, false}},
        // Id 1: 32 bytes in. Id 2: 63 bytes and 5 bits in, 509 bits = 64 bytes.
        // Id 3: 16 bytes out.
        Case{"NumberedReportsOfDifferentSizes",
             {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01, 0x75, 0x08, 0x95, 0x20, 0x09,
              0x01, 0x81, 0x02, 0x85, 0x02, 0x95, 0x3F, 0x09, 0x01, 0x81, 0x02, 0x75, 0x01, 0x95,
              0x05, 0x81, 0x03, 0x85, 0x03, 0x75, 0x08, 0x95, 0x10, 0x91, 0x02, 0xC0},
             Lengths{65, 17, true}},
        // Push keeps size 8 x 4; inside 16 x 8 = 128 bits; after Pop 32 bits more
        // in (160 bits = 20 bytes) and 32 out.
        Case{"PushPopRestoresSizeAndCount",
             {0x75, 0x08, 0x95, 0x04, 0xA4, 0x75, 0x10, 0x95, 0x08, 0x81, 0x02, 0xB4, 0x81, 0x02,
              0x91, 0x02},
             Lengths{21, 5, false}},
        // Inside the Push id 1 gets 16 bytes; after the Pop 2 bytes go to no id.
        Case{"PushPopRestoresTheReportId",
             {0x75, 0x08, 0x95, 0x02, 0xA4, 0x85, 0x01, 0x95, 0x10, 0x81, 0x02, 0xB4, 0x81, 0x02},
             Lengths{17, 0, true}},
        // The long items' data would read as Report Size 32 x 127 if not skipped.
        Case{"LongItemsAreSkipped",
             {0x75, 0x08, 0x95, 0x02, 0xFE, 0x04, 0xF0, 0x75, 0x20, 0x95, 0x7F, 0xFE, 0x00, 0xF1,
              0x81, 0x02},
             Lengths{3, 0, false}},
        Case{"FourAndTwoByteData",
             {0x75, 0x08, 0x97, 0x40, 0x00, 0x00, 0x00, 0x81, 0x02, 0x96, 0x00, 0x01, 0x91, 0x02},
             Lengths{65, 257, false}},
        Case{"LongestReportThatFits",
             {0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02},
             Lengths{65535, 0, false}},
        Case{"OnlyCollections", {0xA1, 0x01, 0xC0, 0xC0}, Lengths{0, 0, false}},
        Case{"Empty", {}, std::nullopt},
        Case{
            "ReportTooLongForTheLengths", {0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02}, std::nullopt},
        Case{"SizeTimesCountBeyond64Bits",
             {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02},
             std::nullopt},
        Case{"TwoHalvesTooLongTogether",
             {0x75, 0x08, 0x96, 0x00, 0x80, 0x81, 0x02, 0x81, 0x02},
             std::nullopt},
        Case{"PopWithoutPush", {0x75, 0x08, 0xB4, 0x81, 0x02}, std::nullopt},
        Case{"ReportIdZero", {0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, std::nullopt},
        Case{"ReportIdBeyondOneByte", {0x86, 0x00, 0x01}, std::nullopt},
        Case{"LongItemCutOff", {0xFE, 0x05, 0xF0, 0x01, 0x02}, std::nullopt},
        Case{"LongItemWithoutTag", {0xFE, 0x01}, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DescriptorDepth, PushesAreLimited) {
    Bytes deep(64, 0xA4);
    EXPECT_TRUE(parse(deep).has_value());
    deep.push_back(0xA4);
    EXPECT_FALSE(parse(deep).has_value());
}

// Cut between items the rest is simply missing; cut inside one it is damaged.
TEST(DescriptorDepth, EveryCutOfTheSignDescriptor) {
    const Bytes whole = join(kSignItems);
    std::vector<bool> boundary(whole.size() + 1, false);
    size_t at = 0;
    for (const Bytes& item : kSignItems)
        boundary[at += item.size()] = true;
    for (size_t cut = 1; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const auto parsed = parse(Bytes(whole.begin(), whole.begin() + cut));
        EXPECT_EQ(parsed.has_value(), boundary[cut]);
        // The Input item ends at byte 20.
        if (parsed) {
            EXPECT_EQ(parsed->inputReportLength, cut >= 20 ? 65 : 0);
        }
    }
}

}  // namespace
