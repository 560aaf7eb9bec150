#pragma once

#include "app/LanguageTable.h"

#include <cstdint>
#include <string>
#include <vector>

// The system settings dialog: play mode and temperature offset. It starts from
// the current settings; after OK, playMode() and tempOffset() hold the choice.
class CSystemSettingDlg {
public:
    struct Entry {
        std::u16string label;
        int32_t value;
    };

    CSystemSettingDlg(const LanguageTable& language, int32_t playMode, int32_t tempOffset);

    const std::u16string& title() const { return m_title; }
    const std::u16string& playModeLabel() const { return m_playModeLabel; }
    const std::u16string& tempOffsetLabel() const { return m_tempOffsetLabel; }
    const std::u16string& okText() const { return m_ok; }
    const std::u16string& cancelText() const { return m_cancel; }

    const std::vector<Entry>& playModes() const { return m_playModes; }
    const std::vector<Entry>& tempOffsets() const { return m_tempOffsets; }
    // The selected entries; -1 for none.
    int playModeSelection() const { return m_playModeSelection; }
    int tempOffsetSelection() const { return m_tempOffsetSelection; }
    void selectPlayMode(int index);
    void selectTempOffset(int index);

    // Takes the selected entries' values (0 for a list without a selection).
    void onOK();
    int32_t playMode() const { return m_playMode; }
    int32_t tempOffset() const { return m_tempOffset; }

private:
    static int indexOf(const std::vector<Entry>& list, int32_t value, int32_t& dialogValue);

    std::u16string m_title, m_playModeLabel, m_tempOffsetLabel, m_ok, m_cancel;
    std::vector<Entry> m_playModes;
    std::vector<Entry> m_tempOffsets;
    int m_playModeSelection = -1;
    int m_tempOffsetSelection = -1;
    int32_t m_playMode;
    int32_t m_tempOffset;
};
