// Process entry of LUMSET.EXE, as of the utility: no C runtime, out through ExitProcess.
#include <windows.h>

#include "common/this_module.h"

int ChooserMain(HINSTANCE instance, const char* commandLine);

extern "C" void __cdecl ChooserCRTStartup(void) {
    ExitProcess(static_cast<UINT>(ChooserMain(ThisModule(), GetCommandLineA())));
}
