// The test window's tree keeps the same contract as the real one.
#include "FakeView.h"
#include "support/TreeSelectionContract.h"

namespace {

struct FakeViewTree {
    using Item = FakeView::TreeItem;

    Item insert(Item parent, std::u16string_view label) { return view.insertItem(parent, label); }
    void setData(Item item, uint32_t data) { view.setItemData(item, data); }
    uint32_t data(Item item) const { return view.itemData(item); }
    std::u16string label(Item item) const { return view.itemLabel(item); }
    void select(Item item) { view.selectItem(item); }
    Item selected() const { return view.selectedItem(); }
    void remove(Item item) { view.deleteItem(item); }
    bool exists(Item item) const { return view.hasItem(item); }
    int count() const { return view.itemCount(); }
    void observe(std::function<void(Item, Item)> report) {
        view.onSelectionReport = std::move(report);
    }

    FakeView view;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(FakeView, TreeSelectionContract, FakeViewTree);
