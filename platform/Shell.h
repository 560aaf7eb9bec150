#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// The desktop's "open": a folder in the file browser, a document in its program.
class Shell {
public:
    virtual ~Shell() = default;
    // False when nothing could be started for the path.
    virtual bool open(const std::filesystem::path& path) = 0;
    // Starts a shell script in its own folder without parameters and without
    // waiting for it, where the user can see its lines (see ScriptStarter.h);
    // `environment` ("NAME=value") is added for it. False with the reason when it
    // could not be started. A desktop without this says so.
    virtual bool startScript(const std::filesystem::path& script,
                             const std::vector<std::string>& environment, std::string* error) {
        (void)script;
        (void)environment;
        if (error) *error = "this desktop cannot start scripts";
        return false;
    }
};

}  // namespace platform
