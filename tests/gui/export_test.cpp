// export_test.cpp - Copy Image and Save Image As: the bytes against
// mhkbmp export, replacing a file, targets that cannot be created or
// written, a busy clipboard, and both commands with nothing to export.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/gui/gui_support.h"
#include "tests/gui/pictures.h"

namespace {

Bytes ReadAll(const std::string& path)
{
    Bytes bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    fclose(file);
    return bytes;
}

// Opens rather than asks for attributes, which Wine gives no device.
bool Exists(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// Runs mhkbmp.exe of this build and returns its exit code. Messages are
// pumped meanwhile: the harness owns windows that other processes may want
// to talk to.
DWORD RunMhkbmp(const std::string& arguments)
{
    const std::string exe = FromUnix(VELDER_MHKBMP);
    std::string line = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << line << ", error " << GetLastError();
        return 255;
    }
    while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        PumpMessages();
    DWORD code = 255;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The clipboard's CF_DIB item, or nothing.
Bytes ClipboardDib(HWND owner)
{
    Bytes bytes;
    if (!OpenClipboard(owner))
        return bytes;
    HGLOBAL item = GetClipboardData(CF_DIB);
    if (item != nullptr) {
        const uint8_t* p = static_cast<const uint8_t*>(GlobalLock(item));
        bytes.assign(p, p + GlobalSize(item));
        GlobalUnlock(item);
    }
    CloseClipboard();
    return bytes;
}

void PutTextOnClipboard(HWND owner, const char* text)
{
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    memcpy(GlobalLock(block), text, strlen(text) + 1);
    GlobalUnlock(block);
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
}

std::string ClipboardText(HWND owner)
{
    std::string text;
    if (!OpenClipboard(owner))
        return "(clipboard busy)";
    HGLOBAL item = GetClipboardData(CF_TEXT);
    if (item != nullptr) {
        text = static_cast<const char*>(GlobalLock(item));
        GlobalUnlock(item);
    }
    CloseClipboard();
    return text;
}

// ---- Bytes ----

struct ExportCase {
    const char* what;
    ShownPicture picture;
};

TEST_F(ViewerTest, SaveAndCopyGiveTheBytesOfMhkbmpExport)
{
    const ExportCase cases[] = {
        {"raw 5 x 3", RawPicture(5, 3, 1)},
        {"raw 61 x 40", RawPicture(61, 40, 2)},
        {"compressed 100 x 37", CompressedPicture(100, 37, 3)},
        {"compressed 1024 x 1024", CompressedPicture(1024, 1024, 4)},
        {"24-bit 608 x 392", WidePicture(5)},
    };
    std::vector<ImageLine> lines;
    for (const ExportCase& c : cases)
        lines.push_back(ImageLine{1, c.what, c.picture.resource});
    const std::string archive = ArchiveFile("export.mhk", lines);
    Open(archive);

    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(cases[i].what);
        const std::string reference = TempFile("reference.bmp");
        ASSERT_EQ(RunMhkbmp("export \"" + archive + "\" " + std::to_string(i + 1) + " \"" + reference + "\""), 0u);
        const Bytes expected = ReadAll(reference);
        ASSERT_GT(expected.size(), 14u);

        Select(static_cast<int>(i));
        // The first name is typed without its extension.
        const std::string saved = TempFile("saved.bmp");
        BoxRecorder recorder;
        recorder.QueueFileName(i == 0 ? saved.substr(0, saved.size() - 4) : saved);
        Command(IDM_SAVEAS, 1);
        ASSERT_EQ(recorder.boxes().size(), 1u) << "the Save dialog, and no message";
        EXPECT_EQ(recorder.boxes()[0].caption, "Save Image As");
        EXPECT_EQ(recorder.boxes()[0].text, "") << "every Save dialog starts without a name";
        EXPECT_TRUE(ReadAll(saved) == expected) << "the saved file differs from mhkbmp's";

        Command(IDM_COPY, 1);
        const Bytes dib = ClipboardDib(hwnd_);
        ASSERT_GE(dib.size(), expected.size() - 14);
        EXPECT_TRUE(std::equal(expected.begin() + 14, expected.end(), dib.begin()))
            << "the clipboard's bitmap differs from the file's";
        EXPECT_TRUE(recorder.boxes().size() == 1u);
    }
}

// Asked first, then replaced whole; a read-only file only where the
// platform lets its user write it: Windows refuses to, Wine run by root does
// not. Either way the viewer must do what the platform does, whole.
TEST_F(ViewerTest, SavingOverAFileReplacesItWholeAfterAsking)
{
    Open(ArchiveFile("over.mhk", {{1, "a", RawPicture(5, 3, 1).resource}}));
    Select(0);
    for (bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "writable");
        const Bytes old(5000, 'x');
        const std::string path = TempFile(readOnly ? "readonly.bmp" : "existing.bmp", &old);
        bool writable = true;
        if (readOnly) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
            HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            writable = probe != INVALID_HANDLE_VALUE;
            if (writable) {
                CloseHandle(probe);
                printf("note: this platform lets its user replace read-only files\n");
            }
        }
        BoxRecorder recorder;
        recorder.QueueFileName(path);
        Command(IDM_SAVEAS);
        ASSERT_GE(recorder.boxes().size(), 2u) << "the dialog and its question";
        EXPECT_NE(recorder.boxes()[1].text.find("already exists"), std::string::npos) << recorder.boxes()[1].text;
        const Bytes saved = ReadAll(path);
        if (writable) {
            EXPECT_EQ(recorder.boxes().size(), 2u);
            ASSERT_EQ(saved.size(), 1102u);
            EXPECT_EQ(saved[0], 'B');
        } else {
            ASSERT_EQ(recorder.boxes().size(), 3u);
            EXPECT_EQ(recorder.boxes()[2].text, MESSAGE_CANNOT_OPEN);
            EXPECT_TRUE(saved == old);
        }
    }
}

// ---- Targets that cannot be created or written ----

// While alive, this program's own calls to WriteFile go through a stand-in:
// the call numbered failAt (from 1) fails, or with shortWrite writes only
// half of its bytes and says so, as on a full disk.
class WriteFault {
public:
    WriteFault(int failAt, bool shortWrite)
    {
        s_failAt = failAt;
        s_short = shortWrite;
        s_calls = 0;
        s_real = reinterpret_cast<WriteFileProc>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile")));
        slot_ = FindImport(reinterpret_cast<void*>(s_real));
        EXPECT_NE(slot_, nullptr) << "no import of WriteFile";
        Patch(reinterpret_cast<ULONG_PTR>(Fake));
    }
    ~WriteFault() { Patch(reinterpret_cast<ULONG_PTR>(s_real)); }

private:
    typedef BOOL(WINAPI* WriteFileProc)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

    static BOOL WINAPI Fake(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
    {
        if (++s_calls != s_failAt)
            return s_real(file, bytes, count, written, overlapped);
        if (s_short)
            return s_real(file, bytes, count / 2, written, overlapped);
        *written = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }

    // The import-address slot of this program that holds target.
    static ULONG_PTR* FindImport(void* target)
    {
        uint8_t* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
        IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (IMAGE_IMPORT_DESCRIPTOR* dll =
                 reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             dll->Name != 0; ++dll) {
            for (IMAGE_THUNK_DATA* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
                 thunk->u1.Function != 0; ++thunk) {
                if (reinterpret_cast<void*>(thunk->u1.Function) == target)
                    return reinterpret_cast<ULONG_PTR*>(&thunk->u1.Function);
            }
        }
        return nullptr;
    }

    void Patch(ULONG_PTR value)
    {
        if (slot_ == nullptr)
            return;
        DWORD protection;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
        *slot_ = value;
        VirtualProtect(slot_, sizeof *slot_, protection, &protection);
    }

    ULONG_PTR* slot_;
    static int s_failAt;
    static bool s_short;
    static int s_calls;
    static WriteFileProc s_real;
};

int WriteFault::s_failAt;
bool WriteFault::s_short;
int WriteFault::s_calls;
WriteFault::WriteFileProc WriteFault::s_real;

enum SaveTarget { kHeldOpen, kFailingWrite };

struct SaveFailure {
    const char* what;
    SaveTarget target;
    int failAt;
    bool shortWrite;
    bool existed;  // a file was there before
    const char* text;
};

TEST_F(ViewerTest, SaveFailuresWarnLastAndLeaveNoPartialFile)
{
    const SaveFailure cases[] = {
        {"held open by another without write sharing", kHeldOpen, 0, false, true, MESSAGE_CANNOT_OPEN},
        {"first write fails", kFailingWrite, 1, false, false, MESSAGE_CANNOT_WRITE},
        {"first write short", kFailingWrite, 1, true, false, MESSAGE_CANNOT_WRITE},
        {"size field fails", kFailingWrite, 2, false, true, MESSAGE_CANNOT_WRITE},
        {"pixel offset fails", kFailingWrite, 4, false, false, MESSAGE_CANNOT_WRITE},
        {"bitmap short", kFailingWrite, 5, true, false, MESSAGE_CANNOT_WRITE},
        {"bitmap short over an old file", kFailingWrite, 5, true, true, MESSAGE_CANNOT_WRITE},
        {"bitmap fails", kFailingWrite, 5, false, false, MESSAGE_CANNOT_WRITE},
    };
    Open(ArchiveFile("failures.mhk", {{1, "a", RawPicture(61, 40, 1).resource}}));
    Select(0);
    for (const SaveFailure& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes old(3000, 'o');
        std::string path = TempFile("target.bmp", c.existed ? &old : nullptr);
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (c.target == kHeldOpen) {
            holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        }
        BoxRecorder recorder;
        recorder.snapshot = ViewerState;
        recorder.QueueFileName(path);
        {
            WriteFault fault(c.target == kFailingWrite ? c.failAt : 0, c.shortWrite);
            Command(IDM_SAVEAS);
        }
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);

        const size_t dialogs = c.existed ? 2 : 1;  // with the question whether to replace
        ASSERT_EQ(recorder.boxes().size(), dialogs + 1);
        EXPECT_EQ(recorder.boxes()[0].caption, "Save Image As");
        const BoxRecord& box = recorder.boxes().back();
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
        EXPECT_EQ(box.state.image, "61x40");
        EXPECT_EQ(box.state.status, "Size: 61x40");
        switch (c.target) {
        case kHeldOpen:
            EXPECT_TRUE(ReadAll(path) == old) << "the other's file is untouched";
            break;
        case kFailingWrite:
            EXPECT_FALSE(Exists(path)) << "a partial file was left";
            break;
        }
    }
}

// ---- Nothing to export, and a busy clipboard ----

TEST_F(ViewerTest, WithoutAnArchiveBothCommandsOnlyWarn)
{
    PutTextOnClipboard(hwnd_, "kept");
    const std::string path = TempFile("never.bmp");
    BoxRecorder recorder;
    Command(IDM_COPY, 1);
    recorder.QueueFileName(path);
    Command(IDM_SAVEAS, 1);
    recorder.QueueFileName("");
    Command(IDM_SAVEAS, 1);  // cancelled: silent
    ASSERT_EQ(recorder.boxes().size(), 4u);
    EXPECT_EQ(recorder.boxes()[0].text, MESSAGE_CANNOT_READ);
    EXPECT_EQ(recorder.boxes()[1].caption, "Save Image As");
    EXPECT_EQ(recorder.boxes()[2].text, MESSAGE_CANNOT_READ);
    EXPECT_EQ(recorder.boxes()[3].caption, "Save Image As");
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(ClipboardText(hwnd_), "kept");
}

// Holds the clipboard open from a window of another thread until released.
struct ClipboardHolder {
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool held = false;

    static DWORD WINAPI Run(void* context)
    {
        ClipboardHolder* self = static_cast<ClipboardHolder*>(context);
        HWND window = CreateWindowExA(0, "STATIC", "holder", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        self->held = window != nullptr && OpenClipboard(window);
        SetEvent(self->opened);
        WaitForSingleObject(self->release, 30000);
        if (self->held)
            CloseClipboard();
        DestroyWindow(window);
        return 0;
    }
};

TEST_F(ViewerTest, CopyWhileAnotherWindowHoldsTheClipboardDoesNothing)
{
    Open(ArchiveFile("busy.mhk", {{1, "a", RawPicture(5, 3, 1).resource}}));
    Select(0);
    PutTextOnClipboard(hwnd_, "kept");

    ClipboardHolder holder;
    HANDLE thread = CreateThread(nullptr, 0, ClipboardHolder::Run, &holder, 0, nullptr);
    WaitForSingleObject(holder.opened, 30000);
    ASSERT_TRUE(holder.held);
    BoxRecorder recorder;
    Command(IDM_COPY, 1);
    EXPECT_TRUE(recorder.boxes().empty()) << "clipboard failures are silent";
    SetEvent(holder.release);
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
    CloseHandle(holder.opened);
    CloseHandle(holder.release);

    EXPECT_EQ(ClipboardText(hwnd_), "kept");
    EXPECT_TRUE(ClipboardDib(hwnd_).empty());
}

}  // namespace
