#pragma once

#include "platform/Shell.h"

namespace platform {

// Opens paths through the desktop's URL handlers.
class QtShell : public Shell {
public:
    bool open(const std::filesystem::path& path) override;
};

}  // namespace platform
