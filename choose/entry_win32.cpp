// Process entry of LUMSET.EXE, as of the utility: no C runtime, out through ExitProcess.
#include <windows.h>

int ChooserMain(const char* commandLine);

extern "C" void __cdecl ChooserCRTStartup(void) {
    ExitProcess(static_cast<UINT>(ChooserMain(GetCommandLineA())));
}
