#include "assets/ui/CImgInfoDialog.h"

#include "platform/qt/QtBitmap.h"
#include "platform/qt/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using platform::toQString;

// "image files(*.bmp;*.jpg)" with "*.bmp;*.jpg;" → Qt's "image files(*.bmp;*.jpg) (*.bmp *.jpg)".
QString qtFilter(std::u16string_view name, std::u16string_view pattern) {
    QStringList globs = toQString(pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    globs.removeDuplicates();
    return toQString(name) + QStringLiteral(" (") + globs.join(QLatin1Char(' ')) + QLatin1Char(')');
}

}  // namespace

CImgInfoDialog::CImgInfoDialog(CImgInfoDlg& dlg, QWidget* parent) : QDialog(parent), m_dlg(dlg) {
    const auto& c = dlg.captions();
    setWindowTitle(toQString(c.title));

    m_ids = new QComboBox(this);
    m_ids->setMinimumWidth(120);
    m_path = new QLineEdit(this);
    m_path->setReadOnly(true);
    auto spin = [this] {
        auto* box = new QSpinBox(this);
        box->setRange(CImgInfoDlg::kMinSize, CImgInfoDlg::kMaxSize);
        box->setMinimumWidth(80);
        return box;
    };
    m_width = spin();
    m_height = spin();
    m_zoom = new QCheckBox(toQString(c.zoom), this);

    m_preview = new QLabel(this);
    m_preview->setFixedSize(CImgInfoDlg::kPreviewWidth + 2, CImgInfoDlg::kPreviewHeight + 2);
    m_preview->setStyleSheet(QStringLiteral("background: black; border: 1px solid #555;"));
    m_preview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Below the colours, the picture as the red sign lights it.
    m_signLook = new QLabel(this);
    m_signLook->setObjectName(QStringLiteral("signLook"));
    m_signLook->setFixedSize(CImgInfoDlg::kPreviewWidth + 2, CImgInfoDlg::kPreviewHeight * 3 + 2);
    m_signLook->setStyleSheet(QStringLiteral("background: #161619; border: 1px solid #555;"));
    m_signLook->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* add = new QPushButton(toQString(c.add), this);
    m_remove = new QPushButton(toQString(c.remove), this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(toQString(c.id), this), 0, 0);
    auto* idRow = new QHBoxLayout;
    idRow->addWidget(m_ids);
    idRow->addWidget(new QLabel(toQString(c.max), this));
    idRow->addStretch();
    grid->addLayout(idRow, 0, 1);
    grid->addWidget(m_path, 1, 0, 1, 2);
    grid->addWidget(new QLabel(toQString(c.width), this), 2, 0);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(m_width);
    sizeRow->addSpacing(16);
    sizeRow->addWidget(new QLabel(toQString(c.height), this));
    sizeRow->addWidget(m_height);
    sizeRow->addSpacing(16);
    sizeRow->addWidget(m_zoom);
    sizeRow->addStretch();
    grid->addLayout(sizeRow, 2, 1);
    grid->addWidget(m_preview, 3, 0, 1, 2);
    grid->addWidget(m_signLook, 4, 0, 1, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(toQString(c.ok));
    buttons->button(QDialogButtonBox::Cancel)->setText(toQString(c.cancel));
    buttons->addButton(add, QDialogButtonBox::ActionRole);
    buttons->addButton(m_remove, QDialogButtonBox::ActionRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(add, &QPushButton::clicked, this, [this] { m_dlg.add(); });
    connect(m_remove, &QPushButton::clicked, this, [this] { m_dlg.remove(); });
    connect(m_ids, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling) m_dlg.selectEntry(index);
    });
    connect(m_width, &QSpinBox::valueChanged, this, [this](int v) {
        if (!m_filling) m_dlg.setWidth(v);
    });
    connect(m_height, &QSpinBox::valueChanged, this, [this](int v) {
        if (!m_filling) m_dlg.setHeight(v);
    });
    connect(m_zoom, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_filling) m_dlg.setZoom(on);
    });

    m_dlg.setView(this);
    m_dlg.onInitDialog();
}

CImgInfoDialog::~CImgInfoDialog() {
    m_dlg.setView(nullptr);
}

void CImgInfoDialog::refresh() {
    m_filling = true;
    m_ids->clear();
    for (const auto& e : m_dlg.entries())
        m_ids->addItem(toQString(e.label), e.id);
    m_ids->setCurrentIndex(m_dlg.selection());
    m_path->setText(toQString(m_dlg.path()));
    m_width->setValue(m_dlg.width());
    m_height->setValue(m_dlg.height());
    m_zoom->setChecked(m_dlg.zoom());
    const QImage preview = platform::toQImage(m_dlg.preview());
    m_preview->setPixmap(QPixmap::fromImage(preview));
    // The picture's own part of the preview, three pixels an LED while it fits so.
    const QImage picture = preview.copy(0, 0, std::min(m_dlg.width(), preview.width()),
                                        std::min(m_dlg.height(), preview.height()));
    const int pitch =
        std::clamp(std::min(CImgInfoDlg::kPreviewWidth / std::max(1, picture.width()),
                            CImgInfoDlg::kPreviewHeight * 3 / std::max(1, picture.height())),
                   1, 3);
    m_signLook->setPixmap(QPixmap::fromImage(platform::signLook(picture, pitch)));
    m_remove->setEnabled(m_dlg.selection() >= 0);
    m_filling = false;
}

std::vector<std::filesystem::path> CImgInfoDialog::chooseFiles(std::u16string_view filterName,
                                                               std::u16string_view pattern) {
    std::vector<std::filesystem::path> files;
    for (const QString& f :
         QFileDialog::getOpenFileNames(this, QString(), QString(), qtFilter(filterName, pattern)))
        files.emplace_back(f.toStdString());
    return files;
}

void CImgInfoDialog::messageBox(std::u16string_view text) {
    QMessageBox::information(this, QStringLiteral("Zentari"), toQString(text));
}
