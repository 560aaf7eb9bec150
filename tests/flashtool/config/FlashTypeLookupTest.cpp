#include "flashtool/config/FlashTypeLookup.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using vornload::FlashType;
using vornload::lookupFlashType;

constexpr const char* table =
    "FLASH_ID=EF4016\n"
    "EF4018,BEFORE,16M,0\n"
    "flash_describe_begin ; the fitted parts\n"
    "# id, name, capacity, write protect\n"
    "c22016,,MX25L3206E,4M,1c\r\n"
    "EF4016,FLASHA,4M,0\n"
    "ef4017 , winbond64 , 8m , 3C\n"
    "1,TINY,64K,FFFF1\n"
    "2,NOUNIT,4096,0\n"
    "2,LATER,1G,0\n"
    "3,HUGE,4G,0\n"
    "5,SHORT,1M\n"
    "FLASH_DESCRIBE_END\n"
    "4,AFTER,1M,0\n";

struct Match {
    uint32_t id;
    const char* name;
    uint32_t capacity;
    uint16_t writeProtect;
    const char* console;
};

TEST(FlashTypeLookup, MatchingRows) {
    const Match cases[] = {
        {0xEF4016, "FLASHA", 4194304, 0, ""},
        {0xC22016, "MX25L3206", 4194304, 0x1C, ""},
        {0xEF4017, "WINBOND64", 8388608, 0x3C, ""},
        {0x1, "TINY", 65536, 0xFFF1, ""},
        {0x2, "LATER", 1073741824, 0,
         "WARNING : flash type row 2,NOUNIT,4096,0 needs a capacity with unit G, M or K\n"},
    };
    for (const Match& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream in(table);
        std::ostringstream console;
        const std::optional<FlashType> type = lookupFlashType(in, c.id, console);
        ASSERT_TRUE(type.has_value());
        EXPECT_EQ(type->name, c.name);
        EXPECT_EQ(type->capacity, c.capacity);
        EXPECT_EQ(type->writeProtectArg, c.writeProtect);
        EXPECT_EQ(console.str(), c.console);
    }
}

TEST(FlashTypeLookup, FailingLookups) {
    const struct {
        uint32_t id;
        const char* console;
    } cases[] = {
        {0xEF4018, "WARNING : can't match flash type\n"},  // only before the table
        {0x4, "WARNING : can't match flash type\n"},       // only after the table
        {0xEF, "WARNING : can't match flash type\n"},
        {0x3,
         "WARNING : flash type row 3,HUGE,4G,0 needs a capacity with unit G, M or K\n"
         "WARNING : can't match flash type\n"},
        {0x5,
         "WARNING : flash type row 5,SHORT,1M needs a capacity with unit G, M or K\n"
         "WARNING : can't match flash type\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        std::istringstream in(table);
        std::ostringstream console;
        EXPECT_FALSE(lookupFlashType(in, c.id, console).has_value());
        EXPECT_EQ(console.str(), c.console);
    }

    std::istringstream noEnd("FLASH_DESCRIBE_BEGIN\n1,A,1M,0\n");
    std::ostringstream console;
    EXPECT_FALSE(lookupFlashType(noEnd, 0x2, console).has_value());
    EXPECT_EQ(console.str(), "WARNING : can't match flash type\n");

    std::ostringstream missing;
    EXPECT_FALSE(lookupFlashType("/nonexistent/isd_tools.cfg", 0x1, missing).has_value());
    EXPECT_EQ(missing.str(), "WARNING : isd_tools.cfg open fail\n");
}

TEST(FlashTypeLookup, DeviceIdentifierChecks) {
    vornload::FlashDescription description;
    description.settings.flashId = 0xEF4016;
    description.record.flashId = 0xEF4016;
    description.record.flashSize = 1;
    const FlashType type{"FLASHA", 4194304, 0x1C};

    auto result = vornload::applyFlashType(description, 0xEF4016, std::nullopt);
    EXPECT_EQ(result.code, vornload::isdErrDiskMismatch);
    EXPECT_EQ(result.message, "device id: ef4016\n");

    result = vornload::applyFlashType(description, 0xEF4017, type);
    EXPECT_EQ(result.code, vornload::isdErrDiskMismatch);
    EXPECT_EQ(result.message, "ERROR: device id: ef4017 != cfg id ef4016\n");
    EXPECT_EQ(description.record.flashSize, 1u);

    // Only the low byte has to agree with the file.
    result = vornload::applyFlashType(description, 0xC84016, type);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(description.record.flashId, 0xC84016u);
    EXPECT_EQ(description.record.flashSize, 4194304u);
    EXPECT_EQ(description.record.writeProtectArg, 0x1Cu);
}

}  // namespace
