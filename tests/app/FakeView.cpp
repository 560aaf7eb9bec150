#include "FakeView.h"

#include <algorithm>
#include <stdexcept>

std::vector<FakeView::TreeItem> FakeView::children(TreeItem parent) const {
    return parent ? node(parent).children : m_roots;
}

std::vector<std::u16string> FakeView::labels(TreeItem parent) const {
    std::vector<std::u16string> out;
    for (TreeItem c : children(parent))
        out.push_back(node(c).label);
    return out;
}

void FakeView::click(TreeItem item, bool onImage) {
    if (!m_dlg || !m_dlg->onTreeClick(item, onImage)) selectItem(item);
}

FakeView::TreeItem FakeView::insertItem(TreeItem parent, std::u16string_view label) {
    if (refuseInserts) return 0;
    const TreeItem item = m_next++;
    Node n;
    n.label = label;
    n.parent = parent;
    m_nodes.emplace(item, n);
    (parent ? node(parent).children : m_roots).push_back(item);
    return item;
}

bool FakeView::isWithin(TreeItem item, TreeItem ancestor) const {
    for (TreeItem i = item; i; i = node(i).parent)
        if (i == ancestor) return true;
    return false;
}

void FakeView::erase(TreeItem item) {
    for (TreeItem c : std::vector<TreeItem>(node(item).children))
        erase(c);
    auto& list = node(item).parent ? node(node(item).parent).children : m_roots;
    list.erase(std::find(list.begin(), list.end(), item));
    m_nodes.erase(item);
}

void FakeView::deleteItem(TreeItem item) {
    if (!m_nodes.count(item)) throw std::logic_error("deleting an item that is gone");
    if (m_selected && isWithin(m_selected, item)) {
        // As a native tree does: the selection moves on (next sibling, else the
        // previous one, else the parent) and is reported while the old item still exists.
        TreeItem next = nextSibling(item);
        if (!next) next = previousSibling(item);
        if (!next) next = node(item).parent;
        selectItem(next);
        // Whoever was told may have deleted it already.
        if (!hasItem(item)) return;
        if (m_selected && isWithin(m_selected, item))
            throw std::logic_error("selected into an item being deleted");
    }
    erase(item);
}

void FakeView::selectItem(TreeItem item) {
    if (item && !m_nodes.count(item)) throw std::logic_error("selecting an item that is gone");
    if (item == m_selected) return;
    const TreeItem old = m_selected;
    m_selected = item;
    if (onSelectionReport) onSelectionReport(old, item);
    if (m_dlg) m_dlg->onSelectionChanged(old, item);
}

FakeView::TreeItem FakeView::firstChild(TreeItem item) const {
    const auto& list = item ? node(item).children : m_roots;
    return list.empty() ? 0 : list.front();
}

FakeView::TreeItem FakeView::nextSibling(TreeItem item) const {
    const auto& list = siblings(item);
    auto it = std::find(list.begin(), list.end(), item);
    return it == list.end() || it + 1 == list.end() ? 0 : *(it + 1);
}

FakeView::TreeItem FakeView::previousSibling(TreeItem item) const {
    const auto& list = siblings(item);
    auto it = std::find(list.begin(), list.end(), item);
    return it == list.end() || it == list.begin() ? 0 : *(it - 1);
}

void FakeView::popupContextMenu(const std::vector<MenuEntry>& entries) {
    contextMenu = entries;
    if (contextChoice && m_dlg) m_dlg->onCommand(contextChoice);
}
