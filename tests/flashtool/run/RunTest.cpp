#include "flashtool/run/Run.h"
#include "flashtool/run/TempFolder.h"

#include "RunTestSupport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <sstream>

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
namespace fs = std::filesystem;

// A 4 MB NOR board: code from 64 KiB, an 8 KiB zone.
using runtest::pattern;
const char* const boardDescription = runtest::kBoard;

class FileRun : public ::testing::Test {
protected:
    FileRun() {
        fs::create_directories(m_temp);
        writeFile(m_dir / "isd_tools.cfg", boardDescription);
        writeFile(m_dir / "uboot.boot", pattern(10000, 1));
        writeFile(m_dir / "app.app", pattern(5000, 2));
    }

    int run(std::vector<std::string> args) {
        m_out.str("");
        m_notice.str("");
        vornload::RunEnvironment env;
        env.out = &m_out;
        env.notice = &m_notice;
        env.currentFolder = m_dir.path().string();
        env.tempFolder = m_temp.string();
        env.pause = [](uint32_t) {};
        return vornload::runCommandLine(args, env);
    }

    void expectInOrder(const std::vector<std::string>& lines) const {
        runtest::expectInOrder(m_out.str(), lines);
    }

    bool tempHolds(const char* name) const { return fs::exists(m_temp / name); }

    TempDir m_dir;
    fs::path m_temp = m_dir / "tmp";
    std::ostringstream m_out;
    std::ostringstream m_notice;
};

TEST_F(FileRun, WithoutADeviceTheImageGoesToCvIsdBin) {
    EXPECT_EQ(run({"-f", "uboot.boot", "app.app"}), 0);
    // Boot at 512 … 10,511, zone at 12,288, find record at 20,480 (0x5000), user.app at
    // 20,992 (0x5200): 5,120 bytes of file and 512 of header, the record at 26,624 (0x6800),
    // its 108 bytes padded to 27,136.
    expectInOrder({"device offline\n", "output file name cv_isd.bin \r\n", "SPI nor flash online\n",
                   "device name :W25Q32\n", "device id: EF4016\n", "device block num: 64\n",
                   "device block size: 0x10000 Byte\n", "device capacity: 0x00400000 Byte\n",
                   "uboot_find_cfg_addr:5000\n", "app_file_addr:5200\n", "sys_cfg_file_addr:6800\n",
                   "file size = 27136\n", "cfg_zone_addr:3000\n", "real file size 27136\n",
                   "make flash image ok\n", "outfile name cv_isd.bin\n"});
    EXPECT_EQ(m_out.str().find("no_isd"), std::string::npos);
    const std::string image = readFile(m_dir / "cv_isd.bin");
    ASSERT_EQ(image.size(), 27136u);
    EXPECT_EQ(image, readFile(m_temp / "zImag.img"));
    EXPECT_EQ(image.substr(512, 10000), pattern(10000, 1));
    EXPECT_EQ(image.substr(12288, 8192), std::string(8192, '\xFF'));
    EXPECT_EQ(image.substr(20992, 5000), pattern(5000, 2));
    EXPECT_FALSE(fs::exists(m_dir / "no_isd_file"));
    // The pseudo-files lived only while the image was built.
    EXPECT_FALSE(fs::exists(m_dir / "_____.____1"));
    EXPECT_FALSE(fs::exists(m_dir / "_____.____2"));
}

TEST_F(FileRun, NamedOutputFilesAndTheirKinds) {
    writeFile(m_dir / "cv_isd.bin", "old");
    writeFile(m_dir / "no_isd_file", "old");
    EXPECT_EQ(run({"-f", "uboot.boot", "app.app", "-toflashfile", "out.bin"}), 0);
    EXPECT_EQ(m_out.str().find("device offline"), std::string::npos);
    expectInOrder({"SPI nor flash online\n", "make flash image ok\n", "outfile name out.bin\n"});
    EXPECT_EQ(readFile(m_dir / "out.bin"), readFile(m_temp / "zImag.img"));
    // A file run clears what an earlier run left for the window to find.
    EXPECT_FALSE(fs::exists(m_dir / "cv_isd.bin"));
    EXPECT_FALSE(fs::exists(m_dir / "no_isd_file"));

    EXPECT_EQ(run({"-tosdfile", "card.img", "-f", "uboot.boot", "app.app"}), 0);
    expectInOrder(
        {"SD online\n", "device block num: 64\n", "make SD image ok\n", "outfile name card.img\n"});
    EXPECT_EQ(fs::file_size(m_dir / "card.img"), 27136u);
}

TEST_F(FileRun, FailuresReportTheirCodeAndClearTheTemporaryFiles) {
    struct Case {
        const char* what;
        std::string description;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> lines;
    };
    const std::string tooSmall = std::string(boardDescription) + "";
    const std::vector<Case> cases = {
        {"an input that is not there",
         boardDescription,
         {"-f", "uboot.boot", "gone.app"},
         2,
         {"ERROR : gone.app not exist \r\n", "down err @ line 110 : 2-ISD_ERR_FILE_NOEXIST\n"}},
        {"an identifier the table lacks",
         "FLASH_DESCRIBE_BEGIN\nC22016,MX25L32,4M,1C\nFLASH_DESCRIBE_END\nFLASH_ID=EF4016\n",
         {"-f", "uboot.boot", "app.app"},
         5,
         {"WARNING : can't match flash type\n", "device id: ef4016\n",
          "down err @ line 120 : 5-ISD_ERR_DISK_MISMACH\n"}},
        {"an image larger than the flash",
         "FLASH_DESCRIBE_BEGIN\nEF4016,TINY,16K,0\nFLASH_DESCRIBE_END\nFLASH_ID=EF4016\n",
         {"-f", "uboot.boot", "app.app"},
         5,
         {"device capacity: 0x00004000 Byte\n", "flash file size(0x",
          "down err @ line 170 : 5-ISD_ERR_DISK_MISMACH\n"}},
        {"a name too long for the table",
         boardDescription,
         {"-f", "uboot.boot", "app.app", "application-long.app"},
         11,
         {"application-long.app", "down err @ line 150 : 11-ISD_ERR_FILE_NAME_TOO_LONG\n"}},
        {"a read without a chip",
         boardDescription,
         {"-read", "out.bin", "0x1000-1K"},
         4,
         {"output file name out.bin \r\n", "device offline\n",
          "down err @ line 200 : 4-ISD_ERR_DEV_OFFLINE\n"}},
        {"RAM downloads without a chip",
         boardDescription,
         {"-tosdram", "app.app", "0x8000"},
         4,
         {"device offline\n", "down err @ line 200 : 4-ISD_ERR_DEV_OFFLINE\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(m_dir / "isd_tools.cfg", c.description);
        writeFile(m_dir / "application-long.app", "x");
        writeFile(m_temp / "zImag.img.bak", "an earlier image");
        EXPECT_EQ(run(c.args), c.status);
        expectInOrder(c.lines);
        for (const char* name : {"zImag.img", "zImag.img.bak", "zImag.img.dump", "user.app"})
            EXPECT_FALSE(tempHolds(name)) << name;
        EXPECT_FALSE(fs::exists(m_dir / "cv_isd.bin"));
        // The bell goes with every code but 4 (device offline).
        EXPECT_EQ(m_out.str().back() == '\a', c.status != 4);
    }
}

TEST_F(FileRun, TheDescriptionFileDecidesFirst) {
    fs::remove(m_dir / "isd_tools.cfg");
    EXPECT_EQ(run({"-f", "uboot.boot", "app.app", "-w0"}), 6);
    // The alert mode is not known yet: the default bell, no notice.
    EXPECT_EQ(m_out.str().rfind("open ", 0), 0u);
    expectInOrder({"isd_tools.cfg\n", "down err @ line 100 : 6-ISD_ERR_OPEN_FILE_FAIL\n\a"});
    EXPECT_EQ(m_notice.str(), "");

    // A zone that reaches into the code is refused, and the run says so by its status.
    writeFile(m_dir / "isd_tools.cfg", "CODE_START_OFFSET=32K\nCFG_ZONE_SIZE=64K\n");
    EXPECT_EQ(run({"-f", "uboot.boot", "app.app"}), 1);
    expectInOrder({"ERROR:cfg_zone_size 0x(10000) >= g_code_start_offset 0x(8000)",
                   "open isd_tools cfg file fail\n", "down err @ line 100 : 1-ISD_ERR_ARG\n"});
    EXPECT_FALSE(fs::exists(m_dir / "cv_isd.bin"));

    // Alert mode 18 shows a notice once the arguments are read.
    writeFile(m_dir / "isd_tools.cfg", boardDescription);
    EXPECT_EQ(run({"-w0", "-toflashfile", "a-b.bin"}), 1);
    expectInOrder({"no outfile name\n", "down err @ line 110 : 1-ISD_ERR_ARG\n"});
    EXPECT_NE(m_out.str().back(), '\a');
    EXPECT_EQ(m_notice.str(), "vornload: down err @ line 110 : 1\n");
}

TEST_F(FileRun, OutputsAreNotWrittenThroughLinks) {
    writeFile(m_dir / "victim", "keep");
    fs::create_symlink(m_dir / "victim", m_dir / "out.bin");
    EXPECT_EQ(run({"-f", "uboot.boot", "app.app", "-toflashfile", "out.bin"}), 3);
    expectInOrder({"make flash image fail\n", "down err @ line 180 : 3-ISD_ERR_COPY_FILE\n"});
    EXPECT_EQ(readFile(m_dir / "victim"), "keep");
}

TEST_F(FileRun, NothingToDoEndsWell) {
    EXPECT_EQ(run({"-toflashfile", "out.bin", "-stray"}), 0);
    expectInOrder({"unkonw cmd -stray\n"});
    EXPECT_FALSE(fs::exists(m_dir / "out.bin"));
}

TEST(UserTempFolder, ThePrivateFolderIsOursAndReal) {
    TempDir shared;
    std::string error;
    const auto none = [](const char*) -> const char* { return nullptr; };
    const std::string own = "/vornload-" + std::to_string(::getuid());

    std::string folder = vornload::userTempFolder(none, error, shared.path().string());
    ASSERT_EQ(folder, shared.path().string() + own) << error;
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // It is kept: the next run finds the image it compares with.
    writeFile(fs::path(folder) / "zImag.img.bak", "previous");
    EXPECT_EQ(vornload::userTempFolder(none, error, shared.path().string()), folder);
    EXPECT_EQ(readFile(fs::path(folder) / "zImag.img.bak"), "previous");

    // Opened up by someone: made private again.
    ::chmod(folder.c_str(), 0777);
    EXPECT_EQ(vornload::userTempFolder(none, error, shared.path().string()), folder);
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A link planted in its place is refused, not followed.
    fs::remove_all(folder);
    fs::create_directory(shared / "elsewhere");
    fs::create_directory_symlink(shared / "elsewhere", folder);
    error.clear();
    EXPECT_EQ(vornload::userTempFolder(none, error, shared.path().string()), "");
    EXPECT_NE(error.find("not a folder of this user"), std::string::npos) << error;

    // The user's own choices come first, TMPDIR before XDG_RUNTIME_DIR.
    const std::string a = (shared / "elsewhere").string();
    const std::string b = shared.path().string();
    EXPECT_EQ(vornload::userTempFolder(
                  [&](const char* n) -> const char* {
                      return std::string(n) == "TMPDIR" ? a.c_str() : b.c_str();
                  },
                  error, "/nonexistent"),
              a);
    EXPECT_EQ(vornload::userTempFolder(
                  [&](const char* n) -> const char* {
                      return std::string(n) == "TMPDIR" ? "" : b.c_str();
                  },
                  error, "/nonexistent"),
              b);
}

}  // namespace
