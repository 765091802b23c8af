// file_dialogs.h - the Open and Save As dialogs. Both use the older 76-byte
// record, so that they look the same on every system.
#pragma once

#include <windows.h>

// ShowOpenDialog
//     The Open dialog for archives on path (MAX_PATH bytes); path is not
//     emptied first, so the dialog starts from the last choice. Nonzero when
//     the user chose a file.
BOOL ShowOpenDialog(HWND owner, char* path);

// ShowSaveDialog
//     The Save As dialog for bitmap files on path (MAX_PATH bytes). Asks
//     before replacing a file, and takes only names in existing folders.
//     Nonzero when a name was chosen.
BOOL ShowSaveDialog(HWND owner, char* path);
