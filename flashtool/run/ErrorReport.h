#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace vornload {

// The names of the error codes 0 … 12; empty for any other.
const char* errorName(int code);

// The one way a run ends in failure: "down err @ line PLACE : CODE", the code's
// name, the temporary files deleted, the alert; returns the exit status. Code 0
// only ends the run.
int reportError(int place, int code, int alertMode, const std::filesystem::path& tempFolder,
                std::ostream& out, std::ostream& notice);

}  // namespace vornload
