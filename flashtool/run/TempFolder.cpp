#include "flashtool/run/TempFolder.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace vornload {

namespace {

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string userTempFolder(const std::function<const char*(const char*)>& getenv,
                           std::string& error, const std::string& sharedTemp) {
    // The user's own choices are trusted as long as they are folders.
    for (const char* name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        const char* value = getenv(name);
        if (value && *value && isDirectory(value)) return value;
    }
    const uid_t uid = ::getuid();
    const std::string folder = sharedTemp + "/vornload-" + std::to_string(uid);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + folder + ": " + std::strerror(errno);
        return {};
    }
    // Whoever made it first, it must be our own real folder that nobody else can write.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "cannot use " + folder + ": " + std::strerror(errno);
        return {};
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != uid) {
        error = folder + " is not a folder of this user; remove it or set TMPDIR";
        return {};
    }
    if ((st.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        error = "cannot make " + folder + " private: " + std::strerror(errno);
        return {};
    }
    return folder;
}

}  // namespace vornload
