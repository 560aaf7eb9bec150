#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// The terminal emulator to show a script's lines in, as a full path: $TERMINAL
// when it names a program on the PATH, else x-terminal-emulator; none without a
// display ($DISPLAY or $WAYLAND_DISPLAY). `getenv` is the environment.
std::string findTerminal(const std::function<const char*(const char*)>& getenv);

// Starts `script` with /bin/sh in the folder that holds it, without parameters,
// and does not wait for it: in `terminal` (kept open until the user presses
// Enter) when one is given, else detached with its output in "<script name
// without extension>.log" beside it. `environment` ("NAME=value") is added to
// this program's. False with the reason when it could not be started; what the
// script does after that is its own affair.
bool startScript(const std::filesystem::path& script, const std::string& terminal,
                 const std::vector<std::string>& environment, std::string* error);

// Runs `script` with /bin/sh in the folder that holds it, its output going to
// this program's, and waits for it: its exit status (128 + N after signal N),
// or -1 with the reason when it could not be started.
int runScript(const std::filesystem::path& script, const std::vector<std::string>& environment,
              std::string* error);

}  // namespace platform
