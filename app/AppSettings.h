#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The settings kept in "config.xml" of the data folder.
struct AppSettings {
    std::u16string languageName;  // empty: choose from the system language
    int32_t playMode = 0;         // 0 "Normal", 1 "ButtonSwitch"
    int32_t tempOffset = 0;       // -7 … +7
    int32_t width = 48;           // only 48 and 36 are kept
    int32_t height = 12;          // only 12 is kept
    int32_t autoUpdate = 1;

    // Updates the settings from the file; a missing or damaged file, or missing
    // elements, leave the values as they are.
    void read(const std::filesystem::path& file);
    // Writes the file; a failure is not reported (and never leaves half a file).
    void write(const std::filesystem::path& file) const;

    bool operator==(const AppSettings&) const = default;
};
