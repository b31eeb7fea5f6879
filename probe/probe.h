// What the run learns from the system: whether the served display driver is installed, and the
// current display settings.
#pragma once

#include <windows.h>

#include "timing/timing.h"

enum { kSystemIniPathSize = 256 };

// What the driver check looks for in system.ini, and what it shows when the file does not open.
// The served driver's line is compared whole, its line break included.
#define SYSTEM_INI_SECTION "[boot.description]"
#define SERVED_DRIVER_LINE "display.drv=Lumarel series"
#define OPEN_SYSTEM_INI_ERROR "Open System.ini error!"
enum { kSystemIniEndMark = 0x1A }; // Ctrl+Z: the old DOS end-of-file mark; nothing after it counts

int CheckDisplayDriver();
// Full path of system.ini in the Windows directory; 0 when the directory is not known or the path
// would not fit.
int BuildSystemIniPath(char path[kSystemIniPathSize]);
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

// HKEY_CURRENT_CONFIG's key of the display settings, and its value of the chosen refresh rate.
// Literals, so that each program's strings stay merged as the compiler lays them out.
#define DISPLAY_SETTINGS_KEY "Display\\Settings"
#define REFRESH_RATE_VALUE "RefreshRate"
int ReadRefreshRate(DisplayState* state);
// The RefreshRate value of the open Display\Settings key into rateText; 0, with rateText
// untouched, when there is none that fits.
int QueryRefreshRateValue(HKEY key, char rateText[kRateTextSize]);
int QueryColorDepth();
