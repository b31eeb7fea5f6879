// What the diagnostic and refresh-sim tell of one run of the utility, in the same words: each
// decision as the run makes it, every adapter access in order, and whether the adapter changes.
// The diagnostic learns the facts on the machine it runs on, refresh-sim from the machine it built.
#pragma once

#include <windows.h>

#include "hw/vga_names.h"
#include "timing/timing.h"

// One adapter access as the report lists it.
struct PlannedAccess {
    VgaAccessKind kind;
    DWORD where; // port, or window address for a store
    BYTE value;
    BYTE undecoded; // a port or address the adapter does not answer
};

enum RateSource {
    kRateFromRegistry, // the RefreshRate value of Display\Settings
    kRateDefault,      // "60": the key holds no RefreshRate value that fits
    kRateNoKey,        // no Display\Settings key: the rate text stays empty
};

struct RunFacts {
    const char* systemIniPath; // as the utility builds it; 0 when the Windows directory is too long
    int systemIniOpens;
    RateSource rateSource;
    const DisplayState* state; // as the run left it
    const PlannedAccess* accesses;
    int accessCount;
};

// The longest line: a 255-byte path or rate text with every byte shown as \xNN, and its words.
enum { kReportLineSize = 1152 };

typedef void (*ReportLineWriter)(const char* line, void* context);

// Writes the report, one line per call of writeLine (no line end). When summary is not 0 it gets
// the one line that says where the run stopped or what it chose. Returns 1 when the run changes
// the adapter: a register or window byte written, not only an index chosen for a read.
int WriteRunReport(const RunFacts* facts, ReportLineWriter writeLine, void* context,
                   char summary[kReportLineSize]);
