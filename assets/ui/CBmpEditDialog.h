#pragma once

#include "assets/CBmpEdit.h"

#include <QDialog>
#include <QString>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class QCheckBox;
class QCloseEvent;
class QHideEvent;
class QKeyEvent;
class QToolButton;

namespace assets_ui {
class BmpGrid;
}

// The Qt face of the pixel image editor: the size fields with their arrows and
// the tool buttons in the 30-pixel strip above the grid, and the grid, which
// passes the mouse on in client coordinates. Modeless. The frame's close box
// writes the picture and the settings through the logic; Enter and Escape only
// hide the window.
class CBmpEditDialog : public QDialog, public CBmpEdit::View {
    Q_OBJECT
public:
    explicit CBmpEditDialog(CBmpEdit& dlg, QWidget* parent = nullptr);
    ~CBmpEditDialog() override;

    // The logic's start (settings, captions, size, last picture); then the hidden
    // zoom box shows the flag it read.
    void initDialog();

    void setTitle(const std::u16string& title) override;
    void setControlText(int id, const std::u16string& text) override;
    void resizeClient(int width, int height) override;
    void redraw() override;
    void captureMouse(bool on) override;
    std::optional<std::filesystem::path> openFileDialog(std::u16string_view filter) override;
    std::optional<std::filesystem::path> saveFileDialog(std::u16string_view defaultName,
                                                        std::u16string_view defaultExtension,
                                                        std::u16string_view filter) override;
    void messageBox(const std::u16string& text) override;

    // "Name(*.a;*.b)|*.a;*b||" → Qt's "Name (*.a *b)", pairs joined by ";;".
    static QString qtFilter(std::u16string_view filter);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The hidden zoom box's state into the logic, before it opens or writes files.
    void takeValues();
    void button(int id);
    void showTool();

    CBmpEdit& m_dlg;
    QWidget* m_strip = nullptr;
    assets_ui::BmpGrid* m_grid = nullptr;
    QCheckBox* m_zoom = nullptr;
    QToolButton* m_pen = nullptr;
    QToolButton* m_eraser = nullptr;
    std::map<int, QWidget*> m_controls;  // by the logic's control ids
};
