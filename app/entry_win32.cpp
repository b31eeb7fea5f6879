// Process entry of the Windows executable. The MinGW startup objects are built for newer
// processors (they use CMOV) and expect msvcrt.dll, which the first Windows 95 release lacks, so
// the executable starts here instead. Nothing is buffered in the process, so leaving through
// ExitProcess loses no output.
#include <windows.h>

// The program takes no command line.
static char emptyCommandLine[] = "";

extern "C" void __cdecl WinMainCRTStartup(void) {
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(NULL), NULL, emptyCommandLine, SW_SHOWDEFAULT)));
}
