#pragma once

#include "assets/PictureRecord.h"

#include <filesystem>
#include <vector>

// The user's pictures, in the order they were added, kept in "imageconfig.xml"
// of the data folder; until the user has one, the shipped "DefaultImage.dat".
class PictureLibrary {
public:
    static constexpr size_t kMaxPictures = 50;
    static constexpr int32_t kFirstUserId = 50;
    static constexpr int32_t kLastUserId = 99;

    const std::vector<PictureRecord>& records() const { return m_records; }
    void setRecords(std::vector<PictureRecord> records) { m_records = std::move(records); }

    // The user's file when it exists (read as it is), else the default library
    // with its paths made absolute. An unreadable file gives an empty list.
    void loadAtStartup(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile,
                       const std::filesystem::path& programFolder);

    // Reads a library document: the imageItem children after imageFlag, their
    // Item children in any order by name. False (and no records) when the file
    // cannot be read or has no imageFlag.
    static bool read(const std::filesystem::path& file, std::vector<PictureRecord>& records);
    // Writes the records; false when the file could not be written.
    static bool write(const std::filesystem::path& file, const std::vector<PictureRecord>& records);

    // The smallest id from 50 upwards that no record uses; 0 when all up to 99 are taken.
    static int32_t nextFreeId(const std::vector<PictureRecord>& records);
    // A picture taller than 12 pixels is zoomed to 12 rows with its width in
    // proportion; any other keeps its size unzoomed.
    static PictureRecord recordForSize(int32_t width, int32_t height);

private:
    std::vector<PictureRecord> m_records;
};
