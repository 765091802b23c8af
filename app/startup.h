// startup.h - the program itself: its entry point, its own static
// initialisation and exit routines (standing in for the language runtime's
// start-up code), the main window's class and procedure, and the message
// loop. The procedure routes each message and command to the module that
// handles it, so this is the one module that sees all the others.
#pragma once

#include <windows.h>

typedef int (*InitRoutine)(void);   // static initialiser; its result is not read
typedef void (*ExitRoutine)(void);  // run once at process exit

const int kMaxExitRoutines = 64;

// The static initialisers run first to last, null ones skipped; the one
// there registers ReleaseArchiveAtExit. The exit routines form a stack.
extern HINSTANCE g_hInstance;                           // this program's module; every resource comes from it
extern const InitRoutine g_initRoutines[2];             // static initialisers
extern ExitRoutine g_exitRoutines[kMaxExitRoutines];    // exit routines, bottom at index 0
extern ExitRoutine* g_exitRoutineTop;                   // next free slot of g_exitRoutines

// ProgramEntry
//     The process entry point, the first code that runs: initialisers,
//     ViewerMain, exit routines, then ExitProcess.
extern "C" void __stdcall ProgramEntry(void);

// RunInitRoutines
//     Empties the exit stack, then calls every non-null initialiser in order.
void RunInitRoutines(void);

// RunExitRoutines
//     Pops and runs the exit routines, the last registered first; each runs
//     once.
void RunExitRoutines(void);

// RegisterExitRoutine
//     Pushes routine on the exit stack: 0, or non-zero when the stack is full
//     (a full stack refuses it rather than be overrun).
int RegisterExitRoutine(ExitRoutine routine);

// ViewerMain
//     Sets up OLE, the controls, the main window and its drop target, runs
//     the message loop; returns the quit code, or 1 without a window.
int ViewerMain(void);

// RegisterMainWindowClass
//     Registers the class MAIN_WINDOW_CLASS, without a background brush (the
//     window paints all of it while erasing); returns its atom, 0 on failure.
ATOM RegisterMainWindowClass(void);

// CreateMainWindow
//     Creates the visible main window of the class atom; WM_CREATE and the
//     first WM_SIZE have run when it returns. Null on failure.
HWND CreateMainWindow(ATOM windowClass);
