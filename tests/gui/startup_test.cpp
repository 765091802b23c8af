// startup_test.cpp - the exit stack, the archive clean-up at exit, and
// ViewerMain end to end: its failure without a window, and its message loop
// with accelerators that work while the list has the focus.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/archive_browser.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "tests/gui/gui_support.h"
#include "tests/support/archive_builder.h"

namespace {

std::vector<int> s_ran;  // exit routines in the order they ran

template <int N>
void Record()
{
    s_ran.push_back(N);
}

// 63 distinct routines, ids 1 to 63.
template <int... N>
struct RoutineTable {
    static constexpr ExitRoutine routines[sizeof...(N)] = {Record<N + 1>...};
};
template <int... N>
constexpr ExitRoutine RoutineTable<N...>::routines[sizeof...(N)];

template <int... N>
constexpr const ExitRoutine* MakeRoutines(std::integer_sequence<int, N...>)
{
    return RoutineTable<N...>::routines;
}

TEST(ExitRoutines, RunInReverseOrderAndAFullStackRefusesMore)
{
    const ExitRoutine* routines = MakeRoutines(std::make_integer_sequence<int, 63>());
    std::string path = TempPath("exit_routines.mhk");
    ASSERT_TRUE(WriteBytes(path, BuildArchive(ArchivePlan{})));
    ASSERT_TRUE(MapArchive(&g_archive, path.c_str()));
    const uint32_t size = g_archive.size;

    // The initialiser registers the archive clean-up, the bottom entry.
    RunInitRoutines();
    ASSERT_EQ(g_exitRoutineTop, g_exitRoutines + 1);
    EXPECT_EQ(g_exitRoutines[0], ReleaseArchiveAtExit);
    for (int i = 0; i < 63; ++i)
        ASSERT_EQ(RegisterExitRoutine(routines[i]), 0) << "registration " << i + 2;
    EXPECT_EQ(g_exitRoutineTop, g_exitRoutines + 64);
    // The 65th is refused and overwrites nothing.
    EXPECT_NE(RegisterExitRoutine(Record<99>), 0);
    EXPECT_NE(RegisterExitRoutine(Record<99>), 0);
    EXPECT_EQ(g_exitRoutineTop, g_exitRoutines + 64);

    s_ran.clear();
    RunExitRoutines();
    ASSERT_EQ(s_ran.size(), 63u);
    for (int i = 0; i < 63; ++i)
        EXPECT_EQ(s_ran[i], 63 - i) << "last registered first";
    EXPECT_EQ(g_archive.base, nullptr) << "the archive is unmapped at exit";
    EXPECT_EQ(g_archive.size, size) << "only the view is given back";
    EXPECT_EQ(g_exitRoutineTop, g_exitRoutines);

    // Each routine runs once: a second pass finds an empty stack.
    RunExitRoutines();
    EXPECT_EQ(s_ran.size(), 63u);
    remove(path.c_str());
}

TEST(ExitRoutines, CleanupWithoutAnArchiveDoesNothing)
{
    g_archive.base = nullptr;
    g_archive.size = 1234;
    RunInitRoutines();
    RunExitRoutines();
    EXPECT_EQ(g_archive.base, nullptr);
    EXPECT_EQ(g_archive.size, 1234u);
}

TEST(ViewerMain, WithoutAWindowExitsWithOneAndShowsNothing)
{
    // With the class already registered, registering it again fails, so
    // the window cannot be created.
    ResetViewerState();
    BoxRecorder recorder;
    EXPECT_EQ(ViewerMain(), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(FindWindowA(MAIN_WINDOW_CLASS, nullptr), nullptr);
    int code = -1;
    EXPECT_FALSE(PumpMessages(&code)) << "no message loop ran, nothing was posted";
}

// ---- The message loop, driven by a thread timer from inside it ----

struct LoopScript {
    int step;
    int ticks;
    HWND main;
    WNDPROC listProc;
    std::vector<std::string> listKeys;  // key messages that reached the list
    std::vector<std::string> log;
    bool focusOnList;
    bool blackAfterCtrlB;
    size_t boxesAfterF1;
    const BoxRecorder* recorder;
};
LoopScript s_script;

LRESULT CALLBACK ListSpy(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN || message == WM_CHAR) {
        char text[32];
        wsprintfA(text, "%s %u", message == WM_KEYDOWN ? "down" : "char", static_cast<unsigned>(wParam));
        s_script.listKeys.push_back(text);
    }
    return CallWindowProcA(s_script.listProc, hwnd, message, wParam, lParam);
}

void SetControlKey(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    keys[VK_LCONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

void PostKey(UINT key)
{
    PostMessageA(g_hwndList, WM_KEYDOWN, key, 1);
}

VOID CALLBACK ScriptTick(HWND, UINT, UINT_PTR, DWORD)
{
    LoopScript& s = s_script;
    if (++s.ticks > 200) {
        // Something hangs: end the loop so the test can report it.
        s.log.push_back("timeout at step " + std::to_string(s.step));
        if (s.main != nullptr)
            DestroyWindow(s.main);
        else
            PostQuitMessage(77);
        return;
    }
    switch (s.step) {
    case 0:
        s.main = FindWindowA(MAIN_WINDOW_CLASS, nullptr);
        if (s.main == nullptr || g_hwndList == nullptr)
            return;
        SetFocus(s.main);
        s.focusOnList = GetFocus() == g_hwndList;
        s.listProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(g_hwndList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListSpy)));
        SetControlKey(true);
        PostKey('B');
        s.step = 1;
        return;
    case 1:
        SetControlKey(false);
        s.blackAfterCtrlB = g_blackBackground;
        PostKey(VK_F1);
        s.step = 2;
        return;
    case 2:
        if (s.recorder->boxes().empty())
            return;
        s.boxesAfterF1 = s.recorder->boxes().size();
        PostKey(VK_DOWN);  // not an accelerator: goes on to the list
        s.step = 3;
        return;
    case 3:
        SetWindowLongPtrA(g_hwndList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s.listProc));
        PostMessageA(s.main, WM_COMMAND, IDM_EXIT, 0);
        s.step = 4;
        return;
    }
}

TEST(ViewerMain, RunsTheLoopWithAcceleratorsForTheMainWindow)
{
    ResetViewerState();
    ASSERT_TRUE(UnregisterClassA(MAIN_WINDOW_CLASS, GetModuleHandleA(nullptr))) << GetLastError();
    BoxRecorder recorder;
    s_script = LoopScript();
    s_script.recorder = &recorder;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, ScriptTick);
    ASSERT_NE(timer, 0u);
    int result = ViewerMain();
    KillTimer(nullptr, timer);

    EXPECT_EQ(result, 0) << "a normal close exits with 0";
    for (const std::string& line : s_script.log)
        ADD_FAILURE() << line;
    EXPECT_EQ(s_script.step, 4);
    EXPECT_TRUE(s_script.focusOnList);
    EXPECT_TRUE(s_script.blackAfterCtrlB) << "Ctrl+B reached the main window while the list had the focus";
    ASSERT_EQ(s_script.boxesAfterF1, 1u) << "F1 showed the About box";
    EXPECT_EQ(recorder.boxes()[0].text.rfind(PRODUCT_NAME "\nVersion " PRODUCT_VERSION, 0), 0u);
    // Translated keys are neither dispatched nor turned into characters.
    ASSERT_EQ(s_script.listKeys.size(), 1u);
    EXPECT_EQ(s_script.listKeys[0], "down 40");
    EXPECT_EQ(FindWindowA(MAIN_WINDOW_CLASS, nullptr), nullptr);
    g_blackBackground = false;
}

}  // namespace
