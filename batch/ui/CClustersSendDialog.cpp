#include "batch/ui/CClustersSendDialog.h"

#include "platform/qt/QtText.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>
#include <utility>

namespace {

using platform::toQString;
using Editor = CClustersSend::Editor;

constexpr int kVisibleRows = 8;

CClustersSend::Editor editorOf(const CClustersSend& dlg, int column) {
    const auto& columns = dlg.columns();
    if (column < 0 || column >= static_cast<int>(columns.size()) || columns[column].width <= 0)
        return Editor::None;
    return columns[column].editor;
}

bool editsInPlace(Editor editor) {
    return editor == Editor::ScreenList || editor == Editor::Text;
}

bool editsByFile(Editor editor) {
    return editor == Editor::FirmwareFile || editor == Editor::SoftwareFile;
}

// The drop-down of the Screen column and the text box of the copy column. What
// the user settles on goes to the logic, never straight into the cell: the
// logic fills the rows below and refresh() shows the outcome.
class CellDelegate : public QStyledItemDelegate {
public:
    using Edited = std::function<void(int row, int column, const QString& text)>;

    CellDelegate(const CClustersSend& dlg, Edited edited, QObject* parent)
        : QStyledItemDelegate(parent), m_dlg(dlg), m_edited(std::move(edited)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        switch (editorOf(m_dlg, index.column())) {
            case Editor::ScreenList: {
                auto* combo = new QComboBox(parent);
                for (const std::u16string& choice : m_dlg.screenChoices())
                    combo->addItem(toQString(choice));
                auto* self = const_cast<CellDelegate*>(this);
                // A choice from the list is final, as in a drop-down cell.
                connect(combo, &QComboBox::activated, self, [self, combo] {
                    combo->setProperty(kChosen, true);
                    emit self->commitData(combo);
                    emit self->closeEditor(combo);
                });
                // The list opens with the editor, so one click chooses.
                QTimer::singleShot(0, combo, [combo] {
                    if (combo->isVisible()) combo->showPopup();
                });
                return combo;
            }
            case Editor::Text:
                return QStyledItemDelegate::createEditor(parent, option, index);
            default:
                return nullptr;
        }
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            const int found = combo->findText(index.data().toString(), Qt::MatchExactly);
            combo->setCurrentIndex(found >= 0 ? found : 0);
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        QString text;
        bool chosen = false;
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            text = combo->currentText();
            chosen = combo->property(kChosen).toBool();
            combo->setProperty(kChosen, false);
        } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            text = line->text();
        } else {
            return;
        }
        // Leaving an editor unchanged changes nothing; picking from the list
        // always counts, so the same screen can be given to the rows below.
        if (chosen || text != index.data().toString()) m_edited(index.row(), index.column(), text);
    }

private:
    static constexpr const char* kChosen = "chosen";
    const CClustersSend& m_dlg;
    Edited m_edited;
};

}  // namespace

CClustersSendDialog::CClustersSendDialog(CClustersSend& dlg, QWidget* parent)
    : QDialog(parent), m_dlg(dlg) {
    setObjectName(QStringLiteral("CClustersSend"));
    setWindowTitle(toQString(dlg.title()));

    const auto& columns = dlg.columns();
    m_list = new QTableWidget(0, CClustersSend::kColumns, this);
    m_list->setObjectName(QStringLiteral("signList"));
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                            QAbstractItemView::EditKeyPressed);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    // Rows as compact as a plain list's.
    const int rowHeight = m_list->fontMetrics().height() + 8;
    m_list->verticalHeader()->setMinimumSectionSize(rowHeight);
    m_list->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->setItemDelegate(new CellDelegate(
        dlg, [this](int row, int column, const QString& text) { cellEdited(row, column, text); },
        m_list));
    QStringList captions;
    for (const auto& column : columns)
        captions << toQString(column.caption);
    m_list->setHorizontalHeaderLabels(captions);
    int listWidth = 0;
    for (int c = 0; c < static_cast<int>(columns.size()) && c < CClustersSend::kColumns; ++c) {
        const int width = columns[c].width;
        m_list->setColumnHidden(c, width <= 0);
        if (width <= 0) continue;
        m_list->setColumnWidth(c, width);
        listWidth += width;
    }
    // Room for every visible column and a vertical scroll bar, and for a few rows.
    const int frame = 2 * m_list->frameWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
    m_list->setMinimumWidth(listWidth + frame + scrollBar);
    m_list->setMinimumHeight(m_list->horizontalHeader()->sizeHint().height() +
                             kVisibleRows * m_list->verticalHeader()->defaultSectionSize() + frame);
    m_list->installEventFilter(this);
    connect(m_list, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int column) { editCell(row, column, false); });

    m_autoUpdate = new QCheckBox(toQString(dlg.controlText(CClustersSend::IDC_AUTO_UPDATE)), this);
    m_autoUpdate->setObjectName(QStringLiteral("autoUpdate"));
    m_copySoft = new QCheckBox(toQString(dlg.controlText(CClustersSend::IDC_COPY_SOFT)), this);
    m_copySoft->setObjectName(QStringLiteral("copySoft"));
    m_autoUpdate->setChecked(dlg.autoUpdate());
    m_copySoft->setChecked(dlg.copySoftware());
    m_autoUpdate->setVisible(dlg.checkBoxesVisible());
    m_copySoft->setVisible(dlg.checkBoxesVisible());

    m_send = new QPushButton(toQString(dlg.controlText(CClustersSend::IDC_SEND)), this);
    m_send->setObjectName(QStringLiteral("send"));
    m_close = new QPushButton(toQString(dlg.controlText(CClustersSend::IDC_CLOSE)), this);
    m_close->setObjectName(QStringLiteral("close"));
    // Enter never presses a button here.
    for (QPushButton* button : {m_send, m_close}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setMinimumWidth(90);
    }

    auto* controls = new QHBoxLayout;
    controls->addWidget(m_autoUpdate);
    m_defaultFirmware = new QLineEdit(this);
    m_defaultFirmware->setObjectName(QStringLiteral("defaultFirmware"));
    controls->addWidget(m_defaultFirmware);
    controls->addWidget(m_copySoft);
    m_defaultSoftware = new QLineEdit(this);
    m_defaultSoftware->setObjectName(QStringLiteral("defaultSoftware"));
    controls->addWidget(m_defaultSoftware);
    for (QLineEdit* field : {m_defaultFirmware, m_defaultSoftware}) {
        field->setVisible(false);
        field->setMinimumWidth(160);
    }
    connect(m_defaultFirmware, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_dlg.setDefaultFirmware(text.toStdU16String()); });
    connect(m_defaultSoftware, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_dlg.setDefaultSoftware(text.toStdU16String()); });
    controls->addStretch();
    controls->addWidget(m_send);
    controls->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(controls);

    connect(m_autoUpdate, &QCheckBox::toggled, this, [this](bool on) { m_dlg.onAutoUpdate(on); });
    connect(m_copySoft, &QCheckBox::toggled, this, [this](bool on) { m_dlg.onCopySoftware(on); });
    connect(m_send, &QPushButton::clicked, this, [this] { m_dlg.onSend(); });
    connect(m_close, &QPushButton::clicked, this, [this] { m_dlg.onClose(); });

    m_dlg.setView(this);
    // Searches the signs, fills the rows and refreshes.
    m_dlg.onInitDialog();
}

CClustersSendDialog::~CClustersSendDialog() {
    m_dlg.setView(nullptr);
}

void CClustersSendDialog::refresh() {
    const auto& rows = m_dlg.rows();
    const int count = static_cast<int>(rows.size());
    auto keyAt = [this](int row) {
        const QTableWidgetItem* item = m_list->item(row, CClustersSend::COL_KEY);
        return item ? item->text() : QString();
    };
    auto comesLater = [&rows](int from, const QString& key) {
        for (int k = from; k < static_cast<int>(rows.size()); ++k)
            if (toQString(rows[k][CClustersSend::COL_KEY]) == key) return true;
        return false;
    };
    // Rows are matched by device key, so a sign that leaves takes its own row
    // with it and the selection and an open editor stay with their sign.
    for (int k = 0; k < count; ++k) {
        const QString key = toQString(rows[k][CClustersSend::COL_KEY]);
        while (k < m_list->rowCount() && keyAt(k) != key && !comesLater(k, keyAt(k)))
            m_list->removeRow(k);
        if (k >= m_list->rowCount() || keyAt(k) != key) m_list->insertRow(k);
        fillRow(k, rows[k]);
    }
    while (m_list->rowCount() > count)
        m_list->removeRow(m_list->rowCount() - 1);

    // The check boxes and fields as the logic left them (a cancelled choice unticks).
    const QSignalBlocker blockAuto(m_autoUpdate), blockCopy(m_copySoft);
    m_autoUpdate->setChecked(m_dlg.autoUpdate());
    m_copySoft->setChecked(m_dlg.copySoftware());
    m_send->setEnabled(m_dlg.sendEnabled());
    const bool firmware = m_dlg.checkBoxesVisible();
    m_defaultFirmware->setVisible(firmware &&
                                  m_dlg.fieldVisible(CClustersSend::IDC_DEFAULT_FIRMWARE));
    m_defaultSoftware->setVisible(firmware &&
                                  m_dlg.fieldVisible(CClustersSend::IDC_DEFAULT_SOFTWARE));
    if (m_defaultFirmware->text() != toQString(m_dlg.defaultFirmware()))
        m_defaultFirmware->setText(toQString(m_dlg.defaultFirmware()));
    if (m_defaultSoftware->text() != toQString(m_dlg.defaultSoftware()))
        m_defaultSoftware->setText(toQString(m_dlg.defaultSoftware()));
}

void CClustersSendDialog::startTimer(int id, int milliseconds) {
    m_timers.start(id, milliseconds);
}

void CClustersSendDialog::fillRow(int row, const CClustersSend::Row& cells) {
    const QColor background(
        static_cast<QRgb>(CClustersSend::kRowColours[static_cast<size_t>(row) % 3]));
    for (int c = 0; c < CClustersSend::kColumns; ++c) {
        QTableWidgetItem* item = m_list->item(row, c);
        if (!item) {
            item = new QTableWidgetItem;
            Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
            if (editsInPlace(editorOf(m_dlg, c))) flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            item->setForeground(QColor(Qt::black));
            m_list->setItem(row, c, item);
        }
        // Only what changed is touched, so a cell being edited keeps its editor.
        const QString text = toQString(cells[c]);
        if (item->text() != text) item->setText(text);
        if (item->background().color() != background) item->setBackground(background);
    }
}

std::optional<std::u16string> CClustersSendDialog::openFile(const std::u16string& filter,
                                                            const std::u16string& current) {
    const QString file =
        QFileDialog::getOpenFileName(this, QString(), toQString(current), qtFilter(filter));
    if (file.isEmpty()) return std::nullopt;
    return file.toStdU16String();
}

void CClustersSendDialog::closeDialog() {
    done(m_byFrame ? QDialog::Rejected : QDialog::Accepted);
}

QString CClustersSendDialog::qtFilter(std::u16string_view filter) {
    const QStringList parts = toQString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype k = 0; k + 1 < parts.size(); k += 2) {
        QString name = parts[k].trimmed();
        if (name.isEmpty()) break;
        // The description may carry its patterns already: "files(*.bin)".
        if (name.endsWith(QLatin1Char(')'))) {
            const qsizetype open = name.lastIndexOf(QLatin1Char('('));
            if (open > 0) name = name.left(open).trimmed();
        }
        QStringList globs;
        for (const QString& glob : parts[k + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString g = glob.trimmed();
            // "*.*" means every file, with a dot in its name or not.
            if (!g.isEmpty()) globs << (g == QStringLiteral("*.*") ? QStringLiteral("*") : g);
        }
        if (globs.isEmpty()) globs << QStringLiteral("*");
        globs.removeDuplicates();
        filters << name + QStringLiteral(" (") + globs.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

void CClustersSendDialog::reject() {
    if (!m_dlg.isOpen()) {
        QDialog::reject();
        return;
    }
    m_byFrame = true;
    // Stops the workers, empties the device table and calls closeDialog().
    m_dlg.onCloseByFrame();
}

void CClustersSendDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CClustersSendDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // An editor's own Enter settles the editor and comes up here too.
            if (m_list->hasFocus()) editCell(m_list->currentRow(), m_list->currentColumn(), true);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CClustersSendDialog::editCell(int row, int column, bool byKey) {
    if (row < 0 || row >= m_list->rowCount()) return;
    const Editor editor = editorOf(m_dlg, column);
    if (editsByFile(editor)) {
        m_dlg.onEditCell(row, column);
    } else if (byKey && editsInPlace(editor)) {
        // A double click opens these through the list's own edit triggers.
        if (QTableWidgetItem* item = m_list->item(row, column)) m_list->editItem(item);
    }
}

void CClustersSendDialog::cellEdited(int row, int column, const QString& text) {
    m_dlg.onCellEdited(row, column, text.toStdU16String());
}
