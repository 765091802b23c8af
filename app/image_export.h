// image_export.h - Copy Image and Save Image As. Both decode the selected
// resource afresh, bottom-up, as the clipboard and bitmap files want it.
#pragma once

#include <windows.h>

// CopyImageToClipboard
//     Puts the selected image on the clipboard as CF_DIB: the decoded block
//     itself becomes the item. Clipboard failures are silent; whatever the
//     clipboard did not take is freed.
void CopyImageToClipboard(HWND hwnd);

// SaveImageAs
//     Asks for a file name, then writes the selected image as a bitmap
//     file. Nothing is decoded until a name is chosen, and a file that
//     cannot be written whole is not left behind half written.
void SaveImageAs(HWND hwnd);
