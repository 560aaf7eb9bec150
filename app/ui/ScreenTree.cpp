#include "app/ui/ScreenTree.h"

#include "platform/qt/QtText.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace {

constexpr int kDataRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

// Shows the tree's check image as the item's icon, so a change of the images
// needs no walk over the items.
class ScreenTreeItem : public QTreeWidgetItem {
public:
    ScreenTreeItem() : QTreeWidgetItem(QTreeWidgetItem::UserType) {}

    QVariant data(int column, int role) const override {
        if (role == Qt::DecorationRole && column == 0) {
            if (const auto* tree = qobject_cast<const ScreenTree*>(treeWidget())) {
                const QIcon icon = tree->checkIcon(QTreeWidgetItem::data(0, kImageRole).toInt());
                return icon.isNull() ? QVariant() : QVariant(icon);
            }
            return {};
        }
        return QTreeWidgetItem::data(column, role);
    }
};

}  // namespace

// Edits labels for the owner: the committed text goes to the owner, which
// decides what the label becomes; nothing is written into the item here.
class ScreenTreeDelegate : public QStyledItemDelegate {
public:
    explicit ScreenTreeDelegate(ScreenTree* tree) : QStyledItemDelegate(tree), m_tree(tree) {}

    QRect decorationRect(const QStyleOptionViewItem& base, const QModelIndex& index) const {
        QStyleOptionViewItem option = base;
        initStyleOption(&option, index);
        if (!(option.features & QStyleOptionViewItem::HasDecoration)) return {};
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, widget);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* edit = new QLineEdit(parent);
        edit->setMaxLength(m_tree->editMaxLength());
        return edit;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        // Qt repeats this whenever the item changes (a check image, say); what
        // the user typed so far stays.
        if (!edit || edit->isModified()) return;
        edit->setText(index.data(Qt::DisplayRole).toString());
        edit->selectAll();
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) m_tree->commitLabel(index, edit->text());
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // A little air between the rows.
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 4);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (!(option.state & QStyle::State_Selected) &&
            m_tree->dropHighlight() != ScreenTree::kNoItem &&
            m_tree->handleAt(index) == m_tree->dropHighlight()) {
            QColor tint = option.palette.color(QPalette::Highlight);
            tint.setAlpha(48);
            painter->fillRect(option.rect, tint);
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    ScreenTree* m_tree;
};

ScreenTree::ScreenTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setIconSize(QSize(14, 14));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Labels are edited only when the owner asks for it.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setAnimated(false);
    m_delegate = new ScreenTreeDelegate(this);
    setItemDelegate(m_delegate);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &ScreenTree::syncSelection);
}

ScreenTree::~ScreenTree() {
    detach();
}

void ScreenTree::setCallbacks(Callbacks callbacks) {
    m_callbacks = std::move(callbacks);
}

void ScreenTree::detach() {
    m_silent = true;
    m_callbacks = {};
}

void ScreenTree::setCheckImages(const std::vector<std::filesystem::path>& files) {
    for (size_t i = 0; i < m_checkIcons.size(); ++i) {
        QPixmap pixmap;
        if (i < files.size()) pixmap.load(QString::fromStdString(files[i].string()));
        QIcon icon;
        if (!pixmap.isNull()) {
            // The same picture when selected: a check box is not tinted.
            icon.addPixmap(pixmap, QIcon::Normal);
            icon.addPixmap(pixmap, QIcon::Selected);
        }
        m_checkIcons[i] = icon;
    }
    scheduleDelayedItemsLayout();
    viewport()->update();
}

QIcon ScreenTree::checkIcon(int image) const {
    if (image < 0 || image >= static_cast<int>(m_checkIcons.size())) return {};
    return m_checkIcons[static_cast<size_t>(image)];
}

QTreeWidgetItem* ScreenTree::itemOf(TreeItem handle) const {
    auto* item = reinterpret_cast<QTreeWidgetItem*>(handle);
    return item && m_items.count(item) ? item : nullptr;
}

ScreenTree::TreeItem ScreenTree::handleAt(const QModelIndex& index) const {
    QTreeWidgetItem* item = itemFromIndex(index);
    return m_items.count(item) ? handleOf(item) : kNoItem;
}

ScreenTree::TreeItem ScreenTree::insertItem(TreeItem parent, std::u16string_view label) {
    QTreeWidgetItem* parentItem = nullptr;
    if (parent != kNoItem && !(parentItem = itemOf(parent))) return kNoItem;
    auto* item = new ScreenTreeItem;
    item->setText(0, platform::toQString(label));
    item->setData(0, kDataRole, 0u);
    item->setData(0, kImageRole, 0);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    m_items.insert(item);
    if (parentItem)
        parentItem->addChild(item);
    else
        addTopLevelItem(item);
    return handleOf(item);
}

bool ScreenTree::isWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) const {
    for (; item; item = item->parent())
        if (item == ancestor) return true;
    return false;
}

void ScreenTree::forget(QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount(); ++i)
        forget(item->child(i));
    m_items.erase(item);
    if (m_dropHighlight == item) m_dropHighlight = nullptr;
}

void ScreenTree::deleteItem(TreeItem handle) {
    QTreeWidgetItem* item = itemOf(handle);
    if (!item) return;
    if (m_selected && isWithin(m_selected, item)) {
        // As a native tree does: the selection moves on first (to the next
        // sibling, else the previous one, else the parent) and the change is
        // reported while the old item still exists, so the owner can still read it.
        QTreeWidgetItem* successor = itemOf(nextSibling(handle));
        if (!successor) successor = itemOf(previousSibling(handle));
        if (!successor) successor = item->parent();
        selectItem(handleOf(successor));
        // The owner may have deleted it, or selected inside it again, while told.
        if (!itemOf(handle)) return;
        if (m_selected && isWithin(m_selected, item)) selectItem(kNoItem);
        if (!itemOf(handle)) return;
        if (m_selected && isWithin(m_selected, item)) m_selected = nullptr;
    }
    forget(item);
    const bool wasSilent = m_silent;
    m_silent = true;
    delete item;
    m_silent = wasSilent;
    // Qt picks its own neighbour for a removed current item; put it right.
    setQtSelection(m_selected);
}

std::u16string ScreenTree::itemLabel(TreeItem handle) const {
    QTreeWidgetItem* item = itemOf(handle);
    return item ? item->text(0).toStdU16String() : std::u16string();
}

void ScreenTree::setItemLabel(TreeItem handle, std::u16string_view label) {
    if (QTreeWidgetItem* item = itemOf(handle)) item->setText(0, platform::toQString(label));
}

uint32_t ScreenTree::itemData(TreeItem handle) const {
    QTreeWidgetItem* item = itemOf(handle);
    return item ? item->data(0, kDataRole).toUInt() : 0;
}

void ScreenTree::setItemData(TreeItem handle, uint32_t value) {
    if (QTreeWidgetItem* item = itemOf(handle)) item->setData(0, kDataRole, value);
}

int ScreenTree::itemImage(TreeItem handle) const {
    QTreeWidgetItem* item = itemOf(handle);
    return item ? item->data(0, kImageRole).toInt() : 0;
}

void ScreenTree::setItemImage(TreeItem handle, int value) {
    if (QTreeWidgetItem* item = itemOf(handle)) item->setData(0, kImageRole, value);
}

void ScreenTree::selectItem(TreeItem handle) {
    QTreeWidgetItem* item = nullptr;
    if (handle != kNoItem && !(item = itemOf(handle))) return;
    if (item == m_selected) return;
    QTreeWidgetItem* old = m_selected;
    m_selected = item;
    setQtSelection(item);
    if (item) scrollToItem(item);
    report(old, item);
}

void ScreenTree::setQtSelection(QTreeWidgetItem* item) {
    const bool wasSilent = m_silent;
    m_silent = true;
    if (item) {
        setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else if (selectionModel()) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    m_silent = wasSilent;
}

void ScreenTree::syncSelection() {
    if (m_silent) return;
    const QList<QTreeWidgetItem*> items = selectedItems();
    QTreeWidgetItem* now = items.isEmpty() ? nullptr : items.first();
    if (now == m_selected) return;
    QTreeWidgetItem* old = m_selected;
    m_selected = now;
    report(old, now);
}

void ScreenTree::report(QTreeWidgetItem* oldItem, QTreeWidgetItem* newItem) {
    if (m_silent || !m_callbacks.selectionChanged) return;
    m_callbacks.selectionChanged(handleOf(oldItem), handleOf(newItem));
}

ScreenTree::TreeItem ScreenTree::parentItem(TreeItem handle) const {
    QTreeWidgetItem* item = itemOf(handle);
    return item ? handleOf(item->parent()) : kNoItem;
}

ScreenTree::TreeItem ScreenTree::firstChild(TreeItem handle) const {
    if (handle == kNoItem) return handleOf(topLevelItem(0));
    QTreeWidgetItem* item = itemOf(handle);
    return item ? handleOf(item->child(0)) : kNoItem;
}

ScreenTree::TreeItem ScreenTree::nextSibling(TreeItem handle) const {
    QTreeWidgetItem* item = itemOf(handle);
    if (!item) return kNoItem;
    if (QTreeWidgetItem* parent = item->parent())
        return handleOf(parent->child(parent->indexOfChild(item) + 1));
    return handleOf(topLevelItem(indexOfTopLevelItem(item) + 1));
}

ScreenTree::TreeItem ScreenTree::previousSibling(TreeItem handle) const {
    QTreeWidgetItem* item = itemOf(handle);
    if (!item) return kNoItem;
    // child(-1) and topLevelItem(-1) are null, which is what the first one has.
    if (QTreeWidgetItem* parent = item->parent())
        return handleOf(parent->child(parent->indexOfChild(item) - 1));
    return handleOf(topLevelItem(indexOfTopLevelItem(item) - 1));
}

void ScreenTree::expandItem(TreeItem handle) {
    if (QTreeWidgetItem* item = itemOf(handle)) item->setExpanded(true);
}

void ScreenTree::setDropHighlight(TreeItem handle) {
    QTreeWidgetItem* item = itemOf(handle);
    if (item == m_dropHighlight) return;
    m_dropHighlight = item;
    viewport()->update();
}

void ScreenTree::editLabel(TreeItem handle, int maxLength) {
    QTreeWidgetItem* item = itemOf(handle);
    if (!item || state() == QAbstractItemView::EditingState) return;
    m_editMaxLength = maxLength > 0 ? maxLength : 32767;
    scrollToItem(item);
    editItem(item, 0);
}

void ScreenTree::commitLabel(const QModelIndex& index, const QString& text) {
    const TreeItem handle = handleAt(index);
    if (handle != kNoItem && m_callbacks.labelEdited) m_callbacks.labelEdited(handle, text);
}

QRect ScreenTree::imageRect(TreeItem handle) const {
    QTreeWidgetItem* item = itemOf(handle);
    if (!item) return {};
    const QModelIndex index = indexFromItem(item);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return m_delegate->decorationRect(option, index);
}

bool ScreenTree::offerClick(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const TreeItem handle = handleOf(itemAt(pos));
    if (handle == kNoItem || !m_callbacks.click) return false;
    return m_callbacks.click(handle, imageRect(handle).contains(pos));
}

void ScreenTree::mousePressEvent(QMouseEvent* event) {
    m_swallowingPress = false;
    // A right click leaves the selection alone; its menu comes with the context menu event.
    if (event->button() == Qt::RightButton ||
        (event->button() == Qt::LeftButton && offerClick(event))) {
        m_swallowingPress = true;
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void ScreenTree::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click on a check image toggles again rather than expanding the item.
    if (event->button() == Qt::LeftButton && offerClick(event)) {
        m_swallowingPress = true;
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void ScreenTree::mouseMoveEvent(QMouseEvent* event) {
    // Dragging with a button held does not select the items passed over.
    if (m_swallowingPress || event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

void ScreenTree::mouseReleaseEvent(QMouseEvent* event) {
    if (m_swallowingPress) {
        m_swallowingPress = false;
        event->accept();
        return;
    }
    QTreeWidget::mouseReleaseEvent(event);
}

void ScreenTree::contextMenuEvent(QContextMenuEvent* event) {
    TreeItem handle = kNoItem;
    if (event->reason() == QContextMenuEvent::Mouse) {
        handle = handleOf(itemAt(event->pos()));
        m_contextPos = event->globalPos();
    } else {
        handle = handleOf(m_selected);
        const QRect rect = m_selected ? visualItemRect(m_selected) : QRect();
        m_contextPos = viewport()->mapToGlobal(rect.isValid() ? rect.bottomLeft() : QPoint(0, 0));
    }
    event->accept();
    if (m_callbacks.rightClick) m_callbacks.rightClick(handle);
}

void ScreenTree::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_F2:
        case Qt::Key_Delete:
            // Neither activates the item nor travels on to the window; F2 and Delete
            // rename and delete the selected item, here only.
            if (m_callbacks.key) m_callbacks.key(event->key());
            event->accept();
            return;
        default:
            QTreeWidget::keyPressEvent(event);
    }
}

QItemSelectionModel::SelectionFlags ScreenTree::selectionCommand(const QModelIndex& index,
                                                                 const QEvent*) const {
    // One item is always selected once there is one: no Ctrl+click deselection,
    // no clearing by a click beside the items.
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}
