// startup.cpp - the program's own static initialisation and exit routines,
// which stand in for the language runtime's start-up code.
#include "app/startup.h"

#include "app/archive_browser.h"

namespace {

// RegisterArchiveCleanup
//     The one static initialiser.
int RegisterArchiveCleanup(void)
{
    return RegisterExitRoutine(ReleaseArchiveAtExit);
}

}  // namespace

const InitRoutine g_initRoutines[2] = {nullptr, RegisterArchiveCleanup};

ExitRoutine g_exitRoutines[kMaxExitRoutines];

ExitRoutine* g_exitRoutineTop;

void RunInitRoutines(void)
{
    g_exitRoutineTop = g_exitRoutines;
    for (InitRoutine routine : g_initRoutines) {
        if (routine != nullptr)
            routine();
    }
}

void RunExitRoutines(void)
{
    while (g_exitRoutineTop > g_exitRoutines) {
        --g_exitRoutineTop;
        (*g_exitRoutineTop)();
    }
}

int RegisterExitRoutine(ExitRoutine routine)
{
    if (g_exitRoutineTop >= g_exitRoutines + kMaxExitRoutines)
        return 1;
    *g_exitRoutineTop = routine;
    ++g_exitRoutineTop;
    return 0;
}
