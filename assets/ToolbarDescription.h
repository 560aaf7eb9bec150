#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The toolbar description: the buttons a toolbar shows, each with a command and
// an image, and their size and spacing; "Toolbar.xml" of the data folder, seeded
// from the shipped "Toolbar.dat".
namespace ToolbarDescription {

inline constexpr char16_t kFileName[] = u"Toolbar.xml";
inline constexpr char16_t kDefaultName[] = u"Toolbar.dat";
// A hostile file stays bounded; far more than any toolbar holds.
inline constexpr size_t kMaxItems = 1000;

struct Item {
    std::u16string id;     // the command's identifier, as the file has it
    std::u16string title;  // the command's display name
    std::u16string path;   // the button's image, absolute once located

    bool operator==(const Item&) const = default;
};

struct Description {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t spacing = 0;
    std::vector<Item> items;
};

// The file of a data folder; "." when there is none.
std::filesystem::path fileIn(const std::filesystem::path& dataFolder);

// Makes sure the file holds a description: when it cannot be loaded or has no
// ToolBar root, the default is saved in its place with its ".\" paths made
// absolute (a damaged file is kept as "Toolbar.xml.damaged" first). False with
// the reason when that was needed and could not be done.
bool locate(const std::filesystem::path& file, const std::filesystem::path& programFolder,
            std::string* error = nullptr);

// Reads a description: a negative Width or Height becomes 32, a negative
// Spacing 1; an unreadable file gives an empty list and zeros.
Description read(const std::filesystem::path& file);

// Writes the description with the declaration header, cx and cy "0".
bool write(const std::filesystem::path& file, const Description& description,
           std::string* error = nullptr);

// A field's number as the dialog takes it: negative gives `fallback`.
uint32_t sizeValue(const std::u16string& text, uint32_t fallback);

}  // namespace ToolbarDescription
