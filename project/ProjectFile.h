#pragma once

#include "project/ScreenRecord.h"

#include <filesystem>
#include <string>
#include <vector>

class Project;

// The project file (".vqd"): root "QV", one "SCREEN" per screen, one "Program"
// per program, one "Item" per setting.
namespace ProjectFile {

// A screen as read from a file, before it joins a project: its programs in file
// order (names and fields as read, `checked` from "TRUE" in any case).
struct LoadedScreen {
    ScreenRecord screen;  // programs empty
    std::vector<ProgramRecord> programs;
};

// Reads a file. False when it cannot be read or is not well-formed, with the
// reason in `error` when given; true with no screens when its root is not "QV".
// Sizes are corrected as they are read.
bool read(const std::filesystem::path& file, std::vector<LoadedScreen>& screens,
          std::string* error = nullptr);

// The document text of a whole project, screens in id order, programs in key order.
std::u16string text(const Project& project);

// Writes the project; false with the reason when the file could not be written
// (the old file, if any, stays as it was).
bool write(const Project& project, const std::filesystem::path& file, std::string* error = nullptr);

}  // namespace ProjectFile
