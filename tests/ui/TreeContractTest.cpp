// The real screen tree keeps the contract the controller's tests rely on: on
// its own, and as the main window hands it to the controller.
#include "app/CGlimraApp.h"
#include "app/CGlimraDlg.h"
#include "app/ui/CMainWindow.h"
#include "app/ui/ScreenTree.h"
#include "device/sim/SimulatedSign.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtTextRenderer.h"
#include "support/TreeSelectionContract.h"

#include <QApplication>
#include <QTemporaryDir>

#include <filesystem>

namespace {

struct ScreenTreeAdapter {
    using Item = ScreenTree::TreeItem;

    Item insert(Item parent, std::u16string_view label) { return tree.insertItem(parent, label); }
    void setData(Item item, uint32_t data) { tree.setItemData(item, data); }
    uint32_t data(Item item) const { return tree.itemData(item); }
    std::u16string label(Item item) const { return tree.itemLabel(item); }
    void select(Item item) { tree.selectItem(item); }
    Item selected() const { return tree.selectedItem(); }
    void remove(Item item) { tree.deleteItem(item); }
    bool exists(Item item) const { return tree.itemOf(item) != nullptr; }
    int count() const { return tree.itemCount(); }
    void observe(std::function<void(Item, Item)> report) {
        ScreenTree::Callbacks callbacks;
        callbacks.selectionChanged = std::move(report);
        tree.setCallbacks(std::move(callbacks));
    }

    ScreenTree tree;
};

// The tree as the main window hands it to the controller; the reports still
// reach the controller after the test has seen them.
struct MainWindowAdapter {
    using Item = CGlimraDlg::TreeItem;

    MainWindowAdapter()
        : dlg(app, AppFolders(std::filesystem::path(dirs.path().toStdString()) / "data",
                              std::filesystem::path(dirs.path().toStdString()) / "program",
                              std::filesystem::path(dirs.path().toStdString()) / "tmp")),
          window(dlg) {}

    Item insert(Item parent, std::u16string_view label) { return view().insertItem(parent, label); }
    void setData(Item item, uint32_t data) { view().setItemData(item, data); }
    uint32_t data(Item item) const { return view().itemData(item); }
    std::u16string label(Item item) const { return view().itemLabel(item); }
    void select(Item item) { view().selectItem(item); }
    Item selected() const { return view().selectedItem(); }
    void remove(Item item) { view().deleteItem(item); }
    bool exists(Item item) const { return tree()->itemOf(item) != nullptr; }
    int count() const { return view().itemCount(); }
    void observe(std::function<void(Item, Item)> report) {
        ScreenTree::Callbacks callbacks;
        callbacks.selectionChanged = [this, report = std::move(report)](Item oldItem,
                                                                        Item newItem) {
            report(oldItem, newItem);
            dlg.onSelectionChanged(oldItem, newItem);
        };
        tree()->setCallbacks(std::move(callbacks));
    }
    ScreenTree* tree() const { return window.findChild<ScreenTree*>(); }
    // What the controller calls.
    TreeView& view() const { return window.tree(); }

    struct NoShell : platform::Shell {
        bool open(const std::filesystem::path&) override { return false; }
    } shell;
    QTemporaryDir dirs;
    platform::QtImageCodec images;
    platform::QtFontCatalog fonts;
    platform::QtTextRenderer text{fonts};
    platform::VirtualClock clock;
    SimulatedSign signs{clock};
    CGlimraApp app{{shell, images, fonts, text, signs, clock}};
    CGlimraDlg dlg;
    CMainWindow window;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(ScreenTree, TreeSelectionContract, ScreenTreeAdapter);
INSTANTIATE_TYPED_TEST_SUITE_P(MainWindow, TreeSelectionContract, MainWindowAdapter);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
