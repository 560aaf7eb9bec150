#pragma once

#include "app/AppContext.h"
#include "app/AppFolders.h"
#include "app/AppSettings.h"
#include "app/CDialogTest.h"
#include "app/SignCommands.h"
#include "app/CSystemSettingDlg.h"
#include "app/LanguageTable.h"
#include "assets/CImgInfoDlg.h"
#include "assets/PictureLibrary.h"
#include "content/BitmapFontLibrary.h"
#include "content/CDlgProgram.h"
#include "device/DeviceImage.h"
#include "device/LinkProtocol.h"
#include "project/CDlgScreen.h"
#include "project/CScreenSel.h"
#include "project/ScreenCatalogue.h"
#include "project/Project.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CGlimraApp;

// The main window: controller of the whole program. It owns the project and its
// screen tree, the screen panel, the program editor and the start-up context
// (settings, language, pictures, fonts, encoding), and turns commands, tree
// notifications, timers and posted messages into operations on them. It knows
// no window system: it talks to its window through View.
class CGlimraDlg : private signlink::LinkObserver, public SignCommands::SignLink {
public:
    // An item of the screen tree; 0 is no item.
    using TreeItem = std::uintptr_t;
    static constexpr TreeItem kNoItem = 0;

    enum class Panel { ProgramEditor, ScreenPanel, Preview };

    // One entry of a menu the controller fills (languages, recent files, context menu).
    struct MenuEntry {
        int id;
        std::u16string label;
    };

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
    };
    static const std::vector<MenuItem>& menuBar();

    // The platform operations the main window needs.
    class View {
    public:
        virtual ~View() = default;

        virtual void setTitle(std::u16string_view title) = 0;
        // Ends the window's run; the owner destroys the controller afterwards.
        virtual void closeWindow() = 0;
        // The three 14 × 14 check images 0, 1 and 2 of the tree.
        virtual void setCheckImages(const std::vector<std::filesystem::path>& files) = 0;
        // The icon of the main window and of every window the program opens.
        virtual void setWindowIcon(const std::filesystem::path& file) { (void)file; }

        // Tree. Items are appended at the end of their parent (kNoItem: the top
        // level); 0 means the tree refused. Selecting an item reports the change
        // through onSelectionChanged before selectItem returns.
        virtual TreeItem insertItem(TreeItem parent, std::u16string_view label) = 0;
        virtual void deleteItem(TreeItem item) = 0;
        virtual std::u16string itemLabel(TreeItem item) const = 0;
        virtual void setItemLabel(TreeItem item, std::u16string_view label) = 0;
        virtual uint32_t itemData(TreeItem item) const = 0;
        virtual void setItemData(TreeItem item, uint32_t data) = 0;
        virtual int itemImage(TreeItem item) const = 0;
        virtual void setItemImage(TreeItem item, int image) = 0;
        virtual TreeItem selectedItem() const = 0;
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
        // edited text arrives through onEndLabelEdit.
        virtual void editLabel(TreeItem item, int maxLength) = 0;

        virtual void showPanel(Panel panel, bool visible) = 0;

        // Menus. Labels go by command id (submenus by SubmenuId); the Language and
        // Recent files submenus are replaced whole (the latter after a separator).
        virtual void setMenuText(int id, std::u16string_view text) = 0;
        virtual void setLanguageMenu(const std::vector<MenuEntry>& entries) = 0;
        virtual void setRecentFilesMenu(const std::vector<MenuEntry>& entries) = 0;
        // Buttons, by control id (IDC_SEND, IDC_PREVIEW).
        virtual void setControlText(int id, std::u16string_view text) = 0;
        // Shows the tree's context menu at the cursor; a choice arrives as a command.
        virtual void popupContextMenu(const std::vector<MenuEntry>& entries) = 0;

        virtual void messageBox(std::u16string_view text) = 0;
        // File dialogs for one file; the filter is a description and a pattern
        // list ("*.vqd;*.vqd"). No path means cancelled.
        virtual std::optional<std::filesystem::path> openFileDialog(std::u16string_view filterName,
                                                                    std::u16string_view pattern) = 0;
        virtual std::optional<std::filesystem::path> saveFileDialog(std::u16string_view filterName,
                                                                    std::u16string_view pattern) = 0;
        // The modal screen size dialog; false when cancelled.
        virtual bool chooseScreenSize(CScreenSel& dlg) = 0;
        // The per-user "SelectID": the catalogue position the last New Screen took.
        virtual std::optional<int32_t> readSelectId() = 0;
        virtual void writeSelectId(int32_t index) = 0;
        // The system settings dialog; true when closed with OK (after dlg.onOK()).
        virtual bool runSystemSettings(CSystemSettingDlg& dlg) = 0;
        // The picture library dialog; true when closed with OK.
        virtual bool runPictureLibrary(CImgInfoDlg& dlg) = 0;
        // The About dialog with its title line and the automatic-update check box;
        // true when closed with OK.
        virtual bool runAboutDialog(std::u16string_view titleLine, std::u16string_view checkLabel,
                                    bool& autoUpdate) {
            (void)titleLine, (void)checkLabel, (void)autoUpdate;
            return false;
        }

        // Timers report through onTimer; starting a running timer restarts it.
        virtual void startTimer(int id, int milliseconds) = 0;
        virtual void stopTimer(int id) = 0;
        // Delivered later on the user-interface thread through onMessage.
        virtual void postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
        // The same to another window, named as the message named it; unknown windows get nothing.
        virtual void postMessageTo(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
        // The modal test pattern dialog; its buttons post to this window.
        virtual void runTestDialog(CDialogTest& dlg) = 0;
        // The keyboard focus back to the main window.
        virtual void focusMainWindow() {}

        virtual void setProgressRange(int low, int high) = 0;
        virtual void setProgressStep(int step) = 0;
        virtual void setProgressPos(int pos) = 0;
        virtual void stepProgress() = 0;
    };

    // The screen's vertical resolution, which the editors measure their text box with.
    void setScreenDpi(int dpi) { m_programEditor.setScreenDpi(dpi); }

    // Keys the main window handles itself.
    enum class Key { Escape, Enter, F12, Other };

    CGlimraDlg(CGlimraApp& app, AppFolders folders);
    ~CGlimraDlg();  // writes the recent-files list
    CGlimraDlg(const CGlimraDlg&) = delete;
    CGlimraDlg& operator=(const CGlimraDlg&) = delete;

    void setView(View* view) { m_view = view; }
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
    const BitmapFontLibrary& bitmapFonts() const { return m_context.bitmapFonts(); }
    // What images are encoded with: the fonts, pictures and language in force.
    const EncodeContext& encoding() const { return m_context.encoding(); }
    CDlgScreen& screenPanel() { return m_screenPanel; }
    CDlgProgram& programEditor() { return m_programEditor; }
    TreeItem contextItem() const { return m_contextItem; }
    // What the last geometry reply said, and the firmware request's answer.
    bool firmwareReady() const { return m_firmwareReady; }
    int signWidth() const override { return m_signWidth; }
    int signHeight() const override { return m_signHeight; }
    // One block to the sign under device key 0 with the main progress bar;
    // the result codes of the link (0 … 3).
    int transfer(std::span<const uint8_t> block, uint8_t kind, std::vector<uint8_t>* reply) override;

    // The device image of the current screen: every checked program with the
    // flag (or when no program is selected), else the selected one; empty without a screen.
    std::string deviceImageOfCurrentScreen(bool allPrograms);
    // The first top-level screen whose label matches without regard to case; empty when none.
    std::string deviceImageOfNamedScreen(std::u16string_view name);
    // A result code in a message box; 0 shows "OK".
    void showResult(int code);
    void sendToSign();

    // The screen of the selected item, and the selected program; 0 when none.
    ScreenId currentScreenId() const;
    ProgramKey currentProgramKey() const;

    // --- project operations with their tree items ----------------------------------------
    TreeItem addScreen(std::u16string_view name, bool askSize);
    TreeItem addProgram(TreeItem screenItem, std::u16string_view name, bool select);
    // Adds the screens of a project file; false with the reason when it could not be read.
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
    void about();
    void systemSettings();
    void screenSettings();
    ScreenCatalogue readScreenCatalogue() const;
    void pictureLibrary();
    void chooseLanguage(int menuId);
    void fillLanguageMenu();
    void fillFontLists();
    void swapScreenChildren(TreeItem a, TreeItem b);

    void commitSelection();
    void commitScreenPanel(ScreenId id);
    void commitProgramEditor(ProgramKey key);
    void loadScreenPanel(ScreenId id);
    void loadProgramEditor(ProgramKey key);
    void deriveCheckState();
    TreeItem takeContextOrSelected();
    TreeItem findItemByData(uint32_t data) const;
    bool autosave(std::string* error);
    // Writes a project file; tells the user why when it could not be written.
    bool writeProject(const std::filesystem::path& path);
    void showFileFailure(std::u16string_view key, const std::string& reason);

    CGlimraApp& m_app;
    View* m_view = nullptr;
    AppContext m_context;  // before the editors, which hold on to its language
    Project m_project;
    CDlgScreen m_screenPanel;
    CDlgProgram m_programEditor;
    TreeItem m_contextItem = kNoItem;
    // The records the panels hold copies of, so a commit goes back where it came from.
    ScreenId m_panelScreen = 0;
    ProgramKey m_editorProgram = 0;
    // Set while Move selects the moved entry: no panel is committed then.
    bool m_suppressCommit = false;
    uint16_t m_systemLanguageId = 0x0409;
    int m_signWidth = 0;
    int m_signHeight = 0;
    bool m_firmwareReady = false;

    // What a transfer tells the window.
    void setProgressRange(int low, int high) override;
    void setProgressStep(int step) override;
    void setProgressPos(int pos) override;
    void setSignSize(int width, int height) override;
    void setFirmwareReady(bool ready) override;
    void startTimer(int id, int milliseconds) override;
    void postFirmwareReady() override;
    DeviceImage::Built deviceImageOf(const ScreenRecord& screen, bool currentOnly, ProgramKey current);
};
