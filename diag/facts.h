// What the run saw but does not keep, asked again of the system as the utility asks it, only
// reading: for the report of the diagnostic and of refresh-sim alike.
#pragma once

#include <windows.h>

#include "diag/report.h"
#include "probe/probe.h"

// The facts of the system the run saw but does not keep: the path of system.ini (built in path),
// whether it opens and names the served driver, and where the rate text came from. What the
// mapping driver answers is asked by the report itself, and only where the run programmed.
void GatherSystemFacts(RunFacts* facts, char path[kSystemIniPathSize]);

// Whether system.ini opens as the driver check opens it.
int SystemIniOpens(const char* path);

// Whether the system.ini at path names the served driver and, where it does not, the first line
// that comes close (the served driver's line but for blanks, letters' case or a line break) and
// which rule it fails. Read with the driver check's own reading and tests.
DriverLineFacts ExplainDriverLine(const char* path);

// Where the rate text came from: "60" may be the user's choice or the default for a missing value.
RateSource FindRateSource();

// What the mapping driver answers when asked for the register window as the utility asks.
WindowFacts AskMappingDriver();
