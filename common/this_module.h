// The running program's own module handle, for its Windows-only code: an executable's module handle
// is its image base, where Windows 95/98 always load it (it has no relocations), and the linker
// names that address, so that the program need not ask GetModuleHandleA(NULL) for it or keep it.
#pragma once

#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

inline HINSTANCE ThisModule() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}
