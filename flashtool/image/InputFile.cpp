#include "flashtool/image/InputFile.h"

#include "flashtool/image/ImageSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace vornload {

InputFile::~InputFile() {
    if (m_fd >= 0) ::close(m_fd);
}

int InputFile::open(const std::string& path) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    // Non-blocking so that a FIFO in the list cannot hang the build; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return imagecode::openFailed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return imagecode::openFailed;
    }
    m_fd = fd;
    m_size = static_cast<uint64_t>(st.st_size);
    return imagecode::ok;
}

long InputFile::read(uint8_t* data, size_t length) {
    for (;;) {
        const ssize_t n = ::read(m_fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

long InputFile::readAt(uint64_t position, uint8_t* data, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(m_fd, data + done, length - done, static_cast<off_t>(position + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<long>(done);
}

}  // namespace vornload
