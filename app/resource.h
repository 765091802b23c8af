// resource.h - every identifier shared by the code and the resource script:
// resources, menu and accelerator commands, child controls, private messages.
// Only #defines, so that windres can read it too.
#pragma once

// Resources: menu, accelerators, icon group, manifest and version block.
#define IDR_MAINFRAME 1

// Commands of the menu and the accelerators.
#define IDM_OPEN 101
#define IDM_SAVEAS 102
#define IDM_EXIT 103
#define IDM_COPY 104
#define IDM_BLACKBG 107
#define IDM_ABOUT 109

// Child controls of the main window.
#define IDC_IMAGELIST 100
#define IDC_STATUSBAR 101

// Private message: open the archive whose zero-terminated path is in lParam.
// Always sent, never posted, so the sender's buffer outlives the open.
#define WM_OPENARCHIVE (WM_USER + 2)

// Popup positions in the menu bar.
#define MENU_POS_FILE 0
#define MENU_POS_EDIT 1
#define MENU_POS_VIEW 2
#define MENU_POS_HELP 3
