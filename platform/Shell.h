#pragma once

#include <filesystem>

namespace platform {

// The desktop's "open": a folder in the file browser, a document in its program.
class Shell {
public:
    virtual ~Shell() = default;
    // False when nothing could be started for the path.
    virtual bool open(const std::filesystem::path& path) = 0;
};

}  // namespace platform
