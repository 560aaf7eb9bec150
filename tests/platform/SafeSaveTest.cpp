#include "platform/SafeSave.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

class SafeSave : public ::testing::Test {
protected:
    static std::string read(const fs::path& p) { return testing_support::readFile(p); }
    size_t entries() const {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator(m_dir.path()), fs::directory_iterator()));
    }
    static mode_t modeOf(const fs::path& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    }

    testing_support::TempDir m_dir;
};

TEST_F(SafeSave, WritesANewFileWithTheUmaskApplied) {
    const mode_t old = ::umask(022);
    const fs::path target = m_dir / "a.xml";
    const std::string bytes("x\0y\r\n", 5);
    EXPECT_TRUE(platform::saveFileSafely(target, bytes));
    ::umask(old);
    EXPECT_EQ(read(target), bytes);
    EXPECT_EQ(modeOf(target), mode_t{0644});
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SafeSave, ReplacesAnExistingFileAndKeepsItsMode) {
    const fs::path target = m_dir / "a.xml";
    std::ofstream(target) << "old and longer contents";
    ::chmod(target.c_str(), 0600);
    EXPECT_TRUE(platform::saveFileSafely(target, "new"));
    EXPECT_EQ(read(target), "new");
    EXPECT_EQ(modeOf(target), mode_t{0600});
    EXPECT_TRUE(platform::saveFileSafely(target, ""));
    EXPECT_EQ(read(target), "");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SafeSave, WritesThroughASymbolicLink) {
    fs::create_directories(m_dir / "real");
    const fs::path real = m_dir / "real" / "file.xml";
    std::ofstream(real) << "old";
    const fs::path link = m_dir / "link.xml";
    fs::create_symlink("real/file.xml", link);
    EXPECT_TRUE(platform::saveFileSafely(link, "through"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read(real), "through");
}

TEST_F(SafeSave, RefusesWhatCannotBeWritten) {
    std::string error;
    EXPECT_FALSE(platform::saveFileSafely(m_dir / "missing" / "a.xml", "x", &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(platform::saveFileSafely(m_dir.path(), "x", &error));
    EXPECT_FALSE(platform::saveFileSafely("", "x", &error));
    EXPECT_EQ(entries(), 0u);
}

// Anyone can put a link into a shared folder such as /tmp: a link that another
// user owns, or one that leads to another user's file, is never written through.
TEST_F(SafeSave, RefusesLinksPlantedByOthers) {
    const bool root = ::geteuid() == 0;
    const uid_t other = 65534;
    const fs::path mine = m_dir / "mine.xml";
    std::ofstream(mine) << "mine";

    // A link of another user to a file of ours.
    const fs::path planted = m_dir / "planted.xml";
    fs::create_symlink(mine, planted);
    if (root) {
        ASSERT_EQ(::lchown(planted.c_str(), other, other), 0);
        std::string error;
        EXPECT_FALSE(platform::saveFileSafely(planted, "evil", &error));
        EXPECT_NE(error.find("another user"), std::string::npos) << error;
        EXPECT_EQ(read(mine), "mine");
        EXPECT_TRUE(fs::is_symlink(planted));
    }

    // Our own link to another user's file.
    fs::path theirs = "/etc/passwd";
    if (root) {
        theirs = m_dir / "theirs.xml";
        std::ofstream(theirs) << "theirs";
        ASSERT_EQ(::chown(theirs.c_str(), other, other), 0);
    }
    const std::string before = read(theirs);
    const fs::path toTheirs = m_dir / "to-theirs.xml";
    fs::create_symlink(theirs, toTheirs);
    std::string error;
    EXPECT_FALSE(platform::saveFileSafely(toTheirs, "evil", &error));
    EXPECT_NE(error.find("another user"), std::string::npos) << error;
    EXPECT_EQ(read(theirs), before);

    // Our own dangling link is followed: the file it names is ours to make.
    const fs::path dangling = m_dir / "dangling.xml";
    fs::create_symlink("made.xml", dangling);
    EXPECT_TRUE(platform::saveFileSafely(dangling, "new"));
    EXPECT_EQ(read(m_dir / "made.xml"), "new");
}

TEST_F(SafeSave, KeepsTheNewestDamagedCopy) {
    const fs::path file = m_dir / "imageconfig.xml";
    const fs::path copy = m_dir / "imageconfig.xml.damaged";
    EXPECT_TRUE(platform::keepDamagedCopy(file));  // nothing there: nothing to keep
    EXPECT_FALSE(fs::exists(copy));
    std::ofstream(file) << "<root><imageFlag>0";
    EXPECT_TRUE(platform::keepDamagedCopy(file));
    EXPECT_EQ(read(copy), "<root><imageFlag>0");
    std::ofstream(file) << "second";
    EXPECT_TRUE(platform::keepDamagedCopy(file));
    EXPECT_EQ(read(copy), "second");  // the newest only
    // What cannot be read cannot be kept: the caller must leave the file alone.
    std::string error;
    EXPECT_FALSE(platform::keepDamagedCopy(m_dir.path(), &error));
    EXPECT_FALSE(error.empty());
}

// A write that fails half-way (here: the file size limit, which holds even for
// root) leaves the old file untouched and no temporary file behind.
TEST_F(SafeSave, FailedWriteKeepsTheOldFile) {
    const fs::path target = m_dir / "keep.xml";
    std::ofstream(target) << "precious";
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit oldLimit {};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    struct rlimit small = oldLimit;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);

    std::string error;
    const bool saved = platform::saveFileSafely(target, std::string(100000, 'x'), &error);

    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(read(target), "precious");
    EXPECT_EQ(entries(), 1u);
}

}  // namespace
