#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// The sign types a screen can have: an XML file with one entry per type, its
// size and pictures of the sign. Read only; the user's copy wins over the shipped one.
class ScreenCatalogue {
public:
    enum class Kind { MultiFrame, Pack, Swf, Unknown };

    struct Entry {
        std::u16string name;   // the entry's tag name
        std::u16string width;  // as written; see sizeOf for the rules
        std::u16string height;
        Kind kind = Kind::Unknown;
        int32_t speed = 0;  // a Pack entry's picture interval, in milliseconds
        std::u16string typeName;
        std::vector<std::filesystem::path> pictures;  // resolved, existing or not
    };

    // The user's catalogue when it exists, else the shipped default; false when
    // neither can be read (the fallback sizes then apply).
    bool load(const std::filesystem::path& userCatalogue,
              const std::filesystem::path& shippedCatalogue,
              const std::filesystem::path& programFolder);
    bool readFile(const std::filesystem::path& file, const std::filesystem::path& programFolder);

    bool readable() const { return m_readable; }
    const std::vector<Entry>& entries() const { return m_entries; }

    // The size for a catalogue position: 12 … 96 columns (else 44) and 11 … 96
    // rows (else 11); past the end 44 × 11; without a catalogue index 0 is
    // 44 × 11 and any other 48 × 12.
    std::pair<int32_t, int32_t> sizeOf(int index) const;
    static int32_t widthRule(int32_t width) { return width >= 12 && width <= 96 ? width : 44; }
    static int32_t heightRule(int32_t height) { return height >= 11 && height <= 96 ? height : 11; }

private:
    bool m_readable = false;
    std::vector<Entry> m_entries;
};
