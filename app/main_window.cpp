// main_window.cpp - the main window: its two child controls and their
// layout, the displayed image, painting and menu states.
#include "app/main_window.h"

#include <commctrl.h>
#include <ole2.h>

HWND g_hwndList;
HWND g_hwndStatus;
HBITMAP g_hbmImage;
int32_t g_listWidth;
bool g_blackBackground;

namespace {

// Removes WM_OPENARCHIVE posted to the main window; set while the main window exists.
HHOOK s_openArchiveFilter;
HWND s_filteredWindow;

// Every message loop of this thread, modal ones included, gets WM_NULL in
// place of a WM_OPENARCHIVE posted to the main window. Other windows of the
// thread (dialogs, the status bar) use the same number for messages of
// their own, which pass untouched.
LRESULT CALLBACK FilterPostedOpenArchive(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && message->message == WM_OPENARCHIVE && message->hwnd == s_filteredWindow)
        message->message = WM_NULL;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void OnCreate(HWND hwnd, HINSTANCE instance)
{
    // Before anything can run a message loop: the command-line open that
    // follows may show a message box.
    s_filteredWindow = hwnd;
    s_openArchiveFilter = SetWindowsHookExA(WH_GETMESSAGE, FilterPostedOpenArchive, nullptr, GetCurrentThreadId());

    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);

    g_hwndList = CreateWindowExA(0, "ListBox", nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                                     LBS_DISABLENOSCROLL,
                                 0, 0, 0, 0, hwnd, reinterpret_cast<HMENU>(IDC_IMAGELIST), instance, nullptr);
    SendMessageA(g_hwndList, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    g_hwndStatus = CreateWindowExA(0, STATUSCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                   hwnd, reinterpret_cast<HMENU>(IDC_STATUSBAR), instance, nullptr);
    SendMessageA(g_hwndStatus, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void OnDestroy(HWND hwnd)
{
    // Fails harmlessly when nothing was registered.
    RevokeDragDrop(hwnd);
    if (s_openArchiveFilter != nullptr) {
        UnhookWindowsHookEx(s_openArchiveFilter);
        s_openArchiveFilter = nullptr;
        s_filteredWindow = nullptr;
    }
    SetDisplayedImage(nullptr);
    PostQuitMessage(0);
}

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

void OnInitMenuPopup(HMENU menu, UINT position)
{
    UINT state = g_hbmImage == nullptr ? MF_GRAYED : MF_ENABLED;
    if (position == MENU_POS_FILE)
        EnableMenuItem(menu, IDM_SAVEAS, MF_BYCOMMAND | state);
    else if (position == MENU_POS_EDIT)
        EnableMenuItem(menu, IDM_COPY, MF_BYCOMMAND | state);
}

void SetDisplayedImage(HBITMAP image)
{
    if (g_hbmImage != nullptr)
        DeleteObject(g_hbmImage);
    g_hbmImage = image;
}

void ToggleBlackBackground(HWND hwnd)
{
    g_blackBackground = !g_blackBackground;
    SetMenuCheck(hwnd, MENU_POS_VIEW, IDM_BLACKBG, g_blackBackground);
    RepaintWindow(hwnd);
}

void RepaintWindow(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, TRUE);
}

void SetMenuCheck(HWND hwnd, int position, UINT command, bool checked)
{
    // Addressed by its command inside the popup at position.
    CheckMenuItem(GetSubMenu(GetMenu(hwnd), position), command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}
