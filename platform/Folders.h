#pragma once

#include <filesystem>

// Where the program finds its folders on this system. The composition roots ask
// once and hand the paths down; nothing below them reads the environment.
namespace platform {

// $XDG_DATA_HOME/Zentari, else ~/.local/share/Zentari; empty when there is no home.
std::filesystem::path userDataFolder();

// The folder of the running executable.
std::filesystem::path executableFolder();

// The folder with the shipped data: $ZENTARI_PROGRAM_DIR when set, else the
// executable's folder when the data was staged beside it (a build tree), else
// <prefix>/share/zentari next to the executable's bin folder.
std::filesystem::path programFolder(const std::filesystem::path& executableDir);

// The user's own folder for files kept between runs but of no value beyond
// them (the recent-files list): $XDG_RUNTIME_DIR/Zentari when that is set, else
// $XDG_CACHE_HOME/Zentari, else ~/.cache/Zentari; empty when there is no home.
// Never the shared /tmp, where others can plant links and read our names.
std::filesystem::path userTempFolder();

// A path from a shipped or user file: one that begins with ".\" or "./" is
// relative to the program folder (backslashes become slashes, so files written
// on Windows still load); any other path stays as it is.
std::filesystem::path resolveProgramRelative(const std::filesystem::path& programFolder,
                                             std::u16string_view path);

}  // namespace platform
