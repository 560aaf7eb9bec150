#include "platform/SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace platform {

namespace {

bool fail(std::string* error, const std::string& what, int err) {
    if (error) *error = what + ": " + std::strerror(err);
    return false;
}

bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The file a link finally points to, so that saving keeps the link. Only links
// of this user are followed, to a file of this user (or to none yet): anyone can
// plant a link in a folder such as /tmp, and writing through it would overwrite
// whatever it names with our rights.
bool resolveLinks(const std::filesystem::path& target, std::filesystem::path& real,
                  std::string* error) {
    const uid_t me = ::geteuid();
    std::filesystem::path p = target;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        if (hops == 40) return fail(error, target.string(), ELOOP);
        if (st.st_uid != me) {
            if (error)
                *error =
                    target.string() + ": refusing to write through a symbolic link of another user";
            return false;
        }
        std::error_code ec;
        std::filesystem::path to = std::filesystem::read_symlink(p, ec);
        if (ec) return fail(error, target.string(), ec.value());
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    struct stat st {};
    if (p != target && ::stat(p.c_str(), &st) == 0 && st.st_uid != me) {
        if (error)
            *error = target.string() +
                     ": refusing to write through a symbolic link to a file of another user";
        return false;
    }
    real = p;
    return true;
}

std::string uniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d%u%06x", static_cast<int>(::getpid()), counter++,
                  static_cast<unsigned>(rng() & 0xFFFFFF));
    return buf;
}

}  // namespace

bool saveFileSafely(const std::filesystem::path& target, std::string_view bytes,
                    std::string* error) {
    if (target.empty()) return fail(error, "empty file name", EINVAL);
    std::filesystem::path real;
    if (!resolveLinks(target, real, error)) return false;
    std::filesystem::path dir = real.parent_path();
    if (dir.empty()) dir = ".";

    struct stat old {};
    const bool existed = ::stat(real.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) return fail(error, real.string(), EISDIR);

    // Created with 0666 so the umask applies as for any new file; a replaced file keeps its mode.
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = (dir / ("." + real.filename().string() + ".tmp" + uniqueSuffix())).string();
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return fail(error, real.string(), errno);
    }
    if (fd < 0) return fail(error, real.string(), EEXIST);
    if (existed) ::fchmod(fd, old.st_mode & 07777);

    if (!writeAll(fd, bytes) || ::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        return fail(error, real.string(), err);
    }
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return fail(error, real.string(), err);
    }
    if (::rename(tmp.c_str(), real.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return fail(error, real.string(), err);
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool keepDamagedCopy(const std::filesystem::path& file, std::string* error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? true : fail(error, file.string(), errno);
    std::string bytes;
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return fail(error, file.string(), err);
        }
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    std::filesystem::path copy = file;
    copy += ".damaged";
    return saveFileSafely(copy, bytes, error);
}

}  // namespace platform
