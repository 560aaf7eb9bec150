#pragma once

#include <QIcon>
#include <QPoint>
#include <QTreeWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <unordered_set>
#include <vector>

class ScreenTreeDelegate;

// The screen tree of the main window, with the manners of a native tree
// control: items are opaque handles, each with a label, a number and one of
// three check images; selection changes are reported once each, also when made
// by the program; clicks and right clicks are offered to the owner first, and
// in-place editing hands the text to the owner instead of writing it.
class ScreenTree : public QTreeWidget {
    Q_OBJECT
public:
    using Handle = std::uintptr_t;
    static constexpr Handle kNone = 0;

    // What the tree tells its owner.
    struct Callbacks {
        // A left click on an item; true when the owner handled it (the click then
        // changes nothing else).
        std::function<bool(Handle item, bool onImage)> click;
        // A right click or the menu key; `item` is the one it was on, or none.
        std::function<void(Handle item)> rightClick;
        std::function<void(Handle oldItem, Handle newItem)> selectionChanged;
        // Editing in place was committed with this text.
        std::function<void(Handle item, const QString& text)> labelEdited;
        // Enter or Escape outside editing; Qt's key code.
        std::function<void(int key)> key;
    };

    explicit ScreenTree(QWidget* parent = nullptr);
    ~ScreenTree() override;

    void setCallbacks(Callbacks callbacks);
    // Stops all reports, for the owner's destruction.
    void detach();

    // Check images 0, 1 and 2; a file that does not load leaves that image empty.
    void setCheckImages(const std::vector<std::filesystem::path>& files);
    QIcon checkIcon(int image) const;

    // Unknown handles (never issued or already deleted) are refused or read as
    // empty, as a native tree does with a bad handle.
    Handle insert(Handle parent, const QString& label);
    // Deletes the item with its children. When the selection is among them it
    // moves on first (next sibling, else previous, else parent, else none) and
    // is reported while the deleted item can still be read.
    void remove(Handle item);
    QString label(Handle item) const;
    void setLabel(Handle item, const QString& label);
    uint32_t data(Handle item) const;
    void setData(Handle item, uint32_t data);
    int image(Handle item) const;
    void setImage(Handle item, int image);
    Handle selected() const { return handleOf(m_selected); }
    void select(Handle item);
    Handle parentOf(Handle item) const;
    Handle firstChild(Handle item) const;
    Handle nextSibling(Handle item) const;
    Handle previousSibling(Handle item) const;
    void expand(Handle item);
    int count() const { return static_cast<int>(m_items.size()); }
    void setDropHighlight(Handle item);
    Handle dropHighlight() const { return handleOf(m_dropHighlight); }
    void editLabel(Handle item, int maxLength);

    // Where a context menu belongs: the right click's position, or below the
    // item for the menu key.
    QPoint contextMenuPos() const { return m_contextPos; }

    // The check image's rectangle of an item, in viewport coordinates.
    QRect imageRect(Handle item) const;

    QTreeWidgetItem* itemOf(Handle handle) const;
    static Handle handleOf(QTreeWidgetItem* item) { return reinterpret_cast<Handle>(item); }
    Handle handleAt(const QModelIndex& index) const;

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
