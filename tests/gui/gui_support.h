// gui_support.h - helpers for the in-process GUI tests: a recorder that
// catches message boxes, pixel read-back, and the main window's fixture.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/texts.h"
#include "tests/support/archive_builder.h"

// The viewer's state as the user sees it. Compared with EXPECT_STATE, a
// difference names its field.
struct ViewerSnapshot {
    std::string title;
    int lines = 0;
    int selected = -1;
    std::string image = "none";  // the displayed image: "none", its size ("5x3"), or "invalid"
    std::string status;
    bool archiveOpen = false;
    bool repaintPending = false;  // the whole client area waits to be repainted (only where asked)
};
testing::AssertionResult SameState(const char*, const char*, const ViewerSnapshot& actual,
                                   const ViewerSnapshot& expected);
#define EXPECT_STATE(actual, expected) EXPECT_PRED_FORMAT2(SameState, actual, expected)

// One message box or dialog as the user would have seen it.
struct BoxRecord {
    std::string caption;
    std::string text;      // a file dialog's: the file name it started with
    UINT icon;             // MB_ICONWARNING, MB_ICONINFORMATION, or 0 when none was recognised
    ViewerSnapshot state;  // what the recorder's snapshot said when the box appeared
};

// While alive, records every message box and dialog that this thread shows
// (through a thread-local WH_CBT hook) and answers it: a file dialog with
// the next queued file name (or cancels it), a yes/no prompt with yes, any
// other box with OK.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;
    const std::vector<BoxRecord>& boxes() const { return boxes_; }
    // The next file dialog gets this name and OK; an empty name cancels it.
    void QueueFileName(const std::string& path) { fileNames_.push_back(path); }
    // Called as each box appears; its result goes to BoxRecord::state.
    ViewerSnapshot (*snapshot)() = nullptr;

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_;
    std::vector<BoxRecord> boxes_;
    std::vector<HWND> seen_;
    std::vector<std::string> fileNames_;
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

// One list line of a test archive: a tBMP resource with its ID and name
// (null: unnamed).
struct ImageLine {
    uint16_t id;
    const char* name;
    Bytes resource;
};

// An archive whose tBMP table lists the lines in order, line i in file
// entry i + 1, plus a resource of another type.
Bytes ImageArchive(const std::vector<ImageLine>& lines);

ViewerSnapshot ViewerState();  // the state now (repaintPending left false)

// ---- Where these tests take Wine's behaviour, which Windows does not share ----
// The Unix file system is drive Z: (FromUnix: this build's mhkbmp.exe); a
// message box's icon is control 0x440 rather than 20 (RecogniseIcon knows
// both).
std::string FromUnix(const char* path);  // the Windows name of an absolute Unix path

// The last component of a path.
std::string Leaf(const std::string& path);

// ViewerState after a successful open of path with that many lines, and
// after a failed one.
ViewerSnapshot OpenState(const std::string& path, int lines);
extern const ViewerSnapshot kEmptyState;

// True when the update region covers the whole client area; true when it
// holds the point (x, y) of the client area.
bool WholeClientInvalid(HWND hwnd);
bool RegionHasPoint(HWND hwnd, int x, int y);

// The main window with archives to open: helpers for opening, the list,
// and temporary files removed at the end of each test.
class ViewerTest : public MainWindowTest {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string TempFile(const std::string& leaf, const Bytes* contents = nullptr);
    std::string ArchiveFile(const std::string& leaf, const std::vector<ImageLine>& lines);  // of ImageArchive(lines)
    void Open(const std::string& path);  // as a drop does: WM_OPENARCHIVE
    void Select(int line);               // selection, then its LBN_SELCHANGE
    std::vector<std::string> Lines();
    std::vector<std::string> temp_;
};
