#include "flashtool/linux/SysfsDiskSource.h"

#include "flashtool/linux/SgTarget.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::writeFile;

const std::string usbHost = "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0";
const std::string ataHost = "devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0";

// A sysfs and a dev folder laid out like the kernel's: /sys/block/NAME links to the block
// device below its SCSI device, whose `device` link leads back up. The tree sits below a folder
// named "usb1" so that only the part inside sysfs may decide what is on the USB bus.
class FakeSystem {
public:
    FakeSystem() : m_sys(m_dir / "usb1" / "sys"), m_dev(m_dir / "usb1" / "dev") {
        fs::create_directories(m_sys / "block");
        fs::create_directories(m_dev);
    }

    struct Disk {
        std::string name;
        bool usb = true;
        const char* removable = "1\n";  // null: no such file
        std::string vendor = "Generic \n";
        std::string model = "Flash Disk      \n";
    };

    // Returns the SCSI device folder of the new disk.
    fs::path addDisk(const Disk& d) {
        const std::string device =
            (d.usb ? usbHost : ataHost) + "/6:0:0:" + std::to_string(m_next++);
        const fs::path deviceDir = m_sys / device;
        const fs::path blockDir = deviceDir / "block" / d.name;
        fs::create_directories(blockDir);
        fs::create_directory_symlink("../" + device + "/block/" + d.name, m_sys / "block" / d.name);
        fs::create_directory_symlink("../..", blockDir / "device");
        if (d.removable) writeFile(blockDir / "removable", d.removable);
        writeFile(deviceDir / "vendor", d.vendor);
        writeFile(deviceDir / "model", d.model);
        return deviceDir;
    }

    // The disk's generic node in sysfs with the device number text `dev`.
    void addGeneric(const fs::path& deviceDir, const std::string& node, const std::string& dev) {
        writeFile(deviceDir / "scsi_generic" / node / "dev", dev);
    }

    vornload::SysfsDiskSource source() const {
        return vornload::SysfsDiskSource(m_sys.string(), m_dev.string());
    }

    const fs::path& sys() const { return m_sys; }
    const fs::path& dev() const { return m_dev; }
    const fs::path& root() const { return m_dir.path(); }

private:
    testing_support::TempDir m_dir;
    fs::path m_sys;
    fs::path m_dev;
    int m_next = 0;
};

std::vector<std::string> names(const std::vector<vornload::DiskInfo>& disks) {
    std::vector<std::string> out;
    for (const auto& d : disks)
        out.push_back(d.name);
    return out;
}

std::string numberOf(const fs::path& charDevice) {
    struct stat st {};
    EXPECT_EQ(::stat(charDevice.c_str(), &st), 0);
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)) + "\n";
}

TEST(SysfsDiskSource, ListsOnlyRemovableUsbDisksInNameOrder) {
    FakeSystem sys;
    sys.addDisk({.name = "sdc"});
    sys.addDisk({.name = "sda", .usb = false, .removable = "0\n"});
    sys.addDisk({.name = "sdb"});
    sys.addDisk({.name = "sdd", .removable = "0\n"});        // a USB hard disk
    sys.addDisk({.name = "sde", .usb = false});              // an internal card reader
    sys.addDisk({.name = "sdf", .removable = nullptr});      // no removable flag at all
    sys.addDisk({.name = "sdg", .removable = "1 extra\n"});  // not the flag we know
    sys.addDisk({.name = "sdz"});
    sys.addDisk({.name = "sdaa"});
    // A link that leaves sysfs for a USB-looking path outside it does not count.
    fs::create_directories(sys.root() / "elsewhere/usb3/3-1/host9/target9:0:0/9:0:0:0");
    fs::create_directories(sys.sys() / "block" / "sdh");
    writeFile(sys.sys() / "block/sdh/removable", "1\n");
    fs::create_directory_symlink(sys.root() / "elsewhere/usb3/3-1/host9/target9:0:0/9:0:0:0",
                                 sys.sys() / "block/sdh/device");
    // A removable disk without a device link (a RAM disk, say).
    fs::create_directories(sys.sys() / "block" / "ram0");
    writeFile(sys.sys() / "block/ram0/removable", "1\n");

    const auto disks = sys.source().list();
    EXPECT_EQ(names(disks), (std::vector<std::string>{"sdaa", "sdb", "sdc", "sdz"}));
}

TEST(SysfsDiskSource, ReadsVendorAndModelAsReportedWithoutTheNewline) {
    FakeSystem sys;
    sys.addDisk({.name = "sdb", .vendor = "tz43    \n", .model = "uboot1.00       \n"});
    sys.addDisk({.name = "sdc", .vendor = "QK500", .model = " uboot2.00\n\n"});
    sys.addDisk({.name = "sdd", .vendor = std::string(300, 'x') + "\n", .model = "\n"});

    const auto disks = sys.source().list();
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[0].vendor, "tz43    ");
    EXPECT_EQ(disks[0].product, "uboot1.00       ");
    EXPECT_EQ(disks[1].vendor, "QK500");
    EXPECT_EQ(disks[1].product, " uboot2.00\n");
    // An attribute longer than any the kernel writes is not taken, but the disk is still there.
    EXPECT_EQ(disks[2].name, "sdd");
    EXPECT_EQ(disks[2].vendor, "");
    EXPECT_EQ(disks[2].product, "");
}

TEST(SysfsDiskSource, MissingTreesListNothing) {
    testing_support::TempDir dir;
    EXPECT_TRUE(vornload::SysfsDiskSource((dir / "none").string(), "/dev").list().empty());
    fs::create_directories(dir / "sys");  // no block folder
    EXPECT_TRUE(vornload::SysfsDiskSource((dir / "sys").string(), "/dev").list().empty());
}

TEST(SysfsDiskSource, FindsTheGenericNodeAmongOtherEntries) {
    FakeSystem sys;
    const fs::path dev = sys.addDisk({.name = "sdb"});
    fs::create_directories(dev / "scsi_generic" / "sgx");
    fs::create_directories(dev / "scsi_generic" / "sg");
    fs::create_directories(dev / "scsi_generic" / ".sg1");
    sys.addGeneric(dev, "sg12", "21:12\n");

    int error = -1;
    EXPECT_EQ(sys.source().genericNodeName("sdb", error), "sg12");
    EXPECT_EQ(error, 0);
}

TEST(SysfsDiskSource, OpensTheGenericNodeWhenItIsThatDevice) {
    FakeSystem sys;
    const fs::path dev = sys.addDisk({.name = "sdb"});
    // /dev/null stands in for the sg node: a character device every machine has.
    sys.addGeneric(dev, "sg2", numberOf("/dev/null"));
    fs::create_symlink("/dev/null", sys.dev() / "sg2");

    auto source = sys.source();
    const auto disks = source.list();
    ASSERT_EQ(disks.size(), 1u);
    int error = -1;
    auto target = source.open(disks[0], error);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(error, 0);
    // The request reached the opened file: /dev/null knows no SG_IO.
    vornload::CommandBlock command{0xFC, 0x0A};
    uint8_t response[16] = {};
    EXPECT_EQ(target->execute(command, vornload::DataDirection::in, response, sizeof response,
                              vornload::scsiTimeoutMs),
              ENOTTY);
}

struct OpenFailure {
    const char* what;
    const char* disk;
    const char* sysfsDev;  // null: no scsi_generic entry at all
    enum { none, regularFile, devNull } node;
    bool sameNumber;  // sysfs names /dev/null's number
    int error;
};

class SysfsDiskSourceOpen : public testing::TestWithParam<OpenFailure> {};

TEST_P(SysfsDiskSourceOpen, FailsCleanly) {
    const OpenFailure& c = GetParam();
    FakeSystem sys;
    const fs::path dev = sys.addDisk({.name = "sdb"});
    if (c.sysfsDev) sys.addGeneric(dev, "sg2", c.sameNumber ? numberOf("/dev/null") : c.sysfsDev);
    if (c.node == OpenFailure::regularFile) writeFile(sys.dev() / "sg2", "not a device");
    if (c.node == OpenFailure::devNull) fs::create_symlink("/dev/null", sys.dev() / "sg2");

    int error = 0;
    auto target = sys.source().open({c.disk, "Generic ", "Flash Disk      "}, error);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SysfsDiskSourceOpen,
    testing::Values(
        OpenFailure{"NoGenericNode", "sdb", nullptr, OpenFailure::devNull, false, ENOENT},
        OpenFailure{"UnknownDisk", "sdq", "21:2\n", OpenFailure::devNull, true, ENOENT},
        OpenFailure{"NodeMissingInDev", "sdb", "21:2\n", OpenFailure::none, false, ENOENT},
        OpenFailure{"NodeIsARegularFile", "sdb", "21:2\n", OpenFailure::regularFile, false, ENODEV},
        OpenFailure{"NodeIsAnotherDevice", "sdb", "21:2\n", OpenFailure::devNull, false, ENODEV},
        OpenFailure{"DeviceNumberUnreadable", "sdb", "21\n", OpenFailure::devNull, false, ENODEV},
        OpenFailure{"NameLeavesTheTree", "../sdb", "21:2\n", OpenFailure::devNull, true, EINVAL},
        OpenFailure{"NameWithSlash", "sdb/device", "21:2\n", OpenFailure::devNull, true, EINVAL},
        OpenFailure{"EmptyName", "", "21:2\n", OpenFailure::devNull, true, EINVAL}),
    [](const auto& p) { return std::string(p.param.what); });

TEST(SysfsDiskSource, PassesOnARefusedOpen) {
    if (::geteuid() == 0) GTEST_SKIP() << "root opens every file";
    FakeSystem sys;
    const fs::path dev = sys.addDisk({.name = "sdb"});
    sys.addGeneric(dev, "sg2", "21:2\n");
    writeFile(sys.dev() / "sg2", "");
    fs::permissions(sys.dev() / "sg2", fs::perms::none);

    int error = 0;
    EXPECT_EQ(sys.source().open({"sdb", "", ""}, error), nullptr);
    EXPECT_EQ(error, EACCES);
}

// Whatever this machine has attached: nothing listed may be a fixed disk.
TEST(SysfsDiskSource, TheRealSystemListsOnlyRemovableDisks) {
    vornload::SysfsDiskSource source;
    const auto disks = source.list();
    EXPECT_TRUE(std::is_sorted(disks.begin(), disks.end(),
                               [](const auto& a, const auto& b) { return a.name < b.name; }));
    for (const auto& d : disks) {
        SCOPED_TRACE(d.name);
        EXPECT_EQ(testing_support::readFile("/sys/block/" + d.name + "/removable"), "1\n");
    }
}

}  // namespace
