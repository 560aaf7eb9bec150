#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

// The settings kept in "config.xml" of the data folder.
struct AppSettings {
    std::u16string languageName;  // empty: choose from the system language
    int32_t playMode = 0;         // 0 "Normal", 1 "ButtonSwitch"
    int32_t tempOffset = 0;       // -7 … +7
    int32_t width = 48;           // only 48 and 36 are kept
    int32_t height = 12;          // only 12 is kept
    int32_t autoUpdate = 1;

    // Updates the settings from the file; a missing or damaged file, or missing
    // elements, leave the values as they are. False when the file exists but did
    // not load whole (unreadable or not well-formed).
    bool read(const std::filesystem::path& file);
    // Writes the file (never half of it); false with the reason when it could not be written.
    bool write(const std::filesystem::path& file, std::string* error = nullptr) const;

    bool operator==(const AppSettings&) const = default;
};
