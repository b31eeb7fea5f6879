// Process entry of the Windows executable. The MinGW startup objects are built for newer
// processors (they use CMOV) and bring a C runtime DLL along, so the executable starts here instead
// and needs nothing beyond the four system DLLs every Windows 95 GUI process has loaded anyway.
// Nothing is buffered in the process, so leaving through ExitProcess loses no output.
#include <windows.h>

// The program takes no command line.
static char emptyCommandLine[] = "";

extern "C" void __cdecl WinMainCRTStartup(void) {
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(NULL), NULL, emptyCommandLine, SW_SHOWDEFAULT)));
}
