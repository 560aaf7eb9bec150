#include "app/CGlimraDlg.h"

#include "app/CGlimraApp.h"
#include "app/Commands.h"
#include "assets/AnimationLibrary.h"
#include "assets/AnimationSet.h"
#include "assets/CDialogAddImages.h"
#include "batch/CClustersSend.h"
#include "batch/FlashToolHandOver.h"
#include "device/DeviceImage.h"
#include "platform/Format.h"
#include "platform/SafeSave.h"
#include "platform/StringUtil.h"
#include "platform/TextCodec.h"
#include "project/ProjectFile.h"
#include "update/UpdateCheck.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <system_error>
#include <tuple>

namespace {

constexpr char kAutosaveFile[] = "lastScreen.xml";
// The project as its file would hold it: what "unsaved changes" compares.
constexpr auto projectText = &ProjectFile::text;

}  // namespace

const std::vector<CGlimraDlg::MenuItem>& CGlimraDlg::menuBar() {
    static const std::vector<MenuItem> bar = {
        {MENU_FILE,
         u"mFile",
         {
             {MENU_FILE_NEW,
              u"mNew",
              {{ID_FILE_NEW_PROJECT, u"mNewProject", {}},
               {IDM_FILE_NEW_LED, u"mScreen", {}},
               {IDM_FILE_NEW_PROGRAM, u"mProgram", {}}}},
             {IDM_FILE_OPEN, u"mOpen", {}, false, u"Ctrl+O"},
             {IDM_FILE_SAVE, u"mSave", {}, false, u"Ctrl+S"},
             {IDM_FILE_SAVEAS, u"mSaveAs", {}, false, u"Ctrl+Shift+S"},
             {IDM_FILE_SEND, u"mSend", {}, true},
             {ID_BATCH_SEND, u"BatchTx", {}},
             {MENU_FILE_RECENT, u"mRecentFiles", {}, true},
             {IDM_FILE_EXIT, u"mExit", {}, true, u"Ctrl+Q"},
         }},
        {MENU_EDIT,
         u"mEdit",
         {{IDM_EDIT_DELETE_LED, u"mDelScreen", {}},
          {IDM_EDIT_DELETE_PROGRAM, u"mDelProgram", {}},
          {ID_TREE_RENAME, u"mRename", {}, true, u"F2", true},
          {ID_TREE_DELETE, u"mDelete", {}, false, u"Del", true}}},
        {MENU_SETTING,
         u"mSetting",
         {
             {ID_SYSTEM_SETTINGS, u"mSystemSetting", {}},
             {IDM_TOOL_CUSTOM_IMAGES, u"mGifSetting", {}},
             {ID_PICTURE_SETTINGS, u"mImageSetting", {}},
             {ID_SCREEN_SETTINGS, u"mScreenSetting", {}},
         }},
        {MENU_TOOL,
         u"mTool",
         {
             {IDM_TOOL_TEST, u"mTestPatterns", {}, false, u"F12"},
             {ID_IMAGE_EDITOR, u"ImageEdit", {}},
             {ID_UPDATE_FIRMWARE, u"mUpdateFirmware", {}},
             {ID_BATCH_FIRMWARE, u"mUpdateFirmwareBatch", {}},
             {IDM_TOOL_CUSTOM_TOOLBAR, u"mCustomToolbar", {}},
         }},
        {MENU_LANGUAGE, u"mLanguage", {}},
        {MENU_HELP, u"mHelp", {{IDM_HELP_ABOUT, u"mAbout", {}}, {IDM_HELP_UPDATA, u"mUpdate", {}}}},
    };
    return bar;
}

CGlimraDlg::CGlimraDlg(CGlimraApp& app, AppFolders folders)
    : m_app(app),
      m_context(app.images(), app.fonts(), app.text(), std::move(folders)),
      m_programEditor(CDlgProgram::Instance::Editor, m_context.language()) {
    // The editor asks for a new preview after a change (its timer 10086 or 10087 has run out).
    m_programEditor.setPreviewRequest([this] {
        if (!m_window) return;
        refreshPreview();
        updateTitle();
    });
}

// The recent list goes when the main window goes, whether it closed by the frame or by Exit.
CGlimraDlg::~CGlimraDlg() {
    // A check waiting for an answer gives up once asked to stop.
    m_updateWorker.request_stop();
    joinUpdateCheck();
    m_project.recentFiles().write(RecentFiles::listFile(m_context.folders().tempFolder()));
}

void CGlimraDlg::attach(const View& view) {
    const std::lock_guard lock(m_reportMutex);
    m_window = &view.window;
    m_tree = &view.tree;
    m_menus = &view.menus;
    m_dialogs = &view.dialogs;
    m_timers = &view.timers;
    m_progress = &view.progress;
    m_preview = &view.preview;
    m_projectTree.setTree(m_tree);
}

// Waits for a report of a transfer on another thread that is under way.
void CGlimraDlg::detach() {
    const std::lock_guard lock(m_reportMutex);
    m_window = nullptr;
    m_tree = nullptr;
    m_menus = nullptr;
    m_dialogs = nullptr;
    m_timers = nullptr;
    m_progress = nullptr;
    m_preview = nullptr;
    m_projectTree.setTree(nullptr);
}

// --- start-up and closing --------------------------------------------------------------

void CGlimraDlg::onInitDialog() {
    m_context.folders().createDataSubFolders();
    m_timers->startTimer(TIMER_START_UPDATE, 3000);
    m_window->setTitle(u"Zentari");
    m_project.recentFiles().read(RecentFiles::listFile(m_context.folders().tempFolder()));
    // The list read is shown at once, not only after the first file is opened.
    rebuildRecentFilesMenu();
    m_context.readSettings();
    m_context.loadLanguage(m_systemLanguageId);
    fillLanguageMenu();
    fillFontLists();

    std::vector<std::filesystem::path> images;
    for (unsigned i = 0; i < 3; ++i)
        images.push_back(m_context.folders().programFolder() /
                         ("Images/Res/checkStatus" + std::to_string(i) + ".bmp"));
    m_tree->setCheckImages(images);
    m_window->setWindowIcon(m_context.folders().programFolder() / "Images/Res/zentari.png");

    m_context.loadPictures();
    m_programEditor.setPictures(m_context.pictures().records());
    reloadAnimations();

    m_window->showPanel(Panel::ScreenPanel, false);
    m_window->showPanel(Panel::ProgramEditor, false);
    m_window->showPanel(Panel::Preview, false);

    const std::filesystem::path autosave = m_context.folders().dataFile(kAutosaveFile);
    std::error_code ec;
    if (autosave.empty() || !openProject(autosave, true)) {
        // The last session's work stays on disk until it has been kept aside.
        if (!autosave.empty() && std::filesystem::exists(autosave, ec))
            m_context.noteDamaged(autosave);
        newScreen();
    }
    applyLanguageTexts();
    m_context.folders().createDataSubFolders();
    m_timers->stopTimer(TIMER_PREVIEW_REFRESH);
    markClean();
}

void CGlimraDlg::onClose() {
    commitSelection();
    std::vector<std::string> failures;
    std::string error;
    if (!m_context.writeSettings(&error)) failures.push_back(error);
    if (!autosave(&error)) failures.push_back(error);
    if (!m_context.writePictures(&error)) failures.push_back(error);
    if (!failures.empty()) {
        std::string reasons;
        for (const std::string& f : failures)
            reasons += (reasons.empty() ? "" : "\n") + f;
        showFileFailure(u"SaveFailed", reasons);
    }
    m_window->closeWindow();
}

// The whole project goes to the autosave as long as some screen holds a
// program; an empty project removes it.
bool CGlimraDlg::autosave(std::string* error) {
    const std::filesystem::path file = m_context.folders().dataFile(kAutosaveFile);
    if (file.empty()) return true;
    if (!m_context.keepIfDamaged(file, error)) return false;
    bool anyProgram = false;
    for (const auto& [id, screen] : m_project.screens())
        anyProgram |= !screen.programs.empty();
    if (anyProgram) return ProjectFile::write(m_project, file, error);
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return true;
}

void CGlimraDlg::showFileFailure(std::u16string_view key, const std::string& reason) {
    if (m_dialogs)
        m_dialogs->messageBox(m_context.language().text(key) + u"\n" +
                              platform::utf8ToUtf16(reason));
}

bool CGlimraDlg::writeProject(const std::filesystem::path& path) {
    std::string error;
    if (ProjectFile::write(m_project, path, &error)) return true;
    showFileFailure(u"SaveFailed", error);
    return false;
}

void CGlimraDlg::applyLanguageTexts() {
    std::function<void(const std::vector<MenuItem>&)> apply =
        [&](const std::vector<MenuItem>& items) {
            for (const MenuItem& item : items) {
                std::u16string text = m_context.language().text(item.key);
                if (item.id == ID_IMAGE_EDITOR) text += u"(&P)";
                m_menus->setMenuText(item.id, text);
                apply(item.children);
            }
        };
    apply(menuBar());
    rebuildRecentFilesMenu();
    m_menus->setControlText(IDC_SEND, m_context.language().text(u"Send"));
    m_menus->setControlText(IDC_PREVIEW, m_context.language().text(u"Preview"));
    m_screenPanel.setLabels(
        m_context.language().text(u"ScreenWidth"), m_context.language().text(u"ScreenHeight"),
        m_context.language().text(u"ScreenName"), m_context.language().text(u"ProgramCounts"));
    m_programEditor.setLanguageName(m_context.language().name());
    m_programEditor.applyTexts();
}

// The system's families, then the bitmap fonts of the program folder's "Font" folder.
void CGlimraDlg::fillFontLists() {
    m_programEditor.setLanguageName(m_context.language().name());
    m_programEditor.setFontList(m_context.loadFonts());
}

void CGlimraDlg::fillLanguageMenu() {
    std::vector<MenuView::MenuEntry> entries;
    for (const LanguageTable::Language& l : m_context.language().languages())
        entries.push_back(
            {l.menuId, l.name, platform::equalsNoCase(l.name, m_context.language().name())});
    m_menus->setLanguageMenu(entries);
}

void CGlimraDlg::chooseLanguage(int menuId) {
    if (!m_context.chooseLanguage(menuId)) return;
    applyLanguageTexts();
    fillLanguageMenu();
}

void CGlimraDlg::systemSettings() {
    CSystemSettingDlg dialog(m_context.language(), settings().playMode, settings().tempOffset);
    if (!m_dialogs->runSystemSettings(dialog)) return;
    settings().playMode = dialog.playMode();
    settings().tempOffset = dialog.tempOffset();
}

void CGlimraDlg::pictureLibrary() {
    CImgInfoDlg dialog(m_context.language(), m_app.images(), m_context.pictures().records());
    if (!m_dialogs->runPictureLibrary(dialog)) return;
    m_context.setPictures(dialog.records());
    std::string error;
    if (!m_context.writePictures(&error)) showFileFailure(u"SaveFailed", error);
    m_programEditor.setPictures(m_context.pictures().records());
}

void CGlimraDlg::rebuildRecentFilesMenu() {
    std::vector<MenuView::MenuEntry> entries;
    const auto& paths = m_project.recentFiles().paths();
    for (size_t i = 0; i < paths.size() && i < RecentFiles::kMenuEntries; ++i)
        entries.push_back({ID_RECENT_FIRST + static_cast<int>(i),
                           platform::format(u"% 2u %s", {static_cast<unsigned>(i + 1), paths[i]})});
    m_menus->setRecentFilesMenu(entries);
}

// --- commands ----------------------------------------------------------------------------

bool CGlimraDlg::isCommandEnabled(int id) const {
    const bool treeEmpty = m_projectTree.empty();
    switch (id) {
        case IDM_FILE_SAVE:
        case IDM_FILE_SEND:
        case IDC_SEND:
        case IDM_EDIT_DELETE_LED:
        case IDM_EDIT_DELETE_PROGRAM:
            return !treeEmpty;
        case IDM_FILE_SAVEAS:
            return !treeEmpty && !m_project.currentPath().empty();
        default:
            return true;
    }
}

void CGlimraDlg::onCommand(int id) {
    dispatchCommand(id);
    if (m_window) updateTitle();
}

void CGlimraDlg::dispatchCommand(int id) {
    if (!m_window || !isCommandEnabled(id)) return;
    if (id >= ID_RECENT_FIRST && id <= ID_RECENT_LAST) return openRecent(id - ID_RECENT_FIRST);
    if (id >= ID_LANGUAGE_FIRST && id <= ID_LANGUAGE_LAST) return chooseLanguage(id);
    switch (id) {
        case IDM_FILE_OPEN:
            return open();
        case IDM_FILE_SAVE:
            return save();
        case IDM_FILE_SAVEAS:
            return saveAs();
        case IDM_FILE_EXIT:
            return exitProgram();
        case ID_FILE_NEW_PROJECT:
            return newProject();
        case IDM_FILE_NEW_LED:
            return newScreen();
        case IDM_FILE_NEW_PROGRAM:
            return newProgram();
        case IDM_EDIT_DELETE_LED:
            return deleteScreen();
        case IDM_EDIT_DELETE_PROGRAM:
            return deleteProgram();
        case ID_TREE_DELETE:
            return deleteContext();
        case ID_TREE_RENAME:
            return rename();
        case ID_TREE_MOVE_UP:
            return move(true);
        case ID_TREE_MOVE_DOWN:
            return move(false);
        case IDM_TOOL_PREVIEW:
        case IDC_PREVIEW:
            return preview();
        case ID_IMAGE_EDITOR:
            return openImageEditor();
        case IDM_TOOL_CUSTOM_TOOLBAR:
            return customizeToolbar();
        case IDM_HELP_UPDATA:
            return startUpdateCheck(false);
        case IDM_HELP_ABOUT:
            return about();
        case IDM_FILE_SEND:
        case IDC_SEND:
            return sendToSign();
        case ID_BATCH_SEND:
            batchSend();
            break;
        case ID_UPDATE_FIRMWARE:
            updateFirmware();
            break;
        case ID_BATCH_FIRMWARE:
            batchFirmware();
            break;
        case IDM_TOOL_TEST: {
            CDialogTest dlg(m_context.language(),
                            [this](uint32_t message) { m_timers->postMessage(message, 0, 0); });
            return m_dialogs->runTestDialog(dlg);
        }
        case ID_SYSTEM_SETTINGS:
            return systemSettings();
        case ID_SCREEN_SETTINGS:
            return screenSettings();
        case ID_PICTURE_SETTINGS:
            return pictureLibrary();
        case IDM_TOOL_CUSTOM_IMAGES:
            return animationLibrary();
        case ID_OPEN_DATA_FOLDER: {
            const std::filesystem::path data = m_context.folders().dataFolder();
            // A desktop that cannot open folders still tells the user where it is.
            if (!data.empty() && !m_app.shell().open(data)) m_dialogs->messageBox(data.u16string());
            return;
        }
        case ID_UNKNOWN_COMMAND:
            return m_dialogs->messageBox(m_context.language().text(u"UnknownCommand"));
        case IDOK:
            return;  // Enter never closes the main window
        default:
            return;  // commands whose windows are not part of the program yet
    }
}

bool CGlimraDlg::onKeyDown(Key key) {
    switch (key) {
        case Key::Escape:
            return true;  // swallowed: it never closes the main window
        case Key::Enter:
            onCommand(IDOK);
            return true;
        case Key::F12:
            onCommand(IDM_TOOL_TEST);
            return true;
        case Key::F2:
            onCommand(ID_TREE_RENAME);
            return true;
        case Key::Delete:
            onCommand(ID_TREE_DELETE);
            return true;
        case Key::Other:
            return false;
    }
    return false;
}

void CGlimraDlg::onTimer(int id) {
    switch (id) {
        case TIMER_START_UPDATE:
            m_timers->stopTimer(id);
            if (m_context.settings().autoUpdate != 0) startUpdateCheck(true);
            break;
        case signlink::TIMER_FIRMWARE_PROGRESS:
            firmwareReRequest();
            break;
        case signlink::TIMER_FIRMWARE_POLL:
            if (m_firmwareReady) {
                m_progress->setProgressPos(0);
                m_timers->stopTimer(id);
            } else {
                m_progress->stepProgress();
            }
            break;
        case signlink::TIMER_FLASH_TOOL:
            m_timers->stopTimer(id);
            handOverToFlashTool();
            break;
        case TIMER_CLEAR_PROGRESS:
            m_timers->stopTimer(id);
            setProgressPos(0);
            break;
        case TIMER_PREVIEW_REFRESH:
            m_timers->stopTimer(id);
            refreshPreview();
            break;
        default:
            break;
    }
}

void CGlimraDlg::onMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!m_window) return;
    if (message >= MSG_TEST_PATTERN && message <= MSG_TEST_PATTERN + 4) {
        const uint8_t pattern[] = {static_cast<uint8_t>(message - MSG_TEST_PATTERN)};
        if (int code = transfer(pattern, signlink::KIND_TEST_PATTERN, nullptr)) showResult(code);
    } else if (message == MSG_QUERY_GEOMETRY) {
        const auto size = SignCommands::queryGeometry(*this);
        if (wParam && size)
            m_timers->postMessageTo(wParam, MSG_QUERY_GEOMETRY, size->first, size->second);
    } else if (message == MSG_FIRMWARE_READY) {
        sendFirmwareData();
    } else if (message == MSG_SEND_ANIMATIONS) {
        sendAnimations(wParam != 0, lParam != 0);
    } else if (message == MSG_RELOAD_ANIMATIONS) {
        reloadAnimations();
    } else if (message == MSG_SEND_COMMAND_BYTE) {
        const uint8_t command[] = {static_cast<uint8_t>(wParam & 0xFF)};
        transfer(command, signlink::KIND_COMMAND_BYTE, nullptr);
    }
}

void CGlimraDlg::newScreen() {
    if (TreeItem screen = addScreen(u"", true)) addProgram(screen, u"", true);
}

void CGlimraDlg::newProgram() {
    TreeItem item = m_tree->selectedItem();
    if (!item) return;
    if (TreeItem parent = m_tree->parentItem(item)) item = parent;
    addProgram(item, u"", true);
}

CGlimraDlg::TreeItem CGlimraDlg::takeContextOrSelected() {
    TreeItem item = m_contextItem ? m_contextItem : m_tree->selectedItem();
    m_contextItem = TreeView::kNoItem;
    return item;
}

void CGlimraDlg::deleteScreen() {
    m_projectTree.deleteScreen(takeContextOrSelected());
}

void CGlimraDlg::deleteProgram() {
    m_projectTree.deleteProgram(takeContextOrSelected());
}

void CGlimraDlg::deleteContext() {
    const TreeItem item = m_contextItem ? m_contextItem : m_tree->selectedItem();
    if (!item) return;
    if (isProgramKey(m_tree->itemData(item)))
        deleteProgram();
    else
        deleteScreen();
}

void CGlimraDlg::rename() {
    if (TreeItem item = takeContextOrSelected()) m_tree->editLabel(item, kLabelLimit);
}

void CGlimraDlg::onEndLabelEdit(TreeItem item, std::u16string_view text) {
    if (!item || !m_tree) return;
    const std::u16string name(text.substr(0, kLabelLimit));
    const uint32_t data = m_projectTree.rename(item, name);
    // The panel holding the record gets it too, so that a later commit keeps it.
    if (isProgramKey(data)) {
        if (m_editorProgram == data) m_programEditor.setName(name);
    } else {
        if (m_panelScreen == data) m_screenPanel.setName(name);
    }
    updateTitle();
}

void CGlimraDlg::move(bool up) {
    const TreeItem item = takeContextOrSelected();
    if (!item) return;
    const TreeItem sibling = up ? m_tree->previousSibling(item) : m_tree->nextSibling(item);
    if (!sibling) return;
    commitSelection();

    // The sibling's place now carries the moved entry; nothing is committed
    // while it is selected and loaded there.
    m_suppressCommit = true;
    m_projectTree.exchange(item, sibling);
    const uint32_t data = m_tree->itemData(sibling);
    if (m_tree->selectedItem() == sibling) {
        if (isProgramKey(data))
            loadProgramEditor(data);
        else
            loadScreenPanel(static_cast<ScreenId>(data));
    } else {
        m_tree->selectItem(sibling);
    }
    m_suppressCommit = false;
}

void CGlimraDlg::open() {
    const auto path = m_dialogs->openFileDialog(kProjectFilter, kProjectPattern);
    if (path && !path->empty()) openProject(*path);
}

void CGlimraDlg::openRecent(int index) {
    const auto& paths = m_project.recentFiles().paths();
    if (index < 0 || static_cast<size_t>(index) >= paths.size() || paths[index].empty()) return;
    const std::u16string path = paths[index];
    std::string error;
    if (!loadProjectFile(std::filesystem::path(path), &error))
        return showFileFailure(u"OpenFailed", error);
    m_project.recentFiles().moveToFront(path);
    rebuildRecentFilesMenu();
}

void CGlimraDlg::save() {
    if (m_project.currentPath().empty() ||
        m_project.currentPath() == m_context.folders().dataFile(kAutosaveFile))
        return saveAs();
    commitSelection();
    if (writeProject(m_project.currentPath())) markClean();
}

void CGlimraDlg::saveAs() {
    commitSelection();
    const auto chosen = m_dialogs->saveFileDialog(kProjectFilter, kProjectPattern);
    if (!chosen || chosen->empty()) return;
    const std::filesystem::path path = Project::withProjectExtension(*chosen);
    if (!writeProject(path)) return;
    m_project.setCurrentPath(path);
    markClean();
    m_project.recentFiles().moveToFront(path.u16string());
    rebuildRecentFilesMenu();
}

void CGlimraDlg::preview() {
    refreshPreview();
}

// The records are brought up to the panels first, so the preview plays what
// Send would send.
void CGlimraDlg::refreshPreview() {
    commitSelection();
    m_window->showPanel(Panel::Preview, true);
    restartPreview();
}

void CGlimraDlg::restartPreview() {
    if (!m_preview) return;
    DeviceImage::Built built;
    if (const ScreenRecord* screen = m_project.findScreen(currentScreenId())) {
        const ProgramKey current = currentProgramKey();
        built = deviceImageOf(*screen, current != 0, current);
    }
    m_preview->restartPreview(std::vector<uint8_t>(built.bytes.begin(), built.bytes.end()),
                              animationSet(), settings().tempOffset + 16, std::move(built.names));
}

ScreenCatalogue CGlimraDlg::readScreenCatalogue() const {
    ScreenCatalogue catalogue;
    catalogue.load(m_context.folders().dataFile("ProjFile/ScreenConfigEx.xml"),
                   m_context.folders().programFile("ScreenDefault.dat"),
                   m_context.folders().programFolder());
    return catalogue;
}

// A new size for the current screen; its programs stay as they are.
void CGlimraDlg::screenSettings() {
    const ScreenId id = currentScreenId();
    ScreenRecord* screen = m_project.findScreen(id);
    if (!screen) return;
    CScreenSel dlg(m_context.language(), readScreenCatalogue(), screen->width == 44 ? 0 : 1);
    if (!m_dialogs->chooseScreenSize(dlg)) return;
    std::tie(screen->width, screen->height) = dlg.selectedSize();
    loadScreenPanel(id);
    if (m_editorProgram && screenOfKey(m_editorProgram) == id)
        m_programEditor.setScreenSize(screen->width, screen->height);
    refreshPreview();
}

void CGlimraDlg::about() {
    bool autoUpdate = settings().autoUpdate != 0;
    if (m_dialogs->runAboutDialog(m_context.language().text(u"AboutTitle"),
                                  m_context.language().text(u"AutoUpdate"), autoUpdate))
        settings().autoUpdate = autoUpdate ? 1 : 0;
}

// --- the project and its tree ----------------------------------------------------------

CGlimraDlg::TreeItem CGlimraDlg::addScreen(std::u16string_view name, bool askSize) {
    if (!m_tree) return TreeView::kNoItem;
    if (!askSize) return m_projectTree.addScreen(name);
    return m_projectTree.addScreen(name, [this](ScreenRecord& screen) {
        CScreenSel dlg(m_context.language(), readScreenCatalogue(),
                       m_dialogs->readSelectId().value_or(1));
        if (!m_dialogs->chooseScreenSize(dlg)) return false;
        m_dialogs->writeSelectId(dlg.selectedIndex());
        std::tie(screen.width, screen.height) = dlg.selectedSize();
        return true;
    });
}

CGlimraDlg::TreeItem CGlimraDlg::addProgram(TreeItem screenItem, std::u16string_view name,
                                            bool select) {
    if (!m_tree) return TreeView::kNoItem;
    const TreeItem item = m_projectTree.addProgram(screenItem, name);
    if (!item) return TreeView::kNoItem;
    if (select)
        m_tree->selectItem(item);
    else
        m_timers->stopTimer(TIMER_PREVIEW_REFRESH);
    return item;
}

bool CGlimraDlg::loadProjectFile(const std::filesystem::path& path, std::string* error) {
    if (!m_tree) return false;
    int programs = 0;
    if (!m_projectTree.loadFile(path, error, &programs)) return false;
    m_project.setCurrentPath(path);
    // As adding an unselected program does.
    if (programs > 0) m_timers->stopTimer(TIMER_PREVIEW_REFRESH);
    return true;
}

bool CGlimraDlg::openProject(const std::filesystem::path& path, bool quiet) {
    std::string error;
    // Opened into a window without changes, the file is the state to compare with.
    const bool wasClean = !modified();
    if (!loadProjectFile(path, &error)) {
        if (!quiet) showFileFailure(u"OpenFailed", error);
        return false;
    }
    if (wasClean) m_cleanText = savedText();
    // Also when opened from the command line, which is no menu command.
    updateTitle();
    m_project.recentFiles().moveToFront(path.u16string());
    rebuildRecentFilesMenu();
    m_window->showPanel(Panel::ProgramEditor, false);
    m_window->showPanel(Panel::ScreenPanel, false);
    // Whatever the editor held is replaced by the record as it stands.
    if (const TreeItem selected = m_tree->selectedItem()) {
        const uint32_t data = m_tree->itemData(selected);
        if (isProgramKey(data))
            loadProgramEditor(data);
        else
            loadScreenPanel(static_cast<ScreenId>(data));
    }
    return true;
}

ScreenId CGlimraDlg::currentScreenId() const {
    return m_projectTree.selectedScreen();
}

ProgramKey CGlimraDlg::currentProgramKey() const {
    return m_projectTree.selectedProgram();
}

// --- panels ----------------------------------------------------------------------------

void CGlimraDlg::loadScreenPanel(ScreenId id) {
    if (const ScreenRecord* screen = m_project.findScreen(id)) {
        m_screenPanel.load(*screen);
        m_panelScreen = id;
    }
}

void CGlimraDlg::loadProgramEditor(ProgramKey key) {
    const ProgramRecord* program = m_project.findProgram(key);
    if (!program) return;
    const ScreenRecord* screen = m_project.findScreen(screenOfKey(key));
    m_programEditor.setScreenSize(screen->width, screen->height);
    m_programEditor.load(*program);
    m_editorProgram = key;
}

// A panel only ever goes back into the record it was loaded from.
void CGlimraDlg::commitScreenPanel(ScreenId id) {
    if (m_suppressCommit || id != m_panelScreen) return;
    if (ScreenRecord* screen = m_project.findScreen(id)) m_screenPanel.commit(*screen);
}

void CGlimraDlg::commitProgramEditor(ProgramKey key) {
    if (m_suppressCommit || key != m_editorProgram) return;
    if (ProgramRecord* program = m_project.findProgram(key)) m_programEditor.commit(*program);
}

void CGlimraDlg::commitSelection() {
    const TreeItem item = m_tree ? m_tree->selectedItem() : TreeView::kNoItem;
    if (!item) return;
    const uint32_t data = m_tree->itemData(item);
    if (isProgramKey(data)) {
        commitScreenPanel(screenOfKey(data));
        commitProgramEditor(data);
    } else {
        commitScreenPanel(static_cast<ScreenId>(data));
    }
}

void CGlimraDlg::onSelectionChanged(TreeItem oldItem, TreeItem newItem) {
    m_contextItem = TreeView::kNoItem;
    if (newItem) m_tree->setDropHighlight(newItem);

    const uint32_t oldData = oldItem ? m_tree->itemData(oldItem) : 0;
    const uint32_t newData = newItem ? m_tree->itemData(newItem) : 0;
    const bool oldIsProgram = oldItem && isProgramKey(oldData);
    const bool newIsProgram = newItem && isProgramKey(newData);
    const ScreenId oldScreen = oldIsProgram ? screenOfKey(oldData) : static_cast<ScreenId>(oldData);
    const ScreenId newScreen = newIsProgram ? screenOfKey(newData) : static_cast<ScreenId>(newData);

    auto showEditor = [this](bool editor) {
        m_window->showPanel(Panel::ProgramEditor, editor);
        m_window->showPanel(Panel::ScreenPanel, !editor);
    };
    auto switchScreen = [&] {
        if (newScreen != oldScreen) {
            commitScreenPanel(oldScreen);
            loadScreenPanel(newScreen);
        }
    };

    if (oldItem && oldIsProgram)
        commitProgramEditor(oldData);
    else if (oldItem && !newItem)
        commitScreenPanel(oldScreen);

    if (!newItem) {
        if (oldIsProgram) commitScreenPanel(oldScreen);
        m_window->showPanel(Panel::ProgramEditor, false);
        m_window->showPanel(Panel::ScreenPanel, false);
    } else if (!oldItem) {
        // The screen panel follows too, so a later commit has the right screen to go to.
        loadScreenPanel(newScreen);
        if (newIsProgram) loadProgramEditor(newData);
        showEditor(newIsProgram);
    } else if (oldIsProgram) {
        if (newIsProgram) loadProgramEditor(newData);
        switchScreen();
        showEditor(newIsProgram);
    } else if (!newIsProgram) {  // screen to screen
        commitScreenPanel(oldScreen);
        loadScreenPanel(newScreen);
        showEditor(false);
    } else {  // screen to program
        loadProgramEditor(newData);
        switchScreen();
        showEditor(true);
    }

    // Programs added or removed since the panel was loaded show in its count.
    if (newItem && !newIsProgram && m_panelScreen == newScreen)
        if (const ScreenRecord* screen = m_project.findScreen(newScreen))
            m_screenPanel.setProgramCount(static_cast<uint32_t>(screen->programs.size()));

    m_projectTree.deriveCheckState();
    m_timers->startTimer(TIMER_PREVIEW_REFRESH, 100);
}

bool CGlimraDlg::onTreeClick(TreeItem item, bool onImage) {
    if (!item || !onImage || !m_tree) return false;
    m_projectTree.toggleCheck(item);
    const uint32_t data = m_tree->itemData(item);
    const TreeItem selected = m_tree->selectedItem();
    if (selected &&
        (selected == item || (isProgramKey(data) && m_tree->parentItem(item) == selected)))
        m_timers->startTimer(TIMER_PREVIEW_REFRESH, 10);
    updateTitle();
    return true;
}

void CGlimraDlg::onTreeRightClick(TreeItem item) {
    m_contextItem = item;
    m_menus->popupContextMenu({
        {ID_TREE_RENAME, m_context.language().text(u"Rename")},
        {ID_TREE_MOVE_UP, m_context.language().text(u"MoveUp")},
        {ID_TREE_MOVE_DOWN, m_context.language().text(u"MoveDown")},
        {ID_TREE_DELETE, m_context.language().text(u"Delete")},
        {ID_OPEN_DATA_FOLDER, m_context.language().text(u"OpenDir")},
    });
    // A menu closed without a choice leaves no context item behind for later commands.
    m_contextItem = TreeView::kNoItem;
}

// --- the sign ------------------------------------------------------------------------

int CGlimraDlg::transfer(std::span<const uint8_t> block, uint8_t kind,
                         std::vector<uint8_t>* reply) {
    return signlink::singleSignTransfer(m_app.devices(), m_app.clock(), *this, block, kind, reply);
}

// The link reports from whichever thread runs the transfer: the window's
// parts are read under the lock that detach() takes, and they post to the
// user-interface thread themselves.
void CGlimraDlg::setProgressRange(int low, int high) {
    const std::lock_guard lock(m_reportMutex);
    if (m_progress) m_progress->setProgressRange(low, high);
}

void CGlimraDlg::setProgressStep(int step) {
    const std::lock_guard lock(m_reportMutex);
    if (m_progress) m_progress->setProgressStep(step);
}

void CGlimraDlg::setProgressPos(int pos) {
    const std::lock_guard lock(m_reportMutex);
    if (m_progress) m_progress->setProgressPos(pos);
}

void CGlimraDlg::setSignSize(int width, int height) {
    m_signWidth = width;
    m_signHeight = height;
}

void CGlimraDlg::setFirmwareReady(bool ready) {
    m_firmwareReady = ready;
}

void CGlimraDlg::startTimer(int id, int milliseconds) {
    const std::lock_guard lock(m_reportMutex);
    if (m_timers) m_timers->startTimer(id, milliseconds);
}

void CGlimraDlg::postFirmwareReady() {
    const std::lock_guard lock(m_reportMutex);
    if (m_timers) m_timers->postMessage(MSG_FIRMWARE_READY, 0, 0);
}

std::filesystem::path CGlimraDlg::animationLibraryFile() const {
    return AnimationLibrary::fileIn(m_context.folders().dataFolder());
}

void CGlimraDlg::reloadAnimations() {
    const std::filesystem::path& program = m_context.folders().programFolder();
    AnimationLibrary::locate(animationLibraryFile(), program);
    m_programEditor.setAnimations(
        AnimationLibrary::paths(AnimationLibrary::read(animationLibraryFile(), program)));
}

std::vector<uint8_t> CGlimraDlg::animationSet() {
    if (m_animationSet) return m_animationSet();
    const std::filesystem::path& program = m_context.folders().programFolder();
    AnimationLibrary::locate(animationLibraryFile(), program);
    return AnimationSet::build(
        AnimationLibrary::paths(AnimationLibrary::read(animationLibraryFile(), program)),
        m_screenPanel.height(), m_app.images());
}

void CGlimraDlg::sendAnimations(bool reportErrors, bool toAllSigns) {
    std::vector<uint8_t> set = animationSet();
    if (set.size() >= AnimationSet::kMaxLength) {
        showResult(SignCommands::RESULT_ANIMATIONS_TOO_LONG);
        return;
    }
    if (toAllSigns) {
        // An empty library has nothing for the signs; the dialog would send screens instead.
        if (!set.empty()) batchSend(std::move(set));
        return;
    }
    const int code = transfer(set, signlink::KIND_ANIMATION_SET, nullptr);
    if (reportErrors && code != signlink::TRANSFER_OK) showResult(code);
}

void CGlimraDlg::animationLibrary() {
    if (!m_dialogs) return;
    CDialogAddImages dlg(m_context.language(), m_app.images(), animationLibraryFile(),
                         m_context.folders().programFolder(), m_animationFrameCounter);
    m_dialogs->runAddImages(dlg);
}

// --- firmware ----------------------------------------------------------------------------

void CGlimraDlg::startSignWorker(std::function<void()> work) {
    // Only one at a time; an earlier one is done by now or ends its transfer first.
    m_signWorker = m_app.clock().startThread([work = std::move(work)](std::stop_token) { work(); });
}

void CGlimraDlg::showResultLater(int code) {
    const std::lock_guard lock(m_reportMutex);
    if (m_timers) m_timers->postTask([this, code] { showResult(code); });
}

void CGlimraDlg::updateFirmware() {
    m_firmwarePath.clear();
    const auto file = m_dialogs->openFileDialog(kFirmwareFilterName, kFirmwarePattern);
    if (!file) return;
    m_firmwarePath = *file;
    startSignWorker([this] {
        const uint8_t request[] = {0x00};
        if (int code = transfer(request, signlink::KIND_FIRMWARE_REQUEST, nullptr))
            showResultLater(code);
    });
}

// Timer 101: the sign was not ready; ask again, at most five times in the whole run.
void CGlimraDlg::firmwareReRequest() {
    if (m_firmwareReady || m_firmwareReRequests >= kMaxFirmwareReRequests)
        m_timers->stopTimer(signlink::TIMER_FIRMWARE_PROGRESS);
    if (!m_firmwareReady) {
        const uint8_t request[] = {0x00};
        if (int code = transfer(request, signlink::KIND_FIRMWARE_REQUEST, nullptr))
            showResult(code);
    }
    ++m_firmwareReRequests;
}

void CGlimraDlg::sendFirmwareData() {
    const std::filesystem::path file = m_firmwarePath;
    startSignWorker([this, file] {
        // A file that went meanwhile is let go silently.
        const std::vector<uint8_t> bytes = CClustersSend::readFirmware(file);
        if (bytes.empty()) return;
        if (int code = transfer(bytes, signlink::KIND_FIRMWARE_DATA, nullptr))
            showResultLater(code);
    });
}

// The project as it would be saved now, the open panel's fields included; the
// records themselves stay as they are (Send encodes them uncommitted).
std::u16string CGlimraDlg::savedText() {
    const Project kept = m_project;
    commitSelection();
    std::u16string text = projectText(m_project);
    m_project = kept;
    return text;
}

void CGlimraDlg::markClean() {
    m_cleanText = savedText();
    updateTitle();
}

bool CGlimraDlg::modified() {
    return savedText() != m_cleanText;
}

void CGlimraDlg::updateTitle() {
    if (!m_window) return;
    const std::filesystem::path path = m_project.currentPath();
    // The autosave is no file of the user's: its name says nothing to them.
    const bool named = !path.empty() && path != m_context.folders().dataFile(kAutosaveFile);
    const std::u16string mark = modified() ? u"*" : u"";
    m_window->setTitle(named ? path.filename().u16string() + mark + u" \u2014 Zentari"
                             : u"Zentari" + mark);
}

bool CGlimraDlg::settleUnsavedChanges(const std::u16string& question,
                                      const std::u16string& discard) {
    if (!modified() || !m_dialogs) return true;
    const LanguageTable& texts = m_context.language();
    switch (m_dialogs->askSaveChanges(
        {question, texts.text(u"mSave"), discard, texts.text(u"Cancel")})) {
        case DialogHost::SaveChoice::cancel:
            return false;
        case DialogHost::SaveChoice::discard:
            return true;
        case DialogHost::SaveChoice::save:
            save();
            return !modified();
    }
    return false;
}

// Exit does not autosave, as designed; with unsaved changes it asks first.
void CGlimraDlg::exitProgram() {
    if (settleUnsavedChanges(m_context.language().text(u"QuitWithoutSaving"),
                             m_context.language().text(u"mExit")))
        m_window->closeWindow();
}

// An empty project and one new screen, as a first start has.
void CGlimraDlg::newProject() {
    if (!settleUnsavedChanges(m_context.language().text(u"SaveChangesFirst"),
                              m_context.language().text(u"DontSave")))
        return;
    m_window->showPanel(Panel::ProgramEditor, false);
    m_window->showPanel(Panel::ScreenPanel, false);
    while (const TreeItem first = m_tree->firstChild(TreeView::kNoItem))
        m_projectTree.deleteScreen(first);
    m_project.setCurrentPath({});
    newScreen();
    markClean();
}

void CGlimraDlg::customizeToolbar() {
    if (!m_dialogs) return;
    CCustomToolBar dlg(m_context.language(), m_context.folders().dataFolder(),
                       m_context.folders().programFolder());
    std::string error;
    // The dialog's face runs OK itself; a file it could not write is said here.
    if (m_dialogs->runCustomToolBar(dlg, &error) && !error.empty())
        showFileFailure(u"SaveFailed", error);
    if (m_window) m_window->toolbarChanged();
}

void CGlimraDlg::openImageEditor() {
    if (!m_dialogs) return;
    if (m_bmpEdit) m_dialogs->destroyBmpEdit();
    m_bmpEdit = std::make_unique<CBmpEdit>(CBmpEdit::Services{
        m_app.images(), m_context.language(), m_context.folders().dataFolder(),
        [this] { return m_context.pictures().records(); },
        [this](std::vector<PictureRecord> records) {
            m_context.setPictures(std::move(records));
            m_programEditor.setPictures(m_context.pictures().records());
        },
        // The design types into the visible editor and its hidden twin; here there is one.
        [this](std::u16string_view text) { m_programEditor.insertAtCaret(text); },
        [] {
            return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count());
        }});
    m_dialogs->showBmpEdit(*m_bmpEdit);
}

void CGlimraDlg::postToWindow(std::function<void()> task) {
    const std::lock_guard lock(m_reportMutex);
    if (m_timers) m_timers->postTask(std::move(task));
}

namespace {

// The check's questions, asked on the window's thread while the check's worker
// waits for the answer; a worker asked to stop gives up waiting, with "no".
class WindowPrompts : public update::UpdatePrompts {
public:
    WindowPrompts(CGlimraDlg& dlg, DialogHost*& dialogs, platform::Clock& clock,
                  platform::Http& http, std::stop_token stop)
        : m_dlg(dlg), m_dialogs(dialogs), m_clock(clock), m_http(http), m_stop(std::move(stop)) {}

    void message(const std::u16string& text, update::PromptIcon icon) override {
        ask<bool>([this, text, icon] {
            if (!m_dialogs) return false;
            if (icon == update::PromptIcon::information)
                m_dialogs->informationBox(text);
            else
                m_dialogs->messageBox(text);
            return true;
        });
    }
    bool askYesNo(const std::u16string& text) override {
        return ask<bool>([this, text] { return m_dialogs && m_dialogs->askYesNo(text); });
    }
    bool silentPrompt(update::CDownLoadTipDlg& tip) override {
        return ask<bool>([this, &tip] { return m_dialogs && m_dialogs->runDownloadTip(tip); });
    }
    bool downloadWindow(const std::string& url, const std::filesystem::path& destination,
                        const update::DownloadTexts& texts) override {
        return ask<bool>([this, url, destination, texts] {
            if (!m_dialogs) return false;
            update::CDownLoadDlg window(
                m_http, m_clock, [this](std::function<void()> task) { m_dlg.postToWindow(task); },
                url, destination, texts);
            return m_dialogs->runDownload(window);
        });
    }
    void requestClose() override {
        m_dlg.postToWindow([this] { m_dlg.onClose(); });
    }

private:
    template <class T>
    T ask(std::function<T()> question) {
        struct Answer {
            std::mutex mutex;
            std::optional<T> value;
            platform::WaitEvent given;
        };
        auto answer = std::make_shared<Answer>();
        m_dlg.postToWindow([answer, question = std::move(question)] {
            T value = question();
            {
                const std::lock_guard lock(answer->mutex);
                answer->value = value;
            }
            answer->given.set();
        });
        while (!m_stop.stop_requested()) {
            m_clock.wait(answer->given, std::chrono::milliseconds(200));
            const std::lock_guard lock(answer->mutex);
            if (answer->value) return *answer->value;
        }
        return T{};
    }

    CGlimraDlg& m_dlg;
    DialogHost*& m_dialogs;
    platform::Clock& m_clock;
    platform::Http& m_http;
    std::stop_token m_stop;
};

}  // namespace

void CGlimraDlg::startUpdateCheck(bool silent) {
    if (m_updateRunning.exchange(true)) return;
    if (m_updateWorker.joinable()) m_updateWorker.join();
    // Taken here: the worker must not read the language table while the window
    // may switch it.
    auto texts = std::make_shared<update::UpdateTexts>(m_context.language());
    const std::filesystem::path downloads = m_context.folders().dataFolder() / "DownLoads";
    m_updateWorker =
        m_app.clock().startThread([this, silent, texts, downloads](std::stop_token stop) {
            platform::Http* http = m_app.http();
            // The automatic check asks only when a network is there, and then silently.
            if (http && (!silent || platform::isNetworkAlive())) {
                WindowPrompts prompts(*this, m_dialogs, m_app.clock(), *http, stop);
                const update::CheckContext context{
                    *http, *texts, downloads, update::manifestUrl(), [this](int32_t value) {
                        postToWindow([this, value] { m_context.settings().autoUpdate = value; });
                    }};
                update::runUpdateCheck(context, prompts, silent);
            } else if (!silent) {
                postToWindow([this, texts] {
                    if (m_dialogs) m_dialogs->messageBox(texts->text(u"UpdateFailed"));
                });
            }
            m_updateRunning = false;
        });
}

// Timer 10001: the sign's chip is written by vornload, through the chip folder's script.
void CGlimraDlg::handOverToFlashTool() {
    const AppFolders& folders = m_context.folders();
    const batch::HandOver handOver = batch::prepareFlashToolFolder(
        m_firmwarePath, folders.programFolder(), folders.dataFolder());
    switch (handOver.outcome) {
        case batch::HandOver::noFirmware:
        case batch::HandOver::nothingToCopy:
            return;
        case batch::HandOver::invalidName:
            if (m_dialogs) m_dialogs->messageBox(m_context.language().text(u"InvalidFile"));
            return;
        case batch::HandOver::failed:
            showFileFailure(u"FlashToolFailed", handOver.error);
            return;
        case batch::HandOver::prepared:
            break;
    }
    std::string error;
    if (!m_app.shell().startScript(handOver.chipFolder / batch::kChipScriptName,
                                   batch::flashToolEnvironment(folders.programFolder()), &error))
        showFileFailure(u"FlashToolFailed", error);
}

void CGlimraDlg::batchFirmware() {
    if (!m_dialogs) return;
    CClustersSend dlg({m_app.devices(), m_app.clock(), m_context.language(),
                       [this](std::function<void()> task) {
                           const std::lock_guard lock(m_reportMutex);
                           if (m_timers) m_timers->postTask(std::move(task));
                       }},
                      CClustersSend::MODE_FIRMWARE, {}, {});
    m_dialogs->runClustersSend(dlg);
}

void CGlimraDlg::batchSend(std::vector<uint8_t> preparedImage) {
    if (!m_dialogs || !m_tree) return;
    std::vector<std::u16string> names;
    for (TreeItem item = m_tree->firstChild(TreeView::kNoItem); item;
         item = m_tree->nextSibling(item))
        names.push_back(m_tree->itemLabel(item));
    CClustersSend dlg(
        {m_app.devices(), m_app.clock(), m_context.language(),
         [this](std::function<void()> task) {
             const std::lock_guard lock(m_reportMutex);
             if (m_timers) m_timers->postTask(std::move(task));
         }},
        CClustersSend::MODE_SCREEN, std::move(names),
        [this](const std::u16string& name) {
            const std::string image = deviceImageOfNamedScreen(name);
            return std::vector<uint8_t>(image.begin(), image.end());
        },
        std::move(preparedImage));
    m_dialogs->runClustersSend(dlg);
}

void CGlimraDlg::waitingForSign() {
    if (std::this_thread::get_id() != m_uiThread) return;
    if (m_window) m_window->keepPainting();
}

void CGlimraDlg::showResult(int code) {
    if (m_dialogs) m_dialogs->messageBox(SignCommands::resultText(code, m_context.language()));
}

DeviceImage::Built CGlimraDlg::deviceImageOf(const ScreenRecord& screen, bool currentOnly,
                                             ProgramKey current) {
    return DeviceImage::buildScreen(screen, settings().playMode, settings().tempOffset, currentOnly,
                                    current, m_context.encoding());
}

std::string CGlimraDlg::deviceImageOfCurrentScreen(bool allPrograms) {
    const ScreenRecord* screen = m_project.findScreen(currentScreenId());
    if (!screen) return {};
    const ProgramKey current = currentProgramKey();
    return deviceImageOf(*screen, !allPrograms && current != 0, current).bytes;
}

std::string CGlimraDlg::deviceImageOfNamedScreen(std::u16string_view name) {
    const ScreenRecord* screen = m_project.findScreen(m_projectTree.screenNamed(name));
    return screen ? deviceImageOf(*screen, false, 0).bytes : std::string();
}

// Send encodes the records as they stand; the open panel is not committed first.
void CGlimraDlg::sendToSign() {
    const auto started = m_app.clock().now();
    const SignCommands::SendOutcome out =
        SignCommands::sendScreen(*this, m_project.findScreen(currentScreenId()), [this] {
            const ScreenRecord* screen = m_project.findScreen(currentScreenId());
            return screen ? deviceImageOf(*screen, false, 0) : DeviceImage::Built{};
        });
    using Step = SignCommands::SendOutcome::Step;
    switch (out.step) {
        case Step::QueryFailed:
        case Step::TooLong:
            showResult(out.code);
            break;
        case Step::SizeMismatch: {
            // Both sizes, so the user knows which one to change.
            // Without a chosen screen there is no size to name.
            const ScreenRecord* screen = m_project.findScreen(currentScreenId());
            m_dialogs->messageBox(
                m_context.language().text(u"NoSend_msg") + u"\n" +
                (screen
                     ? platform::format(m_context.language().text(u"NoSendSizes"),
                                        {signWidth(), signHeight(), screen->width, screen->height})
                     : m_context.language().text(u"NoScreenSelected")));
            break;
        }
        case Step::NothingToSend:
            break;
        case Step::Sent: {
            if (out.code) {
                showResult(out.code);
                break;
            }
            // Said where the user looks next, and the bar emptied again later.
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_app.clock().now() - started)
                    .count();
            m_window->showStatus(platform::format(
                m_context.language().text(u"SentStatus"),
                {static_cast<unsigned long long>(out.imageBytes),
                 platform::format(
                     u"%d.%d", {static_cast<int>(ms / 1000), static_cast<int>(ms % 1000 / 100)})}));
            m_timers->startTimer(TIMER_CLEAR_PROGRESS, 3000);
            break;
        }
    }
    m_window->focusMainWindow();
}
