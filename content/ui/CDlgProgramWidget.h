#pragma once

#include "content/CDlgProgram.h"
#include "platform/qt/QtTimers.h"

#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QSpinBox;
class QTextEdit;
class QToolButton;

// The program editor panel: the text box and every option of one program, as
// CDlgProgram holds them. What the user does goes to CDlgProgram; each refresh
// shows what it decided.
class CDlgProgramWidget : public QWidget, public CDlgProgram::View {
    Q_OBJECT
public:
    explicit CDlgProgramWidget(CDlgProgram& editor, QWidget* parent = nullptr);
    ~CDlgProgramWidget() override;

    // F12 in the text box; the main window opens the test pattern dialog with it.
    std::function<void()> onTestDialog;

    // --- CDlgProgram::View --------------------------------------------------------------
    void refresh() override;
    void typeText(std::u16string_view text) override;
    void startTimer(int id, int milliseconds) override;
    void stopTimer(int id) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    QGroupBox* buildFontGroup();
    QGroupBox* buildEffectGroup();
    QGroupBox* buildBorderGroup();
    // The text box's menu, with the actions enabled for the current state; the caller owns it.
    QMenu* createContextMenu(QWidget* parent);
    void connectControls();
    void refreshCaptions();
    void refreshText();
    void refreshFormat();
    void refreshLists();
    void onBoxTextChanged();
    void onBoxCaretMoved();

    CDlgProgram& m_editor;

    QTextEdit* m_text = nullptr;

    QGroupBox* m_fontGroup = nullptr;
    QComboBox* m_font = nullptr;
    QLabel* m_sizeLabel = nullptr;
    QComboBox* m_size = nullptr;
    QToolButton* m_bold = nullptr;
    QToolButton* m_italic = nullptr;
    QToolButton* m_underline = nullptr;
    QComboBox* m_textColor = nullptr;
    QComboBox* m_backgroundColor = nullptr;
    QSpinBox* m_offsetX = nullptr;
    QSpinBox* m_offsetY = nullptr;
    QLabel* m_pitchLabel = nullptr;
    QSpinBox* m_pitch = nullptr;
    QCheckBox* m_autoAdjust = nullptr;

    QGroupBox* m_effectGroup = nullptr;
    QComboBox* m_effect = nullptr;
    QLabel* m_speedLabel = nullptr;
    QComboBox* m_speed = nullptr;
    QLabel* m_stopTimeLabel = nullptr;
    QComboBox* m_stopTime = nullptr;
    QCheckBox* m_flicker = nullptr;

    QGroupBox* m_borderGroup = nullptr;
    QComboBox* m_border = nullptr;
    QLabel* m_borderSpeedLabel = nullptr;
    QComboBox* m_borderSpeed = nullptr;
    QCheckBox* m_useTemp = nullptr;
    QComboBox* m_tempUnit = nullptr;

    QLabel* m_animationLabel = nullptr;
    QListWidget* m_animations = nullptr;
    QLabel* m_pictureLabel = nullptr;
    QListWidget* m_pictures = nullptr;

    // What each combo and list was last filled with, so a refresh only
    // rebuilds what changed (refreshes come with every typed character).
    std::map<const QWidget*, std::vector<std::u16string>> m_filled;

    platform::QtTimers m_timers{this, [this](int id) { m_editor.onTimer(id); }};
    // Set while a refresh fills the controls, so that is not taken for the user's doing.
    bool m_filling = false;
};
