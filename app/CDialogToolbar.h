#pragma once

#include "app/Commands.h"
#include "assets/ToolbarDescription.h"
#include "platform/TextLookup.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The toolbar panel at the top of the main window: a row of buttons, each
// posting one of the main window's commands. It knows no window system.
class CDialogToolbar {
public:
    static constexpr int IDC_OPEN = 1104;
    static constexpr int IDC_NEW_SCREEN = 1110;
    static constexpr int IDC_NEW_PROGRAM = 1105;
    static constexpr int IDC_DELETE = 1106;
    static constexpr int IDC_SEND = 1107;
    static constexpr int IDC_PREVIEW = 1108;
    static constexpr int IDC_TEST = 1109;
    // The Send button's drop-down item.
    static constexpr int ID_BATCH_ITEM = 32845;
    // Each button stands this far right of the one before.
    static constexpr int kGap = 3;
    // Commands forwarded to the main window arrive offset by this much.
    static constexpr int kForwardFirst = 17408;
    static constexpr int kForwardLast = 54272;

    // One button: its control, caption key, icon (the shipped PNG's number) and command.
    struct Fixed {
        int control;
        const char16_t* captionKey;
        int icon;
        int command;
        bool hidden;
    };
    static constexpr Fixed kButtons[] = {
        {IDC_OPEN, u"Open", 172, IDM_FILE_OPEN, false},
        {IDC_NEW_SCREEN, u"NewScreen", 171, IDM_FILE_NEW_LED, false},
        {IDC_NEW_PROGRAM, u"NewProgram", 171, IDM_FILE_NEW_PROGRAM, false},
        {IDC_DELETE, u"Delete", 170, ID_TREE_DELETE, false},
        {IDC_SEND, u"Send", 174, IDM_FILE_SEND, false},
        {IDC_PREVIEW, u"Preview", 173, IDM_TOOL_PREVIEW, false},
        {IDC_TEST, u"TestScreen", 175, IDM_TOOL_TEST, true},
    };

    // A button as the panel shows it.
    struct Button {
        int control = 0;  // 0 for a button of the user's description
        int command = 0;
        std::u16string caption;
        std::filesystem::path
            icon;  // an image file; for the fixed set "<icon>.png" in the icons folder
        bool hidden = false;
        bool dropDown = false;  // the Send button's "BatchTx" item
    };

    struct Layout {
        std::vector<int> x;  // each button's left edge
        bool texts = true;   // false: icons alone, captions as tooltips
    };

    // The fixed set with its captions in the current language; the icons are
    // "<number>.png" in `iconFolder`.
    static std::vector<Button> fixedButtons(const platform::TextLookup& texts,
                                            const std::filesystem::path& iconFolder);

    // The buttons of the user's description (a saved Toolbar.xml with at least one
    // item whose command is a number), captions from the "MenuItem" list or the
    // item's title; empty when there is none, and the fixed set is shown instead.
    static std::vector<Button> describedButtons(const ToolbarDescription::Description& d,
                                                const platform::TextLookup& texts);

    // Buttons of the given widths (with their texts) laid out `gap` apart from the
    // left; when the last would pass the panel's right edge, icons alone.
    static Layout layout(const std::vector<int>& widths, const std::vector<bool>& hidden,
                         int panelWidth, int gap = kGap);

    // The command a press posts; the Send button's drop-down item gives batch send.
    static int commandOf(const Button& button, bool dropDownItem = false);
    // F12 in the panel.
    static constexpr int kF12Command = IDM_TOOL_TEST;
    // A command that reaches the panel: posted on to the main window as this id.
    static std::optional<int> forwarded(int id);
};
