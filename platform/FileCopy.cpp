#include "platform/FileCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

namespace {

// A walk deeper than this is not a disk's ordinary content; it would also run
// out of file descriptors, one of which each level keeps open.
constexpr int kMaxDepth = 256;
// Names read from a folder before they are deleted, so memory stays bounded.
constexpr size_t kNamesPerRound = 1024;

bool fail(std::string* error, const std::string& what, int err) {
    if (error) *error = what + ": " + std::strerror(err);
    return false;
}

bool failWith(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset(int fd) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes now; the result of close is the last word on a write.
    int close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const char* p, size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

ssize_t readSome(int fd, char* p, size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, p, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId&) const = default;
};

FileId idOf(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

// The path made absolute and normal, without a trailing separator.
fs::path normalFolder(const fs::path& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) p = path;
    p = p.lexically_normal();
    if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
    return p;
}

// True when `dir` is `path` or one of its ancestors, by name.
bool holds(const fs::path& dir, const fs::path& path) {
    auto p = path.begin();
    for (auto d = dir.begin(); d != dir.end(); ++d, ++p) {
        if (d->empty()) continue;
        if (p == path.end() || *p != *d) return false;
    }
    return true;
}

std::vector<fs::path> homeFolders() {
    std::vector<fs::path> homes;
    if (const char* home = std::getenv("HOME"); home && *home) homes.emplace_back(home);
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        homes.emplace_back(found->pw_dir);
    std::vector<fs::path> all;
    for (const fs::path& home : homes) {
        all.push_back(normalFolder(home));
        std::error_code ec;
        const fs::path real = fs::canonical(home, ec);
        if (!ec) all.push_back(real);
    }
    return all;
}

// "/" and every existing folder from it down to each home folder, as the
// folders themselves, whichever name or mount reaches them.
std::vector<FileId> protectedIds() {
    std::vector<FileId> ids;
    struct stat st {};
    if (::stat("/", &st) == 0) ids.push_back(idOf(st));
    for (const fs::path& home : homeFolders()) {
        for (fs::path p = home; !p.empty(); p = p.parent_path()) {
            if (::stat(p.c_str(), &st) == 0) ids.push_back(idOf(st));
            if (p == p.parent_path()) break;
        }
    }
    return ids;
}

bool isProtectedId(const std::vector<FileId>& ids, const struct stat& st) {
    return std::find(ids.begin(), ids.end(), idOf(st)) != ids.end();
}

// Adds `bits` to the mode of the entry `name` (a folder or a regular file, not
// a link) without following a link that was swapped in for it.
bool addModeBits(int dirFd, const char* name, bool folder, mode_t bits) {
#ifdef O_PATH
    Fd fd(::openat(dirFd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC | (folder ? O_DIRECTORY : 0)));
    if (fd.get() < 0) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return false;
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) {
        errno = folder ? ENOTDIR : EISDIR;
        return false;
    }
    // A descriptor opened for its path only cannot change the mode itself; its
    // /proc entry names exactly the opened entry.
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    return ::chmod(self.c_str(), (st.st_mode & 07777) | bits) == 0;
#else
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) {
        errno = folder ? ENOTDIR : EISDIR;
        return false;
    }
    return ::fchmodat(dirFd, name, (st.st_mode & 07777) | bits, 0) == 0;
#endif
}

struct Walk {
    dev_t device = 0;
    std::vector<FileId> protectedIds;
    std::string* error = nullptr;
};

bool emptyAt(int dirFd, const std::string& shown, int depth, const Walk& walk);

bool removeEntry(int dirFd, const std::string& name, const std::string& shown, int depth,
                 const Walk& walk) {
    const std::string path = shown + "/" + name;
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || fail(walk.error, path, errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT) return true;
        const int err = errno;
        // Some file systems keep a read-only file from being deleted.
        if ((err == EPERM || err == EACCES) && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            addModeBits(dirFd, name.c_str(), false, S_IWUSR) &&
            ::unlinkat(dirFd, name.c_str(), 0) == 0)
            return true;
        return fail(walk.error, path, err);
    }
    // Another file system mounted below the disk is none of the disk's content.
    if (st.st_dev != walk.device)
        return failWith(walk.error, path + ": another file system is mounted there");

    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Fd sub(::openat(dirFd, name.c_str(), flags));
    if (sub.get() < 0 && errno == EACCES && st.st_uid == ::geteuid()) {
        if (!addModeBits(dirFd, name.c_str(), true, S_IRWXU)) return fail(walk.error, path, errno);
        sub.reset(::openat(dirFd, name.c_str(), flags));
    }
    if (sub.get() < 0) return fail(walk.error, path, errno);
    struct stat subSt {};
    if (::fstat(sub.get(), &subSt) != 0) return fail(walk.error, path, errno);
    if (subSt.st_dev != walk.device || isProtectedId(walk.protectedIds, subSt))
        return failWith(walk.error, path + ": not part of the folder being emptied");
    // Deleting a folder's entries needs write and search permission on it.
    constexpr mode_t kNeeded = S_IRWXU;
    if ((subSt.st_mode & kNeeded) != kNeeded && subSt.st_uid == ::geteuid() &&
        ::fchmod(sub.get(), (subSt.st_mode & 07777) | kNeeded) != 0)
        return fail(walk.error, path, errno);
    if (!emptyAt(sub.get(), path, depth + 1, walk)) return false;
    sub.close();
    if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
    return fail(walk.error, path, errno);
}

bool emptyAt(int dirFd, const std::string& shown, int depth, const Walk& walk) {
    if (depth > kMaxDepth) return failWith(walk.error, shown + ": folders nested too deeply");
    const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) return fail(walk.error, shown, errno);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd), ::closedir);
    if (!dir) {
        const int err = errno;
        ::close(listFd);
        return fail(walk.error, shown, err);
    }
    // Names are read a round at a time and deleted before the listing starts
    // over, so an entry is never skipped by deleting while reading.
    for (;;) {
        ::rewinddir(dir.get());
        std::vector<std::string> names;
        errno = 0;
        while (names.size() < kNamesPerRound) {
            const dirent* entry = ::readdir(dir.get());
            if (!entry) {
                if (errno != 0) return fail(walk.error, shown, errno);
                break;
            }
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..") continue;
            names.emplace_back(name);
        }
        if (names.empty()) return true;
        for (const std::string& name : names) {
            if (!removeEntry(dirFd, name, shown, depth, walk)) return false;
        }
    }
}

}  // namespace

bool copyFile(const fs::path& from, const fs::path& to, const std::atomic<bool>* cancel,
              const CopyProgress& progress, std::string* error) {
    const auto cancelled = [cancel] { return cancel && cancel->load(); };
    if (cancelled()) return failWith(error, "cancelled");

    // Opening a FIFO or a device could block or have side effects: look first,
    // then open without blocking and look again at what was opened.
    struct stat srcSt {};
    if (::stat(from.c_str(), &srcSt) != 0) return fail(error, from.string(), errno);
    if (!S_ISREG(srcSt.st_mode)) return failWith(error, from.string() + ": not a regular file");
    Fd src(::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (src.get() < 0) return fail(error, from.string(), errno);
    if (::fstat(src.get(), &srcSt) != 0) return fail(error, from.string(), errno);
    if (!S_ISREG(srcSt.st_mode)) return failWith(error, from.string() + ": not a regular file");
    const uint64_t total = static_cast<uint64_t>(std::max<off_t>(srcSt.st_size, 0));

    const fs::path name = to.filename();
    if (name.empty() || name == "." || name == "..")
        return failWith(error, to.string() + ": not a file name");
    const fs::path parent = to.has_parent_path() ? to.parent_path() : fs::path(".");
    Fd dirFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0) return fail(error, parent.string(), errno);
    // O_EXCL never follows a link, not even a dangling one.
    Fd dst(::openat(dirFd.get(), name.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
    if (dst.get() < 0) return fail(error, to.string(), errno);
    struct stat made {};
    const bool knowMade = ::fstat(dst.get(), &made) == 0;

    // Removes the file this call made, and only that: if something else has
    // taken its name meanwhile, it stays.
    const auto discard = [&](const std::string& reason) {
        dst.close();
        struct stat now {};
        if (knowMade && ::fstatat(dirFd.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            idOf(now) == idOf(made))
            ::unlinkat(dirFd.get(), name.c_str(), 0);
        return failWith(error, reason);
    };
    const auto systemError = [](const fs::path& path, int err) {
        return path.string() + ": " + std::strerror(err);
    };
    if (!knowMade) return discard(systemError(to, errno));

    const auto report = [&](uint64_t copied) {
        return !progress || progress(copied, std::max(total, copied));
    };
    if (!report(0)) return discard("cancelled");
    std::vector<char> buffer(kCopyChunkSize);
    uint64_t copied = 0;
    for (;;) {
        if (cancelled()) return discard("cancelled");
        const ssize_t n = readSome(src.get(), buffer.data(), buffer.size());
        if (n < 0) return discard(systemError(from, errno));
        if (n == 0) break;
        if (!writeAll(dst.get(), buffer.data(), static_cast<size_t>(n)))
            return discard(systemError(to, errno));
        copied += static_cast<uint64_t>(n);
        if (!report(copied)) return discard("cancelled");
    }
    if (cancelled()) return discard("cancelled");
    if (::fsync(dst.get()) != 0) return discard(systemError(to, errno));
    if (dst.close() != 0) return discard(systemError(to, errno));
    // The new name must reach the disk too; some file systems cannot sync a folder.
    if (::fsync(dirFd.get()) != 0 && errno != EINVAL && errno != EROFS)
        return discard(systemError(parent, errno));
    return true;
}

bool isProtectedFolder(const fs::path& folder) {
    if (folder.empty()) return true;
    const fs::path p = normalFolder(folder);
    if (p == p.root_path()) return true;
    for (const fs::path& home : homeFolders()) {
        if (holds(p, home)) return true;
    }
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && isProtectedId(protectedIds(), st);
}

bool emptyFolder(const fs::path& root, std::string* error) {
    if (isProtectedFolder(root))
        return failWith(error, root.string() +
                                   ": refusing to empty the root folder, the home folder "
                                   "or a folder that holds it");
    Fd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOTDIR || errno == ELOOP)
            return failWith(error, root.string() + ": not a folder");
        return fail(error, root.string(), errno);
    }
    Walk walk;
    walk.protectedIds = protectedIds();
    walk.error = error;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(error, root.string(), errno);
    // Checked again on what was opened, in case the name was swapped meanwhile.
    if (isProtectedId(walk.protectedIds, st))
        return failWith(error, root.string() +
                                   ": refusing to empty the root folder, the home folder "
                                   "or a folder that holds it");
    walk.device = st.st_dev;
    std::string shown = normalFolder(root).string();
    return emptyAt(fd.get(), shown, 0, walk);
}

}  // namespace platform
