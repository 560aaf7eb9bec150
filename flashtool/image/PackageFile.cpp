#include "flashtool/image/PackageFile.h"

#include "flashtool/config/Crc16.h"
#include "flashtool/image/ImageSettings.h"
#include "flashtool/image/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <vector>

namespace vornload {

namespace {

constexpr size_t chunkSize = 1024 * 1024;

bool writeAll(int fd, const uint8_t* data, size_t length, off_t position) {
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, data, length, position);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
        position += n;
    }
    return true;
}

}  // namespace

PackageFile::~PackageFile() {
    if (m_fd >= 0) ::close(m_fd);
}

int PackageFile::create(const std::string& path) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_length = 0;
    // O_NOFOLLOW: a planted link must not redirect our output; O_NONBLOCK: a FIFO fails at once.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) return imagecode::openFailed;
    struct stat st {};
    // Truncate only once we know it is a regular file of ours to replace.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return imagecode::openFailed;
    }
    m_fd = fd;
    return imagecode::ok;
}

int PackageFile::append(const uint8_t* data, size_t length) {
    if (m_fd < 0) return imagecode::writeFailed;
    if (!writeAll(m_fd, data, length, static_cast<off_t>(m_length))) return imagecode::writeFailed;
    m_length += length;
    return imagecode::ok;
}

int PackageFile::fillTo(uint64_t length) {
    static const std::vector<uint8_t> blank(chunkSize, 0xFF);
    while (m_length < length) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(chunkSize, length - m_length));
        if (const int rc = append(blank.data(), n); rc != imagecode::ok) return rc;
    }
    return imagecode::ok;
}

int PackageFile::writeAt(uint64_t position, const uint8_t* data, size_t length) {
    // Patching never grows the file: a hole would read as zeros, not 0xFF.
    if (m_fd < 0 || position > m_length || length > m_length - position)
        return imagecode::writeFailed;
    if (!writeAll(m_fd, data, length, static_cast<off_t>(position))) return imagecode::writeFailed;
    return imagecode::ok;
}

int PackageFile::appendFile(InputFile& input, uint16_t& crc) {
    std::vector<uint8_t> buffer(chunkSize);
    uint64_t left = input.size();
    crc = 0;
    while (left > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunkSize, left));
        const long got = input.read(buffer.data(), want);
        // A file that shrank after it was measured would leave the table wrong.
        if (got <= 0) return imagecode::readFailed;
        const size_t n = static_cast<size_t>(got);
        crc = crc16Xmodem(buffer.data(), n, crc);
        if (const int rc = append(buffer.data(), n); rc != imagecode::ok) return rc;
        left -= n;
    }
    return imagecode::ok;
}

int PackageFile::close() {
    if (m_fd < 0) return imagecode::ok;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? imagecode::ok : imagecode::writeFailed;
}

bool copyPackageFile(const std::string& from, const std::string& to) {
    InputFile input;
    if (input.open(from) != imagecode::ok) return false;
    PackageFile output;
    if (output.create(to) != imagecode::ok) return false;
    uint16_t crc = 0;
    if (output.appendFile(input, crc) != imagecode::ok) return false;
    return output.close() == imagecode::ok && output.length() == input.size();
}

}  // namespace vornload
