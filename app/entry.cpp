// entry.cpp - the process entry point. The program is linked without the
// language runtime's start-up code, so this is the first code that runs.
#include "app/startup.h"

extern "C" void __stdcall ProgramEntry(void)
{
    RunInitRoutines();
    int result = ViewerMain();
    RunExitRoutines();
    ExitProcess(static_cast<UINT>(result));
}
