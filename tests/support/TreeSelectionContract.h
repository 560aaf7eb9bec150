#pragma once

// What a screen tree does when items are deleted, written once for every tree
// the controller can sit on. The controller reads the old item's data while it
// is told of a selection change, so a deleted selection must move on, and be
// reported, while the deleted item still exists.
//
// A test executable includes this header once, writes an adapter and
// instantiates the suite with it:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Mine, TreeSelectionContract, MyTreeAdapter);
//
// The adapter is default-constructible and offers:
//   using Item = std::uintptr_t;  // 0 is no item
//   Item insert(Item parent, std::u16string_view label);  // appended; 0 for the top level
//   void setData(Item item, uint32_t data);
//   uint32_t data(Item item) const;
//   std::u16string label(Item item) const;
//   void select(Item item);  // reports the change before it returns
//   Item selected() const;
//   void remove(Item item);  // with its children
//   bool exists(Item item) const;
//   int count() const;
//   void observe(std::function<void(Item oldItem, Item newItem)> report);

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

template <typename Adapter>
class TreeSelectionContract : public ::testing::Test {
protected:
    using Item = typename Adapter::Item;

    // One report, with what the tree answered while it was being made.
    struct Report {
        Item oldItem = 0;
        Item newItem = 0;
        bool oldExisted = false;
        uint32_t oldData = 0;
        std::u16string oldLabel;
        Item selectedThen = 0;
    };

    // A new, empty tree that records its reports.
    void fresh() {
        reports.clear();
        items.clear();
        tree = std::make_unique<Adapter>();
        tree->observe([this](Item oldItem, Item newItem) {
            Report r;
            r.oldItem = oldItem;
            r.newItem = newItem;
            r.selectedThen = tree->selected();
            r.oldExisted = oldItem != 0 && tree->exists(oldItem);
            if (r.oldExisted) {
                r.oldData = tree->data(oldItem);
                r.oldLabel = tree->label(oldItem);
            }
            reports.push_back(r);
        });
    }

    Item add(const std::string& name, const std::string& parent, uint32_t data) {
        const Item item = tree->insert(parent.empty() ? Item{0} : items.at(parent), u16(name));
        EXPECT_NE(item, Item{0}) << name;
        tree->setData(item, data);
        items[name] = item;
        dataOf[name] = data;
        return item;
    }

    // S1 (P1, P2, P3), S2 (Q1); the data are screen ids and program keys, as
    // the controller gives them.
    void buildTwoScreens() {
        fresh();
        add("S1", "", 1);
        add("P1", "S1", 0x10001);
        add("P2", "S1", 0x10002);
        add("P3", "S1", 0x10003);
        add("S2", "", 2);
        add("Q1", "S2", 0x20004);
        ASSERT_EQ(tree->count(), 6);
    }

    static std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

    std::unique_ptr<Adapter> tree;
    std::map<std::string, Item> items;
    std::map<std::string, uint32_t> dataOf;
    std::vector<Report> reports;
};

TYPED_TEST_SUITE_P(TreeSelectionContract);

TYPED_TEST_P(TreeSelectionContract, SelectingReportsOldAndNewOnce) {
    this->buildTwoScreens();
    auto& t = *this->tree;
    const auto& named = this->items;
    t.select(named.at("P2"));
    t.select(named.at("P2"));
    t.select(named.at("S2"));
    ASSERT_EQ(this->reports.size(), 2u);
    EXPECT_EQ(this->reports[0].oldItem, 0u);
    EXPECT_EQ(this->reports[0].newItem, named.at("P2"));
    EXPECT_EQ(this->reports[1].oldItem, named.at("P2"));
    EXPECT_EQ(this->reports[1].newItem, named.at("S2"));
    EXPECT_EQ(this->reports[1].selectedThen, named.at("S2"));
}

TYPED_TEST_P(TreeSelectionContract, ADeletedSelectionMovesOnAndIsReportedBeforeItGoes) {
    struct Case {
        const char* what;
        const char* selected;
        const char* deleted;
        const char* expected;
        int left;  // items after the deletion
    };
    const Case cases[] = {
        {"the selected leaf goes to its next sibling", "P2", "P2", "P3", 5},
        {"the selected last leaf goes to the one before", "P3", "P3", "P2", 5},
        {"the selected only child goes to its parent", "Q1", "Q1", "S2", 5},
        {"the selection's parent goes: to the parent's next sibling", "P1", "S1", "S2", 2},
        {"the selection's parent goes: to the parent's previous sibling", "Q1", "S2", "S1", 4},
        {"a selected screen goes to the next screen", "S1", "S1", "S2", 2},
        {"a selected last screen goes to the one before", "S2", "S2", "S1", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        this->buildTwoScreens();
        auto& t = *this->tree;
        const auto& named = this->items;
        t.select(named.at(c.selected));
        this->reports.clear();

        t.remove(named.at(c.deleted));

        ASSERT_EQ(this->reports.size(), 1u);
        const auto& r = this->reports[0];
        EXPECT_EQ(r.oldItem, named.at(c.selected));
        EXPECT_EQ(r.newItem, named.at(c.expected));
        // While told, the old item is still there to be read, and the new one is selected.
        EXPECT_TRUE(r.oldExisted);
        EXPECT_EQ(r.oldData, this->dataOf.at(c.selected));
        EXPECT_EQ(r.oldLabel, this->u16(c.selected));
        EXPECT_EQ(r.selectedThen, named.at(c.expected));
        // Afterwards it is gone.
        EXPECT_FALSE(t.exists(named.at(c.deleted)));
        EXPECT_FALSE(t.exists(named.at(c.selected)));
        EXPECT_EQ(t.selected(), named.at(c.expected));
        EXPECT_EQ(t.count(), c.left);
    }
}

TYPED_TEST_P(TreeSelectionContract, DeletingTheLastItemReportsItGoingToNone) {
    this->fresh();
    auto& t = *this->tree;
    const auto only = this->add("S1", "", 1);
    t.select(only);
    this->reports.clear();

    t.remove(only);

    ASSERT_EQ(this->reports.size(), 1u);
    const auto& r = this->reports[0];
    EXPECT_EQ(r.oldItem, only);
    EXPECT_EQ(r.newItem, 0u);
    EXPECT_TRUE(r.oldExisted);
    EXPECT_EQ(r.oldData, 1u);
    EXPECT_EQ(r.oldLabel, u"S1");
    EXPECT_EQ(r.selectedThen, 0u);
    EXPECT_EQ(t.selected(), 0u);
    EXPECT_EQ(t.count(), 0);
}

TYPED_TEST_P(TreeSelectionContract, DeletingAnUnselectedItemReportsNothing) {
    struct Case {
        const char* what;
        const char* selected;  // empty: nothing selected
        const char* deleted;
    };
    const Case cases[] = {
        {"a sibling of the selection", "P1", "P3"},
        {"a child of the selection", "S1", "P2"},
        {"another screen", "P1", "S2"},
        {"anything, with nothing selected", "", "S1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        this->buildTwoScreens();
        auto& t = *this->tree;
        const auto& named = this->items;
        const typename TestFixture::Item selected =
            *c.selected ? named.at(c.selected) : typename TestFixture::Item{0};
        if (selected) t.select(selected);
        this->reports.clear();

        t.remove(named.at(c.deleted));

        EXPECT_TRUE(this->reports.empty());
        EXPECT_EQ(t.selected(), selected);
        EXPECT_FALSE(t.exists(named.at(c.deleted)));
    }
}

REGISTER_TYPED_TEST_SUITE_P(TreeSelectionContract, SelectingReportsOldAndNewOnce,
                            ADeletedSelectionMovesOnAndIsReportedBeforeItGoes,
                            DeletingTheLastItemReportsItGoingToNone,
                            DeletingAnUnselectedItemReportsNothing);
