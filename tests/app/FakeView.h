#pragma once

#include "app/CGlimraDlg.h"
#include "assets/CDialogAddImages.h"
#include "batch/CClustersSend.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// A window for the controller, every part of it in one: a tree that behaves
// like a native one (selection changes are reported synchronously, also when
// the selected item is deleted, before it goes), dialogs that answer what the
// test prepared, and a progress bar that any thread may drive.
class FakeView : public WindowView,
                 public TreeView,
                 public MenuView,
                 public DialogHost,
                 public TimerHost,
                 public ProgressView,
                 public PreviewView {
public:
    using Panel = WindowView::Panel;

    explicit FakeView(CGlimraDlg& dlg) : m_dlg(&dlg) {
        dlg.attach({*this, *this, *this, *this, *this, *this, *this});
    }
    // A tree without a controller: reports go to `onSelectionReport` only.
    FakeView() = default;

    // --- what the test prepares -------------------------------------------------------
    bool acceptScreenSize = true;
    std::optional<std::filesystem::path> openPath;
    std::optional<std::filesystem::path> savePath;
    // Chosen when the context menu opens (0: closed without a choice).
    int contextChoice = 0;
    bool refuseInserts = false;

    // Told of every selection change before the controller is.
    std::function<void(TreeItem oldItem, TreeItem newItem)> onSelectionReport;

    // --- what the test reads -----------------------------------------------------------
    bool closed = false;
    std::u16string title;
    std::vector<std::u16string> messages;
    std::vector<MenuEntry> recentMenu;
    std::vector<MenuEntry> contextMenu;
    std::map<int, std::u16string> menuTexts;
    std::map<int, std::u16string> controlTexts;
    std::map<Panel, bool> panels;
    std::map<int, int> timers;  // running timers: id → period
    int screenSizeDialogs = 0;
    std::vector<int> screenSizeInitial, screenSizeInitialButton;
    int chosenScreenButton = -1;  // -1: OK on what was selected
    std::optional<int32_t> selectId;
    int saveDialogs = 0;
    TreeItem editing = 0;
    int editLimit = 0;

    // A user's click on an item; selects it unless the controller handled it.
    void click(TreeItem item, bool onImage);
    // The user selects an item.
    void select(TreeItem item) { selectItem(item); }
    // Top-level items, and the children of one, in order.
    std::vector<TreeItem> roots() const { return children(0); }
    std::vector<TreeItem> children(TreeItem parent) const;
    std::vector<std::u16string> labels(TreeItem parent) const;
    bool hasItem(TreeItem item) const { return m_nodes.count(item) != 0; }

    // --- WindowView -----------------------------------------------------------------
    void setTitle(std::u16string_view t) override { title = t; }
    void showStatus(std::u16string_view t) override { statusLines.emplace_back(t); }
    std::vector<std::u16string> statusLines;
    void closeWindow() override { closed = true; }
    void setWindowIcon(const std::filesystem::path& file) override { windowIcon = file; }
    std::filesystem::path windowIcon;
    void showPanel(Panel panel, bool visible) override { panels[panel] = visible; }
    void focusMainWindow() override { ++focusRequests; }
    int focusRequests = 0;

    // --- TreeView -------------------------------------------------------------------
    void setCheckImages(const std::vector<std::filesystem::path>& files) override {
        checkImages = files;
    }
    std::vector<std::filesystem::path> checkImages;

    TreeItem insertItem(TreeItem parent, std::u16string_view label) override;
    void deleteItem(TreeItem item) override;
    std::u16string itemLabel(TreeItem item) const override { return node(item).label; }
    void setItemLabel(TreeItem item, std::u16string_view label) override {
        node(item).label = label;
    }
    uint32_t itemData(TreeItem item) const override { return node(item).data; }
    void setItemData(TreeItem item, uint32_t data) override { node(item).data = data; }
    int itemImage(TreeItem item) const override { return node(item).image; }
    void setItemImage(TreeItem item, int image) override { node(item).image = image; }
    TreeItem selectedItem() const override { return m_selected; }
    void selectItem(TreeItem item) override;
    TreeItem parentItem(TreeItem item) const override { return node(item).parent; }
    TreeItem firstChild(TreeItem item) const override;
    TreeItem nextSibling(TreeItem item) const override;
    TreeItem previousSibling(TreeItem item) const override;
    void expandItem(TreeItem item) override { node(item).expanded = true; }
    int itemCount() const override { return static_cast<int>(m_nodes.size()); }
    void setDropHighlight(TreeItem item) override { highlighted = item; }
    TreeItem highlighted = 0;
    void editLabel(TreeItem item, int maxLength) override {
        editing = item;
        editLimit = maxLength;
    }

    // --- MenuView -------------------------------------------------------------------
    void setMenuText(int id, std::u16string_view text) override { menuTexts[id] = text; }
    void setLanguageMenu(const std::vector<MenuEntry>& entries) override { languageMenu = entries; }
    std::vector<MenuEntry> languageMenu;
    void setRecentFilesMenu(const std::vector<MenuEntry>& entries) override {
        recentMenu = entries;
    }
    void setControlText(int id, std::u16string_view text) override { controlTexts[id] = text; }
    void popupContextMenu(const std::vector<MenuEntry>& entries) override;

    // --- DialogHost -----------------------------------------------------------------
    void messageBox(std::u16string_view text) override { messages.emplace_back(text); }
    std::optional<std::filesystem::path> openFileDialog(std::u16string_view,
                                                        std::u16string_view) override {
        return openPath;
    }
    SaveChoice askSaveChanges(const SaveQuestion& question) override {
        saveQuestions.push_back(question.text);
        saveLabels = {question.save, question.discard, question.cancel};
        return saveChoice;
    }
    std::vector<std::u16string> saveQuestions;
    std::vector<std::u16string> saveLabels;  // of the last question
    SaveChoice saveChoice = SaveChoice::cancel;
    std::optional<std::filesystem::path> saveFileDialog(std::u16string_view,
                                                        std::u16string_view) override {
        ++saveDialogs;
        return savePath;
    }
    // Chooses these entries (-1: leaves the selection) and answers OK or Cancel.
    int systemPlayModeChoice = -1;
    int systemTempChoice = -1;
    bool acceptSystemSettings = true;
    std::vector<std::u16string> systemTempLabels;
    int systemTempSelectionShown = -2;
    bool runSystemSettings(CSystemSettingDlg& dlg) override {
        for (const auto& e : dlg.tempOffsets())
            systemTempLabels.push_back(e.label);
        systemTempSelectionShown = dlg.tempOffsetSelection();
        if (systemPlayModeChoice >= 0) dlg.selectPlayMode(systemPlayModeChoice);
        if (systemTempChoice >= 0) dlg.selectTempOffset(systemTempChoice);
        if (acceptSystemSettings) dlg.onOK();
        return acceptSystemSettings;
    }
    // Runs the picture dialog: `pictureScript` plays the user, then OK or Cancel.
    std::function<void(CImgInfoDlg&)> pictureScript;
    bool acceptPictures = true;
    bool runPictureLibrary(CImgInfoDlg& dlg) override {
        dlg.onInitDialog();
        if (pictureScript) pictureScript(dlg);
        return acceptPictures;
    }
    bool chooseScreenSize(CScreenSel& dlg) override {
        ++screenSizeDialogs;
        screenSizeInitial.push_back(dlg.selectedIndex());
        screenSizeInitialButton.push_back(dlg.selectedButton());
        if (acceptScreenSize && chosenScreenButton >= 0) dlg.onPictureClicked(chosenScreenButton);
        return acceptScreenSize;
    }
    std::optional<int32_t> readSelectId() override { return selectId; }
    void writeSelectId(int32_t index) override { selectId = index; }
    // The About dialog: what it showed, and the check box as the test leaves it.
    bool acceptAbout = false;
    std::optional<bool> aboutAutoUpdateChoice;
    std::vector<std::u16string> aboutTexts;
    bool runAboutDialog(std::u16string_view titleLine, std::u16string_view checkLabel,
                        bool& autoUpdate) override {
        aboutTexts = {std::u16string(titleLine), std::u16string(checkLabel),
                      autoUpdate ? u"1" : u"0"};
        if (aboutAutoUpdateChoice) autoUpdate = *aboutAutoUpdateChoice;
        return acceptAbout;
    }
    void runTestDialog(CDialogTest& dlg) override {
        ++testDialogs;
        if (onTestDialog) onTestDialog(dlg);
    }
    int testDialogs = 0;
    std::function<void(CDialogTest&)> onTestDialog;
    // The batch send dialog: the test plays the user while it is open.
    void runClustersSend(CClustersSend& dlg) override {
        ++batchDialogs;
        dlg.onInitDialog();
        if (onBatchDialog) onBatchDialog(dlg);
        if (dlg.isOpen()) dlg.onClose();
    }
    int batchDialogs = 0;
    std::function<void(CClustersSend&)> onBatchDialog;
    void runAddImages(CDialogAddImages& dlg) override {
        ++animationDialogs;
        if (onAnimationDialog) onAnimationDialog(dlg);
    }
    int animationDialogs = 0;
    std::function<void(CDialogAddImages&)> onAnimationDialog;

    // --- TimerHost ------------------------------------------------------------------
    void startTimer(int id, int ms) override { timers[id] = ms; }
    void stopTimer(int id) override { timers.erase(id); }
    void postMessage(uint32_t message, uintptr_t w, intptr_t l) override {
        posted.push_back({message, w, l});
    }
    void postMessageTo(uintptr_t window, uint32_t message, uintptr_t w, intptr_t l) override {
        postedTo.push_back({window, {message, w, l}});
    }
    struct Posted {
        uint32_t message;
        uintptr_t w;
        intptr_t l;
    };
    std::vector<Posted> posted;
    std::vector<std::pair<uintptr_t, Posted>> postedTo;
    // Tasks from any thread, run when the test says.
    void postTask(std::function<void()> task) override {
        std::lock_guard lock(tasksMutex);
        tasks.push_back(std::move(task));
    }
    int runTasks() {
        int ran = 0;
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(tasksMutex);
                if (tasks.empty()) return ran;
                task = std::move(tasks.front());
                tasks.erase(tasks.begin());
            }
            task();
            ++ran;
        }
    }
    std::mutex tasksMutex;
    std::vector<std::function<void()>> tasks;

    // --- ProgressView: from any thread; read what was recorded once the thread has ended.
    std::pair<int, int> progressRange{0, 0};
    int progressStep = 0;
    std::vector<int> progressPositions;
    int progressSteps = 0;
    // Called after each report is recorded, on the reporting thread.
    std::function<void()> onProgress;

    void setProgressRange(int low, int high) override {
        record([&] { progressRange = {low, high}; });
    }
    void setProgressStep(int step) override {
        record([&] { progressStep = step; });
    }
    void setProgressPos(int pos) override {
        record([&] { progressPositions.push_back(pos); });
    }
    void stepProgress() override {
        record([&] { ++progressSteps; });
    }

    // --- PreviewView: every restart, as the emulated sign was told ---------------------
    struct Restart {
        std::vector<uint8_t> image;
        std::vector<uint8_t> animationSet;
        int temperature = 0;
        std::vector<std::u16string> names;
    };
    std::vector<Restart> restarts;
    void restartPreview(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
                        int temperature, std::vector<std::u16string> names) override {
        restarts.push_back(
            {std::move(image), std::move(animationSet), temperature, std::move(names)});
    }

private:
    struct Node {
        std::u16string label;
        uint32_t data = 0;
        int image = 0;
        TreeItem parent = 0;
        bool expanded = false;
        std::vector<TreeItem> children;
    };
    Node& node(TreeItem item) { return m_nodes.at(item); }
    const Node& node(TreeItem item) const { return m_nodes.at(item); }
    const std::vector<TreeItem>& siblings(TreeItem item) const {
        return node(item).parent ? node(node(item).parent).children : m_roots;
    }
    bool isWithin(TreeItem item, TreeItem ancestor) const;
    void erase(TreeItem item);

    template <typename Change>
    void record(Change change) {
        {
            const std::lock_guard lock(m_progressMutex);
            change();
        }
        if (onProgress) onProgress();
    }

    CGlimraDlg* m_dlg = nullptr;
    std::mutex m_progressMutex;
    std::map<TreeItem, Node> m_nodes;
    std::vector<TreeItem> m_roots;
    TreeItem m_selected = 0;
    TreeItem m_next = 100;
};
