#include "project/Project.h"

#include "platform/Format.h"
#include "platform/StringUtil.h"

#include <algorithm>

ScreenRecord* Project::findScreen(ScreenId id) {
    auto it = m_screens.find(id);
    return it == m_screens.end() ? nullptr : &it->second;
}

const ScreenRecord* Project::findScreen(ScreenId id) const {
    auto it = m_screens.find(id);
    return it == m_screens.end() ? nullptr : &it->second;
}

ProgramRecord* Project::findProgram(ProgramKey key) {
    ScreenRecord* screen = isProgramKey(key) ? findScreen(screenOfKey(key)) : nullptr;
    if (!screen) return nullptr;
    auto it = screen->programs.find(key);
    return it == screen->programs.end() ? nullptr : &it->second;
}

const ProgramRecord* Project::findProgram(ProgramKey key) const {
    return const_cast<Project*>(this)->findProgram(key);
}

// After 65535 screens the counter would come round to ids in use again; the
// project then takes no more screens rather than confuse two of them.
ScreenId Project::nextScreenId() const {
    return m_screenIdsUsedUp ? 0 : m_nextScreenId;
}

std::u16string Project::generatedScreenName(std::u16string_view screenText) const {
    return platform::format(u"%s_%u", {screenText, unsigned{nextScreenId()}});
}

ScreenId Project::addScreen(ScreenRecord screen) {
    const ScreenId id = nextScreenId();
    if (id == 0) return 0;
    screen.programs.clear();
    m_screens.emplace(id, std::move(screen));
    if (++m_nextScreenId == 0) m_screenIdsUsedUp = true;
    return id;
}

bool Project::canAddProgram(ScreenId screen) const {
    const ScreenRecord* s = findScreen(screen);
    return s && s->programs.size() < kMaxPrograms && !m_programIdsUsedUp;
}

ProgramKey Project::nextProgramKey(ScreenId screen) const {
    return programKey(screen, m_nextProgramId);
}

std::u16string Project::generatedProgramName(ScreenId screen,
                                             std::u16string_view programText) const {
    const ScreenRecord* s = findScreen(screen);
    for (unsigned n = 1;; ++n) {
        const std::u16string name = platform::format(u"%s_%u", {programText, n});
        const bool taken =
            s && std::any_of(s->programs.begin(), s->programs.end(), [&](const auto& p) {
                return platform::equalsNoCase(p.second.name, name);
            });
        if (!taken) return name;
    }
}

int32_t Project::autoAdjustFor(std::u16string_view languageName, int32_t screenHeight) {
    const bool chinese = platform::equalsNoCase(languageName, u"\u7B80\u4F53\u4E2D\u6587") ||
                         platform::equalsNoCase(languageName, u"\u7E41\u9AD4\u4E2D\u6587");
    return chinese && screenHeight == 11 ? 1 : 0;
}

ProgramKey Project::addProgram(ScreenId screen, ProgramRecord program) {
    if (!canAddProgram(screen)) return 0;
    const ProgramKey key = nextProgramKey(screen);
    findScreen(screen)->programs.emplace(key, std::move(program));
    if (++m_nextProgramId == 0) m_programIdsUsedUp = true;
    return key;
}

void Project::removeScreen(ScreenId id) {
    m_screens.erase(id);
}

void Project::removeProgram(ProgramKey key) {
    if (ScreenRecord* s = isProgramKey(key) ? findScreen(screenOfKey(key)) : nullptr)
        s->programs.erase(key);
}

std::filesystem::path Project::withProjectExtension(const std::filesystem::path& path) {
    const std::u16string text = path.u16string();
    const std::u16string tail =
        platform::toUpperAscii(text.size() > 5 ? std::u16string_view(text).substr(text.size() - 5)
                                               : std::u16string_view(text));
    const size_t at = tail.find(u".VQD");
    // Found at a position other than the first of the last five characters.
    if (at != std::u16string::npos && at != 0) return path;
    return std::filesystem::path(text + u".vqd");
}
