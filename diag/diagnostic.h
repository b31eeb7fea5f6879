// The diagnostic: the utility's own run on this machine, with port writes and window stores only
// written down (diag/dry_ports.h), and a report of what the run saw and what it would write.
#pragma once

#include "diag/report.h"

// Runs the utility once and writes the report; 1 when the utility would change the adapter.
int RunDiagnostic(ReportLineWriter writeLine, void* context);
