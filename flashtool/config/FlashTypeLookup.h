#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "flashtool/config/ConfigResult.h"
#include "flashtool/config/FlashDescription.h"

namespace vornload {

// One row of the flash-type table in the description file.
struct FlashType {
    std::string name;       // at most 9 characters, upper case
    uint32_t capacity = 0;  // bytes
    uint16_t writeProtectArg = 0;
};

// Finds the first table row whose identifier is `id` written as "%X". Warnings
// ("WARNING : isd_tools.cfg open fail\n", "WARNING : can't match flash type\n")
// go to `console`.
std::optional<FlashType> lookupFlashType(const std::string& path, uint32_t id,
                                         std::ostream& console);
std::optional<FlashType> lookupFlashType(std::istream& in, uint32_t id, std::ostream& console);

// Checks a device's identifier against the lookup and the file's FLASH_ID and,
// when both agree, puts the flash type into the record. A mismatch gives code 5
// with the text to print.
ConfigResult applyFlashType(FlashDescription& description, uint32_t deviceId,
                            const std::optional<FlashType>& type);

}  // namespace vornload
