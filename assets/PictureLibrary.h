#pragma once

#include "assets/PictureRecord.h"

#include <filesystem>
#include <string>
#include <vector>

// The user's pictures, in the order they were added, kept in "imageconfig.xml"
// of the data folder; until the user has one, the shipped "DefaultImage.dat".
class PictureLibrary {
public:
    static constexpr size_t kMaxPictures = 50;
    static constexpr int32_t kFirstUserId = 50;
    static constexpr int32_t kLastUserId = 99;

    static constexpr int32_t kMaxHeight = 12;  // a line has no more rows for a picture

    const std::vector<PictureRecord>& records() const { return m_records; }
    // Heights above kMaxHeight are capped here, in the records, as the encoder would draw them.
    void setRecords(std::vector<PictureRecord> records);

    // The user's file when it exists (read as it is), else the default library
    // with its paths made absolute. False when the user's file exists but did not
    // load whole (damaged or unreadable): the pictures that could be read are
    // kept, and the caller keeps the old file before it writes a new one.
    bool loadAtStartup(const std::filesystem::path& userFile,
                       const std::filesystem::path& defaultFile,
                       const std::filesystem::path& programFolder);

    // Reads a library document: the imageItem elements after imageFlag, their
    // Item children in any order by name. A damaged document gives every
    // imageItem that is whole (it and its Items closed by their end tags).
    // False (and no records) when the file cannot be read or has no imageFlag;
    // `whole` tells whether the file was read whole and well-formed.
    static bool read(const std::filesystem::path& file, std::vector<PictureRecord>& records,
                     bool* whole = nullptr);
    // Writes the records; false when the file could not be written.
    static bool write(const std::filesystem::path& file, const std::vector<PictureRecord>& records,
                      std::string* error = nullptr);

    // The smallest id from 50 upwards that no record uses; 0 when all up to 99 are taken.
    static int32_t nextFreeId(const std::vector<PictureRecord>& records);
    // A picture taller than 12 pixels is zoomed to 12 rows with its width in
    // proportion; any other keeps its size unzoomed.
    static PictureRecord recordForSize(int32_t width, int32_t height);

private:
    std::vector<PictureRecord> m_records;
};
