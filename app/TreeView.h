#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The screen tree as the main window's controller uses it: items are opaque
// handles, each with a label, a 32-bit data value and one of three check
// images. Unknown handles are refused or read as empty, as a native tree does.
class TreeView {
public:
    using TreeItem = std::uintptr_t;
    static constexpr TreeItem kNoItem = 0;

    virtual ~TreeView() = default;

    // The three 14 × 14 check images 0, 1 and 2.
    virtual void setCheckImages(const std::vector<std::filesystem::path>& files) = 0;

    // Appended at the end of `parent` (kNoItem: the top level); kNoItem when refused.
    virtual TreeItem insertItem(TreeItem parent, std::u16string_view label) = 0;
    // With its children. A selection among them moves on first (next sibling,
    // else previous, else parent) and is reported while the item can still be read.
    virtual void deleteItem(TreeItem item) = 0;
    virtual std::u16string itemLabel(TreeItem item) const = 0;
    virtual void setItemLabel(TreeItem item, std::u16string_view label) = 0;
    virtual uint32_t itemData(TreeItem item) const = 0;
    virtual void setItemData(TreeItem item, uint32_t data) = 0;
    virtual int itemImage(TreeItem item) const = 0;
    virtual void setItemImage(TreeItem item, int image) = 0;
    virtual TreeItem selectedItem() const = 0;
    // The change is reported to the owner (CGlimraDlg::onSelectionChanged)
    // before this returns.
    virtual void selectItem(TreeItem item) = 0;
    virtual TreeItem parentItem(TreeItem item) const = 0;
    // firstChild(kNoItem) is the first top-level item.
    virtual TreeItem firstChild(TreeItem item) const = 0;
    virtual TreeItem nextSibling(TreeItem item) const = 0;
    virtual TreeItem previousSibling(TreeItem item) const = 0;
    virtual void expandItem(TreeItem item) = 0;
    virtual int itemCount() const = 0;
    virtual void setDropHighlight(TreeItem item) = 0;
    // Starts editing the label in place, limited to maxLength characters; the
    // edited text goes to the owner (CGlimraDlg::onEndLabelEdit), which
    // decides what the label becomes.
    virtual void editLabel(TreeItem item, int maxLength) = 0;
};
