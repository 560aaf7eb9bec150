#include "update/ui/DownLoadTipDialog.h"

#include "platform/qt/QtText.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

using platform::toQString;

constexpr int kIconSize = 32;

}  // namespace

DownLoadTipDialog::DownLoadTipDialog(update::CDownLoadTipDlg& dlg, QWidget* parent)
    : QDialog(parent), m_dlg(dlg) {
    setObjectName(QStringLiteral("CDownLoadTipDlg"));
    setWindowTitle(toQString(dlg.m_title));
    setMinimumWidth(380);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    if (dlg.m_icon == update::CDownLoadTipDlg::kQuestionIcon)
        icon->setPixmap(
            style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(kIconSize));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    icon->setFixedWidth(kIconSize + 8);

    auto* message = new QPlainTextEdit(toQString(dlg.m_message), this);
    message->setObjectName(QStringLiteral("message"));
    message->setReadOnly(true);
    message->setFocusPolicy(Qt::NoFocus);
    // A few lines, so a longer message scrolls instead of stretching the prompt.
    message->setFixedHeight(message->fontMetrics().lineSpacing() * 4 +
                            2 * (message->frameWidth() + 4));

    m_check = new QCheckBox(toQString(dlg.m_checkText), this);
    m_check->setObjectName(QStringLiteral("noReminder"));
    m_check->setChecked(dlg.m_check != 0);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(toQString(dlg.m_okText), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(toQString(dlg.m_cancelText), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);
    grid->addWidget(icon, 0, 0, 2, 1);
    grid->addWidget(message, 0, 1);
    grid->addWidget(m_check, 1, 1);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(12);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

void DownLoadTipDialog::done(int result) {
    // Either button (and the close box, which is Cancel) leaves the box's state behind.
    m_dlg.m_check = m_check->isChecked() ? 1 : 0;
    QDialog::done(result);
}
