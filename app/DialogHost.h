#pragma once

#include "assets/CBmpEdit.h"
#include "assets/CCustomToolBar.h"
#include "update/CDownLoadDlg.h"
#include "update/CDownLoadTipDlg.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

class CClustersSend;
class CDialogAddImages;
class CDialogTest;
class CImgInfoDlg;
class CScreenSel;
class CSystemSettingDlg;

// The modal dialogs the main window opens. Each dialog's logic is a class of
// its own that knows no window system; this runs its face modally.
class DialogHost {
public:
    virtual ~DialogHost() = default;

    // One text and an OK button.
    virtual void messageBox(std::u16string_view text) = 0;
    // File dialogs for one file; the filter is a description and a pattern
    // list ("*.vqd;*.vqd"). No path means cancelled.
    virtual std::optional<std::filesystem::path> openFileDialog(std::u16string_view filterName,
                                                                std::u16string_view pattern) = 0;
    // Asks before replacing an existing file.
    virtual std::optional<std::filesystem::path> saveFileDialog(std::u16string_view filterName,
                                                                std::u16string_view pattern) = 0;
    // The screen size dialog; false when cancelled.
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
                                bool& autoUpdate) = 0;
    // The test pattern dialog; its buttons post to the main window and it stays open.
    virtual void runTestDialog(CDialogTest& dlg) = 0;
    // The batch send dialog, until it is closed (by Close or by the frame).
    virtual void runClustersSend(CClustersSend& dlg) = 0;
    // The animation library dialog, until OK or Cancel.
    virtual void runAddImages(CDialogAddImages& dlg) = 0;

    // What to do with unsaved changes: Save, leave them (Quit / Discard) or Cancel.
    enum class SaveChoice { save, discard, cancel };
    // The question and its three buttons' labels, in the language in use.
    struct SaveQuestion {
        std::u16string text;
        std::u16string save;
        std::u16string discard;  // "Exit" on Exit, "Don't Save" before a new project
        std::u16string cancel;
    };
    // A host without it leaves the changes, as Exit always did.
    virtual SaveChoice askSaveChanges(const SaveQuestion& question) {
        (void)question;
        return SaveChoice::discard;
    }

    // The pixel image editor, modeless: shown, and this returns. Closing it by its
    // frame runs dlg.onClose(); Enter hides it without writing anything.
    virtual void showBmpEdit(CBmpEdit& dlg) { (void)dlg; }
    // Takes the editor's window away without writing anything (it is replaced).
    virtual void destroyBmpEdit() {}

    // The custom toolbar dialog, modal. Its OK runs dlg.onOK() with the fields;
    // a file that could not be written puts its reason in `error`. True for OK.
    virtual bool runCustomToolBar(CCustomToolBar& dlg, std::string* error) {
        (void)dlg;
        (void)error;
        return false;
    }

    // The online update's dialogs. A host without them answers no.
    // One text with the information icon and an OK button.
    virtual void informationBox(std::u16string_view text) { messageBox(text); }
    // Yes and No with the question icon; true for Yes.
    virtual bool askYesNo(std::u16string_view text) {
        (void)text;
        return false;
    }
    // The silent update prompt; true for OK, its box's state in dlg.m_check.
    virtual bool runDownloadTip(update::CDownLoadTipDlg& dlg) {
        (void)dlg;
        return false;
    }
    // The download window, until it ends; true when it ended with OK.
    virtual bool runDownload(update::CDownLoadDlg& dlg) {
        (void)dlg;
        return false;
    }
};
