// Arbitrary bytes as a project file: read it, take its screens and programs into
// a project as opening it does (ten programs a screen), save that and read the
// saved file back. What was read is within the sizes the reader promises, a
// failed read says why, and the saved project reads back exactly as it was.
#include "FuzzFolder.h"
#include "project/Project.h"
#include "project/ProjectFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxScreens = 64;

bool sameScreen(const ScreenRecord& a, const ProjectFile::LoadedScreen& b) {
    using fuzzfolder::asSaved;
    if (asSaved(a.name) != b.screen.name || a.width != b.screen.width ||
        a.height != b.screen.height || a.baseColor != b.screen.baseColor ||
        a.programs.size() != b.programs.size())
        return false;
    size_t k = 0;
    for (const auto& [key, program] : a.programs) {
        ProgramRecord expected = program;
        // The file keeps AutoAdjust as a flag.
        expected.AutoAdjust = program.AutoAdjust != 0 ? 1 : 0;
        expected.name = asSaved(program.name);
        // Saved in key order; of keys that read back alike the later one wins.
        expected.settings.clear();
        for (const auto& [key, value] : program.settings)
            expected.settings[asSaved(key)] = asSaved(value);
        if (!(expected == b.programs[k++])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfolder::reset();
    const auto file = fuzzfolder::folder() / "in.vqd";
    fuzzfolder::writeFile(file, fuzzfolder::bytesOf(data, size));

    std::vector<ProjectFile::LoadedScreen> screens;
    std::string error;
    if (!ProjectFile::read(file, screens, &error)) {
        if (error.empty() || !screens.empty()) std::abort();
        return 0;
    }
    Project project;
    for (size_t s = 0; s < screens.size() && s < kMaxScreens; ++s) {
        const ProjectFile::LoadedScreen& loaded = screens[s];
        if (loaded.screen.width < 1 || loaded.screen.height < 1 || loaded.screen.baseColor < 0 ||
            loaded.screen.baseColor > 2 || !loaded.screen.programs.empty())
            std::abort();
        const ScreenId id = project.addScreen(loaded.screen);
        if (id == 0) std::abort();
        for (const ProgramRecord& program : loaded.programs) {
            if (program.checked != 0 && program.checked != 1) std::abort();
            if (!project.canAddProgram(id)) break;
            if (project.addProgram(id, program) == 0) std::abort();
        }
    }

    const auto saved = fuzzfolder::folder() / "saved.vqd";
    std::string why;
    if (!ProjectFile::write(project, saved, &why)) std::abort();
    std::vector<ProjectFile::LoadedScreen> again;
    if (!ProjectFile::read(saved, again, &why)) std::abort();
    if (again.size() != project.screens().size()) std::abort();
    size_t k = 0;
    for (const auto& [id, screen] : project.screens())
        if (!sameScreen(screen, again[k++])) std::abort();
    return 0;
}
