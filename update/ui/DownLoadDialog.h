#pragma once

#include "platform/qt/QtTimers.h"
#include "update/CDownLoadDlg.h"

#include <QDialog>

#include <filesystem>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;

// The Qt face of the download window: where the file goes, its size, the speed,
// the percentage and a progress bar. It starts the transfer when made; the
// worker's news arrives through the main window's queue as the logic's timers.
class DownLoadDialog : public QDialog, public update::CDownLoadDlg::View {
    Q_OBJECT
public:
    explicit DownLoadDialog(update::CDownLoadDlg& dlg, QWidget* parent = nullptr);
    ~DownLoadDialog() override;

    void setLabels(const update::DownloadTexts& texts, const std::u16string& url,
                   const std::filesystem::path& destination) override;
    void setSizeText(const std::u16string& text) override;
    void setPercentText(const std::u16string& text) override;
    void setSpeedText(const std::u16string& text) override;
    void setProgressRange(int low, int high) override;
    void setProgressPos(int pos) override;
    void startTimer(int id, int ms) override;
    void stopTimer(int id) override;
    bool askYesNo(const std::u16string& text) override;
    void message(const std::u16string& text) override;
    bool openFile(const std::filesystem::path& file) override;
    void endDialog(bool ok) override;

public slots:
    // Escape and the close box: the logic may ask first, and may keep the window open.
    void reject() override;

private:
    update::CDownLoadDlg& m_dlg;
    platform::QtTimers m_timers{this, [this](int id) { m_dlg.onTimer(id); }};
    QLabel* m_sourceLabel = nullptr;
    QLineEdit* m_source = nullptr;
    QLabel* m_destinationLabel = nullptr;
    QLineEdit* m_destination = nullptr;
    QLabel* m_sizeLabel = nullptr;
    QLabel* m_size = nullptr;
    QLabel* m_speedLabel = nullptr;
    QLabel* m_speed = nullptr;
    QLabel* m_percent = nullptr;
    QProgressBar* m_progress = nullptr;
    bool m_ended = false;
};
