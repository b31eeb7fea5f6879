// What the run learns from the system: whether the served display driver is installed, and the
// current display settings.
#pragma once

#include <windows.h>

#include "timing/timing.h"

int CheckDisplayDriver();
int ReadRefreshRate(DisplayState* state);
int QueryColorDepth();
