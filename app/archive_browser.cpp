// archive_browser.cpp - opening archives, listing their images and showing
// the selected one. Not written yet: every entry point does nothing, so the
// window runs with an empty list.
#include "app/viewer.h"

void OpenArchive(HWND, const char*) {}

void BrowseAndOpenArchive(HWND) {}

void OpenCommandLineArchive(HWND) {}

void ShowSelectedImage(HWND) {}

bool DecodeSelectedImage(bool, BitmapBuffer*)
{
    return false;
}
