#pragma once

#include "content/CDlgProgram.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

// The program editor: the program's name and its text. Typing goes straight
// into CDlgProgram; the name changes only through Rename.
class CDlgProgramWidget : public QWidget, public CDlgProgram::View {
    Q_OBJECT
public:
    explicit CDlgProgramWidget(CDlgProgram& editor, QWidget* parent = nullptr);
    ~CDlgProgramWidget() override;

    void refresh() override;

private:
    CDlgProgram& m_editor;
    QLabel* m_name = nullptr;
    QPlainTextEdit* m_text = nullptr;
    // Set while refresh() fills the box, so that is not taken for typing.
    bool m_filling = false;
};
