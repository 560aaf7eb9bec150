#pragma once

// What the tests of whole runs share: the board they describe, file contents,
// and a look at the printed lines.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace runtest {

// A 4 MB NOR board: code from 64 KiB, an 8 KiB zone, four SPI data lines.
inline constexpr const char* kBoard =
    "FLASH_DESCRIBE_BEGIN\n"
    "EF4016,W25Q32,4M,1C\n"
    "FLASH_DESCRIBE_END\n"
    "CODE_START_OFFSET = 64K\n"
    "CFG_ZONE_SIZE = 8K\n"
    "FLASH_ID = EF4016\n"
    "FLASH_SIZE = 4M\n"
    "SPI_DATA_WIDTH = 4\n";

inline std::string pattern(size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 131 + seed) % 251);
    return s;
}

// The lines appear in this order in `out` (others may come between them).
inline void expectInOrder(const std::string& out, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        const size_t found = out.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing after " << at << ": " << line << "\nin:\n"
                                            << out;
        at = found + line.size();
    }
}

}  // namespace runtest
