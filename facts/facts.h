// What the utility's run sees of the system but does not keep, asked again as the utility asks it,
// only reading, to explain what the run decided: the path of system.ini, and how its lines come
// close to the served driver's where they do not name it. For the report of the diagnostic and of
// refresh-sim, and for the rate chooser. What a run decided, and why, is in its decisions
// (run/decide.h), not here.
#pragma once

#include <windows.h>

#include "facts/monitor.h"
#include "probe/probe.h"

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

struct SystemFacts {
    SystemIniPath place;        // whether the path could be built, or why not
    const char* systemIniPath;  // as the utility builds it; 0 when it cannot be built
    DriverLineFacts driverLine; // where the driver check found no served driver's line
};

// The path of system.ini (built in path) and, where the driver check found that system.ini opens
// but does not name the served driver, how its lines come close.
void GatherSystemFacts(SystemFacts* facts, char path[kSystemIniPathSize], DriverCheck check);

// Whether the system.ini at path names the served driver and, where it does not, the first line
// that comes close (the served driver's line but for blanks, letters' case, text after it, its
// line break or the header before it) with each rule it fails, where the headers stand, and a
// Ctrl+Z that ends the reading early. Read with the driver check's own reading and tests.
DriverLineFacts ExplainDriverLine(const char* path);

// What LUMWATCH judges before it starts LUMRATE, read as it reads it: the stored rate and the screen
// (not the colors), the monitor's limits for that screen, and JudgeTimingHere's verdict on the timing
// LUMRATE takes there. Read anew, not taken from the run: LUMWATCH judges also where LUMRATE stops
// before it reads the settings (system.ini, the skip bit).
struct WatchFacts {
    DisplayState state;
    MonitorLimits limits;
    MonitorVerdict verdict;
    TableRow row; // the row of the timing judged; kRowCount where the width has none
};
void GatherWatchFacts(WatchFacts* facts);
