#pragma once

#include "batch/CClustersSend.h"
#include "platform/qt/QtTimers.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The Qt face of the batch send dialog: the sign list with its in-place
// editors, Send, Close and, in firmware mode, the two check boxes.
class CClustersSendDialog : public QDialog, public CClustersSend::View {
    Q_OBJECT
public:
    CClustersSendDialog(CClustersSend& dlg, QWidget* parent = nullptr);
    ~CClustersSendDialog() override;

    void refresh() override;
    std::optional<std::u16string> openFile(const std::u16string& filter,
                                           const std::u16string& current) override;
    // Accepted after Close, rejected after closing by the frame or Escape.
    void closeDialog() override;
    void startTimer(int id, int milliseconds) override;

    // "desc(*.x)|*.x||" as Qt's "desc (*.x)", pairs joined by ";;".
    static QString qtFilter(std::u16string_view filter);

public slots:
    // The frame's close and Escape both come here.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    platform::QtTimers m_timers{this, [this](int id) { m_dlg.onTimer(id); }};
    // The default firmware and software paths, shown with their check boxes.
    QLineEdit* m_defaultFirmware = nullptr;
    QLineEdit* m_defaultSoftware = nullptr;
    // Enter or a double click on a cell.
    void editCell(int row, int column, bool byKey);
    void cellEdited(int row, int column, const QString& text);
    void fillRow(int row, const CClustersSend::Row& cells);

    CClustersSend& m_dlg;
    QTableWidget* m_list = nullptr;
    QCheckBox* m_autoUpdate = nullptr;
    QCheckBox* m_copySoft = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_close = nullptr;
    bool m_byFrame = false;
};
