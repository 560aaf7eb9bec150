#include "platform/ScriptStarter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace platform {

namespace {

// The program's full path: as given when it has a '/', else the first on the PATH.
std::string resolveProgram(const std::string& name, const char* path) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return dir + "/" + name;
        start = end + 1;
    }
    return {};
}

// Strings for execve, made before fork: the child may only call what is safe there.
struct Exec {
    std::vector<std::string> argv;
    std::vector<std::string> env;
    std::vector<char*> argvPointers;
    std::vector<char*> envPointers;

    Exec(std::vector<std::string> arguments, const std::vector<std::string>& extra)
        : argv(std::move(arguments)) {
        for (char** e = environ; e && *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const std::string& x : extra)
                replaced = replaced || x.substr(0, x.find('=')) == name;
            if (!replaced) env.push_back(entry);
        }
        env.insert(env.end(), extra.begin(), extra.end());
        for (std::string& a : argv)
            argvPointers.push_back(a.data());
        argvPointers.push_back(nullptr);
        for (std::string& e : env)
            envPointers.push_back(e.data());
        envPointers.push_back(nullptr);
    }
    // argv[0] is a full path, found before the fork.
    [[noreturn]] void run() const {
        ::execve(argv[0].c_str(), argvPointers.data(), envPointers.data());
        ::_exit(errno == ENOENT ? 127 : 126);
    }
};

std::string reason(const char* what, int e) {
    return std::string(what) + ": " + std::strerror(e);
}

}  // namespace

std::string findTerminal(const std::function<const char*(const char*)>& getenv) {
    const char* display = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) return {};
    const char* path = getenv("PATH");
    if (const char* chosen = getenv("TERMINAL"); chosen && *chosen) {
        if (std::string found = resolveProgram(chosen, path); !found.empty()) return found;
    }
    return resolveProgram("x-terminal-emulator", path);
}

bool startScript(const std::filesystem::path& script, const std::string& terminal,
                 const std::vector<std::string>& environment, std::string* error) {
    const std::string folder = script.parent_path().string();
    const std::string log = (script.parent_path() / (script.stem().string() + ".log")).string();
    std::vector<std::string> argv;
    if (!terminal.empty()) {
        // The window stays until the user has read the lines.
        argv = {terminal,
                "-e",
                "/bin/sh",
                "-c",
                "/bin/sh \"$0\"; status=$?; printf '\\n%s ended with status %s. Press Enter to "
                "close.' \"$0\" \"$status\"; read -r _",
                script.string()};
    } else {
        argv = {"/bin/sh", script.string()};
    }
    const Exec exec(std::move(argv), environment);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        if (error) *error = reason("pipe", errno);
        return false;
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        const int e = errno;
        ::close(report[0]);
        ::close(report[1]);
        if (error) *error = reason("fork", e);
        return false;
    }
    if (middle == 0) {
        // A new session, and a second fork so that nobody has to wait for the script.
        ::setsid();
        const pid_t worker = ::fork();
        if (worker != 0) ::_exit(worker < 0 ? 1 : 0);
        int e = 0;
        if (::chdir(folder.c_str()) != 0) e = errno;
        const int in = e ? -1 : ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (!e && in < 0) e = errno;
        if (!e && ::dup2(in, STDIN_FILENO) < 0) e = errno;
        if (!e && terminal.empty()) {
            const int out =
                ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(out, STDERR_FILENO) < 0)
                e = errno;
        }
        if (!e) {
            ::execve(exec.argv[0].c_str(), exec.argvPointers.data(), exec.envPointers.data());
            e = errno;
        }
        (void)!::write(report[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int e = 0;
    ssize_t n;
    while ((n = ::read(report[0], &e, sizeof e)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof e)) {
        if (error) *error = reason(script.filename().string().c_str(), e);
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (error) *error = script.filename().string() + ": could not be started";
        return false;
    }
    return true;
}

int runScript(const std::filesystem::path& script, const std::vector<std::string>& environment,
              std::string* error) {
    const std::string folder = script.parent_path().string();
    const Exec exec({"/bin/sh", script.string()}, environment);
    const pid_t child = ::fork();
    if (child < 0) {
        if (error) *error = reason("fork", errno);
        return -1;
    }
    if (child == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        exec.run();
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            if (error) *error = reason("wait", errno);
            return -1;
        }
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

}  // namespace platform
