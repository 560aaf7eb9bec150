#include "platform/hidapi/HidSysfs.h"

#include "platform/FileCopy.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <algorithm>
#include <charconv>
#include <fstream>
#include <utility>

namespace platform {

namespace fs = std::filesystem;

namespace {

// Attribute files are a line; a report descriptor is at most 4 KiB on Linux.
constexpr size_t kAttributeLimit = 4096;
constexpr size_t kDescriptorLimit = 65536;
constexpr size_t kMountInfoLimit = 16u << 20;

std::optional<std::string> readFile(const fs::path& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    while (bytes.size() < limit && in.read(chunk, sizeof chunk).gcount() > 0) {
        bytes.append(chunk, static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) return std::nullopt;
    if (bytes.size() > limit) bytes.resize(limit);
    return bytes;
}

std::optional<std::string> readAttribute(const fs::path& path) {
    auto text = readFile(path, kAttributeLimit);
    if (!text) return std::nullopt;
    const auto last = text->find_last_not_of(" \t\r\n");
    text->erase(last == std::string::npos ? 0 : last + 1);
    return text;
}

template <typename T>
std::optional<T> parseNumber(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// "major:minor", as in sysfs "dev" files and field 3 of mountinfo.
std::optional<std::pair<uint32_t, uint32_t>> parseDevNumber(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const auto major = parseNumber<uint32_t>(text.substr(0, colon));
    const auto minor = parseNumber<uint32_t>(text.substr(colon + 1));
    if (!major || !minor) return std::nullopt;
    return std::pair{*major, *minor};
}

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool isUsbDevice(const fs::path& dir) {
    return isFile(dir / "idVendor") && isFile(dir / "busnum") && isFile(dir / "devnum");
}

// A USB device's name is "<bus>-<port>[.<port>...]"; its own port comes last.
int32_t portOf(const std::string& name) {
    if (name.find(':') != std::string::npos) return -1;
    const auto dash = name.rfind('-');
    if (dash == std::string::npos) return -1;
    std::string_view ports(name);
    ports.remove_prefix(dash + 1);
    const auto dot = ports.rfind('.');
    if (dot != std::string_view::npos) ports.remove_prefix(dot + 1);
    return parseNumber<int32_t>(ports).value_or(-1);
}

bool lexicallyUnder(const fs::path& path, const fs::path& dir) {
    auto p = path.begin();
    for (auto d = dir.begin(); d != dir.end(); ++d, ++p) {
        if (d->empty()) continue;  // a trailing separator
        if (p == path.end() || *p != *d) return false;
    }
    return p != path.end();
}

// Mount points escape space, tab, newline and backslash as \ooo.
std::string unescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i > 3) {
            const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
            if (isOctal(field[i + 1]) && isOctal(field[i + 2]) && isOctal(field[i + 3])) {
                const int value =
                    (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
                if (value <= 0xFF) {
                    out.push_back(static_cast<char>(value));
                    i += 3;
                    continue;
                }
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

struct Mount {
    std::pair<uint32_t, uint32_t> dev;
    bool wholeFileSystem = false;  // mounts the file system's root, not a bind of a folder
    std::string point;
};

std::vector<Mount> readMounts(const fs::path& mountInfo) {
    std::vector<Mount> mounts;
    const auto text = readFile(mountInfo, kMountInfoLimit);
    if (!text) return mounts;
    std::string_view rest(*text);
    while (!rest.empty()) {
        const auto eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);

        // id parent major:minor root mount-point options ...
        std::string_view fields[5];
        size_t count = 0;
        while (count < 5 && !line.empty()) {
            const auto start = line.find_first_not_of(' ');
            if (start == std::string_view::npos) break;
            line.remove_prefix(start);
            const auto space = line.find(' ');
            fields[count++] = line.substr(0, space);
            line.remove_prefix(space == std::string_view::npos ? line.size() : space);
        }
        if (count < 5) continue;
        const auto dev = parseDevNumber(fields[2]);
        if (!dev) continue;
        mounts.push_back({*dev, fields[3] == "/", unescapeMountField(fields[4])});
    }
    return mounts;
}

std::optional<std::string> firstMountOf(const std::vector<Mount>& mounts,
                                        std::pair<uint32_t, uint32_t> dev) {
    const Mount* bind = nullptr;
    for (const Mount& m : mounts) {
        if (m.dev != dev) continue;
        if (m.wholeFileSystem) return m.point;
        if (!bind) bind = &m;
    }
    if (bind) return bind->point;
    return std::nullopt;
}

std::vector<std::string> sortedNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Partitions are the sub-folders with a "partition" file, in partition order.
std::vector<std::string> partitionsOf(const fs::path& diskDir) {
    std::vector<std::pair<uint32_t, std::string>> numbered;
    for (const std::string& name : sortedNames(diskDir)) {
        const auto number = readAttribute(diskDir / name / "partition");
        if (!number) continue;
        numbered.emplace_back(parseNumber<uint32_t>(*number).value_or(UINT32_MAX), name);
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (auto& [number, name] : numbered)
        names.push_back(std::move(name));
    return names;
}

// The USB device at or above `dir` in the device tree, below the sysfs root.
std::optional<fs::path> nearestUsbDevice(fs::path dir, const fs::path& sysfsRoot) {
    std::error_code ec;
    const fs::path root = fs::canonical(sysfsRoot, ec);
    for (; !dir.empty(); dir = dir.parent_path()) {
        if (isUsbDevice(dir)) return dir;
        if (dir == root || dir == dir.parent_path()) break;
    }
    return std::nullopt;
}

fs::path withoutTrailingSeparator(fs::path p) {
    if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
    return p;
}

// The disk in sysfs/block that is, or holds the partition, with this device number.
std::optional<fs::path> diskOfDevice(const fs::path& sysfsRoot, std::pair<uint32_t, uint32_t> dev) {
    const fs::path blockDir = sysfsRoot / "block";
    for (const std::string& name : sortedNames(blockDir)) {
        const fs::path diskDir = blockDir / name;
        const auto devText = readAttribute(diskDir / "dev");
        if (devText && parseDevNumber(*devText) == dev) return diskDir;
        for (const std::string& part : partitionsOf(diskDir)) {
            const auto partText = readAttribute(diskDir / part / "dev");
            if (partText && parseDevNumber(*partText) == dev) return diskDir;
        }
    }
    return std::nullopt;
}

}  // namespace

HidSysfs::HidSysfs(fs::path sysfsRoot, std::string devPrefix, fs::path mountInfo)
    : m_sysfsRoot(std::move(sysfsRoot)),
      m_devPrefix(std::move(devPrefix)),
      m_mountInfo(std::move(mountInfo)) {}

std::optional<fs::path> HidSysfs::hidDeviceDir(const std::string& hidrawPath) const {
    if (hidrawPath.empty()) return std::nullopt;
    std::vector<std::string> names{fs::path(hidrawPath).filename().string()};
    // A udev link such as /dev/sign0 names the node only through its target.
    std::error_code ec;
    const fs::path target = fs::canonical(hidrawPath, ec);
    if (!ec) names.push_back(target.filename().string());
    for (const std::string& name : names) {
        if (name.rfind("hidraw", 0) != 0) continue;
        const fs::path dir = fs::canonical(m_sysfsRoot / "class" / "hidraw" / name / "device", ec);
        if (!ec && fs::is_directory(dir, ec)) return dir;
    }
    return std::nullopt;
}

bool HidSysfs::isHidrawNode(const std::string& path) const {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    std::error_code ec;
    const std::string name = fs::canonical(path, ec).filename().string();
    if (ec || name.rfind("hidraw", 0) != 0) return false;
    const auto devText = readAttribute(m_sysfsRoot / "class" / "hidraw" / name / "dev");
    const auto dev = devText ? parseDevNumber(*devText) : std::nullopt;
    return dev && dev->first == major(st.st_rdev) && dev->second == minor(st.st_rdev);
}

HidSysfs::UsbLocation HidSysfs::usbLocation(const std::string& hidrawPath) const {
    UsbLocation location;
    const auto device = hidDeviceDir(hidrawPath);
    if (!device) return location;
    if (const auto usb = nearestUsbDevice(*device, m_sysfsRoot)) {
        location.containerId = usb->string();
        location.portAddress = portOf(usb->filename().string());
    }
    return location;
}

std::optional<std::vector<uint8_t>> HidSysfs::reportDescriptor(
    const std::string& hidrawPath) const {
    const auto device = hidDeviceDir(hidrawPath);
    if (!device) return std::nullopt;
    const auto bytes = readFile(*device / "report_descriptor", kDescriptorLimit);
    if (!bytes) return std::nullopt;
    return std::vector<uint8_t>(bytes->begin(), bytes->end());
}

std::optional<HidDiskInfo> HidSysfs::findDisk(const std::string& containerId) const {
    if (containerId.empty()) return std::nullopt;
    std::error_code ec;
    fs::path usbDevice = fs::weakly_canonical(containerId, ec);
    if (ec) usbDevice = fs::path(containerId).lexically_normal();

    const fs::path blockDir = m_sysfsRoot / "block";
    std::optional<std::vector<Mount>> mounts;
    std::optional<HidDiskInfo> unmounted;
    for (const std::string& name : sortedNames(blockDir)) {
        const fs::path diskDir = blockDir / name;
        const fs::path device = fs::canonical(diskDir / "device", ec);
        if (ec || !lexicallyUnder(device, usbDevice)) continue;
        const auto devText = readAttribute(diskDir / "dev");
        const auto dev = devText ? parseDevNumber(*devText) : std::nullopt;
        if (!dev) continue;

        HidDiskInfo disk;
        disk.diskPath = m_devPrefix + name;
        disk.diskNumber = static_cast<uint32_t>(makedev(dev->first, dev->second));
        disk.removable = readAttribute(diskDir / "removable").value_or("") == "1";

        if (!mounts) mounts = readMounts(m_mountInfo);
        // A stick formatted without a partition table mounts the whole disk.
        std::vector<std::pair<std::string, std::pair<uint32_t, uint32_t>>> volumes;
        for (const std::string& part : partitionsOf(diskDir)) {
            const auto partText = readAttribute(diskDir / part / "dev");
            const auto partDev = partText ? parseDevNumber(*partText) : std::nullopt;
            if (partDev) volumes.emplace_back(part, *partDev);
        }
        volumes.emplace_back(name, *dev);
        for (const auto& [volume, volumeDev] : volumes) {
            if (auto point = firstMountOf(*mounts, volumeDev)) {
                disk.volumeName = m_devPrefix + volume;
                disk.rootPath = std::move(*point);
                return disk;
            }
        }
        if (!unmounted) unmounted = std::move(disk);
    }
    return unmounted;
}

bool HidSysfs::isOwnDisk(const std::string& hidrawPath, const HidDiskInfo& disk) const {
    fs::path root(disk.rootPath);
    if (root.empty() || !root.is_absolute()) return false;
    root = withoutTrailingSeparator(root.lexically_normal());
    if (root == root.root_path() || isProtectedFolder(root)) return false;
    struct stat st {};
    if (::lstat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;

    // A later mount on the same point hides the earlier ones.
    const std::vector<Mount> mounts = readMounts(m_mountInfo);
    const Mount* top = nullptr;
    for (const Mount& m : mounts) {
        const fs::path point(m.point);
        if (point.is_absolute() && withoutTrailingSeparator(point.lexically_normal()) == root)
            top = &m;
    }
    // The folder must be that mount's top now, not a folder the mount has hidden.
    if (!top || !top->wholeFileSystem || major(st.st_dev) != top->dev.first ||
        minor(st.st_dev) != top->dev.second)
        return false;

    const auto diskDir = diskOfDevice(m_sysfsRoot, top->dev);
    if (!diskDir || readAttribute(*diskDir / "removable").value_or("") != "1") return false;
    std::error_code ec;
    const fs::path diskDevice = fs::canonical(*diskDir / "device", ec);
    if (ec) return false;
    const auto diskUsb = nearestUsbDevice(diskDevice, m_sysfsRoot);
    const auto hid = hidDeviceDir(hidrawPath);
    const auto hidUsb = hid ? nearestUsbDevice(*hid, m_sysfsRoot) : std::nullopt;
    return diskUsb && hidUsb && *diskUsb == *hidUsb;
}

}  // namespace platform
