#pragma once

#include "assets/CImgInfoDlg.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The Qt face of the picture library dialog.
class CImgInfoDialog : public QDialog, public CImgInfoDlg::View {
    Q_OBJECT
public:
    CImgInfoDialog(CImgInfoDlg& dlg, QWidget* parent);
    ~CImgInfoDialog() override;

    void refresh() override;
    std::vector<std::filesystem::path> chooseFiles(std::u16string_view filterName,
                                                   std::u16string_view pattern) override;
    void messageBox(std::u16string_view text) override;

private:
    CImgInfoDlg& m_dlg;
    QComboBox* m_ids;
    QLineEdit* m_path;
    QSpinBox* m_width;
    QSpinBox* m_height;
    QCheckBox* m_zoom;
    QLabel* m_signLook = nullptr;
    QLabel* m_preview;
    QPushButton* m_remove;
    bool m_filling = false;
};
