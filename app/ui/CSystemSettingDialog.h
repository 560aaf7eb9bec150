#pragma once

#include "app/CSystemSettingDlg.h"

#include <QDialog>

class QComboBox;

// The Qt face of CSystemSettingDlg.
class CSystemSettingDialog : public QDialog {
    Q_OBJECT
public:
    CSystemSettingDialog(CSystemSettingDlg& dlg, QWidget* parent);

    void accept() override;

private:
    CSystemSettingDlg& m_dlg;
    QComboBox* m_playMode;
    QComboBox* m_tempOffset;
};
