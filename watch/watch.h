// The watcher, LUMWATCH.EXE: a hidden window that starts the utility again whenever Windows has set
// the display mode anew (Display Properties, a program changing the mode) or resumed from standby,
// each of which puts the adapter's default timings back. It never touches the adapter itself.
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
    kRunTimer           = 1,
};

// The watcher's window class, by which a second watcher of the session finds the first.
extern const char kWatcherClassName[];
// The utility, started from the watcher's own folder.
extern const char kUtilityFileName[];

// The watcher's process: 0 at once when a watcher runs already, else its window's message loop,
// until the window is destroyed at the end of the session or by WM_CLOSE; then the quit code, 0.
int WatchMain(HINSTANCE instance);

// Whether a message says that Windows set the display anew: a mode change, or a resume from a
// suspend (normal, critical or automatic).
int SetsDisplayAnew(UINT message, WPARAM wParam);

LRESULT CALLBACK WatchWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Starts the utility from the folder of the watcher's own file, with no command line, and does not
// wait for it; 0 when it could not be started, which nobody is told.
int StartUtility();
