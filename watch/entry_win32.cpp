// Process entry of LUMWATCH.EXE, as of the utility: no C runtime, out through ExitProcess.
#include <windows.h>

#include "common/this_module.h"
#include "watch/watch.h"

extern "C" void __cdecl WatchCRTStartup(void) {
    ExitProcess(static_cast<UINT>(WatchMain(ThisModule(), GetCommandLineA())));
}
