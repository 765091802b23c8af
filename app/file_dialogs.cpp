// file_dialogs.cpp - the Open and Save As dialogs, on one record layout.
#include "app/file_dialogs.h"

#include <commdlg.h>
#include <string.h>

namespace {

// FileDialogRecord
//     The record both dialogs use: the older 76-byte layout, one filter
//     pair, the caller's MAX_PATH buffer. Zeroed first: no instance, custom
//     filter, file title, initial folder, hook or template.
void FileDialogRecord(OPENFILENAMEA* dialog, HWND owner, char* path, const char* filter, const char* title,
                      DWORD flags, const char* defaultExtension)
{
    memset(dialog, 0, sizeof *dialog);
    dialog->lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog->hwndOwner = owner;
    dialog->lpstrFilter = filter;
    dialog->nFilterIndex = 1;
    dialog->lpstrFile = path;
    dialog->nMaxFile = MAX_PATH;
    dialog->lpstrTitle = title;
    dialog->Flags = flags;
    dialog->lpstrDefExt = defaultExtension;
}

}  // namespace

BOOL ShowOpenDialog(HWND owner, char* path)
{
    OPENFILENAMEA dialog;
    FileDialogRecord(&dialog, owner, path, "Mohawk Archives (*.mhk)\0*.mhk\0", "Open Archive",
                     OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, "mhk");
    return GetOpenFileNameA(&dialog);
}

BOOL ShowSaveDialog(HWND owner, char* path)
{
    OPENFILENAMEA dialog;
    FileDialogRecord(&dialog, owner, path, "Windows Bitmap (*.bmp)\0*.bmp\0", "Save Image As",
                     OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST, "bmp");
    return GetSaveFileNameA(&dialog);
}
