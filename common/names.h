// The names by which the package's programs, Windows and the setup file meet: files, registry keys
// and values, named mutexes, window classes and titles. Each is written here once; the setup file
// (package/LUMRATE.INF) and the resource scripts use the same texts, and the tests hold them to
// these. Literals, so that each program's strings stay merged as the compiler lays them out, and so
// that a resource script can use them too.
#pragma once

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

// Named mutexes of the session. One watcher, one chooser at a time; the trial's keeps the watcher
// from starting the utility while the chooser tries a rate.
#define WATCHER_MUTEX_NAME "LumarelWatch"
#define CHOOSER_MUTEX_NAME "LumarelSet"
#define TRIAL_MUTEX_NAME "LumarelTrial"

// The watcher's hidden window's class, and the title of the chooser's dialog, by which a second
// chooser finds the first.
#define WATCHER_CLASS_NAME "LumarelWatch"
#define CHOOSER_TITLE "Lumarel Refresh Rate"
