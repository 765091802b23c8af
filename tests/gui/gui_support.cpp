// gui_support.cpp - message-box recorder, pixel read-back and the main
// window's fixture for the in-process GUI tests.
#include "tests/gui/gui_support.h"

#include <commctrl.h>
#include <dlgs.h>
#include <string.h>

#include "app/archive_browser.h"
#include "app/main_window.h"
#include "app/startup.h"

namespace {

BoxRecorder* s_recorder;  // the recorder whose hook is installed on this thread

// The message box's icon, found by its control's id in either template.
UINT RecogniseIcon(HWND box)
{
    static const int kIconControls[] = {0x440, 20};
    HICON warning = LoadIconA(nullptr, MAKEINTRESOURCEA(32515));      // IDI_WARNING
    HICON information = LoadIconA(nullptr, MAKEINTRESOURCEA(32516));  // IDI_INFORMATION
    for (int id : kIconControls) {
        HWND control = GetDlgItem(box, id);
        if (control == nullptr)
            continue;
        HICON icon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
        if (icon != nullptr && icon == warning)
            return MB_ICONWARNING;
        if (icon != nullptr && icon == information)
            return MB_ICONINFORMATION;
    }
    return 0;
}

}  // namespace

BoxRecorder::BoxRecorder() : hook_(nullptr)
{
    s_recorder = this;
    hook_ = SetWindowsHookExA(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
}

BoxRecorder::~BoxRecorder()
{
    if (hook_ != nullptr)
        UnhookWindowsHookEx(hook_);
    s_recorder = nullptr;
}

LRESULT CALLBACK BoxRecorder::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    BoxRecorder* self = s_recorder;
    if (code == HCBT_ACTIVATE && self != nullptr) {
        HWND h = reinterpret_cast<HWND>(wParam);
        char className[32] = {0};
        // Activation also reaches the owner when a box closes, and a parent
        // dialog again after a nested one: record each box once.
        if (GetClassNameA(h, className, sizeof className) > 0 && strcmp(className, "#32770") == 0) {
            bool seen = false;
            for (HWND s : self->seen_)
                seen = seen || s == h;
            if (!seen) {
                self->seen_.push_back(h);
                char caption[256] = {0};
                char text[1024] = {0};
                GetWindowTextA(h, caption, sizeof caption);
                HWND fileName = GetDlgItem(h, cmb13);
                GetDlgItemTextA(h, fileName != nullptr ? cmb13 : 0xFFFF, text, sizeof text);
                ViewerSnapshot state = self->snapshot != nullptr ? self->snapshot() : ViewerSnapshot();
                self->boxes_.push_back(BoxRecord{caption, text, RecogniseIcon(h), state});
                WPARAM answer = IDOK;
                if (fileName != nullptr) {
                    std::string name;
                    if (!self->fileNames_.empty()) {
                        name = self->fileNames_.front();
                        self->fileNames_.erase(self->fileNames_.begin());
                    }
                    if (name.empty())
                        answer = IDCANCEL;
                    else
                        SetWindowTextA(fileName, name.c_str());
                } else if (GetDlgItem(h, IDYES) != nullptr) {
                    answer = IDYES;
                }
                PostMessageA(h, WM_COMMAND, answer, 0);
                // A file dialog that objects to the name would wait for
                // another one: cancel it, the objection is on record.
                HWND owner = GetWindow(h, GW_OWNER);
                if (answer == IDOK && fileName == nullptr && owner != nullptr && GetDlgItem(owner, cmb13) != nullptr)
                    PostMessageA(owner, WM_COMMAND, IDCANCEL, 0);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

uint32_t Rgb(COLORREF colour)
{
    return (static_cast<uint32_t>(GetRValue(colour)) << 16) | (static_cast<uint32_t>(GetGValue(colour)) << 8) |
           GetBValue(colour);
}

Pixels ReadBitmap(HDC hdc, HBITMAP bitmap, int width, int height)
{
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.data.assign(static_cast<size_t>(width) * height, 0);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    int rows = GetDIBits(hdc, bitmap, 0, height, pixels.data.data(), &info, DIB_RGB_COLORS);
    EXPECT_EQ(rows, height) << "GetDIBits";
    for (uint32_t& p : pixels.data)
        p &= 0xFFFFFF;
    return pixels;
}

Pixels EraseIntoMemory(HWND hwnd, int width, int height, uint32_t fill, const RECT* clip)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(RGB(fill >> 16, (fill >> 8) & 0xFF, fill & 0xFF));
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    if (clip != nullptr)
        IntersectClipRect(memory, clip->left, clip->top, clip->right, clip->bottom);
    LRESULT erased = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(erased, 1) << "WM_ERASEBKGND must report the background as erased";
    SelectObject(memory, previous);
    Pixels pixels = ReadBitmap(memory, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

Pixels ReadClientArea(HWND hwnd)
{
    RECT client;
    GetClientRect(hwnd, &client);
    HDC window = GetDC(hwnd);
    HDC memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, client.right, client.bottom);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, window, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    Pixels pixels = ReadBitmap(memory, bitmap, client.right, client.bottom);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(hwnd, window);
    return pixels;
}

uint32_t PatternColour(int x, int y)
{
    return (static_cast<uint32_t>((x * 7 + 3) & 0xFF) << 16) | (static_cast<uint32_t>((y * 5 + 11) & 0xFF) << 8) |
           static_cast<uint32_t>((x ^ y) & 0xFF);
}

HBITMAP MakePatternBitmap(int width, int height)
{
    // Built the way the viewer builds its display bitmaps: a DIB turned
    // into a device-dependent bitmap.
    std::vector<uint32_t> rows(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            rows[static_cast<size_t>(y) * width + x] = PatternColour(x, y);
    }
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, &header, CBM_INIT, rows.data(),
                                    reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

RECT ChildRect(HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool PumpMessages(int* quitCode)
{
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            if (quitCode != nullptr)
                *quitCode = static_cast<int>(message.wParam);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return quit;
}

void ResetViewerState()
{
    g_hInstance = GetModuleHandleA(nullptr);
    g_hwndList = nullptr;
    g_hwndStatus = nullptr;
    g_hbmImage = nullptr;
    g_listWidth = 0;
    g_blackBackground = false;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExA(g_hInstance, MAIN_WINDOW_CLASS, &existing)) {
        ASSERT_NE(RegisterMainWindowClass(), 0) << "class registration, error " << GetLastError();
    }
}

void MainWindowTest::SetUp()
{
    ResetViewerState();
    // GetClassInfoExA answers with the class atom.
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    ATOM atom = static_cast<ATOM>(GetClassInfoExA(g_hInstance, MAIN_WINDOW_CLASS, &info));
    hwnd_ = CreateMainWindow(atom);
    ASSERT_NE(hwnd_, nullptr) << "main window, error " << GetLastError();
    PumpMessages();
}

void MainWindowTest::TearDown()
{
    if (hwnd_ != nullptr && IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    PumpMessages();
    SetDisplayedImage(nullptr);
}

void MainWindowTest::Resize(UINT width, UINT height)
{
    SendMessageA(hwnd_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

void MainWindowTest::Command(WORD id, WORD code, HWND control)
{
    LRESULT result = SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
    EXPECT_EQ(result, 0) << "WM_COMMAND " << id;
}

UINT MainWindowTest::PopupItemState(int position, UINT command)
{
    HMENU popup = GetSubMenu(GetMenu(hwnd_), position);
    EXPECT_NE(popup, nullptr) << "popup " << position;
    LRESULT result = SendMessageA(hwnd_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(position, 0));
    EXPECT_EQ(result, 0);
    return GetMenuState(popup, command, MF_BYCOMMAND);
}

int MainWindowTest::StatusBarHeight() const
{
    RECT rect;
    GetWindowRect(g_hwndStatus, &rect);
    return rect.bottom - rect.top;
}

Bytes ImageArchive(const std::vector<ImageLine>& lines)
{
    ArchivePlan plan;
    TypePlan bitmaps{kTypeBitmap, {}, {}};
    for (size_t i = 0; i < lines.size(); ++i) {
        const uint16_t index = static_cast<uint16_t>(i + 1);
        bitmaps.resources.push_back(ResourcePlan{lines[i].id, index});
        if (lines[i].name != nullptr)
            bitmaps.names.push_back(NamePlan{lines[i].name, index});
        plan.files.push_back(FilePlan{lines[i].resource});
    }
    plan.types.push_back(bitmaps);
    plan.types.push_back(TypePlan{0x74575156u, {{1, static_cast<uint16_t>(lines.size() + 1)}}, {}});
    plan.files.push_back(FilePlan{Bytes(16, 0x55)});
    return BuildArchive(plan);
}

ViewerSnapshot ViewerState()
{
    ViewerSnapshot state;
    char text[512] = {0};
    GetWindowTextA(GetParent(g_hwndList), text, sizeof text);
    state.title = text;
    state.lines = static_cast<int>(SendMessageA(g_hwndList, LB_GETCOUNT, 0, 0));
    state.selected = static_cast<int>(SendMessageA(g_hwndList, LB_GETCURSEL, 0, 0));
    BITMAP bitmap;
    if (g_hbmImage != nullptr && GetObjectA(g_hbmImage, sizeof bitmap, &bitmap) == sizeof bitmap)
        state.image = std::to_string(bitmap.bmWidth) + "x" + std::to_string(bitmap.bmHeight);
    else if (g_hbmImage != nullptr)
        state.image = "invalid";
    text[0] = '\0';
    SendMessageA(g_hwndStatus, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    state.status = text;
    state.archiveOpen = g_archive.base != nullptr;
    return state;
}

testing::AssertionResult SameState(const char*, const char*, const ViewerSnapshot& actual,
                                   const ViewerSnapshot& expected)
{
    testing::Message differences;
    auto field = [&](const char* name, const auto& got, const auto& want) {
        if (!(got == want))
            differences << "\n  " << name << ": " << testing::PrintToString(got) << ", expected "
                        << testing::PrintToString(want);
    };
    field("title", actual.title, expected.title);
    field("lines", actual.lines, expected.lines);
    field("selected", actual.selected, expected.selected);
    field("image", actual.image, expected.image);
    field("status", actual.status, expected.status);
    field("archive open", actual.archiveOpen, expected.archiveOpen);
    field("repaint pending", actual.repaintPending, expected.repaintPending);
    const std::string text = differences.GetString();
    return text.empty() ? testing::AssertionSuccess() : testing::AssertionFailure() << "viewer state differs:" << text;
}

void ViewerTest::SetUp()
{
    ReleaseArchiveAtExit();
    memset(g_openPath, 0, sizeof g_openPath);
    MainWindowTest::SetUp();
}

void ViewerTest::TearDown()
{
    MainWindowTest::TearDown();
    ReleaseArchiveAtExit();
    for (const std::string& path : temp_) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

std::string ViewerTest::TempFile(const std::string& leaf, const Bytes* contents)
{
    std::string path = TempPath(leaf);
    temp_.push_back(path);
    if (contents != nullptr) {
        EXPECT_TRUE(WriteBytes(path, *contents)) << path;
    }
    return path;
}

std::string ViewerTest::ArchiveFile(const std::string& leaf, const std::vector<ImageLine>& lines)
{
    const Bytes bytes = ImageArchive(lines);
    return TempFile(leaf, &bytes);
}

void ViewerTest::Open(const std::string& path)
{
    EXPECT_EQ(SendMessageA(hwnd_, WM_OPENARCHIVE, 0, reinterpret_cast<LPARAM>(path.c_str())), 0);
}

void ViewerTest::Select(int line)
{
    SendMessageA(g_hwndList, LB_SETCURSEL, static_cast<WPARAM>(line), 0);
    Command(IDC_IMAGELIST, LBN_SELCHANGE, g_hwndList);
}

std::vector<std::string> ViewerTest::Lines()
{
    std::vector<std::string> lines;
    const int count = static_cast<int>(SendMessageA(g_hwndList, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        // Read as wide text: Wine's ANSI LB_GETTEXT overruns a fixed
        // buffer of its own on lines longer than 511 characters.
        const WPARAM line = static_cast<WPARAM>(i);
        std::wstring wide(static_cast<size_t>(SendMessageW(g_hwndList, LB_GETTEXTLEN, line, 0)) + 1, L'\0');
        wide.resize(static_cast<size_t>(SendMessageW(g_hwndList, LB_GETTEXT, line, reinterpret_cast<LPARAM>(&wide[0]))));
        std::string text(2 * wide.size() + 1, '\0');
        text.resize(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0],
                                                            static_cast<int>(text.size()), nullptr, nullptr) - 1));
        lines.push_back(text);
    }
    return lines;
}

std::string FromUnix(const char* path)
{
    std::string name = std::string("Z:") + path;
    for (char& c : name)
        c = c == '/' ? '\\' : c;
    return name;
}

std::string Leaf(const std::string& path)
{
    return path.substr(path.find_last_of("\\/:") + 1);
}

ViewerSnapshot OpenState(const std::string& path, int lines)
{
    return ViewerSnapshot{Leaf(path) + " - " PRODUCT_NAME, lines, -1, "none", "", true, false};
}

const ViewerSnapshot kEmptyState = {PRODUCT_NAME, 0, -1, "none", "", false, false};

bool WholeClientInvalid(HWND hwnd)
{
    RECT client;
    GetClientRect(hwnd, &client);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    GetUpdateRgn(hwnd, region, FALSE);
    HRGN whole = CreateRectRgnIndirect(&client);
    bool covered = CombineRgn(whole, whole, region, RGN_DIFF) == NULLREGION;
    DeleteObject(whole);
    DeleteObject(region);
    return covered;
}

bool RegionHasPoint(HWND hwnd, int x, int y)
{
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    GetUpdateRgn(hwnd, region, FALSE);
    bool inside = PtInRegion(region, x, y) != FALSE;
    DeleteObject(region);
    return inside;
}
