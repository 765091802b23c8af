// image_export.cpp - Copy Image and Save Image As.
#include "app/image_export.h"

#include "app/archive_browser.h"
#include "app/file_dialogs.h"
#include "app/messages.h"
#include "imagefile/bmp_writer.h"
#include "bitmap/block.h"

namespace {

// WriteToFile
//     The bitmap file's writer: a short write is a failed one.
bool WriteToFile(void* context, const void* bytes, size_t count)
{
    DWORD written = 0;
    return WriteFile(static_cast<HANDLE>(context), bytes, static_cast<DWORD>(count), &written, nullptr) &&
           written == count;
}

}  // namespace

void CopyImageToClipboard(HWND hwnd)
{
    BitmapBuffer bitmap;
    if (!DecodeSelectedImage(true, &bitmap)) {
        ShowWarning(hwnd, MESSAGE_CANNOT_READ);
        return;
    }
    // The clipboard takes the block unlocked.
    UnlockBlock(bitmap.handle);
    bool taken = false;
    if (OpenClipboard(hwnd)) {
        if (EmptyClipboard())
            taken = SetClipboardData(CF_DIB, bitmap.handle) != nullptr;
        CloseClipboard();
    }
    if (!taken)
        FreeBlock(bitmap.handle);
}

void SaveImageAs(HWND hwnd)
{
    char path[MAX_PATH];
    path[0] = '\0';
    if (!ShowSaveDialog(hwnd, path))
        return;
    BitmapBuffer bitmap;
    if (!DecodeSelectedImage(true, &bitmap)) {
        ShowWarning(hwnd, MESSAGE_CANNOT_READ);
        return;
    }

    const char* failure = nullptr;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failure = MESSAGE_CANNOT_OPEN;
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
            failure = MESSAGE_CANNOT_WRITE;
        }
    }
    ReleaseBitmap(&bitmap);
    if (failure != nullptr)
        ShowWarning(hwnd, failure);
}
