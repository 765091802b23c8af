// main_window.h - the main window's state and drawing: its two child
// controls and their layout, the displayed image, painting, menu states and
// the background colour. It calls no other module of the viewer; the
// window procedure (viewer_main.cpp) routes messages and commands to it.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "app/resource.h"

// Class name of the main window.
#define MAIN_WINDOW_CLASS "VelderImage"

extern HWND g_hwndList;          // the list box of the archive's images
extern HWND g_hwndStatus;        // the status bar
extern HBITMAP g_hbmImage;       // the displayed image, or null; changed only by SetDisplayedImage
extern int32_t g_listWidth;      // current width of the list box, in pixels
extern bool g_blackBackground;   // paint the background black instead of button face

// Layout constants: the area right of the list is this wide once the client
// area is wide enough; the list is never narrower than the minimum; the image
// sits this far from the list and from the top.
const int32_t kImageAreaWidth = 624;
const int32_t kMinListWidth = 96;
const int kImageMargin = 8;

// OnCreate
//     Creates the list box and the status bar of module instance; their size
//     comes with the first WM_SIZE. Also installs the filter that turns
//     WM_OPENARCHIVE posted to this window into WM_NULL (see resource.h): a
//     posted one would be dispatched like a send from this thread, its
//     lParam an address of whoever posted it.
void OnCreate(HWND hwnd, HINSTANCE instance);

// OnDestroy
//     Withdraws the drop registration, which must not outlive the window,
//     removes the filter, deletes the displayed image and ends the message
//     loop with code 0.
void OnDestroy(HWND hwnd);

// OnSize
//     Status bar along the bottom, list on the left above it. The image
//     hangs off the list's right edge, so only a change of the list's width
//     repaints the whole client area.
void OnSize(HWND hwnd, UINT width, UINT height);

// OnEraseBackground
//     All of the window's drawing, on any device context: the image at its
//     place, then the background over what the clip region leaves.
void OnEraseBackground(HDC hdc);

// OnInitMenuPopup
//     Save and Copy need a shown image; their state follows it each time
//     the File or Edit popup opens.
void OnInitMenuPopup(HMENU menu, UINT position);

// SetDisplayedImage
//     The one way the displayed image changes: deletes the one shown and
//     keeps image (null: none) in its place. Repainting is the caller's.
void SetDisplayedImage(HBITMAP image);

// ToggleBlackBackground
//     Flips the background colour and its check mark (shown exactly while
//     the background is black), and repaints.
void ToggleBlackBackground(HWND hwnd);

// RepaintWindow
//     Invalidates the whole client area, with erasing: all drawing happens
//     there.
void RepaintWindow(HWND hwnd);

// SetMenuCheck
//     Checks or unchecks command in the menu bar's popup at position.
void SetMenuCheck(HWND hwnd, int position, UINT command, bool checked);
