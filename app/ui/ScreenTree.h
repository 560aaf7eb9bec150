#pragma once

#include "app/TreeView.h"

#include <QIcon>
#include <QPoint>
#include <QTreeWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class ScreenTreeDelegate;

// The screen tree of the main window, with the manners of a native tree
// control: items are opaque handles, each with a label, a number and one of
// three check images; selection changes are reported once each, also when made
// by the program; clicks and right clicks are offered to the owner first, and
// in-place editing hands the text to the owner instead of writing it. The
// controller uses it directly as its TreeView.
class ScreenTree : public QTreeWidget, public TreeView {
    Q_OBJECT
public:
    // What the tree tells its owner.
    struct Callbacks {
        // A left click on an item; true when the owner handled it (the click then
        // changes nothing else).
        std::function<bool(TreeItem item, bool onImage)> click;
        // A right click or the menu key; `item` is the one it was on, or none.
        std::function<void(TreeItem item)> rightClick;
        std::function<void(TreeItem oldItem, TreeItem newItem)> selectionChanged;
        // Editing in place was committed with this text.
        std::function<void(TreeItem item, const QString& text)> labelEdited;
        // Enter or Escape outside editing; Qt's key code.
        std::function<void(int key)> key;
    };

    explicit ScreenTree(QWidget* parent = nullptr);
    ~ScreenTree() override;

    void setCallbacks(Callbacks callbacks);
    // Stops all reports, for the owner's destruction.
    void detach();

    // --- TreeView ------------------------------------------------------------------
    // A check image file that does not load leaves that image empty.
    void setCheckImages(const std::vector<std::filesystem::path>& files) override;
    TreeItem insertItem(TreeItem parent, std::u16string_view label) override;
    // Also when the owner, told that the selection moves on, deletes the item
    // itself or selects into it again.
    void deleteItem(TreeItem item) override;
    std::u16string itemLabel(TreeItem item) const override;
    void setItemLabel(TreeItem item, std::u16string_view label) override;
    uint32_t itemData(TreeItem item) const override;
    void setItemData(TreeItem item, uint32_t data) override;
    int itemImage(TreeItem item) const override;
    void setItemImage(TreeItem item, int image) override;
    TreeItem selectedItem() const override { return handleOf(m_selected); }
    // An item inside a collapsed one is shown.
    void selectItem(TreeItem item) override;
    TreeItem parentItem(TreeItem item) const override;
    TreeItem firstChild(TreeItem item) const override;
    TreeItem nextSibling(TreeItem item) const override;
    TreeItem previousSibling(TreeItem item) const override;
    void expandItem(TreeItem item) override;
    int itemCount() const override { return static_cast<int>(m_items.size()); }
    void setDropHighlight(TreeItem item) override;
    void editLabel(TreeItem item, int maxLength) override;

    QIcon checkIcon(int image) const;
    TreeItem dropHighlight() const { return handleOf(m_dropHighlight); }

    // Where a context menu belongs: the right click's position, or below the
    // item for the menu key.
    QPoint contextMenuPos() const { return m_contextPos; }

    // The check image's rectangle of an item, in viewport coordinates.
    QRect imageRect(TreeItem item) const;

    QTreeWidgetItem* itemOf(TreeItem handle) const;
    static TreeItem handleOf(QTreeWidgetItem* item) { return reinterpret_cast<TreeItem>(item); }
    TreeItem handleAt(const QModelIndex& index) const;

    // For the delegate.
    int editMaxLength() const { return m_editMaxLength; }
    void commitLabel(const QModelIndex& index, const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    void syncSelection();
    void report(QTreeWidgetItem* oldItem, QTreeWidgetItem* newItem);
    // Makes Qt's current item and selection match `item` without reporting it.
    void setQtSelection(QTreeWidgetItem* item);
    void forget(QTreeWidgetItem* item);
    bool isWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) const;
    // True when the click was on an item and the owner consumed it.
    bool offerClick(QMouseEvent* event);

    Callbacks m_callbacks;
    ScreenTreeDelegate* m_delegate = nullptr;
    std::array<QIcon, 3> m_checkIcons;
    std::unordered_set<QTreeWidgetItem*> m_items;
    QTreeWidgetItem* m_selected = nullptr;
    QTreeWidgetItem* m_dropHighlight = nullptr;
    // While set, Qt's own selection signals are not reports (deletions, detaching).
    bool m_silent = false;
    // A press the owner consumed: its moves and release are not Qt's either.
    bool m_swallowingPress = false;
    int m_editMaxLength = 0;
    QPoint m_contextPos;
};
