// gui_support.h - helpers for the in-process GUI tests: a recorder that
// catches message boxes, pixel read-back, and the main window's fixture.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// One message box as the user would have seen it.
struct BoxRecord {
    std::string caption;
    std::string text;
    UINT icon;  // MB_ICONWARNING, MB_ICONINFORMATION, or 0 when none was recognised
};

// While alive, records every message box that this thread shows (through a
// thread-local WH_CBT hook) and dismisses it with OK.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;
    const std::vector<BoxRecord>& boxes() const { return boxes_; }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_;
    std::vector<BoxRecord> boxes_;
    std::vector<HWND> seen_;
};

// Pixels of a width x height area, top row first, as 0xRRGGBB.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
    uint32_t at(int x, int y) const { return data[static_cast<size_t>(y) * width + x]; }
};

// 0xRRGGBB of a COLORREF.
uint32_t Rgb(COLORREF colour);

// Reads back a bitmap as 32-bit top-down pixels.
Pixels ReadBitmap(HDC hdc, HBITMAP bitmap, int width, int height);

// Lets the main window erase (that is, paint) into a fresh memory DC of the
// given size, whose pixels start as fill; clip (if given) limits the painting.
Pixels EraseIntoMemory(HWND hwnd, int width, int height, uint32_t fill, const RECT* clip = nullptr);

// Copies the window's client area from its own device context.
Pixels ReadClientArea(HWND hwnd);

// A device-dependent bitmap whose pixel (x, y) is PatternColour(x, y).
HBITMAP MakePatternBitmap(int width, int height);
uint32_t PatternColour(int x, int y);

// Rectangle of a child window in its parent's client coordinates.
RECT ChildRect(HWND child);

// Processes pending messages of this thread, keeping a posted WM_QUIT and
// returning true (with its code) if one was seen.
bool PumpMessages(int* quitCode = nullptr);

// Every test starts with the viewer's globals zeroed, as at process start,
// the window class registered and a fresh main window; it ends with the
// window destroyed and the quit message it posts drained.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Resize(UINT width, UINT height);   // sends WM_SIZE with that client size
    void Command(WORD id, WORD code = 0, HWND control = nullptr);
    UINT PopupItemState(int position, UINT command);  // after WM_INITMENUPOPUP for that popup
    int StatusBarHeight() const;
    HWND hwnd_ = nullptr;
};

// Zeroes the viewer's globals and makes sure that the window class exists.
void ResetViewerState();
