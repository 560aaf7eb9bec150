#include "app/ui/CSystemSettingDialog.h"

#include "platform/qt/QtText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using platform::toQString;

void fill(QComboBox* box, const std::vector<CSystemSettingDlg::Entry>& entries, int selection) {
    for (const auto& e : entries)
        box->addItem(toQString(e.label), e.value);
    box->setCurrentIndex(selection);
}

}  // namespace

CSystemSettingDialog::CSystemSettingDialog(CSystemSettingDlg& dlg, QWidget* parent)
    : QDialog(parent), m_dlg(dlg) {
    setWindowTitle(toQString(dlg.title()));
    auto* form = new QFormLayout;
    m_playMode = new QComboBox(this);
    m_tempOffset = new QComboBox(this);
    fill(m_playMode, dlg.playModes(), dlg.playModeSelection());
    fill(m_tempOffset, dlg.tempOffsets(), dlg.tempOffsetSelection());
    form->addRow(toQString(dlg.playModeLabel()), m_playMode);
    form->addRow(toQString(dlg.tempOffsetLabel()), m_tempOffset);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(toQString(dlg.okText()));
    buttons->button(QDialogButtonBox::Cancel)->setText(toQString(dlg.cancelText()));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

void CSystemSettingDialog::accept() {
    m_dlg.selectPlayMode(m_playMode->currentIndex());
    m_dlg.selectTempOffset(m_tempOffset->currentIndex());
    m_dlg.onOK();
    QDialog::accept();
}
