#include "assets/ui/CCustomToolBarDialog.h"

#include "platform/qt/QtBitmap.h"
#include "platform/qt/QtText.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>
#include <set>
#include <utility>

namespace {

using platform::toQString;
using Dlg = CCustomToolBar;

constexpr int kPreviewSide = 96;
constexpr int kVisibleRows = 10;

// The MenuItem cells: a drop-down of the command list's display names. The
// choice goes to the logic, which writes the name and its identifier.
class MenuItemDelegate : public QStyledItemDelegate {
public:
    using Chosen = std::function<void(int row, const QString& name)>;

    MenuItemDelegate(QStringList names, Chosen chosen, QObject* parent)
        : QStyledItemDelegate(parent), m_names(std::move(names)), m_chosen(std::move(chosen)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* box = new QComboBox(parent);
        box->setObjectName(QStringLiteral("menuItemEditor"));
        box->addItems(m_names);
        // Taken as soon as one is picked, as the list's own drop-down cells do.
        auto* self = const_cast<MenuItemDelegate*>(this);
        connect(box, &QComboBox::activated, self, [self, box] {
            emit self->commitData(box);
            emit self->closeEditor(box);
        });
        return box;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* box = static_cast<QComboBox*>(editor);
        box->setCurrentIndex(box->findText(index.data().toString(), Qt::MatchExactly));
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        m_chosen(index.row(), static_cast<QComboBox*>(editor)->currentText());
    }

private:
    QStringList m_names;
    Chosen m_chosen;
};

}  // namespace

CCustomToolBarDialog::CCustomToolBarDialog(CCustomToolBar& dlg, std::string* error,
                                           const QString& title, QWidget* parent)
    : QDialog(parent), m_dlg(dlg), m_error(error) {
    setObjectName(QStringLiteral("CCustomToolBar"));
    setWindowTitle(title);

    m_list = new QTableWidget(0, Dlg::COLUMN_COUNT, this);
    m_list->setObjectName(QStringLiteral("list"));
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setHighlightSections(false);
    for (int c = 0; c < Dlg::COLUMN_COUNT; ++c)
        m_list->setColumnWidth(c, Dlg::kColumnWidths[c]);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 8);
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Only the MenuItem cells are editable in place; Path takes a file dialog.
    m_list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                            QAbstractItemView::EditKeyPressed);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideMiddle);
    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Base, platform::colourOfRgb(Dlg::kBackColour));
    palette.setColor(QPalette::AlternateBase, platform::colourOfRgb(Dlg::kBackColour));
    palette.setColor(QPalette::Text, platform::colourOfRgb(Dlg::kTextColour));
    m_list->setPalette(palette);
    QStringList names;
    for (const std::u16string& name : m_dlg.commandNames())
        names << toQString(name);
    m_list->setItemDelegateForColumn(Dlg::COL_MENU_ITEM, new MenuItemDelegate(
                                                             names,
                                                             [this](int row, const QString& name) {
                                                                 m_dlg.onMenuItemChosen(
                                                                     row, name.toStdU16String());
                                                             },
                                                             m_list));
    int tableWidth = 2 * m_list->frameWidth() + m_list->verticalScrollBar()->sizeHint().width();
    for (int width : Dlg::kColumnWidths)
        tableWidth += width;
    m_list->setMinimumWidth(tableWidth);
    m_list->setMinimumHeight(m_list->horizontalHeader()->sizeHint().height() +
                             kVisibleRows * m_list->verticalHeader()->defaultSectionSize() +
                             2 * m_list->frameWidth());
    m_list->viewport()->installEventFilter(this);
    m_controls[Dlg::IDC_LIST] = m_list;

    m_preview = new QLabel(this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setFixedSize(kPreviewSide, kPreviewSide);
    m_preview->setAutoFillBackground(true);
    QPalette black = m_preview->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_preview->setPalette(black);
    m_preview->setScaledContents(true);
    m_controls[Dlg::IDC_PREVIEW] = m_preview;

    auto button = [this](int id, const char* name, const QString& text = {}) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        m_controls[id] = b;
        return b;
    };
    QPushButton* add = button(Dlg::IDC_ADD, "add");
    QPushButton* remove = button(Dlg::IDC_REMOVE, "remove");
    QPushButton* up = button(Dlg::IDC_UP, "up", QStringLiteral("\u25B2"));
    QPushButton* down = button(Dlg::IDC_DOWN, "down", QStringLiteral("\u25BC"));
    QPushButton* ok = button(Dlg::IDOK, "ok");
    QPushButton* cancel = button(Dlg::IDCANCEL, "cancel");
    ok->setDefault(true);

    auto field = [this](int id, const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        // A number; a negative one is taken as the default on OK.
        edit->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("-?[0-9]{0,10}")), edit));
        edit->setMaximumWidth(64);
        m_controls[id] = edit;
        return edit;
    };
    auto labelFor = [this](int id, const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        m_controls[id] = label;
        return label;
    };

    auto* side = new QVBoxLayout;
    side->addWidget(m_preview, 0, Qt::AlignHCenter);
    side->addSpacing(6);
    side->addWidget(add);
    side->addWidget(remove);
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(up);
    arrows->addWidget(down);
    side->addLayout(arrows);
    side->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(side);

    auto* fields = new QHBoxLayout;
    fields->addWidget(labelFor(Dlg::IDC_WIDTH_LABEL, "widthLabel"));
    fields->addWidget(field(Dlg::IDC_WIDTH, "width"));
    fields->addSpacing(12);
    fields->addWidget(labelFor(Dlg::IDC_HEIGHT_LABEL, "heightLabel"));
    fields->addWidget(field(Dlg::IDC_HEIGHT, "height"));
    fields->addSpacing(12);
    fields->addWidget(labelFor(Dlg::IDC_SPACING_LABEL, "spacingLabel"));
    fields->addWidget(field(Dlg::IDC_SPACING, "spacing"));
    fields->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(fields);
    layout->addLayout(bottom);

    m_pathClick = new QTimer(this);
    m_pathClick->setSingleShot(true);
    connect(m_pathClick, &QTimer::timeout, this, [this] { pathClicked(m_pathRow); });

    connect(add, &QPushButton::clicked, this, [this] { m_dlg.onAdd(); });
    connect(remove, &QPushButton::clicked, this, [this] {
        std::set<int> rows;
        for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
            rows.insert(index.row());
        m_dlg.onRemove(rows);
    });
    connect(up, &QPushButton::clicked, this, [this] { m_dlg.onUp(); });
    connect(down, &QPushButton::clicked, this, [this] { m_dlg.onDown(); });
    connect(ok, &QPushButton::clicked, this, [this] { this->ok(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this] { fitColumnTitles(); });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionEdited(); });
    connect(m_list, &QTableWidget::clicked, this, [this](const QModelIndex& index) {
        if (index.column() != Dlg::COL_PATH || !m_pressOnSelected) return;
        // Held back, so that a double-click opens one dialog, not two.
        m_pathRow = index.row();
        m_pathClick->start(QApplication::doubleClickInterval());
    });
    connect(m_list, &QTableWidget::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() != Dlg::COL_PATH) return;
        m_pathClick->stop();
        pathClicked(index.row());
    });

    m_dlg.setView(this);
    m_dlg.onInitDialog();
    // The logic shows the first row's image; the list shows that row selected.
    if (!m_dlg.rows().empty()) {
        m_filling = true;
        const QModelIndex first = m_list->model()->index(0, 0);
        m_list->selectionModel()->setCurrentIndex(
            first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_filling = false;
        m_dlg.onSelect(0);
    }
}

CCustomToolBarDialog::~CCustomToolBarDialog() {
    m_dlg.setView(nullptr);
}

void CCustomToolBarDialog::setControlText(int id, const std::u16string& text) {
    const auto found = m_controls.find(id);
    if (found == m_controls.end()) return;
    QWidget* control = found->second;
    if (auto* b = qobject_cast<QPushButton*>(control))
        b->setText(toQString(text));
    else if (auto* label = qobject_cast<QLabel*>(control); label && label != m_preview)
        label->setText(toQString(text));
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(toQString(text));
}

void CCustomToolBarDialog::setColumnTitles(const std::u16string (&titles)[Dlg::COLUMN_COUNT]) {
    QStringList labels;
    for (const std::u16string& title : titles)
        labels << toQString(title);
    m_list->setHorizontalHeaderLabels(labels);
    for (int c = 0; c < Dlg::COLUMN_COUNT; ++c)
        m_list->horizontalHeaderItem(c)->setToolTip(labels[c]);
    fitColumnTitles();
}

// A title wider than its column ends in "…"; the whole title is its tooltip.
void CCustomToolBarDialog::fitColumnTitles() {
    QHeaderView* header = m_list->horizontalHeader();
    const int margin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int c = 0; c < Dlg::COLUMN_COUNT; ++c) {
        QTableWidgetItem* item = m_list->horizontalHeaderItem(c);
        if (!item) continue;
        item->setText(header->fontMetrics().elidedText(item->toolTip(), Qt::ElideRight,
                                                       header->sectionSize(c) - margin));
    }
}

void CCustomToolBarDialog::showRows() {
    // In place: an editor open on a cell keeps its cell while the logic writes it.
    m_filling = true;
    const std::vector<Dlg::Row>& rows = m_dlg.rows();
    m_list->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        for (int c = 0; c < Dlg::COLUMN_COUNT; ++c) {
            QTableWidgetItem* item = m_list->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
                if (c == Dlg::COL_MENU_ITEM) flags |= Qt::ItemIsEditable;
                item->setFlags(flags);
                m_list->setItem(r, c, item);
            }
            const QString text = toQString(rows[static_cast<size_t>(r)].cells[c]);
            item->setText(text);
            item->setToolTip(c == Dlg::COL_PATH ? text : QString());
        }
    }
    m_filling = false;
}

void CCustomToolBarDialog::selectRow(int row) {
    if (row < 0 || row >= m_list->rowCount()) return;
    m_filling = true;
    const QModelIndex index = m_list->model()->index(row, 0);
    m_list->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(index);
    m_filling = false;
}

void CCustomToolBarDialog::showPreview(const std::filesystem::path& image) {
    if (image.empty()) {
        m_preview->setPixmap(QPixmap());
        return;
    }
    const QPixmap pixmap(toQString(image.u16string()));
    if (!pixmap.isNull()) m_preview->setPixmap(pixmap);
}

std::optional<std::filesystem::path> CCustomToolBarDialog::chooseImage() {
    const QString file = QFileDialog::getOpenFileName(this);
    if (file.isEmpty()) return std::nullopt;
    return std::filesystem::path(file.toStdU16String());
}

bool CCustomToolBarDialog::eventFilter(QObject* watched, QEvent* event) {
    // The second press of a double-click is no click of its own.
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonDblClick)
        m_pressOnSelected = false;
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonPress) {
        // Whether the row was selected before this press changes it.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = m_list->indexAt(mouse->position().toPoint());
        m_pressOnSelected = mouse->button() == Qt::LeftButton && index.isValid() &&
                            index.column() == Dlg::COL_PATH &&
                            m_list->selectionModel()->isSelected(index);
    }
    return QDialog::eventFilter(watched, event);
}

void CCustomToolBarDialog::selectionEdited() {
    if (m_filling) return;
    const QModelIndex current = m_list->currentIndex();
    int row = -1;
    if (current.isValid() && m_list->selectionModel()->isRowSelected(current.row()))
        row = current.row();
    else if (const QModelIndexList selected = m_list->selectionModel()->selectedRows();
             !selected.isEmpty())
        row = selected.first().row();
    m_dlg.onSelect(row);
}

void CCustomToolBarDialog::pathClicked(int row) {
    m_dlg.onChoosePath(row);
}

void CCustomToolBarDialog::ok() {
    auto fieldText = [this](int id) {
        return static_cast<QLineEdit*>(m_controls.at(id))->text().toStdU16String();
    };
    std::string error;
    m_dlg.onOK(fieldText(Dlg::IDC_WIDTH), fieldText(Dlg::IDC_HEIGHT), fieldText(Dlg::IDC_SPACING),
               &error);
    if (m_error) *m_error = error;
    // Closed whether or not the file could be written; the caller says why it was not.
    accept();
}
