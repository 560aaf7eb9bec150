#pragma once

#include "project/RecentFiles.h"
#include "project/ScreenRecord.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

// The screens and programs the main window shows, with the counters that give
// them their ids. Ids are never reused during a run.
class Project {
public:
    static constexpr size_t kMaxPrograms = 10;

    const std::map<ScreenId, ScreenRecord>& screens() const { return m_screens; }

    ScreenRecord* findScreen(ScreenId id);
    const ScreenRecord* findScreen(ScreenId id) const;
    ProgramRecord* findProgram(ProgramKey key);
    const ProgramRecord* findProgram(ProgramKey key) const;

    // The id the next screen gets; 0 once the 16-bit counter has run out.
    ScreenId nextScreenId() const;
    // "%s_%u" of the language text of "Screen" and the next screen id.
    std::u16string generatedScreenName(std::u16string_view screenText) const;
    // Stores the screen under the next id and counts on; 0 when no id is left.
    ScreenId addScreen(ScreenRecord screen);

    // False when the screen does not exist, holds 10 programs, or no key is left.
    bool canAddProgram(ScreenId screen) const;
    // The key the next program of `screen` gets.
    ProgramKey nextProgramKey(ScreenId screen) const;
    // "%s_%u" of the language text of "Program" and the smallest n ≥ 1 that no
    // program of the screen has as name, compared without regard to case.
    std::u16string generatedProgramName(ScreenId screen, std::u16string_view programText) const;
    // 1 for a new program under a Chinese interface on an 11-row screen.
    static int32_t autoAdjustFor(std::u16string_view languageName, int32_t screenHeight);
    // Stores the program under the next key and counts on; 0 when refused.
    ProgramKey addProgram(ScreenId screen, ProgramRecord program);

    void removeScreen(ScreenId id);
    void removeProgram(ProgramKey key);

    const std::filesystem::path& currentPath() const { return m_currentPath; }
    void setCurrentPath(std::filesystem::path path) { m_currentPath = std::move(path); }
    RecentFiles& recentFiles() { return m_recent; }
    const RecentFiles& recentFiles() const { return m_recent; }

    // Save As: the path as it is when it ends in ".vqd" (any case) with at least
    // one character before the point, else with ".vqd" appended.
    static std::filesystem::path withProjectExtension(const std::filesystem::path& path);

private:
    std::map<ScreenId, ScreenRecord> m_screens;
    uint16_t m_nextScreenId = 1;
    uint16_t m_nextProgramId = 1;
    bool m_screenIdsUsedUp = false;
    bool m_programIdsUsedUp = false;
    std::filesystem::path m_currentPath;
    RecentFiles m_recent;
};
