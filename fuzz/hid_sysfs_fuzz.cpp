// Arbitrary text as what the system tells about signs: the mount table
// (/proc/self/mountinfo) read to find the sign's disk and its volume in a fake
// sysfs tree, and udev's notes (action, subsystem, node, HID_ID; the first four
// lines) read as a hot-plug event. A disk found is the sign's own with one of
// its volumes, a mount point is never empty, and a hot-plug event is only ever
// the arrival or removal of a hidraw node with the ids its HID_ID gives.
#include "FuzzFolder.h"
#include "platform/hidapi/HidHotplugParse.h"
#include "platform/hidapi/HidSysfs.h"

#include <sys/sysmacros.h>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

void link(const fs::path& target, const fs::path& at) {
    std::error_code ec;
    fs::create_directory_symlink(fs::relative(target, at.parent_path()), at, ec);
    if (ec) fuzzfolder::harnessFailure("cannot link " + at.string() + ": " + ec.message());
}

// The sign (USB device 1-1) with its hidraw node and a disk of two partitions,
// and another device's disk; made once.
const fs::path& fakeSysfs() {
    static const fs::path root = [] {
        const fs::path sys = fuzzfolder::folder() / "sys";
        const fs::path pci = sys / "devices/pci0000:00/0000:00:14.0";
        const auto usb = [](const fs::path& dir) {
            fuzzfolder::writeFile(dir / "idVendor", "0483\n");
            fuzzfolder::writeFile(dir / "busnum", "1\n");
            fuzzfolder::writeFile(dir / "devnum", "7\n");
            return dir;
        };
        const fs::path hub = usb(pci / "usb1");
        const fs::path sign = usb(hub / "1-1");
        const fs::path hid = sign / "1-1:1.0" / "0003:0483:5750.0001";
        fuzzfolder::writeFile(hid / "hidraw/hidraw0/dev", "243:0\n");
        fuzzfolder::writeFile(hid / "report_descriptor", "");
        fs::create_directories(sys / "class/hidraw");
        fs::create_directories(sys / "block");
        link(hid, hid / "hidraw/hidraw0/device");
        link(hid / "hidraw/hidraw0", sys / "class/hidraw/hidraw0");
        const auto disk = [&](const fs::path& parent, const std::string& name, int major) {
            const fs::path scsi = parent / "host6/target6:0:0/6:0:0:0";
            const fs::path dir = scsi / "block" / name;
            fuzzfolder::writeFile(dir / "dev", std::to_string(major) + ":16\n");
            fuzzfolder::writeFile(dir / "removable", "1\n");
            for (int p = 1; p <= 2; ++p) {
                const fs::path part = dir / (name + std::to_string(p));
                fuzzfolder::writeFile(part / "dev",
                                      std::to_string(major) + ":" + std::to_string(16 + p) + "\n");
                fuzzfolder::writeFile(part / "partition", std::to_string(p) + "\n");
            }
            link(scsi, dir / "device");
            link(dir, sys / "block" / name);
        };
        disk(sign / "1-1:1.1", "sdb", 4000);
        disk(usb(hub / "1-2") / "1-2:1.0", "sdc", 4001);
        return sys;
    }();
    return root;
}

std::vector<std::string> firstLines(std::string_view text, size_t count) {
    std::vector<std::string> lines;
    while (lines.size() < count && !text.empty()) {
        const size_t eol = text.find('\n');
        // udev's notes are C strings: each ends at its first NUL.
        const std::string_view line = text.substr(0, eol);
        lines.emplace_back(line.substr(0, line.find('\0')));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    }
    lines.resize(count);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzzfolder::bytesOf(data, size);
    const fs::path& sys = fakeSysfs();
    const fs::path mountInfo = fuzzfolder::folder() / "mountinfo";
    fuzzfolder::writeFile(mountInfo, text);

    const platform::HidSysfs sysfs(sys, "/dev/", mountInfo);
    const auto location = sysfs.usbLocation("/dev/hidraw0");
    if (location.containerId.empty() || location.portAddress != 1) std::abort();
    const auto disk = sysfs.findDisk(location.containerId);
    if (!disk || disk->diskPath != "/dev/sdb" || disk->diskNumber != makedev(4000, 16) ||
        !disk->removable)
        std::abort();
    if (!disk->volumeName.empty() && disk->volumeName != "/dev/sdb" &&
        disk->volumeName != "/dev/sdb1" && disk->volumeName != "/dev/sdb2")
        std::abort();
    if (disk->volumeName.empty() != disk->rootPath.empty()) std::abort();
    // Nothing in the fake tree is mounted for real: no mount point is the sign's.
    if (sysfs.isOwnDisk("/dev/hidraw0", *disk)) std::abort();

    const std::vector<std::string> notes = firstLines(text, 4);
    platform::UdevDeviceNote note;
    note.action = notes[0].c_str();
    note.subsystem = notes[1].c_str();
    note.devnode = notes[2].c_str();
    note.hidId = notes[3].c_str();
    const auto ids = platform::parseHidId(notes[3]);
    if (const auto event = platform::hotplugEventFromUdev(note)) {
        if (notes[1] != "hidraw" || event->path != notes[2] || event->path.empty()) std::abort();
        if (event->kind == platform::HidHotplugEvent::Kind::Arrived) {
            if (notes[0] != "add") std::abort();
            if (event->vendorId != (ids ? ids->vendorId : 0) ||
                event->productId != (ids ? ids->productId : 0))
                std::abort();
        } else if (notes[0] != "remove" || event->vendorId != 0 || event->productId != 0) {
            std::abort();
        }
    } else if (notes[1] == "hidraw" && !notes[2].empty() &&
               (notes[0] == "add" || notes[0] == "remove")) {
        std::abort();
    }
    return 0;
}
