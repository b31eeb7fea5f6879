// What the run learns from the system: whether the served display driver is installed, and the
// current display settings.
#pragma once

#include <windows.h>

#include "timing/timing.h"

enum { kSystemIniPathSize = 256 };

int CheckDisplayDriver();
// Full path of system.ini in the Windows directory; 0 when the directory is not known or the path
// would not fit.
int BuildSystemIniPath(char path[kSystemIniPathSize]);
// Opens system.ini as the driver check reads it: for reading, shared with other readers and
// writers; INVALID_HANDLE_VALUE when it does not open.
HANDLE OpenSystemIni(const char* path);

int ReadRefreshRate(DisplayState* state);
// The RefreshRate value of the open Display\Settings key into rateText; 0, with rateText
// untouched, when there is none that fits.
int QueryRefreshRateValue(HKEY key, char rateText[kRateTextSize]);
int QueryColorDepth();
