#include "content/CDlgProgram.h"

namespace {
constexpr char16_t kTextKey[] = u"TextContent";
}

void CDlgProgram::setScreenSize(int32_t width, int32_t height) {
    m_screenWidth = width;
    m_screenHeight = height;
}

void CDlgProgram::load(const ProgramRecord& program) {
    m_program = program;
    auto it = program.settings.find(kTextKey);
    m_text = it == program.settings.end() ? std::u16string() : it->second;
    m_textEdited = false;
    refresh();
}

void CDlgProgram::commit(ProgramRecord& program) const {
    // The check state belongs to the tree, which may have changed it since the load.
    const int32_t checked = program.checked;
    program = m_program;
    program.checked = checked;
    // A program that never had a text gets one only when something was typed.
    if (m_textEdited || program.settings.count(kTextKey)) program.settings[kTextKey] = m_text;
}

void CDlgProgram::setName(std::u16string name) {
    m_program.name = std::move(name);
    refresh();
}

void CDlgProgram::setText(std::u16string text) {
    m_text = std::move(text);
    m_textEdited = true;
}

void CDlgProgram::setPictures(std::vector<PictureRecord> pictures) {
    m_pictures = std::move(pictures);
    refresh();
}
