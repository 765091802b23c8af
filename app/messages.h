// messages.h - what the viewer tells the user: message boxes and the
// status bar's text.
#pragma once

#include <windows.h>

// PRODUCT_NAME is the caption of every message box and the main window's
// title; the messages are the texts of the failures the user sees.
#include "common/texts.h"

// ShowWarning
//     An OK box with the warning icon: every failure that the user sees.
void ShowWarning(HWND owner, const char* text);

// ShowInfo
//     An OK box with the information icon: notices and the About box.
void ShowInfo(HWND owner, const char* text);

// SetStatusText
//     Sets part 0 of the status bar; a null text empties it.
void SetStatusText(const char* text);

// ClearStatusText
//     Empties the status bar.
void ClearStatusText(void);
