// What LUMCHECK and refresh-sim tell of one run of LUMRATE, in the same words: each decision as
// the run makes it, every adapter access in order, what the run would do to the adapter, and
// whether LUMWATCH would start the run here at all. Both read what the run decided, and why, from
// its decisions (run/decide.h); what only explains a decision (the path of system.ini, a line that
// comes close) and what LUMWATCH judges (the monitor's limits) they gather with the functions of
// facts/facts.h, on the machine LUMCHECK runs on or the one refresh-sim built. Each fact is worded
// as every program words it (facts/words.h).
#pragma once

#include <windows.h>

#include "diag/access_list.h"
#include "facts/facts.h"
#include "run/decide.h"
#include "timing/timing.h"

struct RunFacts {
    const char* notStarted; // why the run never started (no window class or window); else 0
    const RunDecisions* decisions;
    const DisplayState* state;        // as the run left it
    const TimingSelection* selection; // as the run left it
    SystemFacts system;               // the path of system.ini and its near misses, asked again
    const PlannedAccess* accesses;    // the accesses the run made or planned, in order
    int accessCount;
    const WatchFacts* watch; // what LUMWATCH judges before it starts the run
};

// The longest line: a 255-byte path or rate text with every byte shown as \xNN, and its words.
// Lines longer than kReportWidth are wrapped before they are written.
enum { kReportLineSize = 1152, kReportWidth = 79 };

typedef void (*ReportLineWriter)(const char* line, void* context);

// Writes one line, wrapped at a blank where it is wider than kReportWidth (at the width itself
// where a word is wider), the rest indented.
void WriteWrapped(const char* line, ReportLineWriter writeLine, void* context);

// Writes the report, one line per call of writeLine (no line end), none wider than kReportWidth.
// When summary is not 0 it gets the one line that says where the run stopped or what it chose.
// Returns 1 when the run changes the adapter: a register or window byte written, not only an index
// chosen for a read.
int WriteRunReport(const RunFacts* facts, ReportLineWriter writeLine, void* context,
                   char summary[kReportLineSize]);
