#include "platform/FileCopy.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;
using Calls = std::vector<std::pair<uint64_t, uint64_t>>;

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return bytes;
}

bool isThere(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

bool isEmptyFolder(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(p, ec)) && fs::is_empty(p, ec) && !ec;
}

// Collects what went wrong in a scenario that may run in a child process.
struct Failures {
    std::string text;
    void expect(bool ok, const std::string& what) {
        if (!ok) text += what + "\n";
    }
};

// Permissions mean nothing to root, so as root the scenario runs in a child
// that has become nobody, in `dir` handed over to it. The scenario returns its
// failures; empty when all went as expected.
[[noreturn]] void runAsNobody(const fs::path& dir, const std::function<std::string()>& scenario) {
    constexpr uid_t kNobody = 65534;
    if (::chown(dir.c_str(), kNobody, kNobody) != 0 || ::setgroups(0, nullptr) != 0 ||
        ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        std::fputs("could not become nobody\n", stderr);
        std::_Exit(2);
    }
    const std::string failures = scenario();
    std::fputs(failures.c_str(), stderr);
    std::_Exit(failures.empty() ? 0 : 1);
}

void unprivileged(const fs::path& dir, const std::function<std::string()>& scenario) {
    if (::geteuid() != 0) {
        EXPECT_EQ(scenario(), "");
        return;
    }
    EXPECT_EXIT(runAsNobody(dir, scenario), ::testing::ExitedWithCode(0), "");
}

class FileCopy : public ::testing::Test {
protected:
    bool copy(const fs::path& from, const fs::path& to, std::string* error = nullptr,
              std::function<bool(uint64_t, uint64_t)> onProgress = {}) {
        return platform::copyFile(
            from, to, &m_cancel,
            [&](uint64_t copied, uint64_t total) {
                m_calls.emplace_back(copied, total);
                return onProgress ? onProgress(copied, total) : true;
            },
            error);
    }

    testing_support::TempDir m_dir;
    std::atomic<bool> m_cancel{false};
    Calls m_calls;
};

TEST_F(FileCopy, ReportsProgressAfterEveryChunk) {
    struct Case {
        size_t size;
        Calls calls;
    };
    const std::vector<Case> cases{
        {0, {{0, 0}}},
        {65536, {{0, 65536}, {65536, 65536}}},
        {2 * 65536 + 1000, {{0, 132072}, {65536, 132072}, {131072, 132072}, {132072, 132072}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        m_calls.clear();
        const std::string bytes = pattern(c.size);
        const fs::path from = writeFile(m_dir / ("src" + std::to_string(c.size)), bytes);
        const fs::path to = m_dir / ("dst" + std::to_string(c.size));
        std::string error;
        EXPECT_TRUE(copy(from, to, &error)) << error;
        EXPECT_EQ(m_calls, c.calls);
        EXPECT_EQ(readFile(to), bytes);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(to)));
    }
    // Neither a progress callback nor a cancel flag is needed.
    const fs::path from = writeFile(m_dir / "plain", "abc");
    EXPECT_TRUE(platform::copyFile(from, m_dir / "plain.copy", nullptr, {}, nullptr));
    EXPECT_EQ(readFile(m_dir / "plain.copy"), "abc");
}

TEST_F(FileCopy, NeverReplacesWhatIsAtTheTarget) {
    const fs::path from = writeFile(m_dir / "src", pattern(70000));
    const fs::path outside = writeFile(m_dir / "outside/keep.txt", "keep");

    const fs::path existing = writeFile(m_dir / "existing", "precious");
    const fs::path link = m_dir / "link";
    fs::create_symlink(outside, link);
    const fs::path dangling = m_dir / "dangling";
    fs::create_symlink(m_dir / "outside/made.txt", dangling);
    for (const fs::path& to : {existing, link, dangling}) {
        SCOPED_TRACE(to);
        m_calls.clear();
        std::string error;
        EXPECT_FALSE(copy(from, to, &error));
        EXPECT_NE(error.find("File exists"), std::string::npos) << error;
        EXPECT_TRUE(m_calls.empty());
    }
    EXPECT_EQ(readFile(existing), "precious");
    EXPECT_EQ(readFile(outside), "keep");
    EXPECT_EQ(fs::read_symlink(link), outside);
    EXPECT_EQ(fs::read_symlink(dangling), m_dir / "outside/made.txt");
    EXPECT_FALSE(isThere(m_dir / "outside/made.txt"));
}

TEST_F(FileCopy, CancelLeavesNoPartialTarget) {
    const fs::path from = writeFile(m_dir / "src", pattern(2 * 65536 + 1000));
    struct Case {
        const char* name;
        bool flagBefore;
        uint64_t stopAt;  // progress value at which to stop
        bool byFlag;      // set the flag there, rather than answer false
        Calls calls;
    };
    const std::vector<Case> cases{
        {"flag before the start", true, 0, true, {}},
        {"flag after the first chunk", false, 65536, true, {{0, 132072}, {65536, 132072}}},
        {"false after the first chunk", false, 65536, false, {{0, 132072}, {65536, 132072}}},
        {"flag after the last chunk",
         false,
         132072,
         true,
         {{0, 132072}, {65536, 132072}, {131072, 132072}, {132072, 132072}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_calls.clear();
        m_cancel = c.flagBefore;
        const fs::path to = m_dir / "dst";
        std::string error;
        EXPECT_FALSE(copy(from, to, &error, [&](uint64_t copied, uint64_t) {
            if (copied != c.stopAt) return true;
            if (c.byFlag) m_cancel = true;
            return c.byFlag;
        }));
        EXPECT_EQ(error, "cancelled");
        EXPECT_EQ(m_calls, c.calls);
        EXPECT_FALSE(isThere(to));
    }
}

TEST_F(FileCopy, RefusesSourcesThatAreNotReadableFiles) {
    fs::create_directory(m_dir / "folder");
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);  // opening it would block
    struct Case {
        const char* source;
        const char* reason;
    };
    for (const Case& c :
         {Case{"missing", "No such file or directory"}, Case{"folder", "not a regular file"},
          Case{"fifo", "not a regular file"}}) {
        SCOPED_TRACE(c.source);
        std::string error;
        EXPECT_FALSE(copy(m_dir / c.source, m_dir / "dst", &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_FALSE(isThere(m_dir / "dst"));
    }

    const fs::path dir = m_dir.path();
    unprivileged(dir, [dir] {
        Failures f;
        const fs::path from = writeFile(dir / "secret", "secret");
        f.expect(::chmod(from.c_str(), 0200) == 0, "chmod");
        std::string error;
        f.expect(!platform::copyFile(from, dir / "copy", nullptr, {}, &error), "copied");
        f.expect(error.find("Permission denied") != std::string::npos, "reason: " + error);
        f.expect(!isThere(dir / "copy"), "a target was left");
        return f.text;
    });
}

// The file size limit holds even for root, so a write fails half-way.
TEST_F(FileCopy, AFailedWriteRemovesThePartialTarget) {
    const fs::path from = writeFile(m_dir / "src", pattern(2 * 65536 + 1000));
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit oldLimit {};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    struct rlimit small = oldLimit;
    small.rlim_cur = 100000;
    ::setrlimit(RLIMIT_FSIZE, &small);

    std::string error;
    const bool copied = copy(from, m_dir / "dst", &error);

    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(copied);
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(m_calls, (Calls{{0, 132072}, {65536, 132072}}));
    EXPECT_FALSE(isThere(m_dir / "dst"));
}

class EmptyFolder : public ::testing::Test {
protected:
    testing_support::TempDir m_dir;
};

TEST_F(EmptyFolder, DeletesEverythingBelowTheRootAndNoLinkedContent) {
    const fs::path root = m_dir / "disk";
    writeFile(root / "a.txt", "a");
    writeFile(root / ".hidden", "h");
    writeFile(root / "sub/b.txt", "b");
    writeFile(root / "sub/deeper/c.bin", pattern(100));
    fs::create_directories(root / "sub/deeper/empty");
    ASSERT_EQ(::mkfifo((root / "sub/fifo").c_str(), 0600), 0);
    const fs::path outside = m_dir / "outside";
    writeFile(outside / "survive.txt", "survive");
    writeFile(outside / "inner/too.txt", "too");
    fs::create_directory_symlink(outside, root / "to-outside");
    fs::create_directory_symlink(outside, root / "sub/deeper/to-outside");
    fs::create_symlink(outside / "survive.txt", root / "to-file");
    fs::create_symlink(m_dir / "nothing", root / "dangling");

    std::string error;
    EXPECT_TRUE(platform::emptyFolder(root, &error)) << error;
    EXPECT_TRUE(isEmptyFolder(root));
    EXPECT_EQ(readFile(outside / "survive.txt"), "survive");
    EXPECT_EQ(readFile(outside / "inner/too.txt"), "too");

    // Already empty, and named with a trailing separator.
    EXPECT_TRUE(platform::emptyFolder(root.string() + "/", &error)) << error;
    EXPECT_TRUE(isEmptyFolder(root));
}

TEST_F(EmptyFolder, MakesReadOnlyItemsDeletable) {
    const fs::path dir = m_dir.path();
    unprivileged(dir, [dir] {
        Failures f;
        const fs::path root = dir / "disk";
        struct Item {
            const char* path;
            mode_t mode;
            bool folder;
        };
        // Made in this order, each folder after what it holds, so that each can be made.
        const Item items[] = {
            {"ro.txt", 0444, false},    {"listable/f.txt", 0400, false},
            {"listable", 0500, true},   {"unlistable/f", 0600, false},
            {"unlistable", 0300, true}, {"closed/in/f", 0000, false},
            {"closed/in", 0500, true},  {"closed", 0000, true},
        };
        for (const Item& item : items) {
            const fs::path p = root / item.path;
            if (!item.folder) writeFile(p, "x");
            f.expect(::chmod(p.c_str(), item.mode) == 0, std::string("chmod ") + item.path);
        }
        std::string error;
        f.expect(platform::emptyFolder(root, &error), "not emptied: " + error);
        f.expect(isEmptyFolder(root), "something is left");

        // The root itself is never changed: one that cannot be written stays full.
        writeFile(root / "kept.txt", "kept");
        f.expect(::chmod(root.c_str(), 0500) == 0, "chmod root");
        error.clear();
        f.expect(!platform::emptyFolder(root, &error), "a read-only root was emptied");
        f.expect(error.find("kept.txt: Permission denied") != std::string::npos,
                 "reason: " + error);
        f.expect(readFile(root / "kept.txt") == "kept", "kept.txt is gone");
        ::chmod(root.c_str(), 0700);
        return f.text;
    });
}

TEST_F(EmptyFolder, RefusesWhatIsNotAFolderOrHoldsTheHomeFolder) {
    const fs::path home = m_dir / "home";
    writeFile(home / "mine.txt", "mine");
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", home.string().c_str(), 1);
    const fs::path file = writeFile(m_dir / "file.txt", "file");
    const fs::path link = m_dir / "link-to-folder";
    writeFile(m_dir / "folder/in.txt", "in");
    fs::create_directory_symlink(m_dir / "folder", link);

    struct Case {
        fs::path root;
        const char* reason;
    };
    const std::vector<Case> cases{
        {home, "refusing"},
        {home / "../home", "refusing"},
        {m_dir.path(), "refusing"},  // holds the home folder
        {file, "not a folder"},
        {link, "not a folder"},
        {m_dir / "missing", "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root);
        std::string error;
        EXPECT_FALSE(platform::emptyFolder(c.root, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    EXPECT_EQ(readFile(home / "mine.txt"), "mine");
    EXPECT_EQ(readFile(file), "file");
    EXPECT_EQ(readFile(m_dir / "folder/in.txt"), "in");
    EXPECT_TRUE(fs::is_symlink(link));
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

// The file system's root is tried only inside a jail, where "/" is a scratch folder.
TEST_F(EmptyFolder, RefusesTheFileSystemRoot) {
    if (::geteuid() != 0) GTEST_SKIP() << "a jail needs root";
    const fs::path jail = m_dir / "jail";
    writeFile(jail / "keep.txt", "keep");
    writeFile(jail / "sub/keep.txt", "keep");
    const auto jailed = [&jail] {
        if (::chroot(jail.c_str()) != 0 || ::chdir("/") != 0) std::_Exit(2);
        ::unsetenv("HOME");
        Failures f;
        for (const char* root : {"/", "//", "/.", "/sub/.."}) {
            std::string error;
            f.expect(!platform::emptyFolder(root, &error), std::string("emptied ") + root);
            f.expect(error.find("refusing") != std::string::npos, "reason: " + error);
        }
        f.expect(readFile("/keep.txt") == "keep" && readFile("/sub/keep.txt") == "keep",
                 "files are gone");
        std::fputs(f.text.c_str(), stderr);
        std::_Exit(f.text.empty() ? 0 : 1);
    };
    EXPECT_EXIT(jailed(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
