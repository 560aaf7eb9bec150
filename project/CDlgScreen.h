#pragma once

#include "project/ScreenRecord.h"

#include <cstdint>
#include <string>

// The screen panel of the main window: the selected screen's name, size and
// number of programs. It holds a copy of the screen's fields between a load and
// a commit; only the name changes in between (through Rename).
class CDlgScreen {
public:
    class View {
    public:
        virtual ~View() = default;
        // The panel's values or its label texts changed; read them from the panel.
        virtual void refresh() = 0;
    };

    void setView(View* view) { m_view = view; }

    void load(const ScreenRecord& screen);
    void commit(ScreenRecord& screen) const;

    void setName(std::u16string name);
    // The screen gained or lost programs while the panel showed it.
    void setProgramCount(uint32_t count);
    // Label texts: "ScreenWidth", "ScreenHeight", "ScreenName", "ProgramCounts".
    void setLabels(std::u16string width, std::u16string height, std::u16string name,
                   std::u16string programCount);

    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    int32_t baseColor() const { return m_baseColor; }
    const std::u16string& name() const { return m_name; }

    // The value labels as the panel shows them ("% 3u").
    std::u16string widthText() const;
    std::u16string heightText() const;
    std::u16string programCountText() const;

    const std::u16string& widthLabel() const { return m_widthLabel; }
    const std::u16string& heightLabel() const { return m_heightLabel; }
    const std::u16string& nameLabel() const { return m_nameLabel; }
    const std::u16string& programCountLabel() const { return m_programCountLabel; }

private:
    void refresh() {
        if (m_view) m_view->refresh();
    }

    View* m_view = nullptr;
    int32_t m_width = 44;
    int32_t m_height = 11;
    int32_t m_baseColor = 0;
    uint32_t m_programCount = 0;
    std::u16string m_name;
    std::u16string m_widthLabel = u"ScreenWidth";
    std::u16string m_heightLabel = u"ScreenHeight";
    std::u16string m_nameLabel = u"ScreenName";
    std::u16string m_programCountLabel = u"ProgramCounts";
};
