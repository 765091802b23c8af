// image_export.cpp - copying the selected image to the clipboard and saving
// it as a bitmap file. Not written yet: both commands do nothing.
#include "app/viewer.h"

void CopyImageToClipboard(HWND) {}

void SaveImageAs(HWND) {}
