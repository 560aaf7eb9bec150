#pragma once

#include <string>

namespace vornload {

// Error codes of the error reporter that the description and lookup use.
inline constexpr int isdErrNone = 0;
inline constexpr int isdErrArg = 1;
inline constexpr int isdErrDiskMismatch = 5;
inline constexpr int isdErrOpenFileFail = 6;

enum class ConfigStatus {
    ok,
    failed,    // stop through the error reporter with `code`
    rejected,  // the file was read but refused; the run ends quietly
};

struct ConfigResult {
    ConfigStatus status = ConfigStatus::ok;
    int code = isdErrNone;
    std::string message;  // exact text to print before reporting; may be empty
    unsigned line = 0;    // 1-based line of a value error, 0 otherwise

    bool ok() const { return status == ConfigStatus::ok; }
};

}  // namespace vornload
