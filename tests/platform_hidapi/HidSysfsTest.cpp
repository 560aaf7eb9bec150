#include "platform/hidapi/HidSysfs.h"
#include "platform/hidapi/HidapiBackend.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::writeFile;

// A sysfs tree laid out as the kernel does it: devices under their buses, and
// class/hidraw and block as links into them.
class FakeSysfs {
public:
    explicit FakeSysfs(const fs::path& root) : m_root(root) {
        m_pci = root / "devices/pci0000:00/0000:00:14.0";
        fs::create_directories(root / "class/hidraw");
        fs::create_directories(root / "block");
    }

    const fs::path& root() const { return m_root; }

    // A USB device (hub, root hub or function) below `parent`.
    fs::path usbDevice(const fs::path& parent, const std::string& name) {
        const fs::path dir = parent / name;
        fs::create_directories(dir);
        writeFile(dir / "idVendor", "0483\n");
        writeFile(dir / "busnum", "1\n");
        writeFile(dir / "devnum", "7\n");
        return dir;
    }
    fs::path rootHub(const std::string& name) { return usbDevice(m_pci, name); }

    // A HID function in `parent` (an interface folder) with its hidraw node.
    fs::path hidraw(const fs::path& parent, const std::string& node, const std::string& dev,
                    const std::string& descriptor = "") {
        const fs::path hid = parent / ("0003:0483:5750." + node);
        fs::create_directories(hid / "hidraw" / node);
        writeFile(hid / "report_descriptor", descriptor);
        writeFile(hid / "hidraw" / node / "dev", dev + "\n");
        link(hid, hid / "hidraw" / node / "device");
        link(hid / "hidraw" / node, m_root / "class/hidraw" / node);
        return hid;
    }

    // A SCSI disk in `parent` with partitions given as {name, dev, number}.
    void disk(const fs::path& parent, const std::string& name, const std::string& dev,
              const std::vector<std::vector<std::string>>& partitions = {}, bool removable = true) {
        const fs::path scsi = parent / "host6/target6:0:0/6:0:0:0";
        const fs::path dir = scsi / "block" / name;
        fs::create_directories(dir);
        writeFile(dir / "dev", dev + "\n");
        writeFile(dir / "removable", removable ? "1\n" : "0\n");
        for (const auto& p : partitions) {
            fs::create_directories(dir / p[0]);
            writeFile(dir / p[0] / "dev", p[1] + "\n");
            writeFile(dir / p[0] / "partition", p[2] + "\n");
        }
        link(scsi, dir / "device");
        link(dir, m_root / "block" / name);
    }

private:
    static void link(const fs::path& target, const fs::path& at) {
        fs::create_directory_symlink(fs::relative(target, at.parent_path()), at);
    }

    fs::path m_root;
    fs::path m_pci;
};

class Sysfs : public ::testing::Test {
protected:
    Sysfs() : m_fake(m_dir / "sys") {}

    platform::HidSysfs sysfs() const {
        return platform::HidSysfs(m_fake.root(), "/dev/", m_dir / "mountinfo");
    }
    void mountInfo(const std::string& text) { writeFile(m_dir / "mountinfo", text); }
    static std::string canonical(const fs::path& p) { return fs::canonical(p).string(); }

    testing_support::TempDir m_dir;
    FakeSysfs m_fake;
};

TEST_F(Sysfs, FindsTheUsbDeviceAndPortOfAHidrawNode) {
    const fs::path hub = m_fake.usbDevice(m_fake.rootHub("usb1"), "1-1");
    const fs::path sign = m_fake.usbDevice(hub, "1-1.3");
    m_fake.hidraw(sign / "1-1.3:1.0", "hidraw0", "243:0", std::string("\x06\x00\xFF", 3));
    const fs::path other = m_fake.usbDevice(m_fake.rootHub("usb2"), "2-4");
    m_fake.hidraw(other / "2-4:1.0", "hidraw1", "243:1");
    m_fake.hidraw(m_dir / "sys/devices/virtual/misc/uhid", "hidraw2", "243:2");
    // A udev link names the node only through its target.
    fs::create_directories(m_dir / "dev");
    writeFile(m_dir / "dev/hidraw0", "");
    fs::create_symlink("hidraw0", m_dir / "dev/sign");

    const auto s = sysfs();
    struct Expect {
        std::string path;
        std::string container;
        int32_t port;
    };
    for (const Expect& e : std::vector<Expect>{{"/dev/hidraw0", canonical(sign), 3},
                                               {(m_dir / "dev/sign").string(), canonical(sign), 3},
                                               {"/dev/hidraw1", canonical(other), 4},
                                               {"/dev/hidraw2", "", -1},
                                               {"/dev/hidraw9", "", -1},
                                               {"/dev/hidraw-does-not-exist", "", -1},
                                               {"", "", -1}}) {
        SCOPED_TRACE(e.path);
        const auto location = s.usbLocation(e.path);
        EXPECT_EQ(location.containerId, e.container);
        EXPECT_EQ(location.portAddress, e.port);
    }
    EXPECT_EQ(s.reportDescriptor("/dev/hidraw0"), (std::vector<uint8_t>{0x06, 0x00, 0xFF}));
    EXPECT_EQ(s.reportDescriptor("/dev/hidraw2"), std::vector<uint8_t>{});
    EXPECT_FALSE(s.reportDescriptor("/dev/hidraw9").has_value());
}

class PortName : public Sysfs,
                 public ::testing::WithParamInterface<std::pair<const char*, int32_t>> {};

TEST_P(PortName, IsTheLastNumberOfTheDeviceName) {
    const fs::path device = m_fake.usbDevice(m_fake.rootHub("usb3"), GetParam().first);
    m_fake.hidraw(device / "if0", "hidraw5", "243:5");
    const auto location = sysfs().usbLocation("/dev/hidraw5");
    EXPECT_EQ(location.containerId, canonical(device));
    EXPECT_EQ(location.portAddress, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Names, PortName,
                         ::testing::Values(std::pair{"1-1.3", 3}, std::pair{"2-4", 4},
                                           std::pair{"3-1.2.15", 15}, std::pair{"usb9", -1},
                                           std::pair{"3-1.x", -1}, std::pair{"3-", -1},
                                           std::pair{"3-99999999999", -1}));

TEST_F(Sysfs, FindsTheDiskOfTheSameUsbDeviceAndItsMountedVolume) {
    const fs::path hub = m_fake.usbDevice(m_fake.rootHub("usb1"), "1-1");
    const fs::path sign = m_fake.usbDevice(hub, "1-1.3");
    m_fake.hidraw(sign / "1-1.3:1.0", "hidraw0", "243:0");
    m_fake.disk(sign / "1-1.3:1.1", "sdb", "8:16", {{"sdb1", "8:17", "1"}});
    // Another device whose name starts like the sign's, with a mounted disk.
    const fs::path stick = m_fake.usbDevice(hub, "1-1.31");
    m_fake.disk(stick / "1-1.31:1.0", "sdc", "8:32", {{"sdc1", "8:33", "1"}});
    mountInfo(
        "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
        "90 22 8:33 / /media/u/STICK rw - vfat /dev/sdc1 rw\n"
        "91 22 8:17 /sub /srv/bound rw - vfat /dev/sdb1 rw\n"
        "92 22 8:17 / /media/u/SIGN\\040DISK rw,nosuid - vfat /dev/sdb1 rw\n"
        "93 22 8:17 / /mnt/again rw - vfat /dev/sdb1 rw\n");

    const auto disk = platform::HidapiBackend(m_fake.root(), "/dev/", m_dir / "mountinfo")
                          .findDisk(sysfs().usbLocation("/dev/hidraw0").containerId);
    ASSERT_TRUE(disk.has_value());
    EXPECT_EQ(disk->diskPath, "/dev/sdb");
    EXPECT_EQ(disk->diskNumber, 0x810u);  // makedev(8, 16)
    EXPECT_TRUE(disk->removable);
    EXPECT_EQ(disk->volumeName, "/dev/sdb1");
    EXPECT_EQ(disk->rootPath, "/media/u/SIGN DISK");

    EXPECT_FALSE(sysfs().findDisk(canonical(hub / "1-1.3/1-1.3:1.0")).has_value());
    EXPECT_FALSE(sysfs().findDisk("").has_value());
    EXPECT_FALSE(sysfs().findDisk((m_dir / "nowhere").string()).has_value());
}

TEST_F(Sysfs, ADeviceWithoutDiskOrWithAnUnmountedOne) {
    const fs::path hub = m_fake.rootHub("usb2");
    const fs::path plain = m_fake.usbDevice(hub, "2-1");
    const fs::path sign = m_fake.usbDevice(hub, "2-4");
    m_fake.disk(sign / "2-4:1.1", "sdd", "8:48", {{"sdd1", "8:49", "1"}}, false);
    m_fake.disk(m_fake.usbDevice(hub, "2-10") / "2-10:1.0", "sde", "8:64");
    mountInfo("90 22 8:64 / /media/u/OTHER rw - vfat /dev/sde rw\n");

    EXPECT_FALSE(sysfs().findDisk(canonical(plain)).has_value());
    const auto disk = sysfs().findDisk(canonical(sign));
    ASSERT_TRUE(disk.has_value());
    EXPECT_EQ(disk->diskPath, "/dev/sdd");
    EXPECT_EQ(disk->diskNumber, 0x830u);
    EXPECT_FALSE(disk->removable);
    EXPECT_EQ(disk->volumeName, "");
    EXPECT_EQ(disk->rootPath, "");
}

TEST_F(Sysfs, TakesTheFirstMountedPartitionOrTheWholeDisk) {
    const fs::path hub = m_fake.rootHub("usb1");
    const fs::path a = m_fake.usbDevice(hub, "1-1");
    // Listed out of order: partition 1 is mmcblk0p1, partition 2 mmcblk0p2.
    m_fake.disk(
        a / "1-1:1.0", "mmcblk0", "179:0",
        {{"mmcblk0p2", "179:2", "2"}, {"mmcblk0p10", "179:10", "10"}, {"mmcblk0p1", "179:1", "1"}});
    const fs::path b = m_fake.usbDevice(hub, "1-2");
    m_fake.disk(b / "1-2:1.0", "sdf", "8:80");
    const fs::path c = m_fake.usbDevice(hub, "1-3");
    m_fake.disk(c / "1-3:1.0", "sdg", "garbage", {{"sdg1", "8:97", "1"}});
    mountInfo(
        "garbage line\n"
        "80 22 x:y / /broken rw - vfat /dev/x rw\n"
        "81 22 179:10 / /media/ten rw - vfat /dev/mmcblk0p10 rw\n"
        "82 22 179:2 / /media/two rw - vfat /dev/mmcblk0p2 rw\n"
        "83 22 8:80 / /mnt/tab\\011back\\134slash\\04 rw - vfat /dev/sdf rw\n"
        "84 22 8:97 / /media/g rw - vfat /dev/sdg1 rw");

    const auto first = sysfs().findDisk(canonical(a));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->diskNumber, (179u << 8) | 0u);
    EXPECT_EQ(first->volumeName, "/dev/mmcblk0p2");
    EXPECT_EQ(first->rootPath, "/media/two");
    const auto whole = sysfs().findDisk(canonical(b));
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->volumeName, "/dev/sdf");
    EXPECT_EQ(whole->rootPath, "/mnt/tab\tback\\slash\\04");
    // A disk whose device number cannot be read is not offered.
    EXPECT_FALSE(sysfs().findDisk(canonical(c)).has_value());
}

TEST_F(Sysfs, OnlyHidrawCharacterDevicesAreNodes) {
    writeFile(m_dir / "hidraw0", "");
    const fs::path sign = m_fake.usbDevice(m_fake.rootHub("usb1"), "1-1");
    m_fake.hidraw(sign / "1-1:1.0", "hidraw0", "243:0");
    const auto s = sysfs();
    EXPECT_FALSE(s.isHidrawNode((m_dir / "hidraw0").string()));
    EXPECT_FALSE(s.isHidrawNode("/dev/null"));
    EXPECT_FALSE(s.isHidrawNode(m_dir.path().string()));
    EXPECT_FALSE(s.isHidrawNode(""));
}

struct OwnDiskCase {
    const char* name;
    const char* owner;  // the USB device the disk sits under: "sign" or "other"
    bool removable;
    bool partitioned;       // the volume is partition sdb1 rather than the whole of sdb
    const char* volumeDev;  // its device number; $DEV is the real folder's
    std::string mounts;     // mountinfo; $MNT is the real folder, $DEV its device number
    std::string rootPath;   // as findDisk would report it
    std::string home;       // HOME while checking; empty: left alone
    const char* hidraw;
    bool own;
};

void PrintTo(const OwnDiskCase& c, std::ostream* os) {
    *os << c.name;
}

class OwnDisk : public Sysfs, public ::testing::WithParamInterface<OwnDiskCase> {
protected:
    static std::string expand(std::string text, const std::string& mnt, const std::string& dev) {
        for (const auto& [key, value] : {std::pair{"$MNT", mnt}, std::pair{"$DEV", dev}}) {
            for (size_t at = text.find(key); at != std::string::npos;
                 at = text.find(key, at + value.size()))
                text.replace(at, std::string(key).size(), value);
        }
        return text;
    }
};

// The folder is real, so that its device number can be compared with the
// mount's; the fake block device takes that number.
TEST_P(OwnDisk, OnlyTheMountPointOfTheSignsOwnRemovableDisk) {
    const OwnDiskCase& c = GetParam();
    const fs::path mnt = m_dir / "media/SIGN";
    fs::create_directories(mnt / "sub");
    struct stat st {};
    ASSERT_EQ(::stat(mnt.c_str(), &st), 0);
    const std::string dev =
        std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));

    const fs::path hub = m_fake.rootHub("usb1");
    const fs::path sign = m_fake.usbDevice(hub, "1-3");
    m_fake.hidraw(sign / "1-3:1.0", "hidraw0", "243:0");
    const fs::path other = m_fake.usbDevice(hub, "1-4");
    m_fake.hidraw(other / "1-4:1.0", "hidraw1", "243:1");
    const fs::path owner = std::string(c.owner) == "sign" ? sign : other;
    const std::string volumeDev = expand(c.volumeDev, "", dev);
    if (c.partitioned)
        m_fake.disk(owner / "if1", "sdb", "8:16", {{"sdb1", volumeDev, "1"}}, c.removable);
    else
        m_fake.disk(owner / "if1", "sdb", volumeDev, {}, c.removable);
    mountInfo(expand(c.mounts, mnt.string(), dev));

    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    if (!c.home.empty()) ::setenv("HOME", expand(c.home, mnt.string(), dev).c_str(), 1);
    platform::HidDiskInfo disk;
    disk.diskPath = "/dev/sdb";
    disk.removable = true;
    disk.rootPath = expand(c.rootPath, mnt.string(), dev);
    EXPECT_EQ(sysfs().isOwnDisk(c.hidraw, disk), c.own);
    EXPECT_EQ(platform::HidapiBackend(m_fake.root(), "/dev/", m_dir / "mountinfo")
                  .isOwnDisk(c.hidraw, disk),
              c.own);
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

const std::string kRootFs = "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n";
const std::string kMounted = kRootFs + "90 22 $DEV / $MNT rw,nosuid - vfat /dev/sdb1 rw\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, OwnDisk,
    ::testing::Values(OwnDiskCase{"Partition", "sign", true, true, "$DEV", kMounted, "$MNT", "",
                                  "/dev/hidraw0", true},
                      OwnDiskCase{"TrailingSeparator", "sign", true, true, "$DEV", kMounted,
                                  "$MNT/", "", "/dev/hidraw0", true},
                      OwnDiskCase{"FolderBelowTheMount", "sign", true, true, "$DEV", kMounted,
                                  "$MNT/sub", "", "/dev/hidraw0", false},
                      OwnDiskCase{"NotMounted", "sign", true, true, "$DEV", kRootFs, "$MNT", "",
                                  "/dev/hidraw0", false},
                      OwnDiskCase{"FileSystemRoot", "sign", true, true, "$DEV",
                                  "22 1 $DEV / / rw - vfat /dev/sdb1 rw\n", "/", "", "/dev/hidraw0",
                                  false},
                      OwnDiskCase{"HomeFolder", "sign", true, true, "$DEV", kMounted, "$MNT",
                                  "$MNT", "/dev/hidraw0", false},
                      OwnDiskCase{"HoldsTheHomeFolder", "sign", true, true, "$DEV", kMounted,
                                  "$MNT", "$MNT/sub", "/dev/hidraw0", false},
                      OwnDiskCase{"DiskOfAnotherDevice", "other", true, true, "$DEV", kMounted,
                                  "$MNT", "", "/dev/hidraw0", false},
                      OwnDiskCase{"ThatDevicesOwnDisk", "other", true, true, "$DEV", kMounted,
                                  "$MNT", "", "/dev/hidraw1", true},
                      OwnDiskCase{"NotRemovable", "sign", false, true, "$DEV", kMounted, "$MNT", "",
                                  "/dev/hidraw0", false},
                      OwnDiskCase{"BindOfAFolder", "sign", true, true, "$DEV",
                                  kRootFs + "90 22 $DEV /sub $MNT rw - vfat /dev/sdb1 rw\n", "$MNT",
                                  "", "/dev/hidraw0", false},
                      OwnDiskCase{"HiddenByALaterMount", "sign", true, true, "$DEV",
                                  kMounted + "91 90 0:99 / $MNT rw - tmpfs tmpfs rw\n", "$MNT", "",
                                  "/dev/hidraw0", false},
                      OwnDiskCase{"MountedElsewhereNow", "sign", true, true, "8:17",
                                  kRootFs + "90 22 8:17 / $MNT rw - vfat /dev/sdb1 rw\n", "$MNT",
                                  "", "/dev/hidraw0", false}),
    [](const ::testing::TestParamInfo<OwnDiskCase>& p) { return std::string(p.param.name); });

}  // namespace
