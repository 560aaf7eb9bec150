#include "flashtool/sim/MediumFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace vornload {

namespace {

std::string reason(int error) {
    return std::strerror(error);
}

}  // namespace

MediumFile::~MediumFile() {
    if (m_fd >= 0) ::close(m_fd);
}

bool MediumFile::open(const std::string& path, std::vector<uint8_t>& medium, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int code = errno;
        error = code == ELOOP ? "state file " + path + " is a symbolic link"
                              : "cannot open state file " + path + ": " + reason(code);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = "state file " + path + " is not a regular file";
        return false;
    }
    m_fd = fd;
    const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
    const uint64_t toRead = std::min<uint64_t>(fileSize, medium.size());
    uint64_t done = 0;
    while (done < toRead) {
        const ssize_t got = ::pread(m_fd, medium.data() + done, static_cast<size_t>(toRead - done),
                                    static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = "cannot read state file " + path + ": " + reason(got < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<uint64_t>(got);
    }
    if (fileSize < medium.size()) {
        const int code = fillAt(fileSize, 0xFF, static_cast<size_t>(medium.size() - fileSize));
        if (code != 0) {
            error = "cannot extend state file " + path + ": " + reason(code);
            return false;
        }
    }
    return true;
}

int MediumFile::writeAt(uint64_t offset, const uint8_t* data, size_t length) {
    if (m_fd < 0) return EBADF;
    size_t done = 0;
    while (done < length) {
        const ssize_t put =
            ::pwrite(m_fd, data + done, length - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        if (put == 0) return EIO;
        done += static_cast<size_t>(put);
    }
    return 0;
}

int MediumFile::fillAt(uint64_t offset, uint8_t value, size_t length) {
    std::array<uint8_t, 65536> chunk;
    chunk.fill(value);
    size_t done = 0;
    while (done < length) {
        const size_t piece = std::min(chunk.size(), length - done);
        if (const int code = writeAt(offset + done, chunk.data(), piece); code != 0) return code;
        done += piece;
    }
    return 0;
}

}  // namespace vornload
