#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The user's GIF animations, up to 50, in "GifFiles.xml" of the data folder,
// seeded from the shipped "DefaultGif.dat". A program shows one through the
// bracket code of its position.
namespace AnimationLibrary {

inline constexpr size_t kMaxAnimations = 50;
inline constexpr char16_t kFileName[] = u"GifFiles.xml";
inline constexpr char16_t kDefaultName[] = u"DefaultGif.dat";

// The Index text of each entry and its absolute path, ordered by the text.
using Entries = std::map<std::u16string, std::u16string>;

// The library file of a data folder; "." when there is none.
std::filesystem::path fileIn(const std::filesystem::path& dataFolder);

// Makes sure the library file holds a library: when it cannot be loaded or has
// no GifFiles root, the default library is saved in its place with its
// program-relative paths made absolute (a damaged file is kept as
// "GifFiles.xml.damaged" first). False with the reason when that was needed
// and could not be done; the library is then read from what is there.
bool locate(const std::filesystem::path& file, const std::filesystem::path& programFolder,
            std::string* error = nullptr);

// Reads a library file; a later Item with the same Index replaces an earlier one.
Entries read(const std::filesystem::path& file, const std::filesystem::path& programFolder);

// Locates, then reads.
Entries load(const std::filesystem::path& dataFolder, const std::filesystem::path& programFolder);

// The paths in entry order.
std::vector<std::u16string> paths(const Entries& entries);

// Writes the paths in list order with Index "00", "01", … and Speed "200".
bool write(const std::filesystem::path& file, const std::vector<std::u16string>& paths,
           std::string* error = nullptr);

}  // namespace AnimationLibrary
