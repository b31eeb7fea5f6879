// Test double of the register-window mapping driver, built as the DLL that
// Wine loads for "\\.\PHYSWIN.VXD" when the program runs as Windows 98.
// Wine routes DeviceIoControl on that handle to this DLL's export of the
// same name, without the handle argument.
//
// PHYSWIN_MODE in the environment picks the answer to the map call, by the
// names refresh-sim's --driver gives the same behaviours:
//   ok (default)      commit an inaccessible window at PHYSWIN_WINDOW_BASE
//                     and return {base, size}; the debugger turns each
//                     store into and load from the window into a recorded
//                     access
//   ioctl-fails       return FALSE with error PHYSWIN_ERROR (default 31)
//   null-window       succeed but return a zero base and size
//   no-output         succeed without writing the output buffer or the count
// Every call is reported to the debugger through OutputDebugStringA.
//
// Linked without a C runtime so that loading it into the program under test
// brings in nothing but kernel32.

#include <windows.h>

#include "hw/physwin.h"
#include "physwin_window.h"

namespace {

char* PutText(char* p, const char* s) {
    while (*s)
        *p++ = *s++;
    return p;
}

char* PutHex(char* p, DWORD v) {
    for (int shift = 28; shift >= 0; shift -= 4)
        *p++ = "0123456789abcdef"[(v >> shift) & 15];
    return p;
}

// Parses decimal or 0x-prefixed hex; returns fallback for anything else.
DWORD ParseNumber(const char* s, DWORD fallback) {
    DWORD v = 0, base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        base = 16, s += 2;
    if (!*s)
        return fallback;
    for (; *s; ++s) {
        DWORD d;
        if (*s >= '0' && *s <= '9')
            d = *s - '0';
        else if (base == 16 && *s >= 'a' && *s <= 'f')
            d = *s - 'a' + 10;
        else if (base == 16 && *s >= 'A' && *s <= 'F')
            d = *s - 'A' + 10;
        else
            return fallback;
        v = v * base + d;
    }
    return v;
}

void Report(DWORD code, DWORD inSize, DWORD outSize, BOOL ok, DWORD error, DWORD base, DWORD size) {
    char line[160];
    char* p = PutText(line, PHYSWIN_TAG " code=");
    p       = PutHex(p, code);
    p       = PutText(p, " in=");
    p       = PutHex(p, inSize);
    p       = PutText(p, " out=");
    p       = PutHex(p, outSize);
    p       = PutText(p, ok ? " ok=1 error=" : " ok=0 error=");
    p       = PutHex(p, error);
    p       = PutText(p, " base=");
    p       = PutHex(p, base);
    p       = PutText(p, " size=");
    p       = PutHex(p, size);
    *p      = 0;
    OutputDebugStringA(line);
}

DWORD g_window; // committed once per process, like the real mapping

BOOL Finish(DWORD code, DWORD inSize, DWORD outSize, DWORD error) {
    Report(code, inSize, outSize, FALSE, error, 0, 0);
    SetLastError(error);
    return FALSE;
}

} // namespace

extern "C" BOOL WINAPI PhyswinDeviceIoControl(DWORD code, LPVOID, DWORD inSize, LPVOID out, DWORD outSize,
                                              LPDWORD returned, LPOVERLAPPED) {
    if (code == 0) { // DIOC_OPEN: a VxD that answers it accepts the open
        if (returned)
            *returned = 0;
        Report(code, inSize, outSize, TRUE, 0, 0, 0);
        return TRUE;
    }
    char mode[16] = "ok";
    DWORD n       = GetEnvironmentVariableA("PHYSWIN_MODE", mode, sizeof mode);
    if (n >= sizeof mode)
        mode[0] = '?', mode[1] = 0;
    if (code == kPhyswinMapRegisterWindow && lstrcmpiA(mode, "no-output") == 0) {
        // A driver that says yes and fills in nothing: buffer and count stay as the caller left them.
        Report(code, inSize, outSize, TRUE, 0, 0, 0);
        return TRUE;
    }

    if (returned)
        *returned = 0;
    if (code != kPhyswinMapRegisterWindow)
        return Finish(code, inSize, outSize, ERROR_INVALID_FUNCTION);

    if (lstrcmpiA(mode, "ioctl-fails") == 0) {
        char text[16] = "";
        n             = GetEnvironmentVariableA("PHYSWIN_ERROR", text, sizeof text);
        DWORD error   = (n && n < sizeof text) ? ParseNumber(text, 31) : 31;
        return Finish(code, inSize, outSize, error);
    }
    if (!out || outSize < 8)
        return Finish(code, inSize, outSize, ERROR_INSUFFICIENT_BUFFER);

    DWORD base = 0, size = 0;
    if (lstrcmpiA(mode, "null-window") == 0) {
        // base and size stay 0
    } else if (lstrcmpiA(mode, "ok") == 0) {
        if (!g_window) {
            void* p = VirtualAlloc(reinterpret_cast<void*>(PHYSWIN_WINDOW_BASE), PHYSWIN_WINDOW_SIZE,
                                   MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
            if (!p) {
                OutputDebugStringA(PHYSWIN_TAG " cannot commit the window at "
                                               "its fixed address");
                return Finish(code, inSize, outSize, ERROR_NOT_ENOUGH_MEMORY);
            }
            g_window = reinterpret_cast<DWORD>(p);
        }
        base = g_window;
        size = PHYSWIN_WINDOW_SIZE;
    } else {
        OutputDebugStringA(PHYSWIN_TAG " unknown PHYSWIN_MODE");
        return Finish(code, inSize, outSize, ERROR_INVALID_PARAMETER);
    }
    static_cast<DWORD*>(out)[0] = base;
    static_cast<DWORD*>(out)[1] = size;
    if (returned)
        *returned = 8;
    Report(code, inSize, outSize, TRUE, 0, base, size);
    return TRUE;
}

extern "C" BOOL WINAPI PhyswinDllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
