#include "project/CDlgScreen.h"

#include "platform/Format.h"

void CDlgScreen::load(const ScreenRecord& screen) {
    m_baseColor = screen.baseColor;
    m_height = screen.height;
    m_width = screen.width;
    m_name = screen.name;
    m_programCount = static_cast<uint32_t>(screen.programs.size());
    refresh();
}

void CDlgScreen::commit(ScreenRecord& screen) const {
    screen.baseColor = m_baseColor;
    screen.height = m_height;
    screen.width = m_width;
    screen.name = m_name;
}

void CDlgScreen::setName(std::u16string name) {
    m_name = std::move(name);
    refresh();
}

void CDlgScreen::setProgramCount(uint32_t count) {
    m_programCount = count;
    refresh();
}

void CDlgScreen::setLabels(std::u16string width, std::u16string height, std::u16string name,
                           std::u16string programCount) {
    m_widthLabel = std::move(width);
    m_heightLabel = std::move(height);
    m_nameLabel = std::move(name);
    m_programCountLabel = std::move(programCount);
    refresh();
}

std::u16string CDlgScreen::widthText() const {
    return platform::format(u"% 3u", {m_width});
}

std::u16string CDlgScreen::heightText() const {
    return platform::format(u"% 3u", {m_height});
}

std::u16string CDlgScreen::programCountText() const {
    return platform::format(u"% 3u", {m_programCount});
}
