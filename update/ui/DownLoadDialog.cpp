#include "update/ui/DownLoadDialog.h"

#include "platform/qt/QtText.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using platform::toQString;

constexpr int kWidestPath = 640;

QString pathText(const std::filesystem::path& path) {
    return QFile::decodeName(path.c_str());
}

// The boxes this window opens carry the program's name, as the main window's do.
QString boxTitle() {
    return QCoreApplication::applicationName();
}

}  // namespace

DownLoadDialog::DownLoadDialog(update::CDownLoadDlg& dlg, QWidget* parent)
    : QDialog(parent), m_dlg(dlg) {
    setObjectName(QStringLiteral("CDownLoadDlg"));
    setWindowTitle(QString());
    setMinimumWidth(460);

    m_sourceLabel = new QLabel(this);
    m_sourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    m_source = new QLineEdit(this);
    m_source->setObjectName(QStringLiteral("source"));
    m_source->setReadOnly(true);
    m_destinationLabel = new QLabel(this);
    m_destinationLabel->setObjectName(QStringLiteral("destinationLabel"));
    m_destination = new QLineEdit(this);
    m_destination->setObjectName(QStringLiteral("destination"));
    m_destination->setReadOnly(true);
    // Nothing here takes typing: the path gets the focus only when clicked, to copy it.
    m_destination->setFocusPolicy(Qt::ClickFocus);
    m_sizeLabel = new QLabel(this);
    m_sizeLabel->setObjectName(QStringLiteral("sizeLabel"));
    m_size = new QLabel(this);
    m_size->setObjectName(QStringLiteral("size"));
    m_speedLabel = new QLabel(this);
    m_speedLabel->setObjectName(QStringLiteral("speedLabel"));
    m_speed = new QLabel(this);
    m_speed->setObjectName(QStringLiteral("speed"));
    m_percent = new QLabel(this);
    m_percent->setObjectName(QStringLiteral("percent"));
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for "100%", so the bar does not move as the figure grows.
    m_percent->setMinimumWidth(m_percent->fontMetrics().horizontalAdvance(QStringLiteral("100%")) +
                               4);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    // The percentage has a label of its own.
    m_progress->setTextVisible(false);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(8);
    form->addRow(m_sourceLabel, m_source);
    form->addRow(m_destinationLabel, m_destination);
    form->addRow(m_sizeLabel, m_size);
    form->addRow(m_speedLabel, m_speed);
    // The source is known but not shown.
    form->setRowVisible(m_source, false);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(8);
    bar->addWidget(m_progress, 1);
    bar->addWidget(m_percent);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 16);
    layout->setSpacing(14);
    layout->addLayout(form);
    layout->addLayout(bar);
    layout->addStretch(1);

    m_dlg.attach(*this);
    // Sets the labels and starts the transfer.
    m_dlg.onInitDialog();
}

DownLoadDialog::~DownLoadDialog() {
    m_timers.stopAll();
}

void DownLoadDialog::setLabels(const update::DownloadTexts& texts, const std::u16string& url,
                               const std::filesystem::path& destination) {
    m_sourceLabel->setText(toQString(texts.source));
    m_source->setText(toQString(url));
    m_destinationLabel->setText(toQString(texts.destination));
    const QString path = pathText(destination);
    m_destination->setText(path);
    m_destination->setToolTip(path);
    m_destination->setCursorPosition(0);
    // Wide enough for the whole path where the screen allows; the tooltip has it anyway.
    const int wanted = m_destination->fontMetrics().horizontalAdvance(path) + 16;
    m_destination->setMinimumWidth(std::min(wanted, kWidestPath));
    m_sizeLabel->setText(toQString(texts.size));
    m_speedLabel->setText(toQString(texts.speed));
}

void DownLoadDialog::setSizeText(const std::u16string& text) {
    m_size->setText(toQString(text));
}

void DownLoadDialog::setPercentText(const std::u16string& text) {
    m_percent->setText(toQString(text));
}

void DownLoadDialog::setSpeedText(const std::u16string& text) {
    m_speed->setText(toQString(text));
}

void DownLoadDialog::setProgressRange(int low, int high) {
    m_progress->setRange(low, high);
}

void DownLoadDialog::setProgressPos(int pos) {
    m_progress->setValue(pos);
}

void DownLoadDialog::startTimer(int id, int ms) {
    m_timers.start(id, ms);
}

void DownLoadDialog::stopTimer(int id) {
    m_timers.stop(id);
}

bool DownLoadDialog::askYesNo(const std::u16string& text) {
    return QMessageBox::question(this, boxTitle(), toQString(text),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void DownLoadDialog::message(const std::u16string& text) {
    QMessageBox box(QMessageBox::NoIcon, boxTitle(), toQString(text), QMessageBox::Ok, this);
    box.exec();
}

bool DownLoadDialog::openFile(const std::filesystem::path& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(pathText(file)));
}

void DownLoadDialog::endDialog(bool ok) {
    // The first end counts: a question answered while another was open may end
    // the window twice.
    if (m_ended) return;
    m_ended = true;
    m_timers.stopAll();
    done(ok ? QDialog::Accepted : QDialog::Rejected);
}

void DownLoadDialog::reject() {
    if (m_ended) {
        QDialog::reject();
        return;
    }
    // On a "no" the window stays and QDialog's closeEvent ignores the close.
    m_dlg.onClose();
}
