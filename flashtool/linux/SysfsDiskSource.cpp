#include "flashtool/linux/SysfsDiskSource.h"

#include "flashtool/linux/SgTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <system_error>
#include <utility>

namespace vornload {

namespace fs = std::filesystem;

namespace {

// sysfs attributes of interest are a few bytes; anything longer is not what we expect.
constexpr size_t maxAttributeBytes = 256;
// A machine with more block devices than this is not one we look for a chip on.
constexpr int maxDirectoryEntries = 4096;
constexpr size_t maxNameLength = 64;

// Reads a small regular file whole; false when it is missing, no regular file, too long or
// unreadable. Non-blocking so that a FIFO planted in the tree cannot hang the search.
bool readAttribute(const fs::path& path, std::string& text) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[maxAttributeBytes + 1];
    size_t got = 0;
    while (ok && got < sizeof buffer) {
        const ssize_t n = ::read(fd, buffer + got, sizeof buffer - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (!ok || got > maxAttributeBytes) return false;
    text.assign(buffer, got);
    return true;
}

std::string withoutNewline(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

bool isNumber(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A disk name is one path component of ours to append, never a way out of the tree.
bool isDiskName(const std::string& name) {
    return !name.empty() && name.size() <= maxNameLength && name.front() != '.' &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

bool isGenericNodeName(const std::string& name) {
    return name.size() > 2 && name.size() <= 12 && name.compare(0, 2, "sg") == 0 &&
           isNumber(std::string_view(name).substr(2));
}

// USB devices sit below a root hub named "usbN" in the device tree; `device` is the disk's
// resolved device path relative to the canonical sysfs root.
bool isBelowUsbHub(const fs::path& device) {
    for (const fs::path& part : device) {
        const std::string s = part.string();
        if (s.size() > 3 && s.compare(0, 3, "usb") == 0 && isNumber(std::string_view(s).substr(3)))
            return true;
    }
    return false;
}

// "MAJOR:MINOR\n" as sysfs gives a device number.
bool parseDeviceNumber(const std::string& text, dev_t& number) {
    const std::string s = withoutNewline(text);
    const size_t colon = s.find(':');
    if (colon == std::string::npos) return false;
    unsigned major = 0, minor = 0;
    const char* first = s.data();
    const char* last = s.data() + s.size();
    auto [p1, e1] = std::from_chars(first, first + colon, major);
    if (e1 != std::errc() || p1 != first + colon) return false;
    auto [p2, e2] = std::from_chars(first + colon + 1, last, minor);
    if (e2 != std::errc() || p2 != last || colon == 0 || colon + 1 == s.size()) return false;
    number = makedev(major, minor);
    return true;
}

}  // namespace

SysfsDiskSource::SysfsDiskSource(std::string sysRoot, std::string devRoot)
    : m_sysRoot(std::move(sysRoot)), m_devRoot(std::move(devRoot)) {}

std::vector<DiskInfo> SysfsDiskSource::list() {
    std::vector<DiskInfo> disks;
    std::error_code ec;
    const fs::path root = fs::canonical(m_sysRoot, ec);
    if (ec) return disks;
    fs::directory_iterator it(root / "block", ec);
    int seen = 0;
    for (; !ec && it != fs::directory_iterator() && seen < maxDirectoryEntries;
         it.increment(ec), ++seen) {
        const std::string name = it->path().filename().string();
        if (!isDiskName(name)) continue;
        const fs::path block = root / "block" / name;
        std::string removable;
        if (!readAttribute(block / "removable", removable) || withoutNewline(removable) != "1")
            continue;
        std::error_code linkError;
        const fs::path device = fs::canonical(block / "device", linkError);
        if (linkError) continue;
        // Only the part inside sysfs counts, and a link leading out of it is no device of ours.
        const fs::path inside = device.lexically_relative(root);
        if (inside.empty() || *inside.begin() == "..") continue;
        if (!isBelowUsbHub(inside)) continue;
        DiskInfo disk;
        disk.name = name;
        // The caller compares them without spaces; padding is kept as the device sent it.
        if (readAttribute(block / "device" / "vendor", disk.vendor))
            disk.vendor = withoutNewline(std::move(disk.vendor));
        if (readAttribute(block / "device" / "model", disk.product))
            disk.product = withoutNewline(std::move(disk.product));
        disks.push_back(std::move(disk));
    }
    std::sort(disks.begin(), disks.end(),
              [](const DiskInfo& a, const DiskInfo& b) { return a.name < b.name; });
    return disks;
}

std::string SysfsDiskSource::genericNodeName(const std::string& disk, int& error) const {
    error = 0;
    if (!isDiskName(disk)) {
        error = EINVAL;
        return {};
    }
    const fs::path dir = fs::path(m_sysRoot) / "block" / disk / "device" / "scsi_generic";
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    std::string found;
    int seen = 0;
    for (; !ec && it != fs::directory_iterator() && seen < maxDirectoryEntries;
         it.increment(ec), ++seen) {
        const std::string name = it->path().filename().string();
        // One SCSI device has one generic node; the lowest name keeps the choice stable.
        if (isGenericNodeName(name) && (found.empty() || name < found)) found = name;
    }
    if (found.empty()) error = ENOENT;
    return found;
}

std::unique_ptr<ScsiTarget> SysfsDiskSource::open(const DiskInfo& disk, int& error) {
    const std::string node = genericNodeName(disk.name, error);
    if (node.empty()) return nullptr;
    std::string text;
    dev_t expected = 0;
    const fs::path classDevice =
        fs::path(m_sysRoot) / "block" / disk.name / "device" / "scsi_generic" / node;
    if (!readAttribute(classDevice / "dev", text) || !parseDeviceNumber(text, expected)) {
        error = ENODEV;
        return nullptr;
    }
    // Non-blocking while we look at what we opened (a FIFO must not hang us, an exclusive
    // holder gives EBUSY instead of a wait); the requests themselves run blocking.
    const std::string path = (fs::path(m_devRoot) / node).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errno != 0 ? errno : EIO;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || st.st_rdev != expected) {
        // A stale or foreign node under that name: it is not the disk we were asked for.
        ::close(fd);
        error = ENODEV;
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = errno != 0 ? errno : EIO;
        ::close(fd);
        return nullptr;
    }
    error = 0;
    return std::make_unique<SgTarget>(fd);
}

}  // namespace vornload
