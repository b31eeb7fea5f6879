#include "watch/watch.h"

#include <string.h>

#include "common/command_line.h"
#include "common/display_events.h"
#include "common/names.h"
#include "common/one_instance.h"
#include "common/program_folder.h"
#include "watch/pending_delete.h"

static const char kRemoveSwitch[] = "/REMOVE";
// The setup file's own uninstall section, as Add/Remove Programs ran it before the watcher did.
static const char kUninstallCommand[] =
    "rundll.exe setupx.dll,InstallHinfSection DefaultUninstall 4 " SETUP_FILE_NAME;

WatchState watchState;

// Starts a program (by its path, or by a command line) and does not wait; its process handle, or 0.
static HANDLE StartProgram(char* path, char* commandLine) {
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(path, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        return 0;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

int StartUtility() {
    char path[MAX_PATH];
    if (!PathBesideProgram(path, UTILITY_FILE_NAME)) {
        return 0;
    }
    watchState.run = StartProgram(path, NULL);
    return watchState.run != 0;
}

int RunGoesOn() {
    if (watchState.run == 0) {
        return 0;
    }
    if (WaitForSingleObject(watchState.run, 0) == WAIT_TIMEOUT) {
        return 1;
    }
    CloseHandle(watchState.run);
    watchState.run = 0;
    return 0;
}

// The timer's work: one run, when no other and no trial goes on; else a look again shortly, never
// a wait.
static void RunWhenFree(HWND window) {
    // While the rate chooser tries a rate, a run would undo the trial, and the chooser's writing
    // back would undo the run.
    if (!RunGoesOn() && !MutexExists(TRIAL_MUTEX_NAME)) {
        StartUtility();
    } else {
        SetTimer(window, kRunTimer, kBusyMilliseconds, NULL);
    }
}

void ArmRun(HWND window) {
    if (!SetTimer(window, kRunTimer, kSettleMilliseconds, NULL)) {
        RunWhenFree(window);
    }
}

// --- a new rate, where Windows tells of it -------------------------------------------------------

typedef LONG(WINAPI* RegNotifyChangeKeyValueCall)(HKEY key, BOOL subtree, DWORD filter, HANDLE event,
                                                  BOOL async);

// The RefreshRate value's bytes as stored, whatever they are: only compared, never read as a rate
// (that is the utility's business). All zero when there is none or it does not fit.
static void ReadRateValue(char rate[kRateValueSize]) {
    memset(rate, 0, kRateValueSize);
    DWORD size = kRateValueSize;
    if (RegQueryValueExA(watchState.settingsKey, REFRESH_RATE_VALUE, NULL, NULL,
                         reinterpret_cast<LPBYTE>(rate), &size) != ERROR_SUCCESS) {
        memset(rate, 0, kRateValueSize);
    }
}

HANDLE WatchRateSetting() {
    // Taken by name: an import Windows 95 cannot resolve would keep the watcher from loading.
    // (Through void (*)(), the type a function pointer of any other type may be cast from.)
    RegNotifyChangeKeyValueCall notify =
        reinterpret_cast<RegNotifyChangeKeyValueCall>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("ADVAPI32.DLL"), "RegNotifyChangeKeyValue")));
    if (notify == NULL) {
        return 0;
    }
    if (watchState.settingsKey == 0) {
        if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, DISPLAY_SETTINGS_KEY, 0, KEY_QUERY_VALUE | KEY_NOTIFY,
                          &watchState.settingsKey) != ERROR_SUCCESS) {
            watchState.settingsKey = 0;
            return 0;
        }
        ReadRateValue(watchState.rateSeen);
    }
    if (watchState.settingsChanged == 0) {
        watchState.settingsChanged = CreateEventA(NULL, FALSE, FALSE, NULL);
    }
    if (watchState.settingsChanged == 0 || notify(watchState.settingsKey, FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                                  watchState.settingsChanged, TRUE) != ERROR_SUCCESS) {
        return 0;
    }
    return watchState.settingsChanged;
}

void RateSettingChanged(HWND window) {
    // Display Properties writes other values of the key too; only a new rate asks for a run.
    char rate[kRateValueSize];
    ReadRateValue(rate);
    if (memcmp(rate, watchState.rateSeen, sizeof rate) != 0) {
        memcpy(watchState.rateSeen, rate, sizeof rate);
        ArmRun(window);
    }
}

// --- the window -------------------------------------------------------------------------------

// Never blocks: a broadcast waits for every top-level window, so a watcher that waited here would
// hang Display Properties. Each event only (re)arms the one timer; the timer starts the run.
LRESULT CALLBACK WatchWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DISPLAYCHANGE:
    case WM_POWERBROADCAST:
        if (SetsDisplayAnew(message, wParam)) {
            ArmRun(window);
        }
        break; // and answered as DefWindowProcA answers: no suspend is ever refused
    case WM_TIMER:
        if (wParam == kRunTimer) {
            KillTimer(window, kRunTimer);
            RunWhenFree(window);
            return 0;
        }
        break;
    case WM_ENDSESSION:
        if (wParam) {
            // The package was removed in this session: the watcher's file, in use until now, goes
            // at the next start of Windows.
            if (WatchRunValueGone()) {
                SchedulePendingDelete();
            }
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Messages, and the rate's event where Windows has one; never a wait on anything else.
static int RunMessageLoop(HWND window) {
    HANDLE changed = WatchRateSetting();
    for (;;) {
        DWORD woke = MsgWaitForMultipleObjects(changed != 0 ? 1 : 0, &changed, FALSE, INFINITE, QS_ALLINPUT);
        if (changed != 0 && woke == WAIT_OBJECT_0) {
            RateSettingChanged(window);
            changed = WatchRateSetting();
            continue;
        }
        if (woke == WAIT_FAILED) {
            if (changed == 0) {
                return 0;
            }
            changed = 0; // wait for messages alone
            continue;
        }
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return static_cast<int>(message.wParam);
            }
            DispatchMessageA(&message);
        }
    }
}

int AsksForRemoval(const char* commandLine) {
    return IsOnlySwitch(ProgramArguments(commandLine), kRemoveSwitch);
}

int WatchRunValueGone() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    LONG result = RegQueryValueExA(key, WATCH_RUN_VALUE, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return result == ERROR_FILE_NOT_FOUND;
}

int RemovePackage() {
    char command[sizeof kUninstallCommand]; // CreateProcessA may write into the command line
    memcpy(command, kUninstallCommand, sizeof command);
    HANDLE setup = StartProgram(NULL, command);
    if (setup == 0) {
        return 1;
    }
    WaitForSingleObject(setup, INFINITE);
    CloseHandle(setup);
    // The watcher that deletes its file at the end of the session: the running one, or a new one
    // where it was ended or has not started yet (in the session of the install). Started apart,
    // so that Add/Remove Programs, which waits for this command, does not wait for the session.
    if (MutexExists(WATCHER_MUTEX_NAME)) {
        return 0;
    }
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return 1;
    }
    HANDLE watcher = StartProgram(path, NULL);
    if (watcher == 0) {
        return 1;
    }
    CloseHandle(watcher);
    return 0;
}

int WatchMain(HINSTANCE instance, const char* commandLine) {
    if (AsksForRemoval(commandLine)) {
        return RemovePackage();
    }
    // Two watchers started at once cannot both pass this.
    if (!IsFirstInstance(WATCHER_MUTEX_NAME)) {
        return 0;
    }
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc   = WatchWndProc;
    windowClass.hInstance     = instance;
    windowClass.lpszClassName = WATCHER_CLASS_NAME;
    if (!RegisterClassA(&windowClass)) {
        return 0;
    }
    // A top-level window, never shown: broadcasts reach every top-level window, hidden or not.
    HWND window =
        CreateWindowExA(0, WATCHER_CLASS_NAME, "", WS_POPUP, 0, 0, 0, 0, NULL, NULL, instance, NULL);
    if (window == NULL) {
        return 0;
    }
    // The run at the start of Windows is the watcher's too, so that it never meets another.
    ArmRun(window);
    return RunMessageLoop(window);
}
