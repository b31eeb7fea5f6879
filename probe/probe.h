// What the run learns from the system: whether the served display driver is installed, and the
// current display settings.
#pragma once

#include <windows.h>

#include "common/names.h"
#include "timing/timing.h"

enum { kSystemIniPathSize = 256 };

// What the driver check looks for in system.ini. The served driver's line is compared whole, its line
// break included.
#define SYSTEM_INI_SECTION "[boot.description]"
#define SERVED_DRIVER_LINE "display.drv=Lumarel series"
enum { kSystemIniEndMark = 0x1A }; // Ctrl+Z: the old DOS end-of-file mark; nothing after it counts

// What the driver check found. It tells nobody: each program says it in its own words.
enum DriverCheck {
    kDriverNamed,      // the served driver's line stands after the [boot.description] header
    kDriverNotNamed,   // system.ini opens, but no such line stands there
    kSystemIniNotOpen, // system.ini does not open
    kSystemIniNoPath,  // there is no path to open: see BuildSystemIniPath
};
DriverCheck CheckDisplayDriver();

// Where system.ini is, or why there is no path to it.
enum SystemIniPath {
    kSystemIniPathBuilt,
    kNoWindowsFolder,      // Windows names no Windows folder
    kWindowsFolderTooLong, // the folder's name leaves no room for "\system.ini" in the path
};
// Full path of system.ini in the Windows directory.
SystemIniPath BuildSystemIniPath(char path[kSystemIniPathSize]);
// Opens system.ini as the driver check reads it: for reading, shared with other readers and
// writers; INVALID_HANDLE_VALUE when it does not open.
HANDLE OpenSystemIni(const char* path);

// Reads system.ini as the driver check does and hands each line it examines to visit: the line
// with its LF (the file's last may have none), or a piece of at most 254 characters of a longer
// one. A CR before an LF is dropped, Ctrl+Z ends the file, a failed read ends the reading.
typedef void (*SystemIniLineVisitor)(const char* line, size_t length, void* context);
void ReadSystemIniLines(HANDLE file, SystemIniLineVisitor visit, void* context);
// The driver check's two tests on one line: the section header, and the served driver's line.
int IsSectionHeader(const char* line, size_t length);
int IsDriverLine(const char* line, size_t length);

// Where the rate text came from. The utility takes "60" alike for a missing value and for one it
// cannot read; the user is told which.
enum RateSource {
    kRateFromRegistry, // the RefreshRate value of Display\Settings
    kRateNoValue,      // the key holds no RefreshRate value: "60"
    kRateUnreadable,   // a RefreshRate value too long for the buffer, or without its end: "60"
    kRateNoKey,        // no Display\Settings key: the rate text stays empty
};
// The rate text into state->rateText (DISPLAY_SETTINGS_KEY, REFRESH_RATE_VALUE), and where it came
// from.
RateSource ReadRefreshRate(DisplayState* state);
// The RefreshRate value of the open Display\Settings key into rateText (kRateFromRegistry), or why
// there is none, with rateText untouched.
RateSource QueryRefreshRateValue(HKEY key, char rateText[kRateTextSize]);
int QueryColorDepth();
