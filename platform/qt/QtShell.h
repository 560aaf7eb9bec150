#pragma once

#include "platform/Shell.h"

namespace platform {

// Opens paths through the desktop's URL handlers.
class QtShell : public Shell {
public:
    bool open(const std::filesystem::path& path) override;
    // In a terminal emulator when the desktop has one, else with a log beside it.
    bool startScript(const std::filesystem::path& script,
                     const std::vector<std::string>& environment, std::string* error) override;
};

}  // namespace platform
