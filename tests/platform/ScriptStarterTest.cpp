#include "platform/ScriptStarter.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <map>

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(ScriptStarter, TheTerminalComesFromTheDesktop) {
    TempDir dir;
    writeFile(dir / "bin" / "myterm", "#!/bin/sh\n");
    fs::permissions(dir / "bin" / "myterm", fs::perms::owner_all);
    const std::string path = (dir / "bin").string();
    std::map<std::string, std::string> env = {{"PATH", path}, {"TERMINAL", "myterm"}};
    const auto lookup = [&](const char* name) -> const char* {
        const auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    };
    // No display: no terminal, whatever is installed.
    EXPECT_EQ(platform::findTerminal(lookup), "");
    env["DISPLAY"] = ":0";
    EXPECT_EQ(platform::findTerminal(lookup), path + "/myterm");
    env["TERMINAL"] = "not-there";
    EXPECT_EQ(platform::findTerminal(lookup), "");
    writeFile(dir / "bin" / "x-terminal-emulator", "#!/bin/sh\n");
    fs::permissions(dir / "bin" / "x-terminal-emulator", fs::perms::owner_all);
    EXPECT_EQ(platform::findTerminal(lookup), path + "/x-terminal-emulator");
}

// The started script reports through a FIFO: opening it waits for the script
// itself, so the test needs no clock.
TEST(ScriptStarter, ADetachedScriptRunsInItsFolderWithItsLog) {
    TempDir dir;
    const fs::path fifo = dir / "done";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path script = writeFile(
        dir / "chip" / "r_makebin.sh",
        "echo \"to the log $# $EXTRA\"\nprintf '%s\\n' \"$(pwd)\" > '" + fifo.string() + "'\n");
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string error;
    ASSERT_TRUE(platform::startScript(script, "", {"EXTRA=set"}, &error)) << error;
    pollfd p{fd, POLLIN, 0};
    // Bounded only so that a broken start fails the test instead of hanging it.
    ASSERT_EQ(::poll(&p, 1, 20000), 1);
    char buffer[4096];
    std::string said;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) said.append(buffer, static_cast<size_t>(n));
        if (n == 0) break;
        if (n < 0 && errno == EAGAIN) {
            pollfd again{fd, POLLIN, 0};
            ::poll(&again, 1, 20000);
        } else if (n < 0) {
            break;
        }
    }
    ::close(fd);
    EXPECT_EQ(said, fs::canonical(dir / "chip").string() + "\n");
    EXPECT_EQ(readFile(dir / "chip" / "r_makebin.log"), "to the log 0 set\n");
}

TEST(ScriptStarter, StartFailuresAndForegroundStatus) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(platform::startScript(dir / "gone" / "r.sh", "", {}, &error));
    EXPECT_NE(error.find("r.sh"), std::string::npos) << error;

    // A link planted where the log goes is not written through.
    const fs::path script = writeFile(dir / "s" / "run.sh", "exit 0\n");
    writeFile(dir / "victim", "keep");
    fs::create_symlink(dir / "victim", dir / "s" / "run.log");
    error.clear();
    EXPECT_FALSE(platform::startScript(script, "", {}, &error));
    EXPECT_EQ(readFile(dir / "victim"), "keep");

    const fs::path status = writeFile(dir / "f" / "status.sh",
                                      "pwd > where.txt\necho \"$EXTRA\" >> where.txt\nexit 7\n");
    EXPECT_EQ(platform::runScript(status, {"EXTRA=x"}, &error), 7);
    EXPECT_EQ(readFile(dir / "f" / "where.txt"), fs::canonical(dir / "f").string() + "\nx\n");
}

}  // namespace
