#pragma once

#include "content/CDlgProgram.h"
#include "content/ProgramFields.h"

#include <memory>
#include <string>
#include <vector>

// Turns program records into their fields by the rules the program editor loads them
// with. It keeps what a load does not set from the program before it (a face
// that is not installed keeps the previous program's, a colour that is not in
// the list the previous colour), so one reader serves one image: the programs
// of a screen in order, nothing from earlier images. Not shared between threads;
// each build makes its own.
class ProgramFieldsReader {
public:
    // A loader of its own, set up like the window's: the interface language's
    // name picks the default font of a program without settings.
    ProgramFieldsReader(std::u16string languageName, std::vector<FontEntry> fontList);
    // Loads through an instance the caller keeps (tests and tools that look into it).
    explicit ProgramFieldsReader(CDlgProgram& loader);
    ~ProgramFieldsReader();

    ProgramFields read(const ProgramRecord& program, int32_t screenWidth, int32_t screenHeight);

private:
    struct Own;
    std::unique_ptr<Own> m_own;
    CDlgProgram* m_loader = nullptr;
};
