#pragma once

#include "assets/PictureRecord.h"
#include "project/ProgramRecord.h"

#include <cstdint>
#include <string>
#include <vector>

// The program editor: shows and edits one program. The main window has a
// visible instance and a hidden one that renders and encodes programs. The
// editor holds a copy of the program between a load and a commit.
class CDlgProgram {
public:
    class View {
    public:
        virtual ~View() = default;
        // The editor's state changed; read it from the editor.
        virtual void refresh() = 0;
    };

    void setView(View* view) { m_view = view; }

    // The size of the screen the next program belongs to.
    void setScreenSize(int32_t width, int32_t height);
    void load(const ProgramRecord& program);
    void commit(ProgramRecord& program) const;

    void setName(std::u16string name);
    void setText(std::u16string text);
    // The picture library's records, for the picture list and for rendering.
    void setPictures(std::vector<PictureRecord> pictures);
    const std::vector<PictureRecord>& pictures() const { return m_pictures; }

    const std::u16string& name() const { return m_program.name; }
    const std::u16string& text() const { return m_text; }
    int32_t screenWidth() const { return m_screenWidth; }
    int32_t screenHeight() const { return m_screenHeight; }

private:
    void refresh() {
        if (m_view) m_view->refresh();
    }

    View* m_view = nullptr;
    int32_t m_screenWidth = 0;
    int32_t m_screenHeight = 0;
    ProgramRecord m_program;
    std::vector<PictureRecord> m_pictures;
    std::u16string m_text;
    bool m_textEdited = false;
};
