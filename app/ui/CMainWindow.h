#pragma once

#include "app/CGlimraDlg.h"
#include "platform/qt/QtTimers.h"

#include <QMainWindow>
#include <QPoint>

#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

class CDlgProgramWidget;
class CDlgScreenWidget;
class CPreviewDlg;
class QAction;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class ScreenTree;
class ToolbarPanel;

// The main window: the Qt face of CGlimraDlg. It builds the menus, the screen
// tree, the preview, the two panels, the buttons and the progress bar, passes
// what the user does to the controller and shows what the controller says.
// The screen tree is the controller's TreeView; the window is the rest of its View.
class CMainWindow : public QMainWindow,
                    public WindowView,
                    public MenuView,
                    public DialogHost,
                    public TimerHost,
                    public ProgressView,
                    public PreviewView {
    Q_OBJECT
public:
    using TreeItem = CGlimraDlg::TreeItem;

    // Attaches itself and the panels to `dlg`; the owner calls dlg.onInitDialog() next.
    explicit CMainWindow(CGlimraDlg& dlg, QWidget* parent = nullptr);
    ~CMainWindow() override;

    ScreenTree& tree() const { return *m_tree; }
    CPreviewDlg& previewWindow() const { return *m_previewWindow; }

    // --- WindowView ----------------------------------------------------------------------
    void setTitle(std::u16string_view title) override;
    void closeWindow() override;
    void setWindowIcon(const std::filesystem::path& file) override;
    void showPanel(Panel panel, bool visible) override;
    void focusMainWindow() override;
    void keepPainting() override;
    void showStatus(std::u16string_view text) override;
    void toolbarChanged() override;

    // --- MenuView ------------------------------------------------------------------------
    void setMenuText(int id, std::u16string_view text) override;
    void setLanguageMenu(const std::vector<MenuEntry>& entries) override;
    void setRecentFilesMenu(const std::vector<MenuEntry>& entries) override;
    void setControlText(int id, std::u16string_view text) override;
    void popupContextMenu(const std::vector<MenuEntry>& entries) override;

    // --- DialogHost ----------------------------------------------------------------------
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
    void runTestDialog(CDialogTest& dlg) override;
    void runClustersSend(CClustersSend& dlg) override;
    void runAddImages(CDialogAddImages& dlg) override;
    void showBmpEdit(CBmpEdit& dlg) override;
    void destroyBmpEdit() override;
    void informationBox(std::u16string_view text) override;
    bool askYesNo(std::u16string_view text) override;
    SaveChoice askSaveChanges(const SaveQuestion& question) override;
    bool runDownloadTip(update::CDownLoadTipDlg& dlg) override;
    bool runDownload(update::CDownLoadDlg& dlg) override;
    bool runCustomToolBar(CCustomToolBar& dlg, std::string* error) override;

    // --- TimerHost: from any thread ------------------------------------------------------
    // The controller's timers; QObject's own startTimer/killTimer are not used here.
    void startTimer(int id, int milliseconds) override;
    void stopTimer(int id) override;
    void postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void postMessageTo(uintptr_t window, uint32_t message, uintptr_t wParam,
                       intptr_t lParam) override;
    void postTask(std::function<void()> task) override;

    // Windows that ask the main window by message (0x0806) name themselves by
    // an id; answers go only to ids registered here, on this window's thread.
    using MessageTarget = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;
    void registerMessageTarget(uintptr_t id, MessageTarget target);
    void unregisterMessageTarget(uintptr_t id);

    // --- ProgressView: from any thread; the bar changes on the window's thread -----------
    void setProgressRange(int low, int high) override;
    void setProgressStep(int step) override;
    void setProgressPos(int pos) override;
    void stepProgress() override;

    // --- PreviewView -----------------------------------------------------------------------
    void restartPreview(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
                        int temperature, std::vector<std::u16string> names) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The language's texts were applied to the window (at start and on a switch).
    void textsApplied();

private:
    void keepTreeWidth(bool mayGrow);
    void buildMenus();
    void addMenuItems(QMenu* menu, const std::vector<CGlimraDlg::MenuItem>& items);
    QAction* addCommand(QMenu* menu, int id, const QString& text);
    void replaceEntries(int submenuId, const std::vector<MenuEntry>& entries, bool separatorFirst,
                        bool escapeAmpersands);
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
    // Off the window's thread, queues `c` to it and says so; the call is
    // dropped if the window is gone by then.
    template <typename Call>
    bool postedToOwnThread(Call&& c) {
        if (onOwnThread()) return false;
        QMetaObject::invokeMethod(this, std::forward<Call>(c), Qt::QueuedConnection);
        return true;
    }
    bool onOwnThread() const;
    void showProgress();

    CGlimraDlg& m_dlg;
    ScreenTree* m_tree = nullptr;
    ToolbarPanel* m_toolbar = nullptr;
    QWidget* m_contentFrame = nullptr;
    QWidget* m_preview = nullptr;
    CPreviewDlg* m_previewWindow = nullptr;  // inside m_preview
    CDlgScreenWidget* m_screenPanel = nullptr;
    CDlgProgramWidget* m_programEditor = nullptr;
    QPushButton* m_sendButton = nullptr;
    QPushButton* m_previewButton = nullptr;
    QProgressBar* m_progress = nullptr;

    std::map<int, QAction*> m_commands;  // menu bar items by command id
    // Keys shown beside a menu entry that a widget of its own runs (the tree's F2, Delete).
    std::map<int, QString> m_shownKeys;
    std::map<int, QMenu*> m_submenus;                // by SubmenuId
    std::map<int, std::vector<QAction*>> m_entries;  // filled submenus' current actions
    platform::QtTimers m_timers{this, [this](int id) { call([&] { m_dlg.onTimer(id); }); }};
    std::map<uintptr_t, MessageTarget> m_messageTargets;
    // Where the tree's context menu opens while a right click is being handled.
    std::optional<QPoint> m_menuPos;

    // Only the window's thread reads or writes these.
    int m_progressLow = 0;
    int m_progressHigh = 100;
    int m_progressStep = 10;
    int m_progressPos = 0;

    bool m_closeAllowed = false;
    bool m_inCloseEvent = false;
    QSplitter* m_splitter = nullptr;
    int m_treeWidth = 240;  // as the person last set it
};
