// The messages by which Windows tells its top-level windows that it set the display anew.
#pragma once

#include <windows.h>

// Whether a message says that Windows set the display anew: a mode change, or a resume from a
// suspend or standby (normal, critical or automatic). The watcher runs the utility then.
int SetsDisplayAnew(UINT message, WPARAM wParam);
