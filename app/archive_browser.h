// archive_browser.h - the open archive: opening it (Open dialog, command
// line, drop), listing its bitmap resources, and decoding and showing the
// selected one.
//
// What is open lives in g_archive, the list box, the displayed image and
// the status bar; the list keeps only numbers that refer back into the
// archive.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "archive/archive.h"
#include "bitmap/bitmap.h"

extern ArchiveView g_archive;      // the viewer's one open archive; base is null when none is
extern char g_openPath[MAX_PATH];  // the path last chosen in the Open dialog; the next one starts there

// OpenArchive
//     The one way an archive is opened, in a fixed order: leave what is
//     open, map, validate, list, title. Each failure settles the state first
//     and shows its box last.
void OpenArchive(HWND hwnd, const char* path);

// BrowseAndOpenArchive
//     The Open command: the Open dialog, then OpenArchive; a cancelled
//     dialog changes nothing.
void BrowseAndOpenArchive(HWND hwnd);

// OpenCommandLineArchive
//     Opens the archive named by the first command-line argument, if any
//     (the first token is the program).
void OpenCommandLineArchive(HWND hwnd);

// NextCommandLineToken
//     Cuts the next token out of the command line in place; *token gets its
//     start (an empty string when there is none). Returns where to go on. A
//     token is quoted (up to the next quote, or the end of the line) or runs
//     up to the next separator (a control byte or space; bytes from 0x80 up
//     are letters). No escapes: a backslash is a byte like any other, and
//     whatever follows a closing quote starts the next token.
char* NextCommandLineToken(char* position, char** token);

// ListItemKey
//     A line's item data: resource ID in the high half, file-table index in
//     the low half.
inline uint32_t ListItemKey(uint16_t id, uint16_t index)
{
    return (static_cast<uint32_t>(id) << 16) | index;
}

// ShowSelectedImage
//     Decodes the selected line top-down, makes it the displayed image with
//     its size in the status bar, and paints it before returning. An
//     unreadable line keeps the image that was shown.
void ShowSelectedImage(HWND hwnd);

// DecodeSelectedImage
//     Decodes the selected line's resource; false with nothing allocated when
//     no archive is open, no line is selected or the resource is unreadable.
bool DecodeSelectedImage(bool bottomUp, BitmapBuffer* buffer);

// ReleaseArchiveAtExit
//     Unmaps the archive that is still open, if any: it stays mapped after
//     the window is gone.
void ReleaseArchiveAtExit(void);
