#pragma once

#include "app/TreeView.h"
#include "project/Project.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

class LanguageTable;

// The screen tree and the project side by side: every screen record has one
// top-level item and every program record one child item of its screen's,
// whose data value is the screen id or the program key; a program's check
// image (0, or 2 when checked) is where its checked flag is set, and a screen's
// image sums up its programs'. What the commands do with them is the
// controller's; this keeps the two in step.
class ProjectTree {
public:
    using TreeItem = TreeView::TreeItem;
    // Sizes a new screen (the screen size dialog); false cancels it.
    using ChooseSize = std::function<bool(ScreenRecord& screen)>;

    // New screens and programs take their generated names from `language`.
    ProjectTree(Project& project, const LanguageTable& language);

    // The tree the records are shown in; none while the window is gone.
    void setTree(TreeView* tree) { m_tree = tree; }
    bool hasTree() const { return m_tree != nullptr; }
    bool empty() const {
        return !m_tree || m_tree->firstChild(TreeView::kNoItem) == TreeView::kNoItem;
    }

    // A screen record with its top-level item, named `name` or, when that is
    // empty, after the next screen id. With `chooseSize` the size is asked for
    // before anything is added, and the new item is selected. kNoItem when no
    // screen id is left, the size was cancelled or the tree refused the item.
    TreeItem addScreen(std::u16string_view name, const ChooseSize& chooseSize = {});
    // A checked program record with its item at the end of `screenItem`, named
    // `name` or generated; kNoItem when that is no screen, the screen is full
    // or the tree refused the item. Nothing is selected.
    TreeItem addProgram(TreeItem screenItem, std::u16string_view name);
    // Adds the screens of a project file with their programs (the eleventh and
    // later of a screen are dropped), their fields and check images. False with
    // the reason when the file could not be read; `programsAdded` counts the
    // program items made.
    bool loadFile(const std::filesystem::path& path, std::string* error, int* programsAdded);

    // The item of a screen id or program key; kNoItem when none has it.
    TreeItem findItem(uint32_t data) const;
    // The screen of the selected item, and the selected program; 0 when none.
    ScreenId selectedScreen() const;
    ProgramKey selectedProgram() const;
    // The first top-level screen whose label matches without regard to case; 0 when none.
    ScreenId screenNamed(std::u16string_view name) const;

    // Every program's checked flag from its item's image; every screen's image
    // 2 when all its programs are checked, 1 when some are, 0 when none are or it has none.
    void deriveCheckState();
    // A click on a check image: 0 becomes 2, 1 and 2 become 0, and a screen's
    // programs all take the new image.
    void toggleCheck(TreeItem item);
    // Two sibling items exchange labels and data; their check images stay
    // where they are, and two screens take their programs along.
    void exchange(TreeItem a, TreeItem b);
    // The label and the record's name; the item's data.
    uint32_t rename(TreeItem item, std::u16string_view name);
    // The screen of `item` (itself or its parent): the item goes first, its
    // records after, so a selection that moves on can still be committed.
    void deleteScreen(TreeItem item);
    // A program item: the record goes first, then the item; false for a screen.
    bool deleteProgram(TreeItem item);

private:
    void exchangeChildren(TreeItem a, TreeItem b);

    Project& m_project;
    const LanguageTable& m_language;
    TreeView* m_tree = nullptr;
};
