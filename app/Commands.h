#pragma once

#include <cstdint>

// Command ids of the menus, the toolbar panel and the buttons, and the window
// messages the main window takes from its dialogs and workers. The numbers are
// those of the program's resource tables and stay as they are.

inline constexpr int IDOK = 1;

inline constexpr int IDM_FILE_OPEN = 32784;
inline constexpr int IDM_FILE_SAVE = 32785;
inline constexpr int IDM_FILE_SAVEAS = 32786;
inline constexpr int IDM_FILE_SEND = 32787;
inline constexpr int IDM_FILE_EXIT = 32788;
inline constexpr int IDM_SETTING_LED = 32790;  // no action
inline constexpr int IDM_SETTING_HID = 32791;  // no action
inline constexpr int IDM_HELP_ABOUT = 32792;
inline constexpr int IDM_HELP_UPDATA = 32793;
inline constexpr int IDM_FILE_NEW_LED = 32796;
inline constexpr int IDM_FILE_NEW_PROGRAM = 32798;
// Ours: an empty project in place of the open one (Open adds to it).
inline constexpr int ID_FILE_NEW_PROJECT = 32860;
inline constexpr int IDM_EDIT_DELETE_LED = 32802;
inline constexpr int IDM_EDIT_DELETE_PROGRAM = 32803;
inline constexpr int IDM_TOOL_TEST = 32805;
inline constexpr int IDM_TOOL_UPDATE_IMAGES = 32815;  // no action
inline constexpr int IDM_TOOL_CUSTOM_IMAGES = 32818;
inline constexpr int IDM_TOOL_CUSTOM_TOOLBAR = 32820;
inline constexpr int IDM_TOOL_TEMPERATURE_CORRECTION = 32824;  // no action
inline constexpr int ID_UPDATE_FIRMWARE = 32826;
inline constexpr int ID_PICTURE_SETTINGS = 32827;
inline constexpr int ID_TREE_MOVE_UP = 32830;
inline constexpr int ID_TREE_MOVE_DOWN = 32832;
inline constexpr int ID_TREE_DELETE = 32833;
inline constexpr int ID_TREE_RENAME = 32835;
inline constexpr int ID_SYSTEM_SETTINGS = 32837;
inline constexpr int ID_OPEN_DATA_FOLDER = 32839;
inline constexpr int IDM_TOOL_PREVIEW = 32840;
inline constexpr int ID_IMAGE_EDITOR = 32841;
inline constexpr int ID_BATCH_FIRMWARE = 32843;
inline constexpr int ID_BATCH_SEND = 32847;
inline constexpr int ID_SCREEN_SETTINGS = 32849;
inline constexpr int ID_UNKNOWN_COMMAND = 54272;

inline constexpr int ID_LANGUAGE_FIRST = 3072;  // + n, up to 4072
inline constexpr int ID_LANGUAGE_LAST = 4072;
inline constexpr int ID_RECENT_FIRST = 5120;  // + n, up to 5140
inline constexpr int ID_RECENT_LAST = 5140;

// Controls of the main window.
inline constexpr int IDC_PROGRESS = 1002;
inline constexpr int IDC_SEND = 1003;
inline constexpr int IDC_PREVIEW = 1004;
inline constexpr int IDC_TREE = 1030;
inline constexpr int IDC_CONTENT = 1031;

// Window messages.
inline constexpr uint32_t MSG_TEST_PATTERN = 0x0800;  // + k, k = 0 … 4
inline constexpr uint32_t MSG_SEND_ANIMATIONS = 0x0805;
inline constexpr uint32_t MSG_QUERY_GEOMETRY = 0x0806;
inline constexpr uint32_t MSG_RELOAD_ANIMATIONS = 0x0807;
inline constexpr uint32_t MSG_SEND_COMMAND_BYTE = 0x0808;
inline constexpr uint32_t MSG_FIRMWARE_READY = 0x0809;

// Timers of the main window; the link protocol starts its own (101, 102,
// 10001), named in device/LinkProtocol.h.
inline constexpr int TIMER_START_UPDATE = 1234;
inline constexpr int TIMER_PREVIEW_REFRESH = 10086;
// Ours: the progress bar goes back to empty a while after a send.
inline constexpr int TIMER_CLEAR_PROGRESS = 10090;
