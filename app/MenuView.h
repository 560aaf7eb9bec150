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
