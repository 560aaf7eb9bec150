#pragma once

#include "assets/CDialogAddImages.h"
#include "platform/qt/QtTimers.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

class QPushButton;
class QTableWidget;
class QToolButton;

namespace assets_ui {
class PreviewArea;
}

// The Qt face of the animation library dialog: the list, the preview area and
// the buttons; the menu button sends the library to the first sign or, through
// its "BatchTx" item, to all of them.
class CDialogAddImagesDialog : public QDialog, public CDialogAddImages::View {
    Q_OBJECT
public:
    // Where the dialog's messages to the main window go (queued there).
    using Poster = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

    CDialogAddImagesDialog(CDialogAddImages& dlg, Poster post, QWidget* parent = nullptr);
    ~CDialogAddImagesDialog() override;

    void refresh() override;
    std::vector<std::filesystem::path> chooseFiles(std::u16string_view filterName,
                                                   std::u16string_view pattern) override;
    void messageBox(std::u16string_view text) override;
    // The logic's numbered timers; QObject's own startTimer is not used here.
    void startTimer(int id, int milliseconds) override;
    void stopTimer(int id) override;
    void postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void endDialog(int result) override;

    // "gif Files " with "*.gif;*.gif;" → Qt's "gif Files  (*.gif)".
    static QString qtFilter(std::u16string_view name, std::u16string_view pattern);

public slots:
    // The frame's close and Escape both come here, as Cancel.
    void reject() override;

private:
    void fillList();
    void showSelection();
    void selectionEdited();

    CDialogAddImages& m_dlg;
    Poster m_post;
    QTableWidget* m_list = nullptr;
    assets_ui::PreviewArea* m_preview = nullptr;
    QPushButton* m_previewButton = nullptr;
    QToolButton* m_update = nullptr;
    std::map<int, QWidget*> m_controls;  // by the logic's control ids
    platform::QtTimers m_timers;
    bool m_filling = false;
};
