// browser_test.cpp - opening archives from every source, the list, showing
// the selected image, every failure box with the state it leaves, and the
// figures for a huge list and a large compressed image.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/archive_browser.h"
#include "app/main_window.h"
#include "tests/gui/gui_support.h"
#include "tests/gui/pictures.h"

namespace {

// The state when a box appears, and whether the window still waits to be
// repainted whole: a box comes after everything else.
ViewerSnapshot StateAtBox()
{
    ViewerSnapshot state = ViewerState();
    state.repaintPending = WholeClientInvalid(GetParent(g_hwndList));
    return state;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// ---- The command line ----

struct TokenCase {
    const char* line;
    const char* program;
    const char* archive;
};

TEST(CommandLine, OnlyTheSecondTokenNamesTheArchive)
{
    const TokenCase cases[] = {
        {"viewer.exe", "viewer.exe", ""},
        {"viewer.exe   ", "viewer.exe", ""},
        {"viewer.exe \"\"", "viewer.exe", ""},
        {"\"C:\\Program Files\\viewer.exe\" a.mhk b.mhk", "C:\\Program Files\\viewer.exe", "a.mhk"},
        {"viewer.exe \"C:\\My Files\\a.mhk\"", "viewer.exe", "C:\\My Files\\a.mhk"},
        {"viewer.exe C:\\My Files\\a.mhk", "viewer.exe", "C:\\My"},
        {"viewer.exe \"a.mhk", "viewer.exe", "a.mhk"},
        {"\"viewer.exe\"a.mhk", "viewer.exe", "a.mhk"},
        {"viewer.exe\ta.mhk", "viewer.exe", "a.mhk"},
        {"\"viewer.exe a.mhk", "viewer.exe a.mhk", ""},
        // Bytes from 0x80 up are letters, inside quotes and out.
        {"viewer.exe C:\\Bilder\\\xDC" "bersicht.mhk x.mhk", "viewer.exe", "C:\\Bilder\\\xDC" "bersicht.mhk"},
        {"v\xE9.exe \xE9t\xE9.mhk", "v\xE9.exe", "\xE9t\xE9.mhk"},
        {"viewer.exe a\xA0" "b\xFF.mhk", "viewer.exe", "a\xA0" "b\xFF.mhk"},
        {"viewer.exe \"\x80 \xFF.mhk\"", "viewer.exe", "\x80 \xFF.mhk"},
        // Every control byte separates; there are no escapes.
        {"viewer.exe\x01\x1F\r\na.mhk", "viewer.exe", "a.mhk"},
        {"viewer.exe a\\\"b.mhk c", "viewer.exe", "a\\\"b.mhk"},
        {"viewer.exe \"a b\"c", "viewer.exe", "a b"},
        {"viewer.exe \"a\\\" b\"", "viewer.exe", "a\\"},
        {"", "", ""},
        {"   ", "", ""},
    };
    for (const TokenCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "command line [" << c.line << "]");
        std::vector<char> line(c.line, c.line + strlen(c.line) + 1);
        char* program = nullptr;
        char* archive = nullptr;
        char* rest = NextCommandLineToken(line.data(), &program);
        NextCommandLineToken(rest, &archive);
        EXPECT_STREQ(program, c.program);
        EXPECT_STREQ(archive, c.archive);
    }
}

// ---- Opening and the list ----

TEST_F(ViewerTest, ListsEveryImageInTableOrderWithNothingSelected)
{
    // Sizes tell the lines apart when they are shown.
    const std::vector<ImageLine> lines = {
        {7, "zebra", RawPicture(1, 1, 1).resource},    {1000, nullptr, RawPicture(2, 1, 2).resource},
        {40000, nullptr, RawPicture(3, 1, 3).resource}, {0, nullptr, RawPicture(4, 1, 4).resource},
        {65535, nullptr, RawPicture(5, 1, 5).resource}, {2, "apple", RawPicture(6, 1, 6).resource},
        {3, "", RawPicture(7, 1, 7).resource},
    };
    const std::vector<std::string> texts = {"zebra", "[1000]", "[40000]", "[0]", "[65535]", "apple", ""};
    const std::string path = ArchiveFile("listed.mhk", lines);

    BoxRecorder recorder;
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(arrow);
    Open(path);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(Lines(), texts);
    EXPECT_STATE(ViewerState(), OpenState(path, 7));
    EXPECT_EQ(GetCursor(), arrow) << "the wait cursor is gone again";
    // Each line shows its own resource.
    for (int i = 0; i < 7; ++i) {
        Select(i);
        ViewerSnapshot shown = OpenState(path, 7);
        shown.selected = i;
        shown.image = std::to_string(i + 1) + "x1";
        shown.status = "Size: " + shown.image;
        EXPECT_STATE(ViewerState(), shown);
    }
}

TEST_F(ViewerTest, TheTitleCarriesTheWholeFileTitle)
{
    const Bytes archive = ImageArchive({{1, "a", RawPicture(2, 2, 1).resource}});
    const std::string leaves[] = {
        "a.mhk",
        std::string(31 - 4, 'b') + ".mhk",
        std::string(32 - 4, 'c') + ".mhk",
        std::string(150, 'd') + ".mhk",
        "pictures [1].mhk",  // a name that Wine's file-title call refuses
        "two  spaces.mhk",
    };
    for (const std::string& leaf : leaves) {
        SCOPED_TRACE(leaf);
        const std::string path = TempFile(leaf, &archive);
        ASSERT_LT(path.size(), 260u);
        Open(path);
        EXPECT_STATE(ViewerState(), OpenState(path, 1));
    }
}

// ---- Failures, each after an image was shown ----

enum Target { kMissing, kFolder, kContents };

struct OpenCase {
    const char* what;
    Target target;
    Bytes contents;
    const char* text;  // null: the open succeeds
    UINT icon;
};

Bytes WithoutImages(bool emptyTable)
{
    ArchivePlan plan;
    plan.types.push_back(TypePlan{0x74575156u, {{1, 1}}, {{"chime", 1}}});
    if (emptyTable)
        plan.types.push_back(TypePlan{kTypeBitmap, {}, {}});
    plan.files.push_back(FilePlan{RawPicture(4, 4, 1).resource});
    return BuildArchive(plan);
}

TEST_F(ViewerTest, EveryFailedOpenEndsEmptyWithOneBoxShownLast)
{
    Bytes badSize = ImageArchive({{1, "a", RawPicture(2, 2, 1).resource}});
    PutBE32(badSize, 16, static_cast<uint32_t>(badSize.size() + 1));
    const OpenCase cases[] = {
        {"missing file", kMissing, {}, MESSAGE_CANNOT_OPEN, MB_ICONWARNING},
        {"folder", kFolder, {}, MESSAGE_CANNOT_OPEN, MB_ICONWARNING},
        {"empty file", kContents, {}, MESSAGE_CANNOT_OPEN, MB_ICONWARNING},
        {"eight bytes", kContents, {'M', 'H', 'W', 'K', 0, 0, 0, 0}, MESSAGE_NOT_ARCHIVE, MB_ICONWARNING},
        {"text", kContents, Bytes(300, 'x'), MESSAGE_NOT_ARCHIVE, MB_ICONWARNING},
        {"size field off by one", kContents, badSize, MESSAGE_NOT_ARCHIVE, MB_ICONWARNING},
        {"no bitmap type", kContents, WithoutImages(false), MESSAGE_NO_IMAGES, MB_ICONINFORMATION},
        {"empty bitmap table", kContents, WithoutImages(true), MESSAGE_NO_IMAGES, MB_ICONINFORMATION},
        {"another good archive", kContents, ImageArchive({{1, "one", RawPicture(3, 3, 1).resource},
                                                          {2, "two", RawPicture(3, 3, 2).resource}}),
         nullptr, 0},
    };
    const std::string firstPath = ArchiveFile("first.mhk", {{1, "first", RawPicture(9, 9, 1).resource}});
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.what);
        Open(firstPath);
        Select(0);
        ASSERT_NE(g_hbmImage, nullptr);
        HBITMAP shown = g_hbmImage;
        UpdateWindow(hwnd_);

        std::string path = TempFile("second.mhk", c.target == kContents ? &c.contents : nullptr);
        if (c.target == kFolder) {
            ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
        }
        BoxRecorder recorder;
        recorder.snapshot = StateAtBox;
        Open(path);
        if (c.target == kFolder)
            RemoveDirectoryA(path.c_str());

        EXPECT_EQ(GetObjectType(shown), 0u) << "the shown image was deleted";
        if (c.text == nullptr) {
            EXPECT_TRUE(recorder.boxes().empty());
            EXPECT_STATE(ViewerState(), OpenState(path, 2));
            EXPECT_TRUE(WholeClientInvalid(hwnd_)) << "the old image is wiped off";
            continue;
        }
        ASSERT_EQ(recorder.boxes().size(), 1u);
        const BoxRecord& box = recorder.boxes()[0];
        EXPECT_EQ(box.caption, PRODUCT_NAME);
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.icon, c.icon);
        ViewerSnapshot pending = kEmptyState;
        pending.repaintPending = true;
        EXPECT_STATE(box.state, pending);
        EXPECT_STATE(ViewerState(), kEmptyState);
    }
}

// ---- Showing ----

TEST_F(ViewerTest, TheShownImageHasTheDecodedPixelsAndIsPaintedAtOnce)
{
    const std::vector<ShownPicture> pictures = {
        RawPicture(5, 3, 1),         RawPicture(61, 40, 2),  RawPicture(1024, 2, 3),
        CompressedPicture(5, 3, 4),  CompressedPicture(100, 37, 5), CompressedPicture(3, 1024, 6),
        WidePicture(7),
    };
    std::vector<ImageLine> lines;
    for (const ShownPicture& p : pictures)
        lines.push_back(ImageLine{1, nullptr, p.resource});
    Open(ArchiveFile("pictures.mhk", lines));

    BoxRecorder recorder;
    HDC screen = GetDC(nullptr);
    for (size_t i = 0; i < pictures.size(); ++i) {
        const ShownPicture& p = pictures[i];
        SCOPED_TRACE(testing::Message() << "line " << i << ", " << p.width << " x " << p.height);
        HBITMAP before = g_hbmImage;
        Select(static_cast<int>(i));
        EXPECT_EQ(GetUpdateRect(hwnd_, nullptr, FALSE), FALSE) << "painted before the handler returned";
        if (before != nullptr) {
            EXPECT_EQ(GetObjectType(before), 0u) << "the previous image was deleted";
        }
        EXPECT_EQ(ViewerState().status, "Size: " + std::to_string(p.width) + "x" + std::to_string(p.height));
        ASSERT_NE(g_hbmImage, nullptr);
        Pixels shown = ReadBitmap(screen, g_hbmImage, p.width, p.height);
        EXPECT_TRUE(shown.data == p.rgb) << "the shown pixels differ from the picture";
    }
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST_F(ViewerTest, AnUnreadableLineKeepsTheImageShownBefore)
{
    ArchivePlan plan;
    plan.types.push_back(TypePlan{kTypeBitmap, {{1, 1}, {2, 2}, {3, 3}, {4, 99}}, {}});
    plan.files = {FilePlan{RawPicture(20, 10, 1).resource}, FilePlan{BrokenResource()}, FilePlan{Bytes()}};
    const Bytes archive = BuildArchive(plan);
    Open(TempFile("unreadable.mhk", &archive));
    Resize(900, 600);
    for (int line : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << "line " << line);
        Select(0);
        HBITMAP shown = g_hbmImage;
        ValidateRect(hwnd_, nullptr);
        BoxRecorder recorder;
        recorder.snapshot = ViewerState;
        Select(line);
        ASSERT_EQ(recorder.boxes().size(), 1u);
        EXPECT_EQ(recorder.boxes()[0].text, MESSAGE_CANNOT_READ);
        EXPECT_EQ(recorder.boxes()[0].icon, static_cast<UINT>(MB_ICONWARNING));
        ViewerSnapshot after = OpenState(temp_.back(), 4);
        after.selected = line;
        after.image = "20x10";
        EXPECT_STATE(recorder.boxes()[0].state, after);
        EXPECT_STATE(ViewerState(), after);
        EXPECT_EQ(g_hbmImage, shown);
        // The box may have uncovered some of the window, but not the image.
        EXPECT_FALSE(RegionHasPoint(hwnd_, g_listWidth + 8, 8)) << "the image was not repainted";
    }
}

TEST_F(ViewerTest, WithNoLineSelectedNothingIsDecoded)
{
    // The list's "no selection" value has 65535 in its low half: make that
    // file-table entry a good picture.
    ArchivePlan plan;
    plan.types.push_back(TypePlan{kTypeBitmap, {{1, 65535}}, {}});
    plan.files.resize(65535);
    plan.files.back().data = RawPicture(6, 6, 1).resource;
    const Bytes archive = BuildArchive(plan);
    Open(TempFile("entry65535.mhk", &archive));

    BitmapBuffer bitmap;
    EXPECT_FALSE(DecodeSelectedImage(true, &bitmap));
    EXPECT_FALSE(DecodeSelectedImage(false, &bitmap));
    BoxRecorder recorder;
    Command(IDM_COPY);
    Select(-1);
    ASSERT_EQ(recorder.boxes().size(), 2u);
    EXPECT_EQ(recorder.boxes()[0].text, MESSAGE_CANNOT_READ);
    EXPECT_EQ(recorder.boxes()[1].text, MESSAGE_CANNOT_READ);
    EXPECT_EQ(g_hbmImage, nullptr);
    Select(0);
    EXPECT_EQ(recorder.boxes().size(), 2u);
    EXPECT_NE(g_hbmImage, nullptr) << "entry 65535 itself is readable";
}

// ---- The Open dialog ----

TEST_F(ViewerTest, TheOpenDialogStartsFromTheLastPathChosenInIt)
{
    const Bytes archive = ImageArchive({{1, "a", RawPicture(2, 2, 1).resource}});
    const std::string a = TempFile("a.mhk", &archive);
    const std::string b = TempFile("b.mhk", &archive);
    const std::string c = TempFile("c.mhk", &archive);
    BoxRecorder recorder;

    recorder.QueueFileName(a);
    Command(IDM_OPEN, 1);
    EXPECT_STATE(ViewerState(), OpenState(a, 1));
    EXPECT_EQ(lstrcmpiA(g_openPath, a.c_str()), 0) << g_openPath;

    Open(b);  // a drop or the command line: the dialog's path stays
    EXPECT_STATE(ViewerState(), OpenState(b, 1));
    EXPECT_EQ(lstrcmpiA(g_openPath, a.c_str()), 0) << g_openPath;

    recorder.QueueFileName("");  // cancelled: nothing changes
    Command(IDM_OPEN, 1);
    EXPECT_STATE(ViewerState(), OpenState(b, 1));
    EXPECT_EQ(lstrcmpiA(g_openPath, a.c_str()), 0) << g_openPath;

    recorder.QueueFileName(c);
    Command(IDM_OPEN, 0);
    EXPECT_STATE(ViewerState(), OpenState(c, 1));

    ASSERT_EQ(recorder.boxes().size(), 3u) << "three dialogs and no message box";
    const std::string starts[] = {"", Leaf(a), Leaf(a)};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const BoxRecord& dialog = recorder.boxes()[i];
        EXPECT_EQ(dialog.caption, "Open Archive");
        // The name box shows the file name of the last path chosen.
        const std::string& start = starts[i];
        EXPECT_TRUE(dialog.text.size() >= start.size() &&
                    dialog.text.compare(dialog.text.size() - start.size(), start.size(), start) == 0)
            << "starts with '" << dialog.text << "'";
    }
}

// ---- Figures ----

// A 1024 x 1024 stream much like a real picture's: per row a short literal
// run, long back-references to the row above, small steps and a run of
// repeats.
Bytes LargeCompressedPicture()
{
    Bytes b = RawPicture(1024, 1, 1).resource;
    b.resize(780);
    PutBE16(b, 2, 1024);
    PutBE16(b, 6, 1034);
    b.insert(b.end(), 4, 0);
    for (int row = 0; row < 1024; ++row) {
        b.push_back(0x20);  // 64 literal bytes
        for (int i = 0; i < 64; ++i)
            b.push_back(static_cast<uint8_t>(row * 3 + i * 7));
        b.push_back(0xC0 + 12);  // 12 copies of 66 bytes from 1023 back
        for (int i = 0; i < 12; ++i)
            b.insert(b.end(), {0xFC, 0xFF, 0xFF});
        b.push_back(0xC0 + 40);  // 40 pairs, each the last one with a step
        for (int i = 0; i < 40; ++i)
            b.push_back(static_cast<uint8_t>(0x21 + i % 15));
        b.push_back(0x40 + 44);  // the last pair 44 times
    }
    b.push_back(0);
    return b;
}

// The platform's own cost of an open: the list filled with the same lines,
// prepared beforehand, by the messages OpenArchive sends, without any archive.
double FillListFloor(const std::vector<std::string>& lines, const std::vector<LRESULT>& keys)
{
    SendMessageA(g_hwndList, LB_RESETCONTENT, 0, 0);
    const WPARAM count = lines.size();
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    SendMessageA(g_hwndList, WM_SETREDRAW, FALSE, 0);
    SendMessageA(g_hwndList, LB_INITSTORAGE, count, static_cast<LPARAM>(count) * 32);  // OpenArchive's reserve
    for (size_t i = 0; i < lines.size(); ++i) {
        const LRESULT line = SendMessageA(g_hwndList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lines[i].c_str()));
        SendMessageA(g_hwndList, LB_SETITEMDATA, static_cast<WPARAM>(line), keys[i]);
    }
    SendMessageA(g_hwndList, WM_SETREDRAW, TRUE, 0);
    QueryPerformanceCounter(&end);
    return Milliseconds(start, end);
}

// The platform's own cost of a selection: a device bitmap from the same,
// already decoded DIB, painted where the viewer paints it.
double ShowFloor(HWND hwnd, const BitmapBuffer& dib)
{
    const BITMAPINFOHEADER* header = dib.header;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HDC dc = GetDC(hwnd);
    HBITMAP bitmap = CreateDIBitmap(dc, header, CBM_INIT, dib.pixels, reinterpret_cast<const BITMAPINFO*>(header),
                                    DIB_RGB_COLORS);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(dc, g_listWidth + kImageMargin, kImageMargin, header->biWidth, -header->biHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(hwnd, dc);
    QueryPerformanceCounter(&end);
    DeleteObject(bitmap);
    return Milliseconds(start, end);
}

// Lets Wine hand what was painted so far to the X server, as it does when
// the program waits for messages, so that no timed step pays for the paint
// of the one before it.
void SettlePaint()
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

// "ours X ms, floor Y ms, ratio R", best of the runs of each, which were
// taken in turns so that both saw the same machine.
void PrintFigure(const char* what, const std::vector<double>& ours, const std::vector<double>& floors)
{
    const double best = *std::min_element(ours.begin(), ours.end());
    const double floor = *std::min_element(floors.begin(), floors.end());
    printf("FIGURE %s: ours %.1f ms, floor %.1f ms, ratio %.2f (goal: ratio at most 1.2)\n", what, best, floor,
           best / floor);
}

TEST_F(ViewerTest, Figures)
{
    const int kRuns = 7;
    const std::string huge = TempFile("maximal.mhk");
    ASSERT_TRUE(WriteBytes(huge, BuildMaximalArchive()));
    std::vector<std::string> lines;
    std::vector<LRESULT> keys;
    std::vector<double> opens, fills;
    for (int run = 0; run < kRuns; ++run) {
        // Timed from an empty window, as after start-up.
        ReleaseArchiveAtExit();
        SendMessageA(g_hwndList, LB_RESETCONTENT, 0, 0);
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        Open(huge);
        QueryPerformanceCounter(&end);
        opens.push_back(Milliseconds(start, end));
        ASSERT_EQ(SendMessageA(g_hwndList, LB_GETCOUNT, 0, 0), 65535);
        if (lines.empty()) {
            lines = Lines();
            for (size_t i = 0; i < lines.size(); ++i)
                keys.push_back(SendMessageA(g_hwndList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
        }
        fills.push_back(FillListFloor(lines, keys));
    }

    SetWindowPos(hwnd_, nullptr, 0, 0, 1024, 768, SWP_NOZORDER | SWP_NOMOVE);
    Open(ArchiveFile("large.mhk", {{1, "large", LargeCompressedPicture()}, {2, "small", RawPicture(8, 8, 1).resource}}));
    UpdateWindow(hwnd_);
    BitmapBuffer dib;
    SendMessageA(g_hwndList, LB_SETCURSEL, 0, 0);
    ASSERT_TRUE(DecodeSelectedImage(false, &dib));
    std::vector<double> shows, paints;
    for (int run = 0; run < 3 * kRuns; ++run) {
        Select(1);
        SettlePaint();
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        Select(0);
        QueryPerformanceCounter(&end);
        shows.push_back(Milliseconds(start, end));
        SettlePaint();
        paints.push_back(ShowFloor(hwnd_, dib));
    }
    ReleaseBitmap(&dib);
    EXPECT_EQ(ViewerState().image, "1024x1024");
    EXPECT_EQ(ViewerState().status, "Size: 1024x1024");

    PrintFigure("open of 65535 named images until the list is filled", opens, fills);
    PrintFigure("selection of a 1024 x 1024 compressed image until painted", shows, paints);
}

}  // namespace
