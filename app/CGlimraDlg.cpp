#include "app/CGlimraDlg.h"

#include "app/CGlimraApp.h"
#include "app/Commands.h"
#include "device/DeviceImage.h"
#include "platform/Format.h"
#include "platform/SafeSave.h"
#include "platform/StringUtil.h"
#include "platform/TextCodec.h"
#include "project/ProjectFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <functional>
#include <system_error>

namespace {

constexpr char kAutosaveFile[] = "lastScreen.xml";

}  // namespace

const std::vector<CGlimraDlg::MenuItem>& CGlimraDlg::menuBar() {
    static const std::vector<MenuItem> bar = {
        {MENU_FILE,
         u"mFile",
         {
             {MENU_FILE_NEW, u"mNew", {{IDM_FILE_NEW_LED, u"mScreen", {}}, {IDM_FILE_NEW_PROGRAM, u"mProgram", {}}}},
             {IDM_FILE_OPEN, u"mOpen", {}},
             {IDM_FILE_SAVE, u"mSave", {}},
             {IDM_FILE_SAVEAS, u"mSaveAs", {}},
             {IDM_FILE_SEND, u"mSend", {}, true},
             {ID_BATCH_SEND, u"BatchTx", {}},
             {MENU_FILE_RECENT, u"mRecentFiles", {}, true},
             {IDM_FILE_EXIT, u"mExit", {}, true},
         }},
        {MENU_EDIT,
         u"mEdit",
         {{IDM_EDIT_DELETE_LED, u"mDelScreen", {}}, {IDM_EDIT_DELETE_PROGRAM, u"mDelProgram", {}}}},
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
             {ID_IMAGE_EDITOR, u"ImageEdit", {}},
             {ID_UPDATE_FIRMWARE, u"mUpdateFirmware", {}},
             {ID_BATCH_FIRMWARE, u"mUpdateFirmwareBatch", {}},
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
    // The editor asks for a new preview after a change (its timer 10086 has run out).
    m_programEditor.setPreviewRequest([this] {
        if (m_view) m_view->showPanel(Panel::Preview, true);
    });
}

// The recent list goes when the main window goes, whether it closed by the frame or by Exit.
CGlimraDlg::~CGlimraDlg() {
    m_project.recentFiles().write(RecentFiles::listFile(m_context.folders().tempFolder()));
}

// --- start-up and closing --------------------------------------------------------------

void CGlimraDlg::onInitDialog() {
    m_context.folders().createDataSubFolders();
    m_view->startTimer(TIMER_START_UPDATE, 3000);
    m_view->setTitle(u"Zentari");
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
    m_view->setCheckImages(images);
    m_view->setWindowIcon(m_context.folders().programFolder() / "Images/Res/zentari.png");

    m_context.loadPictures();
    m_programEditor.setPictures(m_context.pictures().records());

    m_view->showPanel(Panel::ScreenPanel, false);
    m_view->showPanel(Panel::ProgramEditor, false);
    m_view->showPanel(Panel::Preview, false);

    const std::filesystem::path autosave = m_context.folders().dataFile(kAutosaveFile);
    std::error_code ec;
    if (autosave.empty() || !openProject(autosave, true)) {
        // The last session's work stays on disk until it has been kept aside.
        if (!autosave.empty() && std::filesystem::exists(autosave, ec)) m_context.noteDamaged(autosave);
        newScreen();
    }
    applyLanguageTexts();
    m_context.folders().createDataSubFolders();
    m_view->stopTimer(TIMER_PREVIEW_REFRESH);
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
        for (const std::string& f : failures) reasons += (reasons.empty() ? "" : "\n") + f;
        showFileFailure(u"SaveFailed", reasons);
    }
    m_view->closeWindow();
}

// The whole project goes to the autosave as long as some screen holds a
// program; an empty project removes it.
bool CGlimraDlg::autosave(std::string* error) {
    const std::filesystem::path file = m_context.folders().dataFile(kAutosaveFile);
    if (file.empty()) return true;
    if (!m_context.keepIfDamaged(file, error)) return false;
    bool anyProgram = false;
    for (const auto& [id, screen] : m_project.screens()) anyProgram |= !screen.programs.empty();
    if (anyProgram) return ProjectFile::write(m_project, file, error);
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return true;
}

void CGlimraDlg::showFileFailure(std::u16string_view key, const std::string& reason) {
    if (m_view) m_view->messageBox(m_context.language().text(key) + u"\n" + platform::utf8ToUtf16(reason));
}

bool CGlimraDlg::writeProject(const std::filesystem::path& path) {
    std::string error;
    if (ProjectFile::write(m_project, path, &error)) return true;
    showFileFailure(u"SaveFailed", error);
    return false;
}

void CGlimraDlg::applyLanguageTexts() {
    std::function<void(const std::vector<MenuItem>&)> apply = [&](const std::vector<MenuItem>& items) {
        for (const MenuItem& item : items) {
            std::u16string text = m_context.language().text(item.key);
            if (item.id == ID_IMAGE_EDITOR) text += u"(&P)";
            m_view->setMenuText(item.id, text);
            apply(item.children);
        }
    };
    apply(menuBar());
    rebuildRecentFilesMenu();
    m_view->setControlText(IDC_SEND, m_context.language().text(u"Send"));
    m_view->setControlText(IDC_PREVIEW, m_context.language().text(u"Preview"));
    m_screenPanel.setLabels(m_context.language().text(u"ScreenWidth"), m_context.language().text(u"ScreenHeight"),
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
    std::vector<MenuEntry> entries;
    for (const LanguageTable::Language& l : m_context.language().languages()) entries.push_back({l.menuId, l.name});
    m_view->setLanguageMenu(entries);
}

void CGlimraDlg::chooseLanguage(int menuId) {
    if (m_context.chooseLanguage(menuId)) applyLanguageTexts();
}

void CGlimraDlg::systemSettings() {
    CSystemSettingDlg dialog(m_context.language(), settings().playMode, settings().tempOffset);
    if (!m_view->runSystemSettings(dialog)) return;
    settings().playMode = dialog.playMode();
    settings().tempOffset = dialog.tempOffset();
}

void CGlimraDlg::pictureLibrary() {
    CImgInfoDlg dialog(m_context.language(), m_app.images(), m_context.pictures().records());
    if (!m_view->runPictureLibrary(dialog)) return;
    m_context.setPictures(dialog.records());
    std::string error;
    if (!m_context.writePictures(&error)) showFileFailure(u"SaveFailed", error);
    m_programEditor.setPictures(m_context.pictures().records());
}

void CGlimraDlg::rebuildRecentFilesMenu() {
    std::vector<MenuEntry> entries;
    const auto& paths = m_project.recentFiles().paths();
    for (size_t i = 0; i < paths.size() && i < RecentFiles::kMenuEntries; ++i)
        entries.push_back({ID_RECENT_FIRST + static_cast<int>(i),
                           platform::format(u"% 2u %s", {static_cast<unsigned>(i + 1), paths[i]})});
    m_view->setRecentFilesMenu(entries);
}

// --- commands ----------------------------------------------------------------------------

bool CGlimraDlg::isCommandEnabled(int id) const {
    const bool treeEmpty = m_view == nullptr || m_view->firstChild(kNoItem) == kNoItem;
    switch (id) {
        case IDM_FILE_SAVE:
        case IDM_FILE_SEND:
        case IDC_SEND:
        case IDM_EDIT_DELETE_LED:
        case IDM_EDIT_DELETE_PROGRAM: return !treeEmpty;
        case IDM_FILE_SAVEAS: return !treeEmpty && !m_project.currentPath().empty();
        default: return true;
    }
}

void CGlimraDlg::onCommand(int id) {
    if (!m_view || !isCommandEnabled(id)) return;
    if (id >= ID_RECENT_FIRST && id <= ID_RECENT_LAST) return openRecent(id - ID_RECENT_FIRST);
    if (id >= ID_LANGUAGE_FIRST && id <= ID_LANGUAGE_LAST) return chooseLanguage(id);
    switch (id) {
        case IDM_FILE_OPEN: return open();
        case IDM_FILE_SAVE: return save();
        case IDM_FILE_SAVEAS: return saveAs();
        case IDM_FILE_EXIT: return m_view->closeWindow();
        case IDM_FILE_NEW_LED: return newScreen();
        case IDM_FILE_NEW_PROGRAM: return newProgram();
        case IDM_EDIT_DELETE_LED: return deleteScreen();
        case IDM_EDIT_DELETE_PROGRAM: return deleteProgram();
        case ID_TREE_DELETE: return deleteContext();
        case ID_TREE_RENAME: return rename();
        case ID_TREE_MOVE_UP: return move(true);
        case ID_TREE_MOVE_DOWN: return move(false);
        case IDM_TOOL_PREVIEW:
        case IDC_PREVIEW: return preview();
        case IDM_HELP_ABOUT: return about();
        case IDM_FILE_SEND:
        case IDC_SEND: return sendToSign();
        case IDM_TOOL_TEST: {
            CDialogTest dlg(m_context.language(), [this](uint32_t message) { m_view->postMessage(message, 0, 0); });
            return m_view->runTestDialog(dlg);
        }
        case ID_SYSTEM_SETTINGS: return systemSettings();
        case ID_SCREEN_SETTINGS: return screenSettings();
        case ID_PICTURE_SETTINGS: return pictureLibrary();
        case ID_OPEN_DATA_FOLDER: {
            const std::filesystem::path data = m_context.folders().dataFolder();
            if (!data.empty()) m_app.shell().open(data);
            return;
        }
        case ID_UNKNOWN_COMMAND: return m_view->messageBox(m_context.language().text(u"UnknownCommand"));
        case IDOK: return;  // Enter never closes the main window
        default: return;    // commands whose windows are not part of the program yet
    }
}

bool CGlimraDlg::onKeyDown(Key key) {
    switch (key) {
        case Key::Escape: return true;  // swallowed: it never closes the main window
        case Key::Enter: onCommand(IDOK); return true;
        case Key::F12: onCommand(IDM_TOOL_TEST); return true;
        case Key::Other: return false;
    }
    return false;
}

void CGlimraDlg::onTimer(int id) {
    switch (id) {
        case TIMER_START_UPDATE: m_view->stopTimer(id); break;
        case TIMER_PREVIEW_REFRESH:
            m_view->stopTimer(id);
            m_view->showPanel(Panel::Preview, true);
            break;
        default: break;
    }
}

void CGlimraDlg::onMessage(uint32_t message, uintptr_t wParam, intptr_t) {
    if (!m_view) return;
    if (message >= MSG_TEST_PATTERN && message <= MSG_TEST_PATTERN + 4) {
        const uint8_t pattern[] = {static_cast<uint8_t>(message - MSG_TEST_PATTERN)};
        if (int code = transfer(pattern, signlink::KIND_TEST_PATTERN, nullptr)) showResult(code);
    } else if (message == MSG_QUERY_GEOMETRY) {
        const auto size = SignCommands::queryGeometry(*this);
        if (wParam && size) m_view->postMessageTo(wParam, MSG_QUERY_GEOMETRY, size->first, size->second);
    } else if (message == MSG_SEND_COMMAND_BYTE) {
        const uint8_t command[] = {static_cast<uint8_t>(wParam & 0xFF)};
        transfer(command, signlink::KIND_COMMAND_BYTE, nullptr);
    }
}

void CGlimraDlg::newScreen() {
    if (TreeItem screen = addScreen(u"", true)) addProgram(screen, u"", true);
}

void CGlimraDlg::newProgram() {
    TreeItem item = m_view->selectedItem();
    if (!item) return;
    if (TreeItem parent = m_view->parentItem(item)) item = parent;
    addProgram(item, u"", true);
}

CGlimraDlg::TreeItem CGlimraDlg::takeContextOrSelected() {
    TreeItem item = m_contextItem ? m_contextItem : m_view->selectedItem();
    m_contextItem = kNoItem;
    return item;
}

void CGlimraDlg::deleteScreen() {
    TreeItem item = takeContextOrSelected();
    if (!item) return;
    if (TreeItem parent = m_view->parentItem(item)) item = parent;
    const uint32_t data = m_view->itemData(item);
    m_view->deleteItem(item);
    if (!isProgramKey(data)) m_project.removeScreen(static_cast<ScreenId>(data));
}

void CGlimraDlg::deleteProgram() {
    const TreeItem item = takeContextOrSelected();
    if (!item) return;
    const uint32_t data = m_view->itemData(item);
    if (!isProgramKey(data)) return;
    m_project.removeProgram(data);
    m_view->deleteItem(item);
    // The screen's check image follows what is left of it.
    deriveCheckState();
}

void CGlimraDlg::deleteContext() {
    const TreeItem item = m_contextItem ? m_contextItem : m_view->selectedItem();
    if (!item) return;
    if (isProgramKey(m_view->itemData(item))) deleteProgram();
    else deleteScreen();
}

void CGlimraDlg::rename() {
    if (TreeItem item = takeContextOrSelected()) m_view->editLabel(item, kLabelLimit);
}

void CGlimraDlg::onEndLabelEdit(TreeItem item, std::u16string_view text) {
    if (!item) return;
    const std::u16string name(text.substr(0, kLabelLimit));
    m_view->setItemLabel(item, name);
    const uint32_t data = m_view->itemData(item);
    if (isProgramKey(data)) {
        if (ProgramRecord* p = m_project.findProgram(data)) p->name = name;
        if (m_editorProgram == data) m_programEditor.setName(name);
    } else {
        if (ScreenRecord* s = m_project.findScreen(static_cast<ScreenId>(data))) s->name = name;
        if (m_panelScreen == data) m_screenPanel.setName(name);
    }
}

void CGlimraDlg::move(bool up) {
    const TreeItem item = takeContextOrSelected();
    if (!item) return;
    const TreeItem sibling = up ? m_view->previousSibling(item) : m_view->nextSibling(item);
    if (!sibling) return;
    commitSelection();

    const std::u16string label = m_view->itemLabel(item);
    const uint32_t data = m_view->itemData(item);
    m_view->setItemLabel(item, m_view->itemLabel(sibling));
    m_view->setItemData(item, m_view->itemData(sibling));
    m_view->setItemLabel(sibling, label);
    m_view->setItemData(sibling, data);

    m_suppressCommit = true;
    // A screen takes its programs along, or they would show under the other screen's name.
    if (!isProgramKey(data)) swapScreenChildren(item, sibling);
    if (m_view->selectedItem() == sibling) {
        if (isProgramKey(data)) loadProgramEditor(data);
        else loadScreenPanel(static_cast<ScreenId>(data));
    } else {
        m_view->selectItem(sibling);
    }
    m_suppressCommit = false;
}

void CGlimraDlg::swapScreenChildren(TreeItem a, TreeItem b) {
    struct Child {
        std::u16string label;
        uint32_t data;
        int image;
    };
    auto take = [this](TreeItem parent) {
        std::vector<Child> children;
        for (TreeItem c = m_view->firstChild(parent); c; c = m_view->nextSibling(c))
            children.push_back({m_view->itemLabel(c), m_view->itemData(c), m_view->itemImage(c)});
        return children;
    };
    const std::vector<Child> ofA = take(a), ofB = take(b);
    const TreeItem selected = m_view->selectedItem();
    const uint32_t selectedData = selected ? m_view->itemData(selected) : 0;
    const bool programSelected = selected && isProgramKey(selectedData) &&
                                 (m_view->parentItem(selected) == a || m_view->parentItem(selected) == b);
    if (programSelected) m_view->selectItem(m_view->parentItem(selected));
    for (TreeItem parent : {a, b})
        while (TreeItem c = m_view->firstChild(parent)) m_view->deleteItem(c);
    auto put = [this](TreeItem parent, const std::vector<Child>& children) {
        for (const Child& c : children) {
            const TreeItem item = m_view->insertItem(parent, c.label);
            m_view->setItemData(item, c.data);
            m_view->setItemImage(item, c.image);
        }
        if (!children.empty()) m_view->expandItem(parent);
    };
    // The labels and data are exchanged already: a now carries b's screen.
    put(a, ofB);
    put(b, ofA);
    if (programSelected)
        if (TreeItem item = findItemByData(selectedData)) m_view->selectItem(item);
}

void CGlimraDlg::open() {
    const auto path = m_view->openFileDialog(kProjectFilter, kProjectPattern);
    if (path && !path->empty()) openProject(*path);
}

void CGlimraDlg::openRecent(int index) {
    const auto& paths = m_project.recentFiles().paths();
    if (index < 0 || static_cast<size_t>(index) >= paths.size() || paths[index].empty()) return;
    const std::u16string path = paths[index];
    std::string error;
    if (!loadProjectFile(std::filesystem::path(path), &error)) return showFileFailure(u"OpenFailed", error);
    m_project.recentFiles().moveToFront(path);
    rebuildRecentFilesMenu();
}

void CGlimraDlg::save() {
    if (m_project.currentPath().empty()) return saveAs();
    commitSelection();
    writeProject(m_project.currentPath());
}

void CGlimraDlg::saveAs() {
    commitSelection();
    const auto chosen = m_view->saveFileDialog(kProjectFilter, kProjectPattern);
    if (!chosen || chosen->empty()) return;
    const std::filesystem::path path = Project::withProjectExtension(*chosen);
    if (!writeProject(path)) return;
    m_project.setCurrentPath(path);
    m_project.recentFiles().moveToFront(path.u16string());
    rebuildRecentFilesMenu();
}

void CGlimraDlg::preview() {
    commitSelection();
    m_view->showPanel(Panel::Preview, true);
}

ScreenCatalogue CGlimraDlg::readScreenCatalogue() const {
    ScreenCatalogue catalogue;
    catalogue.load(m_context.folders().dataFile("ProjFile/ScreenConfigEx.xml"), m_context.folders().programFile("ScreenDefault.dat"),
                   m_context.folders().programFolder());
    return catalogue;
}

// A new size for the current screen; its programs stay as they are.
void CGlimraDlg::screenSettings() {
    const ScreenId id = currentScreenId();
    ScreenRecord* screen = m_project.findScreen(id);
    if (!screen) return;
    CScreenSel dlg(m_context.language(), readScreenCatalogue(), screen->width == 44 ? 0 : 1);
    if (!m_view->chooseScreenSize(dlg)) return;
    std::tie(screen->width, screen->height) = dlg.selectedSize();
    loadScreenPanel(id);
    if (m_editorProgram && screenOfKey(m_editorProgram) == id) m_programEditor.setScreenSize(screen->width, screen->height);
    m_view->showPanel(Panel::Preview, true);
}

void CGlimraDlg::about() {
    bool autoUpdate = settings().autoUpdate != 0;
    if (m_view->runAboutDialog(m_context.language().text(u"AboutTitle"), m_context.language().text(u"AutoUpdate"), autoUpdate))
        settings().autoUpdate = autoUpdate ? 1 : 0;
}

// --- the project and its tree ----------------------------------------------------------

CGlimraDlg::TreeItem CGlimraDlg::addScreen(std::u16string_view name, bool askSize) {
    const ScreenId id = m_project.nextScreenId();
    if (id == 0) return kNoItem;
    const std::u16string label =
        name.empty() ? m_project.generatedScreenName(m_context.language().text(u"Screen")) : std::u16string(name);
    ScreenRecord screen;
    screen.name = label;
    if (askSize) {
        CScreenSel dlg(m_context.language(), readScreenCatalogue(), m_view->readSelectId().value_or(1));
        if (!m_view->chooseScreenSize(dlg)) return kNoItem;
        m_view->writeSelectId(dlg.selectedIndex());
        std::tie(screen.width, screen.height) = dlg.selectedSize();
    }
    const TreeItem item = m_view->insertItem(kNoItem, label);
    if (!item) return kNoItem;
    m_view->setItemData(item, id);
    m_project.addScreen(std::move(screen));
    if (askSize) m_view->selectItem(item);
    return item;
}

CGlimraDlg::TreeItem CGlimraDlg::addProgram(TreeItem screenItem, std::u16string_view name, bool select) {
    if (!screenItem) return kNoItem;
    const uint32_t data = m_view->itemData(screenItem);
    if (isProgramKey(data)) return kNoItem;
    const ScreenId screenId = static_cast<ScreenId>(data);
    if (!m_project.canAddProgram(screenId)) return kNoItem;
    const std::u16string label = name.empty()
                                     ? m_project.generatedProgramName(screenId, m_context.language().text(u"Program"))
                                     : std::u16string(name);
    const TreeItem item = m_view->insertItem(screenItem, label);
    if (!item) return kNoItem;
    m_view->expandItem(screenItem);
    m_view->setItemImage(item, 2);
    m_view->setItemData(item, m_project.nextProgramKey(screenId));
    ProgramRecord program;
    program.name = label;
    program.AutoAdjust = Project::autoAdjustFor(m_context.language().name(), m_project.findScreen(screenId)->height);
    m_project.addProgram(screenId, std::move(program));
    if (select) m_view->selectItem(item);
    else m_view->stopTimer(TIMER_PREVIEW_REFRESH);
    return item;
}

bool CGlimraDlg::loadProjectFile(const std::filesystem::path& path, std::string* error) {
    std::vector<ProjectFile::LoadedScreen> screens;
    if (!ProjectFile::read(path, screens, error)) return false;
    m_project.setCurrentPath(path);
    for (ProjectFile::LoadedScreen& loaded : screens) {
        const TreeItem screenItem = addScreen(loaded.screen.name, false);
        if (!screenItem) continue;
        const ScreenId id = static_cast<ScreenId>(m_view->itemData(screenItem));
        ScreenRecord* screen = m_project.findScreen(id);
        screen->width = loaded.screen.width;
        screen->height = loaded.screen.height;
        screen->baseColor = loaded.screen.baseColor;
        bool anyChecked = false, anyUnchecked = false;
        for (ProgramRecord& read : loaded.programs) {
            const TreeItem item = addProgram(screenItem, read.name, false);
            if (!item) continue;  // the eleventh and later are dropped
            ProgramRecord* program = m_project.findProgram(m_view->itemData(item));
            program->checked = read.checked;
            program->OffsetX = read.OffsetX;
            program->OffsetY = read.OffsetY;
            program->StretchH = read.StretchH;
            program->StretchV = read.StretchV;
            program->PitchOffSet = read.PitchOffSet;
            program->AutoAdjust = read.AutoAdjust;
            program->settings = std::move(read.settings);
            m_view->setItemImage(item, read.checked ? 2 : 0);
            (read.checked ? anyChecked : anyUnchecked) = true;
        }
        m_view->setItemImage(screenItem, !anyUnchecked ? 2 : anyChecked ? 1 : 0);
    }
    return true;
}

bool CGlimraDlg::openProject(const std::filesystem::path& path, bool quiet) {
    std::error_code ec;
    std::string error;
    if (std::filesystem::is_directory(path, ec)) error = path.string() + ": " + std::strerror(EISDIR);
    if (!error.empty() || !loadProjectFile(path, &error)) {
        if (!quiet) showFileFailure(u"OpenFailed", error);
        return false;
    }
    m_project.recentFiles().moveToFront(path.u16string());
    rebuildRecentFilesMenu();
    m_view->showPanel(Panel::ProgramEditor, false);
    m_view->showPanel(Panel::ScreenPanel, false);
    // Whatever the editor held is replaced by the record as it stands.
    if (const TreeItem selected = m_view->selectedItem()) {
        const uint32_t data = m_view->itemData(selected);
        if (isProgramKey(data)) loadProgramEditor(data);
        else loadScreenPanel(static_cast<ScreenId>(data));
    }
    return true;
}

ScreenId CGlimraDlg::currentScreenId() const {
    if (!m_view) return 0;
    const TreeItem item = m_view->selectedItem();
    if (!item) return 0;
    const uint32_t data = m_view->itemData(item);
    return isProgramKey(data) ? screenOfKey(data) : static_cast<ScreenId>(data);
}

ProgramKey CGlimraDlg::currentProgramKey() const {
    if (!m_view) return 0;
    const TreeItem item = m_view->selectedItem();
    const uint32_t data = item ? m_view->itemData(item) : 0;
    return isProgramKey(data) ? data : 0;
}

CGlimraDlg::TreeItem CGlimraDlg::findItemByData(uint32_t data) const {
    for (TreeItem s = m_view->firstChild(kNoItem); s; s = m_view->nextSibling(s)) {
        if (m_view->itemData(s) == data) return s;
        for (TreeItem c = m_view->firstChild(s); c; c = m_view->nextSibling(c))
            if (m_view->itemData(c) == data) return c;
    }
    return kNoItem;
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
    const TreeItem item = m_view ? m_view->selectedItem() : kNoItem;
    if (!item) return;
    const uint32_t data = m_view->itemData(item);
    if (isProgramKey(data)) {
        commitScreenPanel(screenOfKey(data));
        commitProgramEditor(data);
    } else {
        commitScreenPanel(static_cast<ScreenId>(data));
    }
}

void CGlimraDlg::onSelectionChanged(TreeItem oldItem, TreeItem newItem) {
    m_contextItem = kNoItem;
    if (newItem) m_view->setDropHighlight(newItem);

    const uint32_t oldData = oldItem ? m_view->itemData(oldItem) : 0;
    const uint32_t newData = newItem ? m_view->itemData(newItem) : 0;
    const bool oldIsProgram = oldItem && isProgramKey(oldData);
    const bool newIsProgram = newItem && isProgramKey(newData);
    const ScreenId oldScreen = oldIsProgram ? screenOfKey(oldData) : static_cast<ScreenId>(oldData);
    const ScreenId newScreen = newIsProgram ? screenOfKey(newData) : static_cast<ScreenId>(newData);

    auto showEditor = [this](bool editor) {
        m_view->showPanel(Panel::ProgramEditor, editor);
        m_view->showPanel(Panel::ScreenPanel, !editor);
    };
    auto switchScreen = [&] {
        if (newScreen != oldScreen) {
            commitScreenPanel(oldScreen);
            loadScreenPanel(newScreen);
        }
    };

    if (oldItem && oldIsProgram) commitProgramEditor(oldData);
    else if (oldItem && !newItem) commitScreenPanel(oldScreen);

    if (!newItem) {
        if (oldIsProgram) commitScreenPanel(oldScreen);
        m_view->showPanel(Panel::ProgramEditor, false);
        m_view->showPanel(Panel::ScreenPanel, false);
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

    deriveCheckState();
    m_view->startTimer(TIMER_PREVIEW_REFRESH, 100);
}

void CGlimraDlg::deriveCheckState() {
    for (TreeItem s = m_view->firstChild(kNoItem); s; s = m_view->nextSibling(s)) {
        int total = 0, checked = 0;
        for (TreeItem c = m_view->firstChild(s); c; c = m_view->nextSibling(c)) {
            const bool on = m_view->itemImage(c) != 0;
            if (ProgramRecord* p = m_project.findProgram(m_view->itemData(c))) p->checked = on ? 1 : 0;
            ++total;
            checked += on ? 1 : 0;
        }
        m_view->setItemImage(s, total > 0 && checked == total ? 2 : checked > 0 ? 1 : 0);
    }
}

bool CGlimraDlg::onTreeClick(TreeItem item, bool onImage) {
    if (!item || !onImage) return false;
    const int image = m_view->itemImage(item) == 0 ? 2 : 0;
    m_view->setItemImage(item, image);
    const uint32_t data = m_view->itemData(item);
    if (!isProgramKey(data))
        for (TreeItem c = m_view->firstChild(item); c; c = m_view->nextSibling(c)) m_view->setItemImage(c, image);
    deriveCheckState();
    const TreeItem selected = m_view->selectedItem();
    if (selected && (selected == item || (isProgramKey(data) && m_view->parentItem(item) == selected)))
        m_view->startTimer(TIMER_PREVIEW_REFRESH, 10);
    return true;
}

void CGlimraDlg::onTreeRightClick(TreeItem item) {
    m_contextItem = item;
    m_view->popupContextMenu({
        {ID_TREE_RENAME, m_context.language().text(u"Rename")},
        {ID_TREE_MOVE_UP, m_context.language().text(u"MoveUp")},
        {ID_TREE_MOVE_DOWN, m_context.language().text(u"MoveDown")},
        {ID_TREE_DELETE, m_context.language().text(u"Delete")},
        {ID_OPEN_DATA_FOLDER, m_context.language().text(u"OpenDir")},
    });
    // A menu closed without a choice leaves no context item behind for later commands.
    m_contextItem = kNoItem;
}

// --- the sign ------------------------------------------------------------------------

int CGlimraDlg::transfer(std::span<const uint8_t> block, uint8_t kind, std::vector<uint8_t>* reply) {
    return signlink::singleSignTransfer(m_app.devices(), m_app.clock(), *this, block, kind, reply);
}

void CGlimraDlg::setProgressRange(int low, int high) {
    if (m_view) m_view->setProgressRange(low, high);
}

void CGlimraDlg::setProgressStep(int step) {
    if (m_view) m_view->setProgressStep(step);
}

void CGlimraDlg::setProgressPos(int pos) {
    if (m_view) m_view->setProgressPos(pos);
}

void CGlimraDlg::setSignSize(int width, int height) {
    m_signWidth = width;
    m_signHeight = height;
}

void CGlimraDlg::setFirmwareReady(bool ready) { m_firmwareReady = ready; }

void CGlimraDlg::startTimer(int id, int milliseconds) {
    if (m_view) m_view->startTimer(id, milliseconds);
}

void CGlimraDlg::postFirmwareReady() {
    if (m_view) m_view->postMessage(MSG_FIRMWARE_READY, 0, 0);
}

void CGlimraDlg::showResult(int code) {
    if (m_view) m_view->messageBox(SignCommands::resultText(code, m_context.language()));
}

DeviceImage::Built CGlimraDlg::deviceImageOf(const ScreenRecord& screen, bool currentOnly, ProgramKey current) {
    return DeviceImage::buildScreen(screen, settings().playMode, settings().tempOffset, currentOnly, current,
                                    m_context.encoding());
}

std::string CGlimraDlg::deviceImageOfCurrentScreen(bool allPrograms) {
    const ScreenRecord* screen = m_project.findScreen(currentScreenId());
    if (!screen) return {};
    const ProgramKey current = currentProgramKey();
    return deviceImageOf(*screen, !allPrograms && current != 0, current).bytes;
}

std::string CGlimraDlg::deviceImageOfNamedScreen(std::u16string_view name) {
    if (!m_view) return {};
    for (TreeItem s = m_view->firstChild(kNoItem); s; s = m_view->nextSibling(s)) {
        if (!platform::equalsNoCase(m_view->itemLabel(s), name)) continue;
        const ScreenRecord* screen = m_project.findScreen(static_cast<ScreenId>(m_view->itemData(s)));
        return screen ? deviceImageOf(*screen, false, 0).bytes : std::string();
    }
    return {};
}

// Send encodes the records as they stand; the open panel is not committed first.
void CGlimraDlg::sendToSign() {
    const SignCommands::SendOutcome out = SignCommands::sendScreen(
        *this, m_project.findScreen(currentScreenId()), [this] {
            const ScreenRecord* screen = m_project.findScreen(currentScreenId());
            return screen ? deviceImageOf(*screen, false, 0) : DeviceImage::Built{};
        });
    using Step = SignCommands::SendOutcome::Step;
    switch (out.step) {
        case Step::QueryFailed:
        case Step::TooLong:
            showResult(out.code);
            break;
        case Step::SizeMismatch: m_view->messageBox(m_context.language().text(u"NoSend_msg")); break;
        case Step::NothingToSend: break;
        case Step::Sent:
            if (out.code) showResult(out.code);
            break;
    }
    m_view->focusMainWindow();
}
