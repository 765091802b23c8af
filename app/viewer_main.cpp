// viewer_main.cpp - the main routine: OLE and common controls, the window
// class, the main window, the drop target and the message loop.
#include "app/viewer.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/drop_target.h"

// This program's module; every resource is loaded from it.
HINSTANCE g_hInstance;

// RegisterMainWindowClass
//     The class has no background brush: the window paints all of its
//     background itself while erasing.
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

// CreateMainWindow
//     Shown by its creation (WS_VISIBLE); WM_CREATE and the first WM_SIZE
//     have run when this returns.
HWND CreateMainWindow(ATOM windowClass)
{
    return CreateWindowExA(0, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(windowClass)), PRODUCT_NAME,
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, g_hInstance, nullptr);
}

// ViewerMain
//     Returns the quit code of the message loop, or 1 when there is no window.
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
