// What LUMCHECK's report, LUMSET and LUMCHECK /? tell of the same facts, worded once, so that the
// programs cannot drift apart: the screen and its colors as Display Properties names them, the rate
// rule, the skip bit, the mapping driver's answer with the step to take, the timing LUMRATE sets,
// the monitor's limits. Plain code with no C runtime; each writes at p and returns the new end,
// with a terminating zero after it (common/text.h). US English, as the Windows they run on.
#pragma once

#include <windows.h>

#include "facts/monitor.h"
#include "hw/hw.h"
#include "timing/timing.h"

// The rate rule, the skip bit and the mapping driver, each in the one wording every program uses.
#define RATE_RULE_TEXT "only the first two characters of a stored rate count"
#define SKIP_BIT_TEXT                                                                                        \
    "bit 5 of the adapter's extended register 75h, which the adapter's own setup sets, asks LUMRATE to "     \
    "leave its timing alone"
#define MAPPING_DRIVER_TEXT "PHYSWIN.VXD, the adapter's mapping driver"
#define WHAT_IS_STORED_TEXT "the value RefreshRate of HKEY_CURRENT_CONFIG\\Display\\Settings"
#define REINSTALL_DRIVER_TEXT "install the adapter's display driver package again"

// A screen size: "1024 x 768".
char* PutScreen(char* p, int width, int height);

// The colors of a depth as Windows 95/98 name the setting in Display Properties ("16 Colors",
// "256 Colors", "High Color (16 bit)", "True Color (24 bit)"), for the depths Windows has; for any
// other, "N bits per pixel"; for 0, a display that could not be asked, "colors unknown".
char* PutColors(char* p, int bitsPerPixel);

// A frequency in hertz as kilohertz with one decimal, rounded: "68.7 kHz".
char* PutKilohertz(char* p, DWORD hertz);

// The rate of a list entry: "60 Hz"; an entry without a rate (empty, or a 720-pixel row's "0  "):
// "no rate".
char* PutEntryRate(char* p, const char entry[kRateEntrySize]);

// Whether a screen has its own rate list (ClassifyResolution found it), and its own row of timings
// (the row its width picks is made for its size).
int HasOwnList(const DisplayState* state);
int HasOwnRow(const DisplayState* state, TableRow row);

// The timing LUMRATE sets at a display state whose timing comes from `row`, at the state's rate
// index: "85 Hz" where the screen has a row of its own; "1280 x 1024's 100 Hz timing" where it takes
// its width's row, made for another size.
char* PutTiming(char* p, const DisplayState* state, TableRow row);

// Text the system hands over, as any line can show it: a byte outside printable ASCII as \xNN, a
// quote or backslash as \" or \\; at most `most` characters of it, "..." after a longer one.
char* PutShown(char* p, const char* text, int most);
// A stored rate text as a user can see it, also an empty one or one led by blanks: quoted, shown.
char* PutStoredRate(char* p, const char* text, int most);
// A path as a line can show it: unquoted, so its backslashes and any quote as they are; a byte
// outside printable ASCII as \xNN.
char* PutPath(char* p, const char* path);
// The escapes a text shows, by PutShown (quoted) or PutPath (not), among its first `most` bytes:
// kEscapeHex for a byte shown as \xNN, kEscapeBackslash for a quote or backslash shown as \" or \\.
enum { kEscapeHex = 1, kEscapeBackslash = 2 };
unsigned EscapesShown(const char* text, int most, int quoted);

// What the mapping driver's answer means, and where it is no window, the step to take.
char* PutVxdAnswer(char* p, VxdAnswer answer, DWORD error);

// The monitor's limits known for a screen size, and where they come from, as whole sentences: "The
// monitor takes 31.0-64.0 kHz and 50-100 Hz at 1024 x 768, says its setup information."; where no
// frequency limit is known, why, and where to tell Windows the monitor.
char* PutMonitorLimits(char* p, const MonitorLimits* limits, int width, int height);
// Why the timing of a display state (its row's, at its rate index) is beyond the monitor, for a
// verdict of CheckTimingAgainstMonitor: "85 Hz needs 68.7 kHz; the monitor takes up to 64.0 kHz,
// says its setup information". Nothing for a verdict that is no "beyond".
char* PutBeyondMonitor(char* p, MonitorVerdict verdict, const MonitorLimits* limits,
                       const DisplayState* state, TableRow row);
