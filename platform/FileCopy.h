#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace platform {

// Bytes read and written at a time by copyFile; progress is reported after each.
inline constexpr size_t kCopyChunkSize = 64 * 1024;

// Told the bytes copied so far and the source's size; false cancels the copy.
using CopyProgress = std::function<bool(uint64_t copied, uint64_t total)>;

// Copies the regular file `from` to the new file `to`, which must not exist yet
// (a symbolic link there is refused, never followed). `progress` (may be empty)
// is called once with 0 before the first byte and after every chunk; `cancel`
// (may be null) is watched between chunks. The copy is flushed to the disk before
// success is reported. On failure or cancel the file this call made is removed
// again and the reason ("cancelled", or the system's) goes to `error`.
bool copyFile(const std::filesystem::path& from, const std::filesystem::path& to,
              const std::atomic<bool>* cancel, const CopyProgress& progress,
              std::string* error = nullptr);

// Deletes everything below `root`, but not `root` itself. Symbolic links are
// removed, never followed; folders that this user owns but cannot list or write
// are made so first, and so are files whose deletion needs it. The walk stays on
// the file system of `root`. Stops at the first failure with its reason. Refuses,
// deleting nothing, when `root` is not a folder (a link to one included), the
// file system's root, the home folder or a folder that holds it.
bool emptyFolder(const std::filesystem::path& root, std::string* error = nullptr);

// True for the file system's root, this user's home folder ($HOME and the
// password database's) and every folder that holds it, by name or as the same
// folder reached another way; also for an empty path. Such folders must never be
// emptied.
bool isProtectedFolder(const std::filesystem::path& folder);

}  // namespace platform
