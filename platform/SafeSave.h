#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Writes a whole file so that the target is either the old file or the complete
// new one: the bytes go to a temporary file beside the target, which is flushed
// to disk and then renamed over it. A crash, a full disk or any other failure
// leaves the old file as it was. A target that is a symbolic link is written
// through the link only when every link on the way and the file it ends at
// belong to this user: a link planted by someone else (in /tmp, say) is refused.
// On failure returns false and, when `error` is given, puts the reason there.
bool saveFileSafely(const std::filesystem::path& target, std::string_view bytes,
                    std::string* error = nullptr);

// Keeps a user file that did not load whole beside it as "NAME.damaged" (the
// newest only), so that the file written in its place never loses it. True when
// there is nothing to keep (no such file) or the copy was written; false with
// the reason when the old bytes could not be read or kept: then the caller must
// not replace the file.
bool keepDamagedCopy(const std::filesystem::path& file, std::string* error = nullptr);

}  // namespace platform
