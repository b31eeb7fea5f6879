// Process entry of the Windows executable. The MinGW startup objects are built for newer
// processors (they use CMOV) and expect msvcrt.dll, which the first Windows 95 release lacks, so
// the executable starts here instead and uses crtdll.dll, present on every Win32 system. crtdll
// sets up its own stdio when it loads; leaving through exit() flushes what printf wrote.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

// The program takes no command line.
static char emptyCommandLine[] = "";

extern "C" void __cdecl WinMainCRTStartup(void) {
    exit(WinMain(GetModuleHandleA(NULL), NULL, emptyCommandLine, SW_SHOWDEFAULT));
}
