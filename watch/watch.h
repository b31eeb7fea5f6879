// The watcher, LUMWATCH.EXE: a hidden window that starts the utility at the start of Windows and
// again whenever Windows has set the display mode anew (Display Properties, a program changing the
// mode), resumed from standby, or a new refresh rate was chosen, each of which puts the adapter's
// default timings back or asks for other ones. It never touches the adapter itself, and it starts
// no run while another goes on. Started as "LUMWATCH /REMOVE" it removes the package instead.
#pragma once

#include <windows.h>

enum {
    // How long the display is left to settle after the last event before the utility runs. Display
    // Properties has written the new RefreshRate before it sets the mode, but the broadcast comes
    // while the display driver and the VxDs behind it may still be setting the mode, and after a
    // resume Windows resets the display in steps. Two seconds is after all of that on a 486, and
    // short enough that the user sees the wrong rate only for a moment. A burst of events inside
    // the delay gives one run.
    kSettleMilliseconds = 2000,
    // While a run of the utility goes on, the timer looks again this often: two runs at once would
    // interleave their index and data port writes and program wrong registers.
    kBusyMilliseconds = 250,
    kRunTimer         = 1,
    kRateValueSize    = 256, // the RefreshRate value as the watcher compares it
};

// The watcher's process-wide data, zero at its start.
struct WatchState {
    HANDLE run;                    // the run last started, until it is seen to have ended
    HKEY settingsKey;              // Display\Settings, open while Windows tells of its changes
    HANDLE settingsChanged;        // the event Windows sets at a change of the key
    char rateSeen[kRateValueSize]; // the RefreshRate value's bytes, to tell a new rate
};
extern WatchState watchState;

// The watcher's process: with "/REMOVE" after its own name, RemovePackage; else 0 at once when a
// watcher runs already, or its window's message loop until the window is destroyed at the end of
// the session or by WM_CLOSE; then the quit code, 0.
int WatchMain(HINSTANCE instance, const char* commandLine);

// Whether the command line asks for the removal: "/REMOVE" (any case) after the program's name.
int AsksForRemoval(const char* commandLine);

LRESULT CALLBACK WatchWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Arms the one-shot timer; a timer that cannot be had does not lose the event: the run is looked
// at now instead.
void ArmRun(HWND window);

// Starts the utility from the folder of the watcher's own file, with no command line, and keeps
// its process handle, so that the next run waits for it; 0 when it could not be started, which
// nobody is told.
int StartUtility();
// Whether the run last started is still going.
int RunGoesOn();

// Windows 98 tells a program of a changed registry value; Windows 95 has no such call, and there
// the watcher learns of a new rate at the next mode change. WatchRateSetting asks to be told of the
// next change of Display\Settings and returns the event that is then set, or 0 where it cannot be.
HANDLE WatchRateSetting();
// The event came: arms a run when RefreshRate itself changed, and asks to be told again.
void RateSettingChanged(HWND window);

// The package's removal: runs the setup file's uninstall section and waits for it, then makes sure
// that a watcher runs for the rest of the session, since the watcher's own file is in use and only
// the next start of Windows can delete it (SchedulePendingDelete, at the end of the session).
int RemovePackage();
// Whether the watcher's Run value is gone: the package was removed. 0 when it cannot be told.
int WatchRunValueGone();
