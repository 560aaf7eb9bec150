#include "assets/ui/CDialogAddImagesDialog.h"

#include "platform/qt/QtBitmap.h"
#include "platform/qt/QtText.h"

#include <QAction>
#include <QColor>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QItemSelection>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace assets_ui {

// The preview area: the logic's picture stretched over the whole area, black
// where there is none.
class PreviewArea : public QFrame {
public:
    explicit PreviewArea(QWidget* parent) : QFrame(parent) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void setImage(QImage image) {
        m_image = std::move(image);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (!m_image.isNull()) painter.drawImage(contentsRect(), m_image);
        drawFrame(&painter);
    }

private:
    QImage m_image;
};

}  // namespace assets_ui

namespace {

using platform::toQString;
using Dlg = CDialogAddImages;

constexpr int kPreviewSide = 120;
constexpr int kVisibleRows = 12;

}  // namespace

CDialogAddImagesDialog::CDialogAddImagesDialog(CDialogAddImages& dlg, Poster post, QWidget* parent)
    : QDialog(parent),
      m_dlg(dlg),
      m_post(std::move(post)),
      m_timers(this, [this](int id) { m_dlg.onTimer(id); }) {
    setObjectName(QStringLiteral("CDialogAddImages"));
    setWindowTitle(toQString(dlg.title()));

    m_list = new QTableWidget(0, 2, this);
    m_list->setObjectName(QStringLiteral("list"));
    m_list->setHorizontalHeaderLabels(
        {toQString(dlg.columnCaption(0)), toQString(dlg.columnCaption(1))});
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->setColumnWidth(0, Dlg::kPositionWidth);
    m_list->setColumnWidth(1, Dlg::kPathWidth);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideMiddle);
    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Base, platform::colourOfRgb(Dlg::kBackColour));
    palette.setColor(QPalette::Text, platform::colourOfRgb(Dlg::kTextColour));
    m_list->setPalette(palette);
    m_list->setMinimumWidth(Dlg::kPositionWidth + Dlg::kPathWidth + 2 * m_list->frameWidth() +
                            m_list->verticalScrollBar()->sizeHint().width());
    m_list->setMinimumHeight(m_list->horizontalHeader()->sizeHint().height() +
                             kVisibleRows * m_list->verticalHeader()->defaultSectionSize() +
                             2 * m_list->frameWidth());
    m_controls[Dlg::IDC_LIST] = m_list;

    m_preview = new assets_ui::PreviewArea(this);
    m_preview->setObjectName(QStringLiteral("previewArea"));
    m_preview->setFixedSize(kPreviewSide + 2 * m_preview->frameWidth(),
                            kPreviewSide + 2 * m_preview->frameWidth());

    auto button = [this](int id, const char* name) {
        auto* b = new QPushButton(toQString(m_dlg.controlText(id)), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        m_controls[id] = b;
        return b;
    };
    QPushButton* add = button(Dlg::IDC_ADD, "add");
    QPushButton* remove = button(Dlg::IDC_REMOVE, "remove");
    QPushButton* up = button(Dlg::IDC_UP, "up");
    QPushButton* down = button(Dlg::IDC_DOWN, "down");
    m_previewButton = button(Dlg::IDC_PREVIEW, "preview");
    QPushButton* ok = button(Dlg::IDOK, "ok");
    QPushButton* cancel = button(Dlg::IDCANCEL, "cancel");
    ok->setDefault(true);

    // The button itself sends to the first sign, its one drop-down item to all signs.
    m_update = new QToolButton(this);
    m_update->setObjectName(QStringLiteral("update"));
    m_update->setText(toQString(dlg.controlText(Dlg::IDC_UPDATE)));
    m_update->setPopupMode(QToolButton::MenuButtonPopup);
    m_update->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_update->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_update->setFixedHeight(add->sizeHint().height());
    auto* menu = new QMenu(m_update);
    QAction* batch = menu->addAction(toQString(dlg.controlText(Dlg::ID_BATCH_TX)));
    batch->setData(Dlg::ID_BATCH_TX);
    m_update->setMenu(menu);
    m_controls[Dlg::IDC_UPDATE] = m_update;

    auto* max = new QLabel(QStringLiteral("Max = 50"), this);
    max->setObjectName(QStringLiteral("max"));

    auto* side = new QVBoxLayout;
    side->addWidget(m_preview, 0, Qt::AlignHCenter);
    side->addWidget(max, 0, Qt::AlignHCenter);
    side->addSpacing(6);
    side->addWidget(add);
    side->addWidget(remove);
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(up);
    arrows->addWidget(down);
    side->addLayout(arrows);
    side->addWidget(m_previewButton);
    side->addStretch();
    side->addWidget(m_update);

    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(side);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);

    connect(add, &QPushButton::clicked, this, [this] { m_dlg.onAdd(); });
    connect(remove, &QPushButton::clicked, this, [this] { m_dlg.onRemove(); });
    connect(up, &QPushButton::clicked, this, [this] { m_dlg.onUp(); });
    connect(down, &QPushButton::clicked, this, [this] { m_dlg.onDown(); });
    connect(m_previewButton, &QPushButton::clicked, this, [this] { m_dlg.onPreview(); });
    connect(ok, &QPushButton::clicked, this, [this] { m_dlg.onOK(); });
    connect(cancel, &QPushButton::clicked, this, [this] { m_dlg.onCancel(); });
    connect(m_update, &QToolButton::clicked, this, [this] { m_dlg.onUpdate(false); });
    connect(batch, &QAction::triggered, this, [this] { m_dlg.onUpdate(true); });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionEdited(); });

    m_dlg.setView(this);
    m_dlg.onInitDialog();
}

CDialogAddImagesDialog::~CDialogAddImagesDialog() {
    m_timers.stopAll();
    m_dlg.setView(nullptr);
}

void CDialogAddImagesDialog::refresh() {
    m_filling = true;
    fillList();
    showSelection();
    m_filling = false;
    m_preview->setImage(platform::toQImage(m_dlg.previewImage()));
    m_previewButton->setText(toQString(m_dlg.controlText(Dlg::IDC_PREVIEW)));
    for (const auto& [id, control] : m_controls)
        control->setEnabled(m_dlg.isEnabled(id));
}

void CDialogAddImagesDialog::fillList() {
    const auto& rows = m_dlg.rows();
    m_list->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        for (int c = 0; c < 2; ++c) {
            const QString text = toQString(c == 0 ? rows[r].position : rows[r].path);
            QTableWidgetItem* item = m_list->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
                item->setForeground(platform::colourOfRgb(Dlg::kTextColour));
                item->setBackground(platform::colourOfRgb(Dlg::kBackColour));
                m_list->setItem(r, c, item);
            }
            if (item->text() != text) {
                item->setText(text);
                if (c == 1) item->setToolTip(text);
            }
        }
    }
}

namespace {

std::vector<int> selectedRows(const QTableWidget& list) {
    std::vector<int> rows;
    for (const QModelIndex& index : list.selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

}  // namespace

void CDialogAddImagesDialog::showSelection() {
    const std::vector<int>& wanted = m_dlg.selection();
    // Left alone when it already matches, so a Shift-click keeps its anchor.
    if (selectedRows(*m_list) == wanted) return;
    QItemSelection selection;
    for (int row : wanted) {
        if (row < 0 || row >= m_list->rowCount()) continue;
        selection.select(m_list->model()->index(row, 0), m_list->model()->index(row, 1));
    }
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!wanted.empty() && wanted.back() < m_list->rowCount()) {
        const QModelIndex current = m_list->model()->index(wanted.back(), 0);
        m_list->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        m_list->scrollTo(current);
    }
}

void CDialogAddImagesDialog::selectionEdited() {
    if (m_filling) return;
    m_dlg.onSelectionChanged(selectedRows(*m_list));
}

QString CDialogAddImagesDialog::qtFilter(std::u16string_view name, std::u16string_view pattern) {
    QStringList globs;
    for (const QString& glob : toQString(pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString g = glob.trimmed();
        if (!g.isEmpty()) globs << g;
    }
    globs.removeDuplicates();
    if (globs.isEmpty()) globs << QStringLiteral("*");
    return toQString(name) + QStringLiteral(" (") + globs.join(QLatin1Char(' ')) + QLatin1Char(')');
}

std::vector<std::filesystem::path> CDialogAddImagesDialog::chooseFiles(
    std::u16string_view filterName, std::u16string_view pattern) {
    std::vector<std::filesystem::path> files;
    for (const QString& f :
         QFileDialog::getOpenFileNames(this, QString(), QString(), qtFilter(filterName, pattern)))
        files.emplace_back(f.toStdString());
    return files;
}

void CDialogAddImagesDialog::messageBox(std::u16string_view text) {
    QMessageBox::information(this, QStringLiteral("Zentari"), toQString(text));
}

void CDialogAddImagesDialog::startTimer(int id, int milliseconds) {
    m_timers.start(id, milliseconds);
}

void CDialogAddImagesDialog::stopTimer(int id) {
    m_timers.stop(id);
}

void CDialogAddImagesDialog::postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (m_post) m_post(message, wParam, lParam);
}

void CDialogAddImagesDialog::endDialog(int result) {
    done(result == Dlg::IDOK ? QDialog::Accepted : QDialog::Rejected);
}

void CDialogAddImagesDialog::reject() {
    // Cancel stops the preview and ends the dialog through endDialog().
    m_dlg.onCancel();
}
