// startup.cpp - the program's own static initialisation and exit routines,
// which stand in for the language runtime's start-up code.
#include "app/viewer.h"

#include "archive/archive.h"

// Static initialisers, walked first to last; null entries are skipped.
const InitRoutine g_initRoutines[2] = {nullptr, RegisterArchiveCleanup};

// Exit routines, bottom at index 0, run from the top down at exit.
ExitRoutine g_exitRoutines[kMaxExitRoutines];

// Next free slot of g_exitRoutines.
ExitRoutine* g_exitRoutineTop;

// RunInitRoutines
//     Empties the exit stack, then calls every initialiser.
void RunInitRoutines(void)
{
    g_exitRoutineTop = g_exitRoutines;
    for (InitRoutine routine : g_initRoutines) {
        if (routine != nullptr)
            routine();
    }
}

// RunExitRoutines
//     Runs each registered exit routine once, the last registered first.
void RunExitRoutines(void)
{
    while (g_exitRoutineTop > g_exitRoutines) {
        --g_exitRoutineTop;
        (*g_exitRoutineTop)();
    }
}

// RegisterExitRoutine
//     Pushes routine; a full stack refuses it rather than be overrun.
int RegisterExitRoutine(ExitRoutine routine)
{
    if (g_exitRoutineTop >= g_exitRoutines + kMaxExitRoutines)
        return 1;
    *g_exitRoutineTop = routine;
    ++g_exitRoutineTop;
    return 0;
}

// RegisterArchiveCleanup
//     The one static initialiser.
int RegisterArchiveCleanup(void)
{
    return RegisterExitRoutine(ReleaseArchiveAtExit);
}

// ReleaseArchiveAtExit
//     The archive stays mapped after the window is gone; unmap it last.
void ReleaseArchiveAtExit(void)
{
    if (g_archive.base != nullptr)
        ReleaseArchive(&g_archive);
}
