// viewer.h - the viewer application's globals and the functions its modules
// share: start-up, the main window, and the entry points of the archive
// browser, image export and drop target.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <stdint.h>

#include "app/resource.h"
#include "bitmap/bitmap.h"

// Caption of every message box, and the main window's title.
#define PRODUCT_NAME "Velder Image Viewer"

// Class name of the main window.
#define MAIN_WINDOW_CLASS "VelderImage"

// ---- Start-up and shutdown (startup.cpp, entry.cpp, viewer_main.cpp) ----

typedef int (*InitRoutine)(void);   // static initialiser; its result is not read
typedef void (*ExitRoutine)(void);  // run once at process exit

const int kMaxExitRoutines = 64;

extern HINSTANCE g_hInstance;                           // this program's module
extern const InitRoutine g_initRoutines[2];             // static initialisers, first to last
extern ExitRoutine g_exitRoutines[kMaxExitRoutines];    // exit routines, bottom at index 0
extern ExitRoutine* g_exitRoutineTop;                   // next free slot of g_exitRoutines

// ProgramEntry
//     The process entry point: initialisers, ViewerMain, exit routines, ExitProcess.
extern "C" void __stdcall ProgramEntry(void);

// RunInitRoutines
//     Empties the exit stack, then calls every non-null initialiser in order.
void RunInitRoutines(void);

// RunExitRoutines
//     Pops and runs the exit routines, the last registered first.
void RunExitRoutines(void);

// RegisterExitRoutine
//     Pushes routine on the exit stack: 0, or non-zero when the stack is full.
int RegisterExitRoutine(ExitRoutine routine);

// RegisterArchiveCleanup
//     The static initialiser: registers ReleaseArchiveAtExit.
int RegisterArchiveCleanup(void);

// ReleaseArchiveAtExit
//     Unmaps the archive that is still open, if any.
void ReleaseArchiveAtExit(void);

// ViewerMain
//     Sets up OLE, the controls and the main window, runs the message loop;
//     returns the exit code (the quit code, or 1 without a window).
int ViewerMain(void);

// RegisterMainWindowClass
//     Registers the class "VelderImage"; returns its atom, 0 on failure.
ATOM RegisterMainWindowClass(void);

// CreateMainWindow
//     Creates the visible main window of the class atom; null on failure.
HWND CreateMainWindow(ATOM windowClass);

// ---- Main window (main_window.cpp) ----

extern HWND g_hwndList;          // the list box of the archive's images
extern HWND g_hwndStatus;        // the status bar
extern HBITMAP g_hbmImage;       // the displayed image, owned by the main window; null if none
extern int32_t g_listWidth;      // current width of the list box, in pixels
extern bool g_blackBackground;   // paint the background black instead of button face

// Layout constants: the area right of the list is this wide once the client
// area is wide enough; the list is never narrower than the minimum; the image
// sits this far from the list and from the top.
const int32_t kImageAreaWidth = 624;
const int32_t kMinListWidth = 96;
const int kImageMargin = 8;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void OnCreate(HWND hwnd);
void OnDestroy(HWND hwnd);
void OnSize(HWND hwnd, UINT width, UINT height);
void OnEraseBackground(HDC hdc);
void OnInitMenuPopup(HMENU menu, UINT position);
void OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam);
void OnOpenArchive(HWND hwnd, const char* path);
LRESULT CALLBACK FilterPostedOpenArchive(int code, WPARAM wParam, LPARAM lParam);

// ToggleBlackBackground
//     Flips the background colour, its check mark, and repaints.
void ToggleBlackBackground(HWND hwnd);

// ShowAbout
//     The About box.
void ShowAbout(HWND hwnd);

// ShowWarning, ShowInfo
//     An OK message box with the warning or information icon.
void ShowWarning(HWND owner, const char* text);
void ShowInfo(HWND owner, const char* text);

// ClearStatusText
//     Empties the status bar.
void ClearStatusText(void);

// RepaintWindow
//     Invalidates the whole client area, with erasing (all drawing happens there).
void RepaintWindow(HWND hwnd);

// SetMenuCheck
//     Checks or unchecks a command in the menu bar's popup at position.
void SetMenuCheck(HWND hwnd, int position, UINT command, bool checked);

// ---- Archive browser (archive_browser.cpp) ----

extern char g_openPath[MAX_PATH];  // the path last chosen in the Open dialog

// OpenArchive
//     The one way an archive is opened: drops what is open, maps and checks
//     the file, lists its images and titles the window. Failures end in a box.
void OpenArchive(HWND hwnd, const char* path);

// BrowseAndOpenArchive
//     The Open command: the Open dialog, then OpenArchive unless cancelled.
void BrowseAndOpenArchive(HWND hwnd);

// ShowOpenDialog
//     The Open dialog on path (MAX_PATH bytes, kept from the last time);
//     nonzero when the user chose a file.
BOOL ShowOpenDialog(HWND owner, char* path);

// FileDialogRecord
//     The record both file dialogs use: the older 76-byte layout, one filter
//     pair, the caller's MAX_PATH buffer; every other member zero.
void FileDialogRecord(OPENFILENAMEA* dialog, HWND owner, char* path, const char* filter, const char* title,
                      DWORD flags, const char* defaultExtension);

// OpenCommandLineArchive
//     Opens the archive named by the first command-line argument, if any.
void OpenCommandLineArchive(HWND hwnd);

// NextCommandLineToken
//     Cuts the next token out of the command line in place; *token gets its
//     start (an empty string when there is none). Returns where to go on.
char* NextCommandLineToken(char* position, char** token);

// ReserveListItems, AddListItem
//     The enumeration's callbacks: storage for count lines, then one line
//     per resource (its name, or "[ID]") carrying its ListItemKey.
void ReserveListItems(unsigned count);
void AddListItem(uint16_t id, uint16_t index, const char* name);

// ListItemKey
//     A line's item data: resource ID in the high half, file-table index in
//     the low half.
inline uint32_t ListItemKey(uint16_t id, uint16_t index)
{
    return (static_cast<uint32_t>(id) << 16) | index;
}

// ShowSelectedImage
//     Decodes the selected line and makes it the displayed image.
void ShowSelectedImage(HWND hwnd);

// DecodeSelectedImage
//     Decodes the selected line's resource; false with nothing allocated when
//     no archive is open, no line is selected or the resource is unreadable.
bool DecodeSelectedImage(bool bottomUp, BitmapBuffer* buffer);

// ---- Image export (image_export.cpp) ----

// CopyImageToClipboard
//     Puts the selected image on the clipboard as CF_DIB.
void CopyImageToClipboard(HWND hwnd);

// SaveImageAs
//     Asks for a file name and writes the selected image as a bitmap file.
void SaveImageAs(HWND hwnd);

// ShowSaveDialog
//     The Save As dialog on path (MAX_PATH bytes); nonzero when a name was chosen.
BOOL ShowSaveDialog(HWND owner, char* path);
