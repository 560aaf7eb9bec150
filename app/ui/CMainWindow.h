#pragma once

#include "app/CGlimraDlg.h"

#include <QMainWindow>

#include <QPoint>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class CDlgProgramWidget;
class CDlgScreenWidget;
class QAction;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class ScreenTree;

// The main window: the Qt face of CGlimraDlg. It builds the menus, the screen
// tree, the preview, the two panels, the buttons and the progress bar, passes
// what the user does to the controller and shows what the controller says.
class CMainWindow : public QMainWindow, public CGlimraDlg::View {
    Q_OBJECT
public:
    using TreeItem = CGlimraDlg::TreeItem;

    // Attaches itself and the panels to `dlg`; the owner calls dlg.onInitDialog() next.
    explicit CMainWindow(CGlimraDlg& dlg, QWidget* parent = nullptr);
    ~CMainWindow() override;

    // --- CGlimraDlg::View ----------------------------------------------------------------
    void setTitle(std::u16string_view title) override;
    void closeWindow() override;
    void setCheckImages(const std::vector<std::filesystem::path>& files) override;
    void setWindowIcon(const std::filesystem::path& file) override;

    TreeItem insertItem(TreeItem parent, std::u16string_view label) override;
    void deleteItem(TreeItem item) override;
    std::u16string itemLabel(TreeItem item) const override;
    void setItemLabel(TreeItem item, std::u16string_view label) override;
    uint32_t itemData(TreeItem item) const override;
    void setItemData(TreeItem item, uint32_t data) override;
    int itemImage(TreeItem item) const override;
    void setItemImage(TreeItem item, int image) override;
    TreeItem selectedItem() const override;
    void selectItem(TreeItem item) override;
    TreeItem parentItem(TreeItem item) const override;
    TreeItem firstChild(TreeItem item) const override;
    TreeItem nextSibling(TreeItem item) const override;
    TreeItem previousSibling(TreeItem item) const override;
    void expandItem(TreeItem item) override;
    int itemCount() const override;
    void setDropHighlight(TreeItem item) override;
    void editLabel(TreeItem item, int maxLength) override;

    void showPanel(CGlimraDlg::Panel panel, bool visible) override;

    void setMenuText(int id, std::u16string_view text) override;
    void setLanguageMenu(const std::vector<CGlimraDlg::MenuEntry>& entries) override;
    void setRecentFilesMenu(const std::vector<CGlimraDlg::MenuEntry>& entries) override;
    void setControlText(int id, std::u16string_view text) override;
    void popupContextMenu(const std::vector<CGlimraDlg::MenuEntry>& entries) override;

    void messageBox(std::u16string_view text) override;
    std::optional<std::filesystem::path> openFileDialog(std::u16string_view filterName,
                                                        std::u16string_view pattern) override;
    std::optional<std::filesystem::path> saveFileDialog(std::u16string_view filterName,
                                                        std::u16string_view pattern) override;
    bool chooseScreenSize(CScreenSel& dlg) override;
    std::optional<int32_t> readSelectId() override;
    void writeSelectId(int32_t index) override;
    bool runSystemSettings(CSystemSettingDlg& dlg) override;
    bool runPictureLibrary(CImgInfoDlg& dlg) override;
    bool runAboutDialog(std::u16string_view titleLine, std::u16string_view checkLabel,
                        bool& autoUpdate) override;

    // The controller's timers; QObject's own startTimer/killTimer are not used here.
    void startTimer(int id, int milliseconds) override;
    void stopTimer(int id) override;
    void postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void postMessageTo(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void runTestDialog(CDialogTest& dlg) override;
    void focusMainWindow() override;

    // Windows that ask the main window by message (0x0806) name themselves by
    // an id; answers go only to ids registered here, on this window's thread.
    using MessageTarget = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;
    void registerMessageTarget(uintptr_t id, MessageTarget target);
    void unregisterMessageTarget(uintptr_t id);

    void setProgressRange(int low, int high) override;
    void setProgressStep(int step) override;
    void setProgressPos(int pos) override;
    void stepProgress() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void addMenuItems(QMenu* menu, const std::vector<CGlimraDlg::MenuItem>& items);
    QAction* addCommand(QMenu* menu, int id, const QString& text);
    void replaceEntries(int submenuId, const std::vector<CGlimraDlg::MenuEntry>& entries,
                        bool separatorFirst, bool escapeAmpersands);
    void updateMenuState(QMenu* menu);
    void buildContent();

    // Every call into the controller goes through here, so the buttons follow
    // what it allows afterwards.
    template <typename Call>
    void call(Call&& c) {
        c();
        refreshControls();
    }
    void runCommand(int id);
    void refreshControls();
    void showProgress();

    CGlimraDlg& m_dlg;
    ScreenTree* m_tree = nullptr;
    QWidget* m_contentFrame = nullptr;
    QWidget* m_preview = nullptr;
    CDlgScreenWidget* m_screenPanel = nullptr;
    CDlgProgramWidget* m_programEditor = nullptr;
    QPushButton* m_sendButton = nullptr;
    QPushButton* m_previewButton = nullptr;
    QProgressBar* m_progress = nullptr;

    std::map<int, QAction*> m_commands;              // menu bar items by command id
    std::map<int, QMenu*> m_submenus;                // by SubmenuId
    std::map<int, std::vector<QAction*>> m_entries;  // filled submenus' current actions
    std::map<int, QTimer*> m_timers;
    std::map<uintptr_t, MessageTarget> m_messageTargets;
    // Where the tree's context menu opens while a right click is being handled.
    std::optional<QPoint> m_menuPos;

    int m_progressLow = 0;
    int m_progressHigh = 100;
    int m_progressStep = 10;
    int m_progressPos = 0;

    bool m_closeAllowed = false;
    bool m_inCloseEvent = false;
};
