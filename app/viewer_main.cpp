// viewer_main.cpp - the main routine: OLE and common controls, the window
// class and its procedure, the main window, the drop target and the message
// loop.
#include "app/startup.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/archive_browser.h"
#include "app/drop_target.h"
#include "app/image_export.h"
#include "app/main_window.h"
#include "app/messages.h"

HINSTANCE g_hInstance;

namespace {

// The About box's text: product, version, an empty line, notice and contact.
const char kAboutText[] =
    PRODUCT_NAME "\n"
    "Version " PRODUCT_VERSION "\n"
    "\n"
    PRODUCT_COPYRIGHT "\n"
    "Contact: support@velder.example";

// OnOpenArchive
//     The path is an address in the sender's process and is good only for a
//     send from this thread (the drop target's). A send from another thread
//     or process is ignored; posted copies never get here (the main window
//     filters them out).
void OnOpenArchive(HWND hwnd, const char* path)
{
    if (!InSendMessage())
        OpenArchive(hwnd, path);
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
        ShowInfo(hwnd, kAboutText);
        break;
    }
}

// MainWindowProc
//     One handler per message; the rest goes to the default handling.
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd, reinterpret_cast<const CREATESTRUCTA*>(lParam)->hInstance);
        OpenCommandLineArchive(hwnd);
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

}  // namespace

ATOM RegisterMainWindowClass(void)
{
    HICON icon = static_cast<HICON>(
        LoadImageA(g_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    HICON smallIcon = static_cast<HICON>(
        LoadImageA(g_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));

    WNDCLASSEXA windowClass;
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = g_hInstance;
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINFRAME);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    windowClass.hIconSm = smallIcon;
    return RegisterClassExA(&windowClass);
}

HWND CreateMainWindow(ATOM windowClass)
{
    return CreateWindowExA(0, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(windowClass)), PRODUCT_NAME,
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, g_hInstance, nullptr);
}

int ViewerMain(void)
{
    g_hInstance = GetModuleHandleA(nullptr);
    // Without OLE the program still runs; it just takes no drops.
    HRESULT oleResult = OleInitialize(nullptr);

    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);

    int result = 1;
    // Kept until OLE is shut down: the window's destruction withdraws the
    // registration, but OLE may hold on to the object until then.
    DropTarget dropTarget;
    HWND hwnd = CreateMainWindow(RegisterMainWindowClass());
    if (hwnd != nullptr) {
        CreateDropTarget(&dropTarget, hwnd);
        // Without the registration the window simply takes no drops.
        RegisterDragDrop(hwnd, DropTargetInterface(&dropTarget));

        HACCEL accelerators = LoadAcceleratorsA(g_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME));
        MSG message;
        // Accelerators are translated for the main window whatever window
        // the message is for, so they also work while the list has the focus.
        while (GetMessageA(&message, nullptr, 0, 0)) {
            if (!TranslateAcceleratorA(hwnd, accelerators, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        result = static_cast<int>(message.wParam);
        ReleaseDropTarget(&dropTarget);
    }

    if (SUCCEEDED(oleResult))
        OleUninitialize();
    return result;
}
