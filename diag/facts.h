// What the run saw but does not keep, asked again of the system as the utility asks it, only
// reading: for the report of the diagnostic and of refresh-sim alike. What the run decided is in
// its record (diag/run_record.h), not here.
#pragma once

#include <windows.h>

#include "diag/report.h"
#include "probe/probe.h"

// The facts of the system the run saw but does not keep: the path of system.ini (built in path),
// whether it opens and how its lines come close to the served driver's, and where the rate text
// came from.
void GatherSystemFacts(RunFacts* facts, char path[kSystemIniPathSize]);

// Whether system.ini opens as the driver check opens it.
int SystemIniOpens(const char* path);

// Whether the system.ini at path names the served driver and, where it does not, the first line
// that comes close (the served driver's line but for blanks, letters' case, text after it, its
// line break or the header before it) with each rule it fails, where the headers stand, and a
// Ctrl+Z that ends the reading early. Read with the driver check's own reading and tests.
DriverLineFacts ExplainDriverLine(const char* path);

// Where the rate text came from: "60" may be the user's choice or the default for a missing value.
RateSource FindRateSource();
