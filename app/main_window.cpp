// main_window.cpp - the main window: its two child controls and their
// layout, painting, menu states and the command dispatch.
#include "app/viewer.h"

#include <commctrl.h>
#include <ole2.h>

HWND g_hwndList;          // the list box of the archive's images
HWND g_hwndStatus;        // the status bar
HBITMAP g_hbmImage;       // the displayed image, owned here; null when none is shown
int32_t g_listWidth;      // current width of the list box, in pixels
bool g_blackBackground;   // paint the background black instead of button face

// Removes posted WM_OPENARCHIVE messages on this thread; set while the main window exists.
static HHOOK g_openArchiveFilter;

// The About box's text: product, version, an empty line, notice and contact.
static const char kAboutText[] =
    PRODUCT_NAME "\n"
    "Version 1.0.0\n"
    "\n"
    "Copyright (C) Velder Software. All rights reserved.\n"
    "Contact: support@velder.example";

// MainWindowProc
//     One handler per message; the rest goes to the default handling.
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_DESTROY:
        OnDestroy(hwnd);
        return 0;
    case WM_SIZE:
        OnSize(hwnd, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        SetFocus(g_hwndList);
        return 0;
    case WM_ERASEBKGND:
        OnEraseBackground(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_COMMAND:
        OnCommand(hwnd, wParam, lParam);
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam));
        return 0;
    case WM_OPENARCHIVE:
        OnOpenArchive(hwnd, reinterpret_cast<const char*>(lParam));
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// OnCreate
//     Creates the list box and the status bar, then opens the archive named
//     on the command line. Their size comes with the first WM_SIZE.
void OnCreate(HWND hwnd)
{
    // Before anything can run a message loop: the command-line open may
    // show a message box.
    g_openArchiveFilter = SetWindowsHookExA(WH_GETMESSAGE, FilterPostedOpenArchive, nullptr, GetCurrentThreadId());

    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);

    g_hwndList = CreateWindowExA(0, "ListBox", nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                                     LBS_DISABLENOSCROLL,
                                 0, 0, 0, 0, hwnd, reinterpret_cast<HMENU>(IDC_IMAGELIST), g_hInstance, nullptr);
    SendMessageA(g_hwndList, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    g_hwndStatus = CreateWindowExA(0, STATUSCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                   hwnd, reinterpret_cast<HMENU>(IDC_STATUSBAR), g_hInstance, nullptr);
    SendMessageA(g_hwndStatus, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    OpenCommandLineArchive(hwnd);
}

// OnDestroy
//     Withdraws the drop registration, which must not outlive the window,
//     deletes the displayed image and ends the message loop with code 0.
void OnDestroy(HWND hwnd)
{
    // Fails harmlessly when nothing was registered.
    RevokeDragDrop(hwnd);
    if (g_openArchiveFilter != nullptr) {
        UnhookWindowsHookEx(g_openArchiveFilter);
        g_openArchiveFilter = nullptr;
    }
    if (g_hbmImage != nullptr) {
        DeleteObject(g_hbmImage);
        g_hbmImage = nullptr;
    }
    PostQuitMessage(0);
}

// OnOpenArchive
//     The path is an address in the sender's process and is good only for a
//     send from this thread (the drop target's). A send from another thread
//     or process is ignored; posted copies never get here.
void OnOpenArchive(HWND hwnd, const char* path)
{
    if (!InSendMessage())
        OpenArchive(hwnd, path);
}

// FilterPostedOpenArchive
//     WM_OPENARCHIVE is only ever sent. A posted one would be dispatched like
//     a send from this thread, its lParam an address of whoever posted it:
//     every message loop of this thread, modal ones included, gets WM_NULL
//     in its place.
LRESULT CALLBACK FilterPostedOpenArchive(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && message->message == WM_OPENARCHIVE)
        message->message = WM_NULL;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// OnSize
//     Status bar along the bottom, list on the left above it. The image hangs
//     off the list's right edge, so only a change of the list's width
//     repaints the whole client area.
void OnSize(HWND hwnd, UINT width, UINT height)
{
    SendMessageA(g_hwndStatus, WM_SIZE, 0, 0);
    RECT statusRect;
    GetWindowRect(g_hwndStatus, &statusRect);
    int32_t statusHeight = statusRect.bottom - statusRect.top;

    int32_t listWidth = static_cast<int32_t>(width) - kImageAreaWidth;
    if (listWidth < kMinListWidth)
        listWidth = kMinListWidth;
    if (listWidth != g_listWidth) {
        g_listWidth = listWidth;
        RepaintWindow(hwnd);
    }

    int32_t listHeight = static_cast<int32_t>(height) - statusHeight;
    if (listHeight < 0)
        listHeight = 0;
    MoveWindow(g_hwndList, 0, 0, listWidth, listHeight, TRUE);
}

// OnEraseBackground
//     All of the window's drawing, on any device context: the image at its
//     place, then the background over what the clip region leaves.
void OnEraseBackground(HDC hdc)
{
    BITMAP bitmap;
    if (g_hbmImage != nullptr && GetObjectA(g_hbmImage, sizeof bitmap, &bitmap) == sizeof bitmap) {
        int x = g_listWidth + kImageMargin;
        HDC memory = CreateCompatibleDC(hdc);
        HGDIOBJ previous = SelectObject(memory, g_hbmImage);
        BitBlt(hdc, x, kImageMargin, bitmap.bmWidth, bitmap.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
        ExcludeClipRect(hdc, x, kImageMargin, x + bitmap.bmWidth, kImageMargin + bitmap.bmHeight);
    }

    RECT clip;
    GetClipBox(hdc, &clip);
    // Stock and system brushes: neither is ours to delete.
    HBRUSH brush = g_blackBackground ? static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)) : GetSysColorBrush(COLOR_BTNFACE);
    HGDIOBJ previous = SelectObject(hdc, brush);
    PatBlt(hdc, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, PATCOPY);
    SelectObject(hdc, previous);
}

// OnInitMenuPopup
//     Save and Copy need a shown image; their state follows it each time
//     the File or Edit popup opens.
void OnInitMenuPopup(HMENU menu, UINT position)
{
    UINT state = g_hbmImage == nullptr ? MF_GRAYED : MF_ENABLED;
    if (position == MENU_POS_FILE)
        EnableMenuItem(menu, IDM_SAVEAS, MF_BYCOMMAND | state);
    else if (position == MENU_POS_EDIT)
        EnableMenuItem(menu, IDM_COPY, MF_BYCOMMAND | state);
}

// OnCommand
//     List notifications, then menu and accelerator commands; notifications
//     of other controls and unknown commands are ignored.
void OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control != nullptr) {
        if (control == g_hwndList && HIWORD(wParam) == LBN_SELCHANGE)
            ShowSelectedImage(hwnd);
        return;
    }
    switch (LOWORD(wParam)) {
    case IDM_OPEN:
        BrowseAndOpenArchive(hwnd);
        break;
    case IDM_SAVEAS:
        SaveImageAs(hwnd);
        break;
    case IDM_EXIT:
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
    case IDM_COPY:
        CopyImageToClipboard(hwnd);
        break;
    case IDM_BLACKBG:
        ToggleBlackBackground(hwnd);
        break;
    case IDM_ABOUT:
        ShowAbout(hwnd);
        break;
    }
}

// ToggleBlackBackground
//     The check mark shows exactly while the background is black.
void ToggleBlackBackground(HWND hwnd)
{
    g_blackBackground = !g_blackBackground;
    SetMenuCheck(hwnd, MENU_POS_VIEW, IDM_BLACKBG, g_blackBackground);
    RepaintWindow(hwnd);
}

// ShowAbout
//     The About box is an information message box.
void ShowAbout(HWND hwnd)
{
    ShowInfo(hwnd, kAboutText);
}

// ShowWarning
//     Every failure that the user sees.
void ShowWarning(HWND owner, const char* text)
{
    MessageBoxA(owner, text, PRODUCT_NAME, MB_OK | MB_ICONWARNING);
}

// ShowInfo
//     Notices and the About box.
void ShowInfo(HWND owner, const char* text)
{
    MessageBoxA(owner, text, PRODUCT_NAME, MB_OK | MB_ICONINFORMATION);
}

// ClearStatusText
//     A null text leaves part 0 of the status bar empty.
void ClearStatusText(void)
{
    SendMessageA(g_hwndStatus, SB_SETTEXTA, 0, 0);
}

// RepaintWindow
//     Erasing is where everything is drawn, so always ask for it.
void RepaintWindow(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, TRUE);
}

// SetMenuCheck
//     Addresses the item by its command inside the popup at position.
void SetMenuCheck(HWND hwnd, int position, UINT command, bool checked)
{
    CheckMenuItem(GetSubMenu(GetMenu(hwnd), position), command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}
