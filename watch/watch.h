// The watcher, LUMWATCH.EXE: a hidden window that starts the utility at the start of Windows and
// again whenever Windows has set the display mode anew (Display Properties, a program changing the
// mode), resumed from standby, or a new refresh rate was chosen, each of which puts the adapter's
// default timings back or asks for other ones. It never touches the adapter itself; it holds the
// package's adapter lock across each run it starts, so that no other writer meets the run, and puts
// a known timing back where a trial of the chooser ended without going back. Started as
// "LUMWATCH /REMOVE" it removes the package instead; "LUMWATCH /NOW" asks the session's watcher to
// run the utility now, or becomes the session's watcher, which runs it at its start.
#pragma once

#include <windows.h>

#include "probe/probe.h"

enum {
    // How long the display is left to settle after the last event before the utility runs. Display
    // Properties has written the new RefreshRate before it sets the mode, but the broadcast comes
    // while the display driver and the VxDs behind it may still be setting the mode, and after a
    // resume Windows resets the display in steps. Two seconds is after all of that on a 486, and
    // short enough that the user sees the wrong rate only for a moment. A burst of events inside
    // the delay gives one run.
    kSettleMilliseconds = 2000,
    // While the adapter is busy (a run of the utility, a trial of the chooser), the timer looks
    // again this often: two writers at once would interleave their index and data port writes and
    // program wrong registers.
    kBusyMilliseconds = 250,
    kRunTimer         = 1,
    // How long the removal waits for the watcher it started to make its window.
    kWatcherStartMilliseconds = 10000,
};

// The watcher's process-wide data, zero at its start.
struct WatchState {
    HANDLE run;             // the run last started, until it is seen to have ended
    int holdsLock;          // the watcher holds the adapter lock, across that run
    int watchesLock;        // another program holds the lock for a trial: the loop waits on it
    int removing;           // the package is being removed in this session: no more runs
    int ended;              // the window is destroyed: the loop ends
    HKEY settingsKey;       // Display\Settings, open while Windows tells of its changes
    HANDLE settingsChanged; // the event Windows sets at a change of the key
    RateSource sourceSeen;  // the RefreshRate value as the utility reads it, to tell a new rate
    char rateSeen[kRateTextSize];
};
extern WatchState watchState;

// The watcher's process: with "/REMOVE" after its own name, RemovePackage; with "/NOW", asks the
// running watcher to run the utility now where there is one; else 0 at once when a watcher runs
// already, or its window's message loop until the window is destroyed at the end of the session or
// by WM_CLOSE; then 0.
int WatchMain(HINSTANCE instance, const char* commandLine);

// Whether the command line asks for the removal: "/REMOVE" (any case) after the program's name.
int AsksForRemoval(const char* commandLine);

LRESULT CALLBACK WatchWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Arms the one-shot timer; a timer that cannot be had does not lose the event: the run is looked
// at now instead.
void ArmRun(HWND window);
// The timer's work, and a request to run now: one run, with the adapter lock, when the adapter is
// free; else a look again shortly, never a wait. Nothing once the package is being removed.
void RunWhenFree(HWND window);

// Whether the timing the utility would set now (the stored rate at the current screen size and
// colours) is beyond a limit the monitor's setup information or identification data give: then the
// watcher starts no run, and Windows' own timing stays. 0 where no limit is known.
int BeyondTheMonitor();

// Starts the utility from the folder of the watcher's own file, with no command line, and keeps
// its process handle, so that the next run waits for it; 0 when it could not be started, which
// nobody is told.
int StartUtility();
// Whether the run last started is still going. A run seen to have ended lets the adapter lock go.
int RunGoesOn();
// The adapter lock, which the loop waits on while another program holds it for a trial, came to the
// watcher: let go at once after an ordinary end; after a trial whose holder ended without letting go
// (End Task, a fault), a run of the utility at once, with the lock held, puts a known timing back.
void LockCame(HWND window, int abandoned);

// Windows 98 tells a program of a changed registry value; Windows 95 has no such call, and there
// the watcher learns of a new rate at the next mode change. WatchRateSetting asks to be told of the
// next change of Display\Settings and returns the event that is then set, or 0 where it cannot be.
HANDLE WatchRateSetting();
// The event came: arms a run when RefreshRate itself changed, and asks to be told again.
void RateSettingChanged(HWND window);

// The package's removal, from Add/Remove Programs. It makes sure a watcher runs for the rest of the
// session (starting one where none does) and tells it that the package goes, waits until the
// adapter is free (no run of the utility, no trial), and last runs the setup file's uninstall
// section and waits for it: the section may restart Windows, which would cut off anything after it.
// The watcher's own file is in use and goes at the next start of Windows (SchedulePendingDelete, at
// the end of the session).
int RemovePackage();
// Whether the watcher's Run value is gone; 0 when it cannot be told.
int WatchRunValueGone();
// Whether the package's Add/Remove Programs entry is gone; 0 when it cannot be told.
int UninstallEntryGone();
