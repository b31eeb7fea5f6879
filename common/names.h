// The names by which the package's programs, Windows and the setup file meet: files, registry keys
// and values, named mutexes, window classes and titles. Each is written here once; the setup file
// (package/LUMRATE.INF) and the resource scripts use the same texts, and the tests hold them to
// these. Literals, so that each program's strings stay merged as the compiler lays them out, and so
// that a resource script can use them too.
#pragma once

#include <windows.h>

// The package's programs, in the Windows folder, and its setup file in the INF folder.
#define UTILITY_FILE_NAME "LUMRATE.EXE"
#define WATCHER_FILE_NAME "LUMWATCH.EXE"
#define SETUP_FILE_NAME "LUMRATE.INF"

// HKEY_CURRENT_CONFIG's key of the display settings, and its value of the chosen refresh rate.
#define DISPLAY_SETTINGS_KEY "Display\\Settings"
#define REFRESH_RATE_VALUE "RefreshRate"

// HKEY_LOCAL_MACHINE: the programs Windows starts, the watcher's value among them, and the
// package's entry in Add/Remove Programs.
#define RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define WATCH_RUN_VALUE "LumarelWatch"
#define UNINSTALL_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LumarelRefresh"

// Named mutexes of the session: one watcher, one chooser at a time, and one writer on the adapter
// (common/adapter_lock.h).
#define WATCHER_MUTEX_NAME "LumarelWatch"
#define CHOOSER_MUTEX_NAME "LumarelSet"
#define ADAPTER_LOCK_NAME "LumarelAdapter"

// The watcher's hidden window's class, and the title of the chooser's dialog, by which a second
// chooser finds the first.
#define WATCHER_CLASS_NAME "LumarelWatch"
#define CHOOSER_TITLE "Lumarel Refresh Rate"

// What the package's programs post to the watcher's window (private to its class, so WM_APP on).
enum {
    kWatchTrialBegins = WM_APP + 1, // the chooser holds the adapter lock for a trial: watch it
    kWatchRunNow      = WM_APP + 2, // run the utility as soon as the adapter is free ("LUMWATCH /NOW")
    kWatchRemoving    = WM_APP + 3, // the package is being removed in this session: start no run
};
