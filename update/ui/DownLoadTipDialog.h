#pragma once

#include "update/CDownLoadTipDlg.h"

#include <QDialog>

class QCheckBox;

// The Qt face of the silent update prompt: the question, the box that asks not
// to be reminded again, OK and Cancel. However it closes, the box's state goes
// into the prompt's m_check.
class DownLoadTipDialog : public QDialog {
    Q_OBJECT
public:
    explicit DownLoadTipDialog(update::CDownLoadTipDlg& dlg, QWidget* parent = nullptr);

public slots:
    void done(int result) override;

private:
    update::CDownLoadTipDlg& m_dlg;
    QCheckBox* m_check = nullptr;
};
