#pragma once

#include "app/AppContext.h"
#include "app/AppFolders.h"
#include "app/AppSettings.h"
#include "app/CDialogTest.h"
#include "app/CSystemSettingDlg.h"
#include "app/DialogHost.h"
#include "app/LanguageTable.h"
#include "app/MenuView.h"
#include "app/PreviewView.h"
#include "app/ProgressView.h"
#include "app/ProjectTree.h"
#include "app/SignCommands.h"
#include "app/TimerHost.h"
#include "app/TreeView.h"
#include "app/WindowView.h"
#include "assets/CImgInfoDlg.h"
#include "assets/PictureLibrary.h"
#include "content/BitmapFontLibrary.h"
#include "content/CDlgProgram.h"
#include "device/DeviceImage.h"
#include "device/LinkProtocol.h"
#include "project/CDlgScreen.h"
#include "project/CScreenSel.h"
#include "project/Project.h"
#include "project/ScreenCatalogue.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class CGlimraApp;

// The main window: controller of the whole program. It owns the project and its
// screen tree (kept in step by ProjectTree), the screen panel, the program
// editor and the start-up context (settings, language, pictures, fonts,
// encoding), and turns commands, tree notifications, timers and posted
// messages into operations on them. It knows no window system: it talks to
// its window through the small interfaces of View.
class CGlimraDlg : private signlink::LinkObserver, public SignCommands::SignLink {
public:
    using TreeItem = TreeView::TreeItem;
    using Panel = WindowView::Panel;

    // Submenus have no command; they carry these ids for their labels.
    enum SubmenuId : int {
        MENU_FILE = -1,
        MENU_EDIT = -2,
        MENU_SETTING = -3,
        MENU_TOOL = -4,
        MENU_LANGUAGE = -5,
        MENU_HELP = -6,
        MENU_FILE_NEW = -7,
        MENU_FILE_RECENT = -8,
    };

    // The menu bar as the window builds it: items with their command ids and the
    // language keys of their labels. `separatorBefore` puts a separator line above.
    struct MenuItem {
        int id;
        std::u16string_view key;
        std::vector<MenuItem> children;
        bool separatorBefore = false;
        // The key that runs it ("Ctrl+O"); a tree key works only in the tree, so a
        // text box keeps its own Delete and F2.
        std::u16string_view shortcut = {};
        bool treeKey = false;
    };
    static const std::vector<MenuItem>& menuBar();

    // The platform operations the main window needs, one small interface each.
    struct View {
        WindowView& window;
        TreeView& tree;
        MenuView& menus;
        DialogHost& dialogs;
        TimerHost& timers;
        ProgressView& progress;
        PreviewView& preview;
    };

    // The screen's vertical resolution, which the editors measure their text box with.
    void setScreenDpi(int dpi) { m_programEditor.setScreenDpi(dpi); }

    // Keys the main window handles itself.
    enum class Key { Escape, Enter, F12, F2, Delete, Other };

    CGlimraDlg(CGlimraApp& app, AppFolders folders);
    ~CGlimraDlg();  // writes the recent-files list
    CGlimraDlg(const CGlimraDlg&) = delete;
    CGlimraDlg& operator=(const CGlimraDlg&) = delete;

    // The window's parts, until detach(). Once detach() has returned, no call
    // of a transfer running on another thread reaches them any more.
    void attach(const View& view);
    void detach();
    // The system's interface language as a Windows language identifier; it
    // chooses the language at the first start.
    void setSystemLanguageId(uint16_t id) { m_systemLanguageId = id; }

    // --- what the window reports --------------------------------------------------
    void onInitDialog();
    void onCommand(int id);
    bool isCommandEnabled(int id) const;
    void onSelectionChanged(TreeItem oldItem, TreeItem newItem);
    // A left click on an item; `onImage` when it hit the check image. True when handled.
    bool onTreeClick(TreeItem item, bool onImage);
    // A right click; `item` is the one under the cursor (or none).
    void onTreeRightClick(TreeItem item);
    void onEndLabelEdit(TreeItem item, std::u16string_view text);
    void onTimer(int id);
    void onMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    // True when the key was handled (and must not reach anything else).
    bool onKeyDown(Key key);
    // The frame's close request: commits, writes settings and the autosave, closes.
    void onClose();

    // --- state ------------------------------------------------------------------------
    CGlimraApp& app() { return m_app; }
    Project& project() { return m_project; }
    const Project& project() const { return m_project; }
    AppContext& context() { return m_context; }
    AppSettings& settings() { return m_context.settings(); }
    const AppFolders& folders() const { return m_context.folders(); }
    LanguageTable& language() { return m_context.language(); }
    const PictureLibrary& pictures() const { return m_context.pictures(); }
    CBmpEdit* imageEditor() { return m_bmpEdit.get(); }
    // Whether the records differ from the project as last saved (the open panel
    // counts once committed).
    bool modified();
    const BitmapFontLibrary& bitmapFonts() const { return m_context.bitmapFonts(); }
    // What images are encoded with: the fonts, pictures and language in force.
    const EncodeContext& encoding() const { return m_context.encoding(); }
    CDlgScreen& screenPanel() { return m_screenPanel; }
    CDlgProgram& programEditor() { return m_programEditor; }
    TreeItem contextItem() const { return m_contextItem; }
    const ProjectTree& projectTree() const { return m_projectTree; }
    // What the last geometry reply said, and the firmware request's answer;
    // a transfer on a worker thread may set them.
    bool firmwareReady() const { return m_firmwareReady; }
    int signWidth() const override { return m_signWidth; }
    int signHeight() const override { return m_signHeight; }
    // One block to the sign under device key 0 with the main progress bar;
    // the result codes of the link (0 … 3). Any thread may run it.
    int transfer(std::span<const uint8_t> block, uint8_t kind,
                 std::vector<uint8_t>* reply) override;

    // The device image of the current screen: every checked program with the
    // flag (or when no program is selected), else the selected one; empty without a screen.
    std::string deviceImageOfCurrentScreen(bool allPrograms);
    // The first top-level screen whose label matches without regard to case; empty when none.
    std::string deviceImageOfNamedScreen(std::u16string_view name);
    // A result code in a message box; 0 shows "OK".
    void showResult(int code);
    void sendToSign();
    // Waits for the firmware worker (for zentari-cli and tests); the caller must
    // not take part in a virtual clock's time.
    void joinSignWorker() {
        if (m_signWorker.joinable()) m_signWorker.join();
    }
    int firmwareReRequests() const { return m_firmwareReRequests; }
    // The update check on its worker (timer 1234 and Help > Update); none starts
    // while one runs.
    void startUpdateCheck(bool silent);
    bool updateCheckRunning() const { return m_updateRunning; }
    // Waits for the update check (tests).
    void joinUpdateCheck() {
        if (m_updateWorker.joinable()) m_updateWorker.join();
    }
    // Runs a task on the window's thread, later; dropped when the window is gone.
    void postToWindow(std::function<void()> task);
    // The batch send dialog in screen mode; with a prepared image every sign gets that.
    void batchSend(std::vector<uint8_t> preparedImage = {});
    // Replaces the animation set that message 0x0805 builds from the library.
    void setAnimationSetSource(std::function<std::vector<uint8_t>()> source) {
        m_animationSet = std::move(source);
    }
    // The library's animation set for the screen panel's height.
    std::vector<uint8_t> animationSet();
    std::filesystem::path animationLibraryFile() const;

    // The screen of the selected item, and the selected program; 0 when none.
    ScreenId currentScreenId() const;
    ProgramKey currentProgramKey() const;

    // --- project operations with their tree items ----------------------------------------
    // With `askSize` the screen size dialog comes first and the new screen is selected.
    TreeItem addScreen(std::u16string_view name, bool askSize);
    TreeItem addProgram(TreeItem screenItem, std::u16string_view name, bool select);
    // Adds the screens of a project file, which becomes the current one; false
    // with the reason when it could not be read.
    bool loadProjectFile(const std::filesystem::path& path, std::string* error = nullptr);
    // Open: on success the file becomes the current one; on failure the user is
    // told why (unless `quiet`) and the current file stays what it was.
    bool openProject(const std::filesystem::path& path, bool quiet = false);
    void rebuildRecentFilesMenu();
    void applyLanguageTexts();

    static constexpr std::u16string_view kProjectFilter = u"Glimra Files ";
    static constexpr std::u16string_view kProjectPattern = u"*.vqd;*.vqd";
    static constexpr int kLabelLimit = 256;

private:
    void newScreen();
    void newProgram();
    void deleteScreen();
    void deleteProgram();
    void deleteContext();
    void rename();
    void move(bool up);
    void open();
    void save();
    void saveAs();
    void openRecent(int index);
    void preview();
    // Commits the selection, shows the preview and plays the current screen
    // again: what Send would send, and what the editor shows.
    void refreshPreview();
    // The current screen on the emulated sign: only the editor's program when
    // one is shown, else every checked program; the library's animations.
    void restartPreview();
    void about();
    void systemSettings();
    void screenSettings();
    ScreenCatalogue readScreenCatalogue() const;
    void pictureLibrary();
    void animationLibrary();
    // Firmware for the first sign: the request on a worker, the re-requests of
    // timer 101, the file on a worker once the sign is ready (0x0809).
    void updateFirmware();
    void firmwareReRequest();
    void sendFirmwareData();
    void handOverToFlashTool();
    // Command 32841: a new pixel image editor in place of an open one.
    void openImageEditor();
    // Command 32820: the custom toolbar dialog; the panel follows what it saved.
    void customizeToolbar();
    // The project as last saved, autosaved or loaded into a clean window.
    void markClean();
    std::u16string savedText();
    // The title: the project file's name, "*" while the records differ from the
    // last save.
    void updateTitle();
    // Asks about unsaved changes (the open panel's included); false when the
    // user cancelled or the save failed.
    bool settleUnsavedChanges(const std::u16string& question, const std::u16string& discard);
    void exitProgram();
    void newProject();
    void dispatchCommand(int id);
    void batchFirmware();
    void startSignWorker(std::function<void()> work);
    // A result text from a worker, shown on the window's thread.
    void showResultLater(int code);
    void reloadAnimations();
    // Message 0x0805: the set to the first sign, or to every sign through the batch dialog.
    void sendAnimations(bool reportErrors, bool toAllSigns);
    void chooseLanguage(int menuId);
    void fillLanguageMenu();
    void fillFontLists();

    void commitSelection();
    void commitScreenPanel(ScreenId id);
    void commitProgramEditor(ProgramKey key);
    void loadScreenPanel(ScreenId id);
    void loadProgramEditor(ProgramKey key);
    TreeItem takeContextOrSelected();
    bool autosave(std::string* error);
    // Writes a project file; tells the user why when it could not be written.
    bool writeProject(const std::filesystem::path& path);
    void showFileFailure(std::u16string_view key, const std::string& reason);

    CGlimraApp& m_app;
    // The window's parts; all or none are set. Only the user-interface thread
    // sets them; the link's reports from other threads read the timers and the
    // progress bar under m_reportMutex.
    WindowView* m_window = nullptr;
    TreeView* m_tree = nullptr;
    MenuView* m_menus = nullptr;
    DialogHost* m_dialogs = nullptr;
    TimerHost* m_timers = nullptr;
    ProgressView* m_progress = nullptr;
    PreviewView* m_preview = nullptr;
    mutable std::mutex m_reportMutex;
    AppContext m_context;  // before the editors, which hold on to its language
    Project m_project;
    ProjectTree m_projectTree{m_project, m_context.language()};
    CDlgScreen m_screenPanel;
    CDlgProgram m_programEditor;
    TreeItem m_contextItem = TreeView::kNoItem;
    // The records the panels hold copies of, so a commit goes back where it came from.
    ScreenId m_panelScreen = 0;
    ProgramKey m_editorProgram = 0;
    // Set while Move selects the moved entry: no panel is committed then.
    bool m_suppressCommit = false;
    uint16_t m_systemLanguageId = 0x0409;
    std::atomic<int> m_signWidth{0};
    std::atomic<int> m_signHeight{0};
    std::atomic<bool> m_firmwareReady{false};
    std::function<std::vector<uint8_t>()> m_animationSet;
    // The animation preview's frame, kept from one opening of its dialog to the next.
    uint64_t m_animationFrameCounter = 0;
    std::filesystem::path m_firmwarePath;
    // Re-requests of timer 101, counted for the whole run and never reset.
    int m_firmwareReRequests = 0;
    static constexpr int kMaxFirmwareReRequests = 5;
    static constexpr std::u16string_view kFirmwareFilterName = u"firmware files(*.bin)";
    static constexpr std::u16string_view kFirmwarePattern = u"*.bin";
    // The firmware request or data on its way; joined before the controller goes.
    std::jthread m_signWorker;
    std::u16string m_cleanText;
    // The pixel image editor while it exists.
    std::unique_ptr<CBmpEdit> m_bmpEdit;
    // The update check; stopped and joined before the controller goes.
    std::atomic<bool> m_updateRunning{false};
    std::jthread m_updateWorker;
    // Only the window's own thread may keep the window painting while it waits.
    std::thread::id m_uiThread = std::this_thread::get_id();

    // What a transfer tells the window, from whichever thread runs it.
    void setProgressRange(int low, int high) override;
    void setProgressStep(int step) override;
    void setProgressPos(int pos) override;
    void setSignSize(int width, int height) override;
    void setFirmwareReady(bool ready) override;
    void startTimer(int id, int milliseconds) override;
    void postFirmwareReady() override;
    void waitingForSign() override;
    DeviceImage::Built deviceImageOf(const ScreenRecord& screen, bool currentOnly,
                                     ProgramKey current);
};
