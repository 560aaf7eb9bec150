#include "platform/Folders.h"

#include "platform/TextCodec.h"

#include <cstdlib>
#include <system_error>

namespace platform {

namespace {

std::filesystem::path env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? std::filesystem::path(v) : std::filesystem::path();
}

}  // namespace

std::filesystem::path userDataFolder() {
    std::filesystem::path base = env("XDG_DATA_HOME");
    if (base.empty() || base.is_relative()) {
        const std::filesystem::path home = env("HOME");
        if (home.empty()) return {};
        base = home / ".local" / "share";
    }
    return base / "Zentari";
}

std::filesystem::path executableFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

std::filesystem::path programFolder(const std::filesystem::path& executableDir) {
    if (std::filesystem::path over = env("ZENTARI_PROGRAM_DIR"); !over.empty()) return over;
    std::error_code ec;
    if (std::filesystem::is_directory(executableDir / "Images", ec)) return executableDir;
    return executableDir.parent_path() / "share" / "zentari";
}

std::filesystem::path userTempFolder() {
    if (std::filesystem::path run = env("XDG_RUNTIME_DIR"); run.is_absolute())
        return run / "Zentari";
    std::filesystem::path base = env("XDG_CACHE_HOME");
    if (base.empty() || base.is_relative()) {
        const std::filesystem::path home = env("HOME");
        if (home.empty()) return {};
        base = home / ".cache";
    }
    return base / "Zentari";
}

std::filesystem::path resolveProgramRelative(const std::filesystem::path& programFolder,
                                             std::u16string_view path) {
    if (path.size() >= 2 && path[0] == '.' && (path[1] == '\\' || path[1] == '/')) {
        std::u16string rest(path.substr(2));
        for (char16_t& c : rest)
            if (c == '\\') c = '/';
        return programFolder / utf16ToUtf8(rest);
    }
    return std::filesystem::path(utf16ToUtf8(path));
}

}  // namespace platform
