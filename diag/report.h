// What the diagnostic and refresh-sim tell of one run of the utility, in the same words: each
// decision as the run makes it, every adapter access in order, and what the run would do to the
// adapter. The diagnostic learns the facts on the machine it runs on, refresh-sim from the machine
// it built; both gather what the run itself does not keep with the functions of diag/facts.h.
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

// Why system.ini does not name the served driver, when a line comes close.
enum NearMiss {
    kNoNearMiss,
    kNearMissNoLineBreak,  // the line ends the file with no line break after it
    kNearMissBeforeHeader, // the line stands before the [boot.description] header
    kNearMissHeaderCase,   // the header is there only in other letters' case
    kNearMissTrailingText, // blanks, a CR or other text after "series"
    kNearMissBlanks,       // blanks before the key or around the equals sign
    kNearMissLetterCase,   // the line in other letters' case
};

struct DriverLineFacts {
    int found; // the served driver's line stands under [boot.description], as the run decides
    NearMiss nearMiss;
    int line; // the near miss's line number, counting from 1
};

// What the mapping driver answers when asked for the register window as the utility asks.
enum WindowAnswer {
    kWindowHandedOut,   // an address
    kWindowOpenFails,   // CreateFileA fails with `error`
    kWindowCallFails,   // the control call fails
    kWindowAddressZero, // the control call succeeds with address 0
    kWindowNoAnswer,    // the control call succeeds and writes no answer
};

struct WindowFacts {
    WindowAnswer answer;
    DWORD error;   // of kWindowOpenFails
    DWORD address; // of kWindowHandedOut
};

struct RunFacts {
    const char* notStarted;    // why the run never started (no window class or window); else 0
    const char* systemIniPath; // as the utility builds it; 0 when the Windows directory is too long
    int systemIniOpens;
    DriverLineFacts driverLine; // when system.ini opens
    RateSource rateSource;
    const DisplayState* state; // as the run left it
    // Asks the mapping driver for the register window as the utility does: called only when the
    // run went on to program the adapter, so that nothing else loads the driver.
    WindowFacts (*askWindow)();
    const PlannedAccess* accesses;
    int accessCount;
};

// The longest line: a 255-byte path or rate text with every byte shown as \xNN, and its words.
// Lines longer than kReportWidth are wrapped before they are written.
enum { kReportLineSize = 1152, kReportWidth = 79 };

typedef void (*ReportLineWriter)(const char* line, void* context);

// Writes the report, one line per call of writeLine (no line end), none wider than kReportWidth.
// When summary is not 0 it gets the one line that says where the run stopped or what it chose.
// Returns 1 when the run changes the adapter: a register or window byte written, not only an index
// chosen for a read.
int WriteRunReport(const RunFacts* facts, ReportLineWriter writeLine, void* context,
                   char summary[kReportLineSize]);
