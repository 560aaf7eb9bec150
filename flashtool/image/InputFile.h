#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vornload {

// A regular file opened for reading, with the size it had when opened.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // 0, or openFailed when it cannot be opened or is no regular file.
    int open(const std::string& path);
    // Reads up to `length` bytes; 0 at the end, -1 on failure.
    long read(uint8_t* data, size_t length);
    // Reads up to `length` bytes at `position`, as many as there are; -1 on failure.
    long readAt(uint64_t position, uint8_t* data, size_t length);

    uint64_t size() const { return m_size; }

private:
    int m_fd = -1;
    uint64_t m_size = 0;
};

}  // namespace vornload
