#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vornload {

class InputFile;

// A package being written: appended to front to back, padded with 0xFF, patched in place.
// It is created without following a symbolic link and only as a regular file.
class PackageFile {
public:
    PackageFile() = default;
    ~PackageFile();
    PackageFile(const PackageFile&) = delete;
    PackageFile& operator=(const PackageFile&) = delete;

    // 0, or openFailed when the file cannot be created (a link, not a regular file, no rights).
    int create(const std::string& path);
    int append(const uint8_t* data, size_t length);
    // Pads with 0xFF until the file is `length` bytes long (nothing if it is already).
    int fillTo(uint64_t length);
    int fill(uint64_t count) { return fillTo(m_length + count); }
    // Overwrites bytes already written.
    int writeAt(uint64_t position, const uint8_t* data, size_t length);
    // Appends the whole input, returning its CRC.
    int appendFile(InputFile& input, uint16_t& crc);
    int close();

    uint64_t length() const { return m_length; }

private:
    int m_fd = -1;
    uint64_t m_length = 0;
};

// Copies a file whole; the copy is made as PackageFile::create makes files.
bool copyPackageFile(const std::string& from, const std::string& to);

}  // namespace vornload
