// What the diagnostic and refresh-sim tell of one run of the utility, in the same words: each
// decision as the run makes it, every adapter access in order, and what the run would do to the
// adapter. The diagnostic learns the facts on the machine it runs on, refresh-sim from the machine
// it built; both gather what the run itself does not keep with the functions of diag/facts.h.
#pragma once

#include <windows.h>

#include "diag/run_record.h"
#include "timing/timing.h"

enum RateSource {
    kRateFromRegistry, // the RefreshRate value of Display\Settings
    kRateDefault,      // "60": the key holds no RefreshRate value that fits
    kRateNoKey,        // no Display\Settings key: the rate text stays empty
};

// What is wrong with the first line of system.ini that comes close to the served driver's line:
// the same words and letters, as NearMissFault bits. Several may meet on one line.
enum NearMissFault {
    kFaultBlanksInKey    = 0x01, // blanks or tabs before the key or around the equals sign
    kFaultDescriptionGap = 0x02, // "Lumarel series" not written with one blank between the words
    kFaultLetterCase     = 0x04, // a letter in other case
    kFaultTrailingText   = 0x08, // blanks or other text after "series"
    kFaultExtraCr        = 0x10, // the line ends CR CR LF: one CR more than a line break has
    kFaultNoLineBreak    = 0x20, // the file ends right after it, with no line break
    kFaultOutsideSection = 0x40, // no [boot.description] header stands before it
    kLineFaultCount      = 6,    // the faults of the line's own form, in the bits below 0x40
};

struct DriverLineFacts {
    int found;           // the served driver's line stands under [boot.description]
    unsigned nearMiss;   // NearMissFault bits of the first line that comes close; 0: none does
    int line;            // that line's number, counting from 1
    int headerLine;      // the first [boot.description] header, as the utility reads it; 0: none
    int otherCaseHeader; // the first header in other letters' case, such as [Boot.Description]
    int brokenHeader;    // the first line that is the header but for blanks or a bracket
    int endMarkLine;     // the line that holds the first Ctrl+Z, when text follows it; 0: none
    int endMarkEndsLine; // the Ctrl+Z stands right after the near miss, where its line break belongs
};

struct RunFacts {
    const char* notStarted;    // why the run never started (no window class or window); else 0
    const char* systemIniPath; // as the utility builds it; 0 when it cannot be built
    int windowsFolderEmpty;    // of a path that cannot be built: Windows names no folder at all
    int systemIniOpens;
    DriverLineFacts driverLine; // when system.ini opens
    RateSource rateSource;
    const DisplayState* state; // as the run left it
    // The run's record: the steps it told and the accesses it made or planned, in order.
    const RecordedStep* steps;
    int stepCount;
    const PlannedAccess* accesses;
    int accessCount;
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
