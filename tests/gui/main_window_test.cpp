// main_window_test.cpp - the real main window, created through the real
// class and driven with messages: layout, repainting, painting, menu states,
// the background toggle, focus, message boxes and closing.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "tests/gui/gui_support.h"

namespace {

const uint32_t kBlack = 0x000000;

uint32_t ButtonFace()
{
    return Rgb(GetSysColor(COLOR_BTNFACE));
}

// Counts the pixels of an area that differ from what expected(x, y) says.
template <typename Expected>
int CountWrong(const Pixels& pixels, RECT area, Expected expected, std::string* first)
{
    int wrong = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            uint32_t want = expected(x, y);
            uint32_t got = pixels.at(x, y);
            if (got != want) {
                if (wrong == 0 && first != nullptr) {
                    char text[96];
                    wsprintfA(text, "first at (%d,%d): got %06X, expected %06X", x, y, got, want);
                    *first = text;
                }
                ++wrong;
            }
        }
    }
    return wrong;
}

// ---- Layout ----

struct LayoutCase {
    UINT width, height;
    int listWidth;
};

TEST_F(MainWindowTest, ListWidthAndHeightFollowTheClientSize)
{
    const int status = StatusBarHeight();
    ASSERT_GT(status, 0) << "the status bar has its own height";
    const LayoutCase cases[] = {
        {720, 500, 96},   // exactly 624 pixels right of a minimal list
        {721, 500, 97},   // one pixel wider: the list takes it
        {700, 500, 96},   // narrower: the image area shrinks to 604
        {1000, 600, 376},
        {96, 300, 96},
        {900, 600, 276},
        {0, 0, 96},       // minimised
        {900, 600, 276},  // and restored
        {1280, 1024, 656},
        {800, static_cast<UINT>(status) - 1, 176},  // lower than the status bar
        {800, static_cast<UINT>(status), 176},
        {4000, 3000, 3376},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "client " << c.width << " x " << c.height);
        Resize(c.width, c.height);
        EXPECT_EQ(g_listWidth, c.listWidth);
        RECT list = ChildRect(g_hwndList);
        EXPECT_EQ(list.left, 0);
        EXPECT_EQ(list.top, 0);
        EXPECT_EQ(list.right - list.left, c.listWidth);
        int height = static_cast<int>(c.height) - status;
        EXPECT_EQ(list.bottom - list.top, height < 0 ? 0 : height);
        if (c.width >= 720) {
            EXPECT_EQ(static_cast<int>(c.width) - g_listWidth, 624);
        }
    }
}

TEST_F(MainWindowTest, RealResizePlacesListAndStatusBar)
{
    const SIZE sizes[] = {{900, 600}, {640, 480}, {721, 400}};
    for (SIZE size : sizes) {
        SCOPED_TRACE(testing::Message() << "outer " << size.cx << " x " << size.cy);
        SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
        RECT client;
        GetClientRect(hwnd_, &client);
        int expectedList = client.right - 624 >= 96 ? client.right - 624 : 96;
        EXPECT_EQ(g_listWidth, expectedList);
        RECT status = ChildRect(g_hwndStatus);
        EXPECT_EQ(status.left, 0);
        EXPECT_EQ(status.right, client.right);
        EXPECT_EQ(status.bottom, client.bottom);
        RECT list = ChildRect(g_hwndList);
        EXPECT_EQ(list.right, expectedList);
        EXPECT_EQ(list.bottom, status.top) << "the list reaches down to the status bar";
    }
}

// ---- Repainting on resize ----

TEST_F(MainWindowTest, CreationLaysOutAndTheFirstSizeRepaintsEverything)
{
    RECT client;
    GetClientRect(hwnd_, &client);
    EXPECT_EQ(g_listWidth, client.right - 624 >= 96 ? client.right - 624 : 96) << "WM_SIZE ran during creation";
    // A fresh window's list width is 0, so its first WM_SIZE always moves
    // the image.
    g_listWidth = 0;
    ValidateRect(hwnd_, nullptr);
    Resize(client.right, client.bottom);
    EXPECT_TRUE(WholeClientInvalid(hwnd_));
}

struct RepaintCase {
    UINT fromWidth, fromHeight, toWidth, toHeight;
    bool whole;
};

TEST_F(MainWindowTest, OnlyAChangeOfListWidthRepaintsTheWholeClientArea)
{
    const RepaintCase cases[] = {
        {900, 600, 900, 500, false},  // height only
        {900, 500, 900, 600, false},
        {700, 600, 710, 600, false},  // at most 720 wide: the list stays 96
        {720, 600, 650, 600, false},
        {720, 600, 721, 600, true},   // the list grows by one
        {900, 600, 800, 600, true},
        {900, 600, 600, 300, true},
    };
    for (const RepaintCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fromWidth << "x" << c.fromHeight << " -> " << c.toWidth << "x"
                                        << c.toHeight);
        Resize(c.fromWidth, c.fromHeight);
        ValidateRect(hwnd_, nullptr);
        Resize(c.toWidth, c.toHeight);
        if (c.whole) {
            EXPECT_TRUE(WholeClientInvalid(hwnd_));
        } else {
            // A point of the image area, away from the list and status bar.
            EXPECT_FALSE(RegionHasPoint(hwnd_, 400, 100));
        }
    }
}

// Counts WM_ERASEBKGND on the way to the window procedure.
int s_erases;
WNDPROC s_mainProc;
LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        ++s_erases;
    return CallWindowProcA(s_mainProc, hwnd, message, wParam, lParam);
}

TEST_F(MainWindowTest, RepaintWindowErasesTheWholeClientArea)
{
    UpdateWindow(hwnd_);
    s_mainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    s_erases = 0;
    RepaintWindow(hwnd_);
    EXPECT_TRUE(WholeClientInvalid(hwnd_));
    UpdateWindow(hwnd_);
    EXPECT_EQ(s_erases, 1) << "all drawing happens while erasing";
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s_mainProc));
}

// ---- Painting ----

struct PaintCase {
    bool black;
    int imageWidth, imageHeight;  // 0: no image
    const char* what;
    RECT clip = {};               // empty: none
    bool unreadable = false;      // the image is deleted before it is painted
};

TEST_F(MainWindowTest, EraseDrawsTheImageAtItsPlaceAndFillsTheRest)
{
    const int W = 900, H = 500;
    Resize(W, H);
    ASSERT_EQ(g_listWidth, 276);
    const PaintCase cases[] = {
        {false, 0, 0, "no image, button face"},
        {true, 0, 0, "no image, black"},
        {false, 40, 30, "small image"},
        {true, 1, 1, "one pixel on black"},
        {false, 2000, 1200, "larger than the client area: cut off"},
        {true, 617, 487, "touching the right and bottom edges"},
        {false, 100, 100, "clipped to part of the image and the background", {250, 20, 360, 60}},
        {false, 50, 50, "an unreadable bitmap: background only", {}, true},
    };
    for (const PaintCase& c : cases) {
        SCOPED_TRACE(c.what);
        g_blackBackground = c.black;
        HBITMAP image = c.imageWidth > 0 ? MakePatternBitmap(c.imageWidth, c.imageHeight) : nullptr;
        if (c.unreadable) {
            DeleteObject(image);
            g_hbmImage = image;  // GetObjectA fails on it
        } else {
            SetDisplayedImage(image);
        }
        const bool clipped = c.clip.right > c.clip.left;
        Pixels pixels = EraseIntoMemory(hwnd_, W, H, 0xFF00FF, clipped ? &c.clip : nullptr);
        const uint32_t background = c.black ? kBlack : ButtonFace();
        const int x0 = g_listWidth + 8, y0 = 8, shownWidth = c.unreadable ? 0 : c.imageWidth;
        RECT all = {0, 0, W, H};
        std::string first;
        int wrong = CountWrong(pixels, all, [&](int x, int y) -> uint32_t {
            if (clipped && (x < c.clip.left || x >= c.clip.right || y < c.clip.top || y >= c.clip.bottom))
                return 0xFF00FF;  // outside the clip: untouched
            bool inImage = x >= x0 && y >= y0 && x < x0 + shownWidth && y < y0 + c.imageHeight;
            return inImage ? PatternColour(x - x0, y - y0) : background;
        }, &first);
        EXPECT_EQ(wrong, 0) << first;
        if (c.unreadable)
            g_hbmImage = nullptr;
        else
            SetDisplayedImage(nullptr);
    }
}

TEST_F(MainWindowTest, OnScreenTheChildControlsKeepTheirPixels)
{
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 900, 600, SWP_NOMOVE);
    RECT client;
    GetClientRect(hwnd_, &client);
    SetDisplayedImage(MakePatternBitmap(client.right, client.bottom));
    RepaintWindow(hwnd_);
    UpdateWindow(hwnd_);
    PumpMessages();
    Pixels pixels = ReadClientArea(hwnd_);
    RECT status = ChildRect(g_hwndStatus);
    const int x0 = g_listWidth + 8;
    // Above the status bar, the image; inside it, never the image.
    std::string first;
    RECT imageArea = {x0, 8, client.right, status.top};
    EXPECT_EQ(CountWrong(pixels, imageArea, [&](int x, int y) { return PatternColour(x - x0, y - 8); }, &first), 0)
        << first;
    int painted = 0;
    for (int y = status.top + 2; y < status.bottom - 2; ++y) {
        for (int x = x0 + 4; x < client.right - 20; ++x)
            painted += pixels.at(x, y) == PatternColour(x - x0, y - 8);
    }
    EXPECT_LT(painted, 50) << "the image was painted over the status bar";
    // Left of the image: the list's own background, not the image or the fill.
    EXPECT_EQ(pixels.at(10, 100), Rgb(GetSysColor(COLOR_WINDOW)));
    EXPECT_EQ(pixels.at(g_listWidth + 4, 100), ButtonFace()) << "the margin between list and image";
}

// ---- Background toggle ----

TEST_F(MainWindowTest, BlackBackgroundTogglesWithItsCheckMark)
{
    Resize(800, 400);
    HMENU view = GetSubMenu(GetMenu(hwnd_), 2);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetMenuState(view, IDM_BLACKBG, MF_BYCOMMAND) & MF_CHECKED, 0u) << "starts unchecked";
    // From the menu (code 0) and from the accelerator (code 1) alike.
    const WORD codes[] = {0, 1, 1, 0};
    bool black = false;
    for (WORD code : codes) {
        ValidateRect(hwnd_, nullptr);
        Command(IDM_BLACKBG, code);
        black = !black;
        SCOPED_TRACE(testing::Message() << "black " << black);
        EXPECT_EQ(g_blackBackground, black);
        EXPECT_EQ((GetMenuState(view, IDM_BLACKBG, MF_BYCOMMAND) & MF_CHECKED) != 0, black);
        EXPECT_TRUE(WholeClientInvalid(hwnd_));
        Pixels pixels = EraseIntoMemory(hwnd_, 800, 400, 0xFF00FF);
        EXPECT_EQ(pixels.at(500, 200), black ? kBlack : ButtonFace());
    }
}

// ---- Menu states ----

struct MenuCase {
    bool image;
    int position;  // popup opened
    UINT command;
    bool grayed;
};

TEST_F(MainWindowTest, SaveAndCopyAreGreyedWhileNoImageIsShown)
{
    const MenuCase cases[] = {
        {false, 0, IDM_SAVEAS, true}, {false, 1, IDM_COPY, true}, {true, 0, IDM_SAVEAS, false},
        {true, 1, IDM_COPY, false},   {false, 0, IDM_SAVEAS, true}, {false, 0, IDM_OPEN, false},
        {false, 0, IDM_EXIT, false},  {false, 2, IDM_BLACKBG, false}, {false, 3, IDM_ABOUT, false},
    };
    for (const MenuCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "image " << c.image << ", popup " << c.position << ", command "
                                        << c.command);
        SetDisplayedImage(c.image ? MakePatternBitmap(4, 4) : nullptr);
        UINT state = PopupItemState(c.position, c.command);
        ASSERT_NE(state, static_cast<UINT>(-1)) << "no such item";
        EXPECT_EQ((state & MF_GRAYED) != 0, c.grayed);
        SetDisplayedImage(nullptr);
    }
}

TEST_F(MainWindowTest, OtherPopupPositionsChangeNothing)
{
    // The File popup's menu handle, announced as View or Help, is left alone.
    HMENU file = GetSubMenu(GetMenu(hwnd_), 0);
    EnableMenuItem(file, IDM_SAVEAS, MF_BYCOMMAND | MF_ENABLED);
    for (int position : {2, 3, 4}) {
        SendMessageA(hwnd_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), MAKELPARAM(position, 0));
        EXPECT_EQ(GetMenuState(file, IDM_SAVEAS, MF_BYCOMMAND) & MF_GRAYED, 0u) << "position " << position;
    }
}

// ---- Focus ----

TEST_F(MainWindowTest, TheMainWindowPassesTheFocusToTheList)
{
    SetFocus(g_hwndStatus);
    SetFocus(hwnd_);
    EXPECT_EQ(GetFocus(), g_hwndList);
    SetFocus(nullptr);
    SetActiveWindow(hwnd_);
    SetFocus(hwnd_);
    EXPECT_EQ(GetFocus(), g_hwndList);
}

// ---- Commands and message boxes ----

TEST_F(MainWindowTest, AboutShowsOneInformationBox)
{
    BoxRecorder recorder;
    Command(IDM_ABOUT, 1);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    const BoxRecord& box = recorder.boxes()[0];
    EXPECT_EQ(box.caption, PRODUCT_NAME);
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(box.text.rfind(PRODUCT_NAME "\nVersion " PRODUCT_VERSION "\n\n", 0), 0u) << box.text;
    size_t lines = 1;
    for (char ch : box.text)
        lines += ch == '\n';
    EXPECT_EQ(lines, 5u) << "name, version, empty line, notice, contact";
    EXPECT_EQ(box.text.find('\r'), std::string::npos);
    EXPECT_NE(box.text.back(), '\n');
}

TEST_F(MainWindowTest, WarningAndInfoBoxesCarryTheirIcon)
{
    BoxRecorder recorder;
    ShowWarning(hwnd_, MESSAGE_CANNOT_OPEN);
    ShowInfo(hwnd_, MESSAGE_NO_IMAGES);
    ASSERT_EQ(recorder.boxes().size(), 2u);
    EXPECT_EQ(recorder.boxes()[0].caption, PRODUCT_NAME);
    EXPECT_EQ(recorder.boxes()[0].text, MESSAGE_CANNOT_OPEN);
    EXPECT_EQ(recorder.boxes()[0].icon, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(recorder.boxes()[1].caption, PRODUCT_NAME);
    EXPECT_EQ(recorder.boxes()[1].text, MESSAGE_NO_IMAGES);
    EXPECT_EQ(recorder.boxes()[1].icon, static_cast<UINT>(MB_ICONINFORMATION));
}

TEST_F(MainWindowTest, UnknownCommandsAndForeignNotificationsAreIgnored)
{
    BoxRecorder recorder;
    Resize(800, 400);
    ValidateRect(hwnd_, nullptr);
    // Unknown ids from the menu; known ids that arrive as a notification of
    // the status bar or as a list notification other than a selection change.
    Command(999);
    Command(0);
    Command(IDM_ABOUT + 1, 1);
    Command(IDM_ABOUT, 0, g_hwndStatus);
    Command(IDM_BLACKBG, 0, g_hwndStatus);
    Command(IDC_IMAGELIST, LBN_DBLCLK, g_hwndList);
    Command(IDM_EXIT, LBN_SETFOCUS, g_hwndList);
    Command(IDM_BLACKBG, LBN_KILLFOCUS, g_hwndList);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_FALSE(g_blackBackground);
    EXPECT_TRUE(IsWindow(hwnd_));
    EXPECT_FALSE(RegionHasPoint(hwnd_, 400, 100)) << "nothing was repainted";
}

TEST_F(MainWindowTest, ClearStatusTextEmptiesTheStatusBar)
{
    SendMessageA(g_hwndStatus, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("Size: 608x392"));
    ASSERT_EQ(ViewerState().status, "Size: 608x392");
    ClearStatusText();
    EXPECT_EQ(LOWORD(SendMessageA(g_hwndStatus, SB_GETTEXTLENGTHA, 0, 0)), 0);
    EXPECT_EQ(GetWindowTextLengthA(g_hwndStatus), 0);
}

// ---- Closing ----

struct CloseCase {
    const char* how;
    bool image;
};

TEST_F(MainWindowTest, ClosingDestroysTheWindowAndQuitsWithZero)
{
    const CloseCase cases[] = {{"exit", false}, {"exit", true}, {"close", true}, {"destroy", false}};
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.how << (c.image ? " with image" : ""));
        if (hwnd_ == nullptr || !IsWindow(hwnd_)) {
            ResetViewerState();
            WNDCLASSEXA info = {};
            info.cbSize = sizeof info;
            hwnd_ = CreateMainWindow(static_cast<ATOM>(GetClassInfoExA(g_hInstance, MAIN_WINDOW_CLASS, &info)));
            ASSERT_NE(hwnd_, nullptr);
            PumpMessages();
        }
        HBITMAP image = c.image ? MakePatternBitmap(8, 8) : nullptr;
        SetDisplayedImage(image);
        std::string how = c.how;
        if (how == "exit")
            Command(IDM_EXIT);
        else if (how == "close")
            SendMessageA(hwnd_, WM_CLOSE, 0, 0);
        else
            DestroyWindow(hwnd_);
        EXPECT_FALSE(IsWindow(hwnd_));
        int code = -1;
        EXPECT_TRUE(PumpMessages(&code)) << "quit message";
        EXPECT_EQ(code, 0);
        EXPECT_EQ(g_hbmImage, nullptr);
        if (image != nullptr) {
            EXPECT_EQ(GetObjectType(image), 0u) << "the displayed bitmap is deleted";
        }
        hwnd_ = nullptr;
    }
}

// ---- Class and resources ----

TEST_F(MainWindowTest, TheClassCarriesMenuIconsAndNoBackgroundBrush)
{
    EXPECT_EQ(GetClassLongPtrA(hwnd_, GCLP_HBRBACKGROUND), 0);
    EXPECT_EQ(GetClassLongPtrA(hwnd_, GCL_STYLE), 0);
    const struct {
        int index, size;
    } icons[] = {{GCLP_HICON, 32}, {GCLP_HICONSM, 16}};
    for (auto icon : icons) {
        HICON handle = reinterpret_cast<HICON>(GetClassLongPtrA(hwnd_, icon.index));
        ASSERT_NE(handle, nullptr) << icon.size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(handle, &info));
        BITMAP bitmap = {};
        GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, icon.size);
        if (info.hbmColor != nullptr)
            DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    HMENU menu = GetMenu(hwnd_);
    ASSERT_EQ(GetMenuItemCount(menu), 4);
    const char* popups[] = {"&File", "&Edit", "&View", "&Help"};
    for (int i = 0; i < 4; ++i) {
        char text[32] = {0};
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, popups[i]);
    }
    const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd_, GWL_STYLE));
    const DWORD mainStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE;
    EXPECT_EQ(style & mainStyle, mainStyle) << std::hex << style;
    EXPECT_EQ(ViewerState().title, PRODUCT_NAME);
    EXPECT_EQ(GetDlgCtrlID(g_hwndList), IDC_IMAGELIST);
    EXPECT_EQ(GetDlgCtrlID(g_hwndStatus), IDC_STATUSBAR);
    const DWORD listStyle =
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_DISABLENOSCROLL;
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(g_hwndList, GWL_STYLE)) & listStyle, listStyle);
}

}  // namespace
