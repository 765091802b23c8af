// messages.cpp - message boxes and the status bar's text.
#include "app/messages.h"

#include <commctrl.h>

#include "app/main_window.h"

void ShowWarning(HWND owner, const char* text)
{
    MessageBoxA(owner, text, PRODUCT_NAME, MB_OK | MB_ICONWARNING);
}

void ShowInfo(HWND owner, const char* text)
{
    MessageBoxA(owner, text, PRODUCT_NAME, MB_OK | MB_ICONINFORMATION);
}

void SetStatusText(const char* text)
{
    SendMessageA(g_hwndStatus, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void ClearStatusText(void)
{
    SetStatusText(nullptr);
}
