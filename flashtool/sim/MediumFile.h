#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornload {

// The file that keeps a simulated chip's storage between processes: byte i of
// the file is byte i of the medium. Every change is written through at once,
// since a run may end right after its last command.
class MediumFile {
public:
    MediumFile() = default;
    ~MediumFile();
    MediumFile(const MediumFile&) = delete;
    MediumFile& operator=(const MediumFile&) = delete;

    // Opens or creates `path` (never through a symbolic link, only a regular
    // file), reads its first medium.size() bytes into `medium`, which the caller
    // has filled with the erased value, and extends a shorter file with 0xFF.
    bool open(const std::string& path, std::vector<uint8_t>& medium, std::string& error);

    bool isOpen() const { return m_fd >= 0; }

    // Writes `length` bytes at `offset`; 0, or the error number of the failure.
    int writeAt(uint64_t offset, const uint8_t* data, size_t length);
    // Writes `length` bytes of `value` at `offset`.
    int fillAt(uint64_t offset, uint8_t value, size_t length);

private:
    int m_fd = -1;
};

}  // namespace vornload
