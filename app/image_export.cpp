// image_export.cpp - Copy Image and Save Image As. Both decode the selected
// resource afresh, bottom-up, as the clipboard and bitmap files want it.
#include "app/viewer.h"

#include "bitmap/bitmap_file.h"

namespace {

// WriteToFile
//     The bitmap file's writer: a short write is a failed one.
bool WriteToFile(void* context, const void* bytes, uint32_t count)
{
    DWORD written = 0;
    return WriteFile(static_cast<HANDLE>(context), bytes, count, &written, nullptr) && written == count;
}

}  // namespace

// CopyImageToClipboard
//     The block itself becomes the CF_DIB item. Clipboard failures are
//     silent; whatever the clipboard did not take is freed.
void CopyImageToClipboard(HWND hwnd)
{
    BitmapBuffer bitmap;
    if (!DecodeSelectedImage(true, &bitmap)) {
        ShowWarning(hwnd, "The image cannot be read.");
        return;
    }
    GlobalUnlock(bitmap.handle);
    bool taken = false;
    if (OpenClipboard(hwnd)) {
        if (EmptyClipboard())
            taken = SetClipboardData(CF_DIB, bitmap.handle) != nullptr;
        CloseClipboard();
    }
    if (!taken)
        GlobalFree(bitmap.handle);
}

// SaveImageAs
//     Nothing is decoded until a name is chosen. A file that cannot be
//     written whole is not left behind half written.
void SaveImageAs(HWND hwnd)
{
    char path[MAX_PATH];
    path[0] = '\0';
    if (!ShowSaveDialog(hwnd, path))
        return;
    BitmapBuffer bitmap;
    if (!DecodeSelectedImage(true, &bitmap)) {
        ShowWarning(hwnd, "The image cannot be read.");
        return;
    }

    const char* failure = nullptr;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failure = "The file cannot be opened.";
    } else {
        bool written = WriteBitmapFile(&bitmap, WriteToFile, file);
        // Only a file on disk is ours to delete: a device such as a full
        // disk's stand-in must outlive a failed write to it.
        const bool onDisk = GetFileType(file) == FILE_TYPE_DISK;
        if (!CloseHandle(file))
            written = false;
        if (!written) {
            if (onDisk)
                DeleteFileA(path);
            failure = "The file cannot be written.";
        }
    }
    ReleaseBitmap(&bitmap);
    if (failure != nullptr)
        ShowWarning(hwnd, failure);
}

// ShowSaveDialog
//     Asks before replacing a file, and only for names in existing folders.
BOOL ShowSaveDialog(HWND owner, char* path)
{
    OPENFILENAMEA dialog;
    FileDialogRecord(&dialog, owner, path, "Windows Bitmap (*.bmp)\0*.bmp\0", "Save Image As",
                     OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST, "bmp");
    return GetSaveFileNameA(&dialog);
}
