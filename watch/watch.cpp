#include "watch/watch.h"

#include <string.h>

const char kWatcherClassName[] = "LumarelWatch";
const char kUtilityFileName[]  = "LUMRATE.EXE";

// Power broadcast events after which Windows has reset the display.
enum {
    kResumeCritical  = 6,    // PBT_APMRESUMECRITICAL
    kResumeSuspend   = 7,    // PBT_APMRESUMESUSPEND
    kResumeAutomatic = 0x12, // PBT_APMRESUMEAUTOMATIC
};

int SetsDisplayAnew(UINT message, WPARAM wParam) {
    if (message == WM_DISPLAYCHANGE) {
        return 1;
    }
    return message == WM_POWERBROADCAST &&
           (wParam == kResumeCritical || wParam == kResumeSuspend || wParam == kResumeAutomatic);
}

int StartUtility() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return 0;
    }
    char* name = path;
    for (char* p = path; *p != 0; ++p) {
        if (*p == '\\') {
            name = p + 1;
        }
    }
    if (static_cast<size_t>(name - path) + sizeof kUtilityFileName > sizeof path) {
        return 0;
    }
    memcpy(name, kUtilityFileName, sizeof kUtilityFileName);

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(path, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        return 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

// Never blocks: a broadcast waits for every top-level window, so a watcher that waited here would
// hang Display Properties. Each event only (re)arms the one timer; the timer starts the run.
LRESULT CALLBACK WatchWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DISPLAYCHANGE:
    case WM_POWERBROADCAST:
        if (SetsDisplayAnew(message, wParam)) {
            SetTimer(window, kRunTimer, kSettleMilliseconds, NULL);
        }
        break; // and answered as DefWindowProcA answers: no suspend is ever refused
    case WM_TIMER:
        if (wParam == kRunTimer) {
            KillTimer(window, kRunTimer);
            StartUtility();
            return 0;
        }
        break;
    case WM_ENDSESSION:
        if (wParam) {
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WatchMain(HINSTANCE instance) {
    if (FindWindowA(kWatcherClassName, NULL) != NULL) {
        return 0;
    }
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc   = WatchWndProc;
    windowClass.hInstance     = instance;
    windowClass.lpszClassName = kWatcherClassName;
    if (!RegisterClassA(&windowClass)) {
        return 0;
    }
    // A top-level window, never shown: broadcasts reach every top-level window, hidden or not.
    if (CreateWindowExA(0, kWatcherClassName, "", WS_POPUP, 0, 0, 0, 0, NULL, NULL, instance, NULL) == NULL) {
        return 0;
    }
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0)) {
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
