#include "app/CSystemSettingDlg.h"

#include "platform/Format.h"

CSystemSettingDlg::CSystemSettingDlg(const LanguageTable& language, int32_t playMode,
                                     int32_t tempOffset)
    : m_title(language.text(u"SystemSetting")),
      m_playModeLabel(language.text(u"PlayMode")),
      m_tempOffsetLabel(language.text(u"TemperatureOffset")),
      m_ok(language.text(u"OK")),
      m_cancel(language.text(u"Cancel")),
      m_playMode(playMode),
      m_tempOffset(tempOffset) {
    m_playModes = {{language.text(u"Normal"), 0}, {language.text(u"ButtonSwitch"), 1}};
    for (int32_t v = -7; v <= 7; ++v)
        m_tempOffsets.push_back({platform::format(v > 0 ? u"+%d" : u"%d", {v}), v});
    m_playModeSelection = indexOf(m_playModes, playMode, m_playMode);
    m_tempOffsetSelection = indexOf(m_tempOffsets, tempOffset, m_tempOffset);
}

// The entry with the value; without one the first entry, and the dialog's value becomes 0.
int CSystemSettingDlg::indexOf(const std::vector<Entry>& list, int32_t value,
                               int32_t& dialogValue) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].value == value) return static_cast<int>(i);
    dialogValue = 0;
    return list.empty() ? -1 : 0;
}

void CSystemSettingDlg::selectPlayMode(int index) {
    m_playModeSelection = index >= 0 && index < static_cast<int>(m_playModes.size()) ? index : -1;
}

void CSystemSettingDlg::selectTempOffset(int index) {
    m_tempOffsetSelection =
        index >= 0 && index < static_cast<int>(m_tempOffsets.size()) ? index : -1;
}

void CSystemSettingDlg::onOK() {
    m_playMode = m_playModeSelection < 0 ? 0 : m_playModes[m_playModeSelection].value;
    m_tempOffset = m_tempOffsetSelection < 0 ? 0 : m_tempOffsets[m_tempOffsetSelection].value;
}
