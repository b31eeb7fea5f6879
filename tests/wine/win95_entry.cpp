// Process entry for a GUI exe that must load on Windows 95.
//
// The MinGW startup objects are built for newer CPUs (they contain CMOV) and
// expect msvcrt.dll, which the first Windows 95 releases do not ship.  This
// entry replaces them: link with -nostartfiles -nostdlib and crtdll.dll, and
// name WinMainCRTStartup as the entry (-Wl,-e,_WinMainCRTStartup).
//
// crtdll.dll sets up its own stdio in its DLL initialisation, so nothing has
// to be called before WinMain.  Leaving through exit() runs the atexit list
// and flushes stdio, so printf output reaches a redirected stdout.

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

extern "C" int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

typedef void (*InitFn)(void);
// Laid out by the linker: -1, the .ctors entries, 0.
extern "C" InitFn __CTOR_LIST__[];

// GCC registers destructors of static objects through atexit, which crtdll
// only exports under the name _onexit.  The import library lists _onexit as
// data, so it is called through its import slot: letting the linker
// auto-import it would need MinGW's runtime pseudo-relocator.
extern "C" _onexit_t(__cdecl *_imp___onexit)(_onexit_t);

extern "C" int __cdecl atexit(void(__cdecl *fn)(void)) {
    return _imp___onexit(reinterpret_cast<_onexit_t>(fn)) ? 0 : -1;
}

static void RunStaticConstructors() {
    unsigned long n = 0;
    while (__CTOR_LIST__[n + 1]) ++n;
    // .ctors runs last entry first, as the MinGW runtime does.
    for (; n > 0; --n) __CTOR_LIST__[n]();
}

// Skips the program name (quoted or not) and the blanks after it, as the C
// runtime does for lpCmdLine.
static char *CommandTail(char *p) {
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p > ' ') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

extern "C" void __cdecl WinMainCRTStartup(void) {
    STARTUPINFOA si;
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow
                                                    : SW_SHOWDEFAULT;
    RunStaticConstructors();
    exit(WinMain(GetModuleHandleA(NULL), NULL, CommandTail(GetCommandLineA()),
                 show));
}
