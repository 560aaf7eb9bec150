#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Writes a whole file so that the target is either the old file or the complete
// new one: the bytes go to a temporary file beside the target, which is flushed
// to disk and then renamed over it. A crash, a full disk or any other failure
// leaves the old file as it was. A target that is a symbolic link is written
// through the link. On failure returns false and, when `error` is given, puts
// the reason there.
bool saveFileSafely(const std::filesystem::path& target, std::string_view bytes,
                    std::string* error = nullptr);

}  // namespace platform
