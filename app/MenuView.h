#pragma once

#include <string>
#include <string_view>
#include <vector>

// The main window's menus and buttons as the controller labels and fills them.
class MenuView {
public:
    // One entry of a menu the controller fills (languages, recent files, context menu).
    struct MenuEntry {
        int id;
        std::u16string label;
        bool checked = false;  // the language in use
    };

    virtual ~MenuView() = default;

    // Labels go by command id (submenus by CGlimraDlg::SubmenuId).
    virtual void setMenuText(int id, std::u16string_view text) = 0;
    // The Language and Recent files submenus are replaced whole (the latter after a separator).
    virtual void setLanguageMenu(const std::vector<MenuEntry>& entries) = 0;
    virtual void setRecentFilesMenu(const std::vector<MenuEntry>& entries) = 0;
    // Buttons, by control id (IDC_SEND, IDC_PREVIEW).
    virtual void setControlText(int id, std::u16string_view text) = 0;
    // Shows the tree's context menu at the cursor; a choice arrives as a
    // command before this returns.
    virtual void popupContextMenu(const std::vector<MenuEntry>& entries) = 0;
};

// A label whose mnemonic is written "(&X)" after it, as the language files
// write it, with the mark moved onto the first X of the label itself
// ("Pixel editor(&P)" becomes "&Pixel editor"). A label that already has a
// mnemonic just loses the bracket; one without the letter (a Chinese label)
// keeps it, the usual way to give such a label a key.
std::u16string inlineMnemonic(std::u16string_view label);
