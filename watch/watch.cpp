#include "watch/watch.h"

#include <string.h>

#include "common/adapter_lock.h"
#include "common/command_line.h"
#include "common/display_events.h"
#include "common/names.h"
#include "common/one_instance.h"
#include "common/program_folder.h"
#include "common/registry_value.h"
#include "facts/monitor.h"
#include "run/decide.h"
#include "watch/pending_delete.h"

static const char kRemoveSwitch[] = "/REMOVE";
static const char kNowSwitch[]    = "/NOW";
// The setup file's own uninstall section. 132 (4, a restart where files in use ask for one; and
// 128, the setup file's own folder for its source) is the mode a package's own setup file is removed
// with; and nothing may follow it, for it may restart Windows.
static const char kUninstallCommand[] =
    "rundll.exe setupx.dll,InstallHinfSection DefaultUninstall 132 " SETUP_FILE_NAME;

WatchState watchState;

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
    if (watchState.holdsLock) {
        watchState.holdsLock = 0;
        ReleaseAdapterLock();
    }
    return 0;
}

// A run with the adapter lock held until it ends; where none starts, the lock goes at once.
static void StartRunHoldingLock() {
    if (StartUtility()) {
        watchState.holdsLock = 1;
    } else {
        ReleaseAdapterLock();
    }
}

// The timing the utility takes for the stored rate at this screen: the row the width picks, the
// rate's place in the screen's list. The colours pick no other timing, only the offset and the
// mapped word; and where the utility would set nothing (no timing there, 16 colours, 32-bit colour)
// the line frequency is 0 or the run does nothing, so a judgement either way starts no other
// timing.
int BeyondTheMonitor() {
    // Process-wide, as the watcher's other data: large, and the watcher has one thread.
    static DisplayState state;
    static MonitorLimits limits;
    state.rateText[0] = 0;
    ReadRefreshRate(&state);
    state.width     = GetSystemMetrics(SM_CXSCREEN);
    state.height    = GetSystemMetrics(SM_CYSCREEN);
    state.listRow   = ClassifyResolution(state.width, state.height);
    state.rateIndex = FindRateIndex(state.listRow, state.rateText);
    TableRow row;
    if (!FindTimingRow(state.width, state.height, state.rateIndex, &row)) {
        return 0;
    }
    ReadMonitorLimits(state.width, state.height, &limits);
    return IsBeyondMonitor(CheckTimingAgainstMonitor(&limits, &state, row));
}

void RunWhenFree(HWND window) {
    // Told the package goes, or the stored rate's timing here is beyond what the monitor says it
    // can show: Windows' own timing stays.
    if (watchState.removing || BeyondTheMonitor()) {
        return;
    }
    // While another writer is at the adapter (a run going on, the chooser's trial), a run now
    // would interleave with it; the chooser's writing back would undo it.
    if (RunGoesOn() || TakeAdapterLock(0) == kLockBusy) {
        SetTimer(window, kRunTimer, kBusyMilliseconds, NULL);
        return;
    }
    StartRunHoldingLock();
}

void ArmRun(HWND window) {
    if (!SetTimer(window, kRunTimer, kSettleMilliseconds, NULL)) {
        RunWhenFree(window);
    }
}

void LockCame(HWND, int abandoned) {
    watchState.watchesLock = 0;
    if (abandoned && !watchState.removing && !RunGoesOn()) {
        StartRunHoldingLock();
    } else {
        ReleaseAdapterLock();
    }
}

// --- a new rate, where Windows tells of it -------------------------------------------------------

typedef LONG(WINAPI* RegNotifyChangeKeyValueCall)(HKEY key, BOOL subtree, DWORD filter, HANDLE event,
                                                  BOOL async);

// The RefreshRate value as the utility reads it (probe/settings.cpp): only compared, never read as a
// rate here. A change the utility would not see (one value it cannot read for another) asks for no
// run.
static RateSource ReadRate(char text[kRateTextSize]) {
    memset(text, 0, kRateTextSize);
    return QueryRefreshRateValue(watchState.settingsKey, text);
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
        watchState.sourceSeen = ReadRate(watchState.rateSeen);
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
    // ReadRate fills the whole text, zeros after the value: compared and kept byte for byte.
    char rate[kRateTextSize];
    RateSource source     = ReadRate(rate);
    int changed           = source != watchState.sourceSeen;
    watchState.sourceSeen = source;
    for (int k = 0; k < kRateTextSize; ++k) {
        changed |= rate[k] != watchState.rateSeen[k];
        watchState.rateSeen[k] = rate[k];
    }
    if (changed) {
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
    case kWatchTrialBegins:
        // The loop waits on the lock until the trial lets it go, or its chooser ends without.
        watchState.watchesLock = !watchState.holdsLock;
        return 0;
    case kWatchRunNow: RunWhenFree(window); return 0;
    case kWatchRemoving:
        watchState.removing = 1;
        KillTimer(window, kRunTimer);
        return 0;
    case WM_ENDSESSION:
        if (wParam) {
            // The package was removed in this session: the watcher's file, in use until now, goes
            // at the next start of Windows. A Run value deleted by hand or by a startup manager is
            // no removal: the package stays, and so does its watcher.
            if (watchState.removing && UninstallEntryGone()) {
                SchedulePendingDelete();
            }
            watchState.ended = 1; // the window goes with the process
        }
        return 0;
    case WM_DESTROY: watchState.ended = 1; return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Messages, the rate's event where Windows has one, the run going on, and the adapter lock while a
// trial holds it; never a wait on anything else. What woke the loop is told by its handle.
static int RunMessageLoop(HWND window) {
    HANDLE changed = WatchRateSetting();
    for (;;) {
        HANDLE handles[3];
        DWORD count = 0;
        if (changed != 0) {
            handles[count++] = changed;
        }
        if (watchState.run != 0) {
            handles[count++] = watchState.run;
        }
        if (watchState.watchesLock) {
            handles[count++] = AdapterLock();
        }
        DWORD woke  = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_ALLINPUT);
        DWORD index = woke - (woke >= WAIT_ABANDONED_0 ? WAIT_ABANDONED_0 : WAIT_OBJECT_0);
        if (woke == WAIT_FAILED) {
            if (changed == 0) {
                return 0;
            }
            changed = 0; // wait for messages and the rest alone
            continue;
        }
        if (index < count) {
            if (handles[index] == changed) {
                RateSettingChanged(window);
                changed = WatchRateSetting();
            } else if (handles[index] == watchState.run) {
                RunGoesOn();
            } else {
                LockCame(window, woke >= WAIT_ABANDONED_0);
            }
            continue;
        }
        // The end of the session or the window destroyed (End Task) ends the loop, as a quit would.
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return static_cast<int>(message.wParam);
            }
            DispatchMessageA(&message);
            if (watchState.ended) {
                return 0;
            }
        }
    }
}

int AsksForRemoval(const char* commandLine) {
    return IsOnlySwitch(ProgramArguments(commandLine), kRemoveSwitch);
}

int WatchRunValueGone() {
    return FindRegistryEntry(HKEY_LOCAL_MACHINE, RUN_KEY, WATCH_RUN_VALUE) == kRegistryAbsent;
}

int UninstallEntryGone() {
    return FindRegistryEntry(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, 0) == kRegistryAbsent;
}

// The session's watcher's window: the running one, or one started from the watcher's own file, given
// time to make its window (an ordinary start at the start of Windows, which runs the utility 2 s
// later, unless it is told the package goes before then). 0 where none comes.
static HWND SessionWatcher() {
    HWND watcher = FindWindowA(WATCHER_CLASS_NAME, NULL);
    char path[MAX_PATH];
    // Started apart, so that Add/Remove Programs, which waits for this command, does not wait for
    // the session.
    HANDLE started = watcher == NULL && ProgramPath(path) ? StartProgram(path, NULL) : 0;
    if (started == 0) {
        return watcher;
    }
    for (DWORD waited = 0; watcher == NULL && waited < kWatcherStartMilliseconds; waited += 100) {
        // Once it ended (another watcher came first, or it could not start), one look more.
        int ended = WaitForSingleObject(started, 100) != WAIT_TIMEOUT;
        watcher   = FindWindowA(WATCHER_CLASS_NAME, NULL);
        if (ended) {
            break;
        }
    }
    CloseHandle(started);
    return watcher;
}

int RemovePackage() {
    // The watcher first: it deletes its own file at the end of the session, and from now on starts
    // no run of the utility, whose file the setup is about to delete.
    HWND watcher = SessionWatcher();
    if (watcher != NULL) {
        PostMessageA(watcher, kWatchRemoving, 0, 0);
    }
    // A run of the utility going on, or a trial, holds the lock: its files stay in use until it ends.
    // A holder that ended without letting go gives it up all the same.
    TakeAdapterLock(INFINITE);

    char command[sizeof kUninstallCommand]; // CreateProcessA may write into the command line
    memcpy(command, kUninstallCommand, sizeof command);
    HANDLE setup = StartProgram(NULL, command);
    if (setup == 0) {
        ReleaseAdapterLock();
        return 1;
    }
    // Nothing of the removal's own comes after the setup: it may restart Windows.
    WaitForSingleObject(setup, INFINITE);
    ReleaseAdapterLock();
    return 0;
}

int WatchMain(HINSTANCE instance, const char* commandLine) {
    const char* arguments = ProgramArguments(commandLine);
    if (IsOnlySwitch(arguments, kRemoveSwitch)) {
        return RemovePackage();
    }
    // "/NOW": the running watcher runs the utility when the adapter is free; where none runs, this
    // one becomes the session's watcher, which runs it at its start.
    if (IsOnlySwitch(arguments, kNowSwitch) && AskWatcherToRun()) {
        return 0;
    }
    // Two watchers started at once cannot both pass this.
    if (!IsFirstInstance(WATCHER_MUTEX_NAME)) {
        return 0;
    }
    // Installed again after a removal, before the next start: the line that would delete this file
    // at the next start goes.
    if (!WatchRunValueGone()) {
        TakeBackPendingDelete();
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
