// drop_target_test.cpp - the drop target driven through its IDropTarget
// interface with a file list of the test's own; then registered for the real
// main window and reached by real OLE drags inside this process; and the
// main window's guard against WM_OPENARCHIVE from elsewhere.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/drop_target.h"
#include "app/archive_browser.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "tests/gui/gui_support.h"
#include "tests/gui/pictures.h"

namespace {

const DWORD kCopy = DROPEFFECT_COPY, kMove = DROPEFFECT_MOVE, kLink = DROPEFFECT_LINK, kNone = DROPEFFECT_NONE;

// What the drag-image helper, the data object and the windows saw, in order.
std::vector<std::string> s_events;

std::string Format(const char* format, unsigned long a, long b = 0, long c = 0)
{
    char text[128];
    wsprintfA(text, format, a, b, c);
    return text;
}

// The IUnknown part of a test object that outlives every reference: it
// counts its releases and hands out itself as IUnknown and as the one
// interface named (if any), no other.
template <typename Interface>
class Counted : public Interface {
public:
    explicit Counted(const IID* iid = nullptr) : iid_(iid) {}
    int releases = 0;
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        *object = iid_ != nullptr && (iid == IID_IUnknown || iid == *iid_) ? static_cast<Interface*>(this) : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ++releases;
        return 1;
    }

private:
    const IID* iid_;
};

// Counts the releases of the media that a FileList handed out; a medium
// with this owner is given back to it instead of being freed.
typedef Counted<IUnknown> MediumOwner;

// A data object that offers a list of files as CF_HDROP in global memory,
// ANSI or wide, or (offered false) no file list at all.
class FileList : public Counted<IDataObject> {
public:
    explicit FileList(std::vector<std::string> files, bool wide = false, bool offered = true)
        : Counted(&IID_IDataObject), files_(std::move(files)), wide_(wide), offered_(offered)
    {
    }
    ~FileList()
    {
        for (HGLOBAL block : blocks_)
            GlobalFree(block);
    }
    int calls = 0;      // GetData, successful or not
    int handedOut = 0;  // media given out
    MediumOwner owner;

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        ++calls;
        s_events.push_back("GetData");
        // As strict as a source may be: the whole content, no device.
        if (!offered_ || format->cfFormat != CF_HDROP || (format->tymed & TYMED_HGLOBAL) == 0 ||
            format->dwAspect != DVASPECT_CONTENT || format->lindex != -1 || format->ptd != nullptr)
            return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = MakeList();
        medium->pUnkForRelease = &owner;
        ++handedOut;
        return S_OK;
    }
    STDMETHODIMP QueryGetData(FORMATETC* format) override
    {
        return offered_ && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    // A DROPFILES header, then the names, each zero-terminated, then a zero.
    HGLOBAL MakeList()
    {
        const size_t unit = wide_ ? 2 : 1;
        size_t size = sizeof(DROPFILES) + 2 * unit;
        for (const std::string& file : files_)
            size += (file.size() + 1) * unit;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        DROPFILES* header = static_cast<DROPFILES*>(GlobalLock(block));
        header->pFiles = sizeof(DROPFILES);
        header->pt.x = 5;
        header->pt.y = 6;
        header->fWide = wide_;
        BYTE* at = reinterpret_cast<BYTE*>(header + 1);
        for (const std::string& file : files_) {
            for (char ch : file) {
                *at = static_cast<BYTE>(ch);  // ASCII names: the wide form is the same byte, then a zero
                at += unit;
            }
            at += unit;
        }
        GlobalUnlock(block);
        blocks_.push_back(block);
        return block;
    }
    std::vector<std::string> files_;
    bool wide_;
    bool offered_;
    std::vector<HGLOBAL> blocks_;
};

// A drag-image helper that logs what it is given and, like Wine's, does nothing.
class RecordingHelper : public Counted<IDropTargetHelper> {
public:
    HWND hwnd = nullptr;
    IDataObject* data = nullptr;
    STDMETHODIMP DragEnter(HWND target, IDataObject* object, POINT* point, DWORD effect) override
    {
        hwnd = target;
        data = object;
        s_events.push_back(Format("helper DragEnter %lu at %ld,%ld", effect, point->x, point->y));
        return E_NOTIMPL;
    }
    STDMETHODIMP DragLeave() override
    {
        s_events.push_back("helper DragLeave");
        return E_NOTIMPL;
    }
    STDMETHODIMP DragOver(POINT* point, DWORD effect) override
    {
        s_events.push_back(Format("helper DragOver %lu at %ld,%ld", effect, point->x, point->y));
        return E_NOTIMPL;
    }
    STDMETHODIMP Drop(IDataObject* object, POINT* point, DWORD effect) override
    {
        data = object;
        s_events.push_back(Format("helper Drop %lu at %ld,%ld", effect, point->x, point->y));
        return E_NOTIMPL;
    }
    STDMETHODIMP Show(BOOL) override
    {
        s_events.push_back("helper Show");
        return E_NOTIMPL;
    }
};

// Records WM_OPENARCHIVE as "open PATH", marked when it came from another thread.
void RecordOpen(LPARAM lParam)
{
    std::string prefix = InSendMessage() ? "cross-thread open " : "open ";
    // The lowest 64 KB are never mapped: there, the tests' stand-in for an
    // address in another process.
    s_events.push_back(prefix + (lParam < 0x10000 ? "(no address)" : reinterpret_cast<const char*>(lParam)));
}

LRESULT CALLBACK OpenRecorderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_OPENARCHIVE) {
        RecordOpen(lParam);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A message-only window of this thread that records WM_OPENARCHIVE.
HWND CreateOpenRecorder()
{
    WNDCLASSA cls = {};
    cls.lpfnWndProc = OpenRecorderProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "DropTestRecorder";
    RegisterClassA(&cls);  // fails harmlessly from the second time on
    return CreateWindowExA(0, cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
}

std::vector<std::string> Opens()
{
    std::vector<std::string> opens;
    for (const std::string& e : s_events) {
        if (e.find("open ") != std::string::npos)
            opens.push_back(e);
    }
    return opens;
}

const char kArchive[] = "Z:\\data\\a b.mhk";
const char kOther[] = "Z:\\data\\c.mhk";

std::string NameOfLength(size_t length)
{
    std::string name = "Z:\\data\\";
    return name + std::string(length - name.size(), 'x');
}

// ---- The object on its own, through its interface ----

class DropTargetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        window_ = CreateOpenRecorder();
        ASSERT_NE(window_, nullptr);
        CreateDropTarget(&target_, window_);
        s_events.clear();
    }
    void TearDown() override
    {
        ReleaseDropTarget(&target_);
        DestroyWindow(window_);
        OleUninitialize();
    }
    IDropTarget* Target() { return DropTargetInterface(&target_); }
    // Each call checks the result that every operation must give, S_OK,
    // and returns the effect that the target answered.
    DWORD Enter(IDataObject* data, DWORD allowed)
    {
        POINTL point = {5, 6};
        EXPECT_EQ(Target()->DragEnter(data, MK_LBUTTON, point, &allowed), S_OK);
        return allowed;
    }
    DWORD Over(DWORD allowed)
    {
        POINTL point = {7, 8};
        EXPECT_EQ(Target()->DragOver(MK_LBUTTON | MK_SHIFT, point, &allowed), S_OK);
        return allowed;
    }
    void Leave() { EXPECT_EQ(Target()->DragLeave(), S_OK); }
    DWORD Drop(IDataObject* data, DWORD allowed)
    {
        POINTL point = {9, 10};
        EXPECT_EQ(Target()->Drop(data, 0, point, &allowed), S_OK);
        return allowed;
    }
    HWND window_ = nullptr;
    DropTarget target_ = {};
};

TEST_F(DropTargetTest, AnswersOnlyForItsTwoInterfacesAndIsNotCounted)
{
    std::vector<IID> refused = {IID_IDataObject, IID_IDropTargetHelper, IID_IMarshal, IID_IDropSource, IID_NULL};
    // The two accepted identifiers with any one byte changed.
    for (const IID& accepted : {IID_IUnknown, IID_IDropTarget}) {
        for (size_t i = 0; i < sizeof(IID); ++i) {
            IID altered = accepted;
            reinterpret_cast<BYTE*>(&altered)[i] ^= 0x01;
            refused.push_back(altered);
        }
    }
    for (const IID& iid : {IID_IUnknown, IID_IDropTarget}) {
        void* object = nullptr;
        EXPECT_EQ(Target()->QueryInterface(iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<void*>(&target_));
    }
    for (size_t i = 0; i < refused.size(); ++i) {
        void* object = &target_;
        EXPECT_EQ(Target()->QueryInterface(refused[i], &object), E_NOINTERFACE) << "identifier " << i;
        EXPECT_EQ(object, nullptr) << "identifier " << i;
    }
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Target()->AddRef(), 1u);
        EXPECT_EQ(Target()->Release(), 1u);
        EXPECT_EQ(Target()->Release(), 1u);
    }
    // Still whole after more releases than references.
    FileList one({kArchive});
    EXPECT_EQ(Enter(&one, kCopy), kCopy);
    EXPECT_EQ(target_.hwnd, window_);
}

struct DragCase {
    const char* what;
    std::vector<std::string> files;
    bool wide;
    bool offered;
    DWORD allowed;
    bool accepted;       // the effect is copy at every step
    const char* opens;   // the path sent on the drop, or null for none
};

enum HelperKind { kNoHelper, kShellHelper, kRecordingHelper };

TEST_F(DropTargetTest, AcceptsOneFileWhenCopyingIsAllowedAndOpensItOnTheDrop)
{
    const std::string longest = NameOfLength(MAX_PATH - 1), tooLong = NameOfLength(MAX_PATH);
    const DragCase cases[] = {
        {"one file", {kArchive}, false, true, kCopy, true, kArchive},
        {"one file, wide names, any effect", {kArchive}, true, true, kCopy | kMove | kLink, true, kArchive},
        {"a name that just fits", {longest}, false, true, kCopy, true, longest.c_str()},
        // Too long for the file calls: sent as the empty path, which fails to
        // open as every path does that cannot be opened.
        {"a name too long for the path buffer", {tooLong}, true, true, kCopy, true, ""},
        {"two files", {kArchive, kOther}, false, true, kCopy, false, nullptr},
        {"no files (to Wine, one empty name)", {}, false, true, kCopy, false, nullptr},
        {"move only", {kArchive}, false, true, kMove, false, nullptr},
        {"link only", {kArchive}, false, true, kLink, false, nullptr},
        {"move or link", {kArchive}, true, true, kMove | kLink, false, nullptr},
        {"no file list offered", {kArchive}, false, false, kCopy, false, nullptr},
    };
    RecordingHelper recording;
    for (HelperKind helper : {kNoHelper, kShellHelper, kRecordingHelper}) {
        ReleaseDropTarget(&target_);
        CreateDropTarget(&target_, window_);
        // Made from the published identifiers, so they must be right.
        if (helper == kShellHelper) {
            EXPECT_NE(target_.helper, nullptr) << "the shell's drag-image helper";
        } else {
            ReleaseDropTarget(&target_);
            target_.helper = helper == kRecordingHelper ? &recording : nullptr;
        }
        for (const DragCase& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << ", helper " << helper);
            s_events.clear();
            BoxRecorder boxes;
            FileList data(c.files, c.wide, c.offered);
            const DWORD answer = c.accepted ? kCopy : kNone;
            EXPECT_EQ(Enter(&data, c.allowed), answer);
            EXPECT_EQ(target_.accept, c.accepted);
            EXPECT_EQ(Over(c.allowed), answer);
            EXPECT_EQ(Drop(&data, c.allowed), answer);
            EXPECT_EQ(target_.accept, c.accepted);

            // Synchronously, from this thread, before Drop returned.
            std::vector<std::string> expected;
            if (c.opens != nullptr)
                expected.push_back(std::string("open ") + c.opens);
            EXPECT_EQ(Opens(), expected);
            MSG pending;
            EXPECT_FALSE(PeekMessageA(&pending, nullptr, WM_OPENARCHIVE, WM_OPENARCHIVE, PM_NOREMOVE));

            // Without copying, the data is not even looked at; every list is given back.
            const bool copying = (c.allowed & kCopy) != 0;
            EXPECT_EQ(data.calls, copying ? 2 : 0) << "GetData on DragEnter and Drop only";
            EXPECT_EQ(data.owner.releases, data.handedOut);
            EXPECT_TRUE(boxes.boxes().empty()) << "every message is the open's, not the target's";
        }
    }
    target_.helper = nullptr;
}

struct Step {
    enum Op { kEnter, kOver, kLeave, kDrop } op;
    int data;  // 0: one file, 1: two files, 2: no file list
    DWORD allowed;
    DWORD effect;
};

TEST_F(DropTargetTest, AcceptIsDecidedOnEnteringAndKeptForTheDrag)
{
    const Step steps[] = {
        // Copying forbidden for a moment: no effect then, but the file
        // count found on entering still holds.
        {Step::kEnter, 0, kCopy, kCopy}, {Step::kOver, 0, kMove, kNone}, {Step::kOver, 0, kCopy, kCopy},
        {Step::kLeave, 0, 0, 0},
        // A new drag forgets the last one.
        {Step::kEnter, 1, kCopy, kNone}, {Step::kOver, 0, kCopy | kMove, kNone}, {Step::kLeave, 0, 0, 0},
        // Entering without copying keeps accept clear for the whole drag.
        {Step::kEnter, 0, kCopy, kCopy}, {Step::kLeave, 0, 0, 0},
        {Step::kEnter, 0, kMove, kNone}, {Step::kOver, 0, kCopy, kNone}, {Step::kLeave, 0, 0, 0},
        // A drop whose list cannot be read, or holds more files, opens
        // nothing; the answer stays what entering found.
        {Step::kEnter, 0, kCopy, kCopy}, {Step::kDrop, 2, kCopy, kCopy},
        {Step::kEnter, 0, kCopy, kCopy}, {Step::kDrop, 1, kCopy, kCopy},
        {Step::kEnter, 1, kCopy, kNone}, {Step::kDrop, 2, kCopy, kNone},
    };
    FileList one({kArchive}), two({kArchive, kOther}), none({kArchive}, false, false);
    IDataObject* data[] = {&one, &two, &none};
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE(testing::Message() << "step " << i);
        switch (s.op) {
        case Step::kEnter:
            EXPECT_EQ(Enter(data[s.data], s.allowed), s.effect);
            break;
        case Step::kOver:
            EXPECT_EQ(Over(s.allowed), s.effect);
            break;
        case Step::kLeave:
            Leave();
            break;
        case Step::kDrop:
            EXPECT_EQ(Drop(data[s.data], s.allowed), s.effect);
            break;
        }
    }
    EXPECT_TRUE(Opens().empty());
}

TEST_F(DropTargetTest, TheHelperSeesEveryOperationFirstWithTheEffectAsReceived)
{
    RecordingHelper helper;
    ReleaseDropTarget(&target_);
    target_.helper = &helper;
    FileList one({kArchive});
    EXPECT_EQ(Enter(&one, kCopy | kMove), kCopy);
    EXPECT_EQ(Over(kMove), kNone);
    Leave();
    EXPECT_EQ(Enter(&one, kMove | kLink), kNone);
    EXPECT_EQ(Over(kCopy | kLink), kNone);
    Leave();
    EXPECT_EQ(Enter(&one, kCopy | kMove | kLink), kCopy);
    EXPECT_EQ(Drop(&one, kCopy | kMove | kLink), kCopy);
    const std::vector<std::string> expected = {
        "helper DragEnter 3 at 5,6", "GetData", "helper DragOver 2 at 7,8", "helper DragLeave",
        "helper DragEnter 6 at 5,6", "helper DragOver 5 at 7,8", "helper DragLeave",
        "helper DragEnter 7 at 5,6", "GetData", "helper Drop 7 at 9,10", "GetData", std::string("open ") + kArchive,
    };
    EXPECT_EQ(s_events, expected);
    EXPECT_EQ(helper.hwnd, window_);
    EXPECT_EQ(helper.data, &one);

    // Released once; a second release finds nothing to give back.
    ReleaseDropTarget(&target_);
    ReleaseDropTarget(&target_);
    EXPECT_EQ(helper.releases, 1);
    EXPECT_EQ(target_.helper, nullptr);
}

// ---- Registered for the real main window ----

WNDPROC s_mainProc;
HRESULT s_revokeAfterDestroy;

// Records WM_OPENARCHIVE on its way to the main window; after the window's
// own WM_DESTROY handling, tries to withdraw the registration once more.
LRESULT CALLBACK MainSpy(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_OPENARCHIVE)
        RecordOpen(lParam);
    LRESULT result = CallWindowProcA(s_mainProc, hwnd, message, wParam, lParam);
    if (message == WM_DESTROY)
        s_revokeAfterDestroy = RevokeDragDrop(hwnd);
    return result;
}

// Ends the drag with a drop on its third look at the keys.
class DropSoon : public Counted<IDropSource> {
public:
    DropSoon() : Counted(&IID_IDropSource) {}
    int looks = 0;
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD) override
    {
        if (escape)
            return DRAGDROP_S_CANCEL;
        return ++looks >= 3 ? DRAGDROP_S_DROP : S_OK;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// Puts the window at a known place on top and the cursor over the image area.
void PointAtImageArea(HWND hwnd)
{
    SetWindowPos(hwnd, HWND_TOP, 40, 40, 900, 600, SWP_SHOWWINDOW);
    POINT point = {600, 200};
    ClientToScreen(hwnd, &point);
    SetCursorPos(point.x, point.y);
    PumpMessages();
}

// A real OLE drag of the files from this process; returns the effect.
DWORD DragFiles(const std::vector<std::string>& files, DWORD allowed, HRESULT* result = nullptr)
{
    FileList data(files);
    DropSoon source;
    DWORD effect = 0xFF;
    HRESULT hr = DoDragDrop(&data, &source, allowed, &effect);
    EXPECT_EQ(data.owner.releases, data.handedOut) << "every file list given back";
    if (result != nullptr)
        *result = hr;
    return effect;
}


// What the Open dialog chose last, which drops must leave alone.
const char kChosen[] = "Z:\\chosen\\in the dialog.mhk";

// Each box notes the state it was shown in, and that it came during a drop.
ViewerSnapshot StateAtBox()
{
    s_events.push_back("box");
    return ViewerState();
}

class DropOnMainWindowTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ViewerTest::SetUp();
        s_mainProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MainSpy)));
        s_events.clear();
    }
    void TearDown() override
    {
        ViewerTest::TearDown();
        ReleaseDropTarget(&target_);
        target_.helper = nullptr;
        OleUninitialize();
    }
    // Registers the drop target for the main window, its helper replaced
    // by one that logs the platform's calls.
    void Register()
    {
        CreateDropTarget(&target_, hwnd_);
        ReleaseDropTarget(&target_);
        target_.helper = &helper_;
        ASSERT_EQ(RegisterDragDrop(hwnd_, DropTargetInterface(&target_)), S_OK);
        PointAtImageArea(hwnd_);
    }
    // The list's lines with their item data.
    std::vector<std::string> Items()
    {
        std::vector<std::string> items = Lines();
        for (size_t i = 0; i < items.size(); ++i)
            items[i] += " " + std::to_string(SendMessageA(g_hwndList, LB_GETITEMDATA, i, 0));
        return items;
    }
    RecordingHelper helper_;
    DropTarget target_ = {};
};

struct RealDrag {
    const char* what;
    std::vector<std::string> files;
    DWORD allowed;
    DWORD effect;
};

TEST_F(DropOnMainWindowTest, OnlyACopyOfOneFileEndsInADrop)
{
    Register();
    const std::string a = ArchiveFile("drag a.mhk", {{1, "one", RawPicture(2, 2, 1).resource}});
    const RealDrag drags[] = {
        {"two files", {a, a}, kCopy, kNone},
        {"move only", {a}, kMove, kNone},
        {"one file", {a}, kCopy | kMove, kCopy},
    };
    for (const RealDrag& d : drags) {
        SCOPED_TRACE(d.what);
        s_events.clear();
        HRESULT result = E_FAIL;
        EXPECT_EQ(DragFiles(d.files, d.allowed, &result), d.effect);
        if (d.effect != kNone) {
            EXPECT_EQ(result, DRAGDROP_S_DROP);
        }
        // Without an effect the drag ends in DragLeave, never in Drop.
        std::string last;
        for (const std::string& e : s_events) {
            if (e.rfind("helper ", 0) == 0)
                last = e.substr(0, e.find(' ', 7));
        }
        EXPECT_EQ(last, d.effect != kNone ? "helper Drop" : "helper DragLeave");
        EXPECT_EQ(Opens(), d.effect != kNone ? std::vector<std::string>{"open " + a} : std::vector<std::string>{});
    }
    EXPECT_STATE(ViewerState(), OpenState(a, 1));
}

TEST_F(DropOnMainWindowTest, ADroppedArchiveOpensAsTheOpenCommandOpensIt)
{
    Register();
    const std::string a = ArchiveFile("dropped a.mhk", {{7, "first", RawPicture(2, 2, 1).resource},
                                                       {40000, nullptr, RawPicture(3, 2, 2).resource},
                                                       {1000, "third", RawPicture(2, 3, 3).resource}});
    const std::string b = ArchiveFile("dropped b.mhk", {{1, "only", RawPicture(2, 2, 4).resource}});
    BoxRecorder recorder;
    recorder.QueueFileName(a);
    Command(IDM_OPEN, 1);
    const ViewerSnapshot opened = ViewerState();
    const std::vector<std::string> items = Items();
    const std::string chosen = g_openPath;
    EXPECT_STATE(opened, OpenState(a, 3));

    EXPECT_EQ(DragFiles({b}, kCopy), kCopy);
    EXPECT_STATE(ViewerState(), OpenState(b, 1));
    EXPECT_EQ(DragFiles({a}, kCopy), kCopy);
    EXPECT_STATE(ViewerState(), opened);
    EXPECT_EQ(Items(), items);
    EXPECT_EQ(g_openPath, chosen) << "drops leave the dialog's path alone";
    EXPECT_EQ(recorder.boxes().size(), 1u) << "the dialog, and no message box";
}

struct DropOpenCase {
    const char* what;
    int file;           // index into the files below
    bool showImage;     // select the first line before dropping
    const char* box;    // text of the one box, or null
    UINT icon;
    int lines;          // lines after the drop; -1: the empty state
};

TEST_F(DropOnMainWindowTest, ADroppedFileOpensOrExplainsWhyNotDuringTheDrop)
{
    Register();
    const Bytes text = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e', '\n'};
    const std::string folder = TempPath("dropped folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string files[] = {
        ArchiveFile("three.mhk", {{1, "a", RawPicture(2, 2, 1).resource}, {2, "b", RawPicture(2, 2, 2).resource},
                                 {3, nullptr, RawPicture(2, 2, 3).resource}}),
        folder,
        TempFile("notes.txt", &text),
        ArchiveFile("no images.mhk", {}),
        TempPath("missing.mhk"),
        ArchiveFile("renamed.txt", {{9, "z", RawPicture(4, 4, 4).resource}}),
        TempPath(std::string(MAX_PATH, 'n').c_str()),
    };
    const DropOpenCase cases[] = {
        {"an archive", 0, false, nullptr, 0, 3},
        {"a folder over a shown image", 1, true, MESSAGE_CANNOT_OPEN, MB_ICONWARNING, -1},
        {"an archive of another extension", 5, false, nullptr, 0, 1},
        {"a name too long to open, over a shown image", 6, true, MESSAGE_CANNOT_OPEN, MB_ICONWARNING, -1},
        {"not an archive", 2, false, MESSAGE_NOT_ARCHIVE, MB_ICONWARNING, -1},
        {"an archive again", 0, false, nullptr, 0, 3},
        {"an archive without images", 3, true, MESSAGE_NO_IMAGES, MB_ICONINFORMATION, -1},
        {"a file that is gone", 4, false, MESSAGE_CANNOT_OPEN, MB_ICONWARNING, -1},
    };
    lstrcpyA(g_openPath, kChosen);
    for (const DropOpenCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.showImage) {
            Select(0);
            ASSERT_NE(g_hbmImage, nullptr);
        }
        const std::string& file = files[c.file];
        const ViewerSnapshot after = c.lines < 0 ? kEmptyState : OpenState(file, c.lines);
        s_events.clear();
        BoxRecorder recorder;
        recorder.snapshot = StateAtBox;
        EXPECT_EQ(DragFiles({file}, kCopy | kMove), kCopy) << "accepted whatever the file is";
        EXPECT_STATE(ViewerState(), after);
        EXPECT_STREQ(g_openPath, kChosen);
        ASSERT_EQ(recorder.boxes().size(), c.box != nullptr ? 1u : 0u);
        if (c.box != nullptr) {
            const BoxRecord& box = recorder.boxes()[0];
            EXPECT_EQ(box.text, c.box);
            EXPECT_EQ(box.caption, PRODUCT_NAME);
            EXPECT_EQ(box.icon, c.icon);
            EXPECT_STATE(box.state, after) << "shown last, once the state is settled";
            // Inside the drop: after the platform's Drop reached the target.
            ASSERT_GE(s_events.size(), 2u);
            EXPECT_EQ(s_events.back(), "box");
            // A name too long for the file calls is sent as the empty path.
            EXPECT_EQ(s_events[s_events.size() - 2], "open " + (file.size() < MAX_PATH ? file : std::string()));
        }
    }
    RemoveDirectoryA(folder.c_str());
}

TEST_F(DropOnMainWindowTest, DestroyingTheWindowWithdrawsTheRegistration)
{
    CreateDropTarget(&target_, hwnd_);
    ASSERT_EQ(RegisterDragDrop(hwnd_, DropTargetInterface(&target_)), S_OK);
    EXPECT_EQ(RegisterDragDrop(hwnd_, DropTargetInterface(&target_)), DRAGDROP_E_ALREADYREGISTERED);
    s_revokeAfterDestroy = E_UNEXPECTED;
    DestroyWindow(hwnd_);
    EXPECT_EQ(s_revokeAfterDestroy, DRAGDROP_E_NOTREGISTERED);
}

struct CrossThreadSend {
    HWND hwnd;
    const char* path;
};

DWORD WINAPI SendFromAnotherThread(void* parameter)
{
    const CrossThreadSend* send = static_cast<const CrossThreadSend*>(parameter);
    // An address that is no path anywhere, and one that is, in this process.
    const LPARAM paths[] = {0x10, reinterpret_cast<LPARAM>(send->path)};
    for (LPARAM path : paths) {
        DWORD_PTR result = 1;
        if (!SendMessageTimeoutA(send->hwnd, WM_OPENARCHIVE, 0, path, SMTO_BLOCK, 10000, &result))
            return 2;
        if (result != 0)
            return 3;
    }
    return 0;
}

TEST_F(DropOnMainWindowTest, OpenArchiveFromAnotherThreadIsIgnored)
{
    const std::string a = ArchiveFile("cross thread.mhk", {{1, "one", RawPicture(2, 2, 1).resource}});
    BoxRecorder recorder;
    CrossThreadSend send = {hwnd_, a.c_str()};
    HANDLE thread = CreateThread(nullptr, 0, SendFromAnotherThread, &send, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        PumpMessages();
    DWORD code = 99;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u) << "both sends answered with 0";
    EXPECT_EQ(Opens(), (std::vector<std::string>{"cross-thread open (no address)", "cross-thread open " + a}));
    EXPECT_STATE(ViewerState(), kEmptyState);
    EXPECT_TRUE(recorder.boxes().empty());
    // The same path sent from the window's own thread opens.
    Open(a);
    EXPECT_STATE(ViewerState(), OpenState(a, 1));
}

TEST_F(DropOnMainWindowTest, PostedOpenArchiveNeverReachesTheWindow)
{
    const std::string a = ArchiveFile("posted.mhk", {{1, "one", RawPicture(2, 2, 1).resource}});
    // Picked up by this test's loop, and by a message box's modal loop.
    PostMessageA(hwnd_, WM_OPENARCHIVE, 0, 0x10);
    PumpMessages();
    PostMessageA(hwnd_, WM_OPENARCHIVE, 0, reinterpret_cast<LPARAM>(a.c_str()));
    BoxRecorder recorder;
    ShowInfo(hwnd_, "modal");
    PumpMessages();
    EXPECT_EQ(recorder.boxes().size(), 1u) << "only the test's own box";
    EXPECT_TRUE(Opens().empty());
    EXPECT_STATE(ViewerState(), kEmptyState);
    // Other windows of the thread use the same number for messages of their own.
    HWND other = CreateOpenRecorder();
    PostMessageA(other, WM_OPENARCHIVE, 0, 0x10);
    PumpMessages();
    EXPECT_EQ(Opens(), std::vector<std::string>{"open (no address)"}) << "another window's message passes";
    DestroyWindow(other);
}

// ---- The whole program: ViewerMain's own registration ----

struct ViewerScript {
    int ticks;
    bool busy, done;
    std::string archive;
    DWORD effects[2];
    ViewerSnapshot state;
};
ViewerScript s_viewer;

// Runs inside ViewerMain's loop: two drags onto its window (DoDragDrop
// runs a loop of its own, which brings more ticks), then File > Exit.
VOID CALLBACK ViewerTick(HWND, UINT, UINT_PTR, DWORD)
{
    ViewerScript& s = s_viewer;
    if (s.busy || s.done)
        return;
    HWND main = FindWindowA(MAIN_WINDOW_CLASS, nullptr);
    if (main == nullptr) {
        if (++s.ticks > 200) {
            s.done = true;
            PostQuitMessage(77);
        }
        return;
    }
    s.busy = true;
    s_mainProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MainSpy)));
    PointAtImageArea(main);
    s.effects[0] = DragFiles({s.archive, s.archive}, kCopy | kMove);
    s.effects[1] = DragFiles({s.archive}, kCopy | kMove);
    s.state = ViewerState();
    s.done = true;
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    s.busy = false;
}

TEST(ViewerMainDrop, ADragOntoTheRunningViewerOpensTheFile)
{
    ResetViewerState();
    ASSERT_TRUE(UnregisterClassA(MAIN_WINDOW_CLASS, GetModuleHandleA(nullptr))) << GetLastError();
    const std::string archive = TempPath("running viewer.mhk");
    ASSERT_TRUE(WriteBytes(archive, ImageArchive({{1, "one", RawPicture(2, 2, 1).resource},
                                                 {2, "two", RawPicture(2, 2, 2).resource}})));
    BoxRecorder boxes;
    s_events.clear();
    s_viewer = ViewerScript();
    s_viewer.archive = archive;
    s_revokeAfterDestroy = E_UNEXPECTED;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, ViewerTick);
    ASSERT_NE(timer, 0u);
    int result = ViewerMain();
    KillTimer(nullptr, timer);

    EXPECT_EQ(result, 0);
    ASSERT_TRUE(s_viewer.done);
    EXPECT_EQ(s_viewer.effects[0], kNone);
    EXPECT_EQ(s_viewer.effects[1], kCopy);
    EXPECT_STATE(s_viewer.state, OpenState(archive, 2));
    EXPECT_EQ(Opens(), std::vector<std::string>{"open " + archive});
    EXPECT_EQ(s_revokeAfterDestroy, DRAGDROP_E_NOTREGISTERED) << "the window's destruction withdrew the registration";
    EXPECT_TRUE(boxes.boxes().empty());
    ReleaseArchiveAtExit();
    DeleteFileA(archive.c_str());
}

}  // namespace
