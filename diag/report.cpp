#include "diag/report.h"

#include "app/words.h"
#include "common/names.h"
#include "common/text.h"
#include "facts/words.h"
#include "probe/probe.h"
#include "timing/line_frequency.h"

namespace {

enum {
    kWrapIndent   = 4,             // columns before the rest of a wrapped line
    kWordTextSize = 400,           // a reason the run stops for, with a screen and colors in it
    kWholeText    = kRateTextSize, // every byte of a rate text the run holds
};

// The steps to take where LUMRATE finds no rate or no screen it can use.
#define CHOOSE_RATE_TEXT "choose a rate with LUMSET"
#define CHOOSE_SCREEN_TEXT "choose another screen size in Display Properties"

// Each escape explained once, after the first line that shows it, in the order of its bit.
const char* const kEscapeTexts[] = {
    "  escapes: \\xNN stands for a byte that is no printable character, NN its value in hexadecimal",
    "  escapes: \\\" and \\\\ stand for a quote and a backslash within the quotes",
};

// The report in the making: its line buffer, where its lines go, the summary line, why the run
// leaves the adapter as it is, for the verdict, and the escapes the line being made shows and
// those already explained.
struct Report {
    ReportLineWriter writeLine;
    void* context;
    char* summary;
    unsigned escapesShown;     // kEscapeHex, kEscapeBackslash bits
    unsigned escapesExplained; // the same bits
    char why[kWordTextSize];
    char line[kReportLineSize];
};

void Emit(Report* r) {
    WriteWrapped(r->line, r->writeLine, r->context);
    unsigned fresh = r->escapesShown & ~r->escapesExplained;
    for (int i = 0; i < 2; ++i) {
        if ((fresh & (1u << i)) != 0) {
            WriteWrapped(kEscapeTexts[i], r->writeLine, r->context);
        }
    }
    r->escapesExplained |= fresh;
    r->escapesShown = 0;
}

// A text of the system the line being made shows: each escape it holds is explained after it, once
// in the report.
void NoteShown(Report* r, const char* text, int most, int quoted) {
    r->escapesShown |= EscapesShown(text, most, quoted);
}

char* PutRate(Report* r, char* p, const char* rateText) {
    NoteShown(r, rateText, kWholeText, 1);
    return PutStoredRate(p, rateText, kWholeText);
}

// The run stops here: a line of its own says why, and so do the summary and the verdict.
void Stop(Report* r, const char* why) {
    PutText(PutText(r->line, "stop: "), why);
    Emit(r);
    PutText(r->why, why);
    if (r->summary != 0) {
        PutText(PutText(r->summary, "stopped: "), why);
    }
}

char* PutRowScreen(char* p, TableRow row) {
    return PutScreen(p, ResolutionTable[row][0], ResolutionTable[row][1]);
}

// A place in a list or row of the tables, counted from 1: "4th".
char* PutOrdinal(char* p, RateIndex index) {
    static const char kSuffixes[][3] = {"st", "nd", "rd"};
    return PutText(PutDecimal(p, static_cast<long>(index + 1)), index < 3 ? kSuffixes[index] : "th");
}

// A place of a screen's rate list: "the 4th rate of 640 x 480's list, 120 Hz"; one without a rate,
// "the 4th place of 1152 x 864's list, which holds no rate".
char* PutListPlace(char* p, TableRow listRow, RateIndex index) {
    const char* entry = RateTable[listRow][index];
    int rate          = RateOfEntry(entry);
    p = PutText(PutOrdinal(PutText(p, "the "), index), rate != 0 ? " rate of " : " place of ");
    p = PutText(PutRowScreen(p, listRow), "'s list, ");
    return rate != 0 ? PutEntryRate(p, entry) : PutText(p, "which holds no rate");
}

// A timing of a row of the tables: "the 4th timing of 1280 x 1024, 100 Hz"; a record of zeros, "the
// 5th timing of 1280 x 1024, which is empty".
char* PutTimingPlace(char* p, TableRow row, RateIndex index) {
    p = PutText(PutRowScreen(PutText(PutOrdinal(PutText(p, "the "), index), " timing of "), row), ", ");
    return IsTimingRecord(TimingTable[row][index]) ? PutEntryRate(p, RateTable[row][index])
                                                   : PutText(p, "which is empty");
}

// The timing LUMRATE sets at the screen: "85 Hz at 1024 x 768"; another size's, "1280 x 1024's 100
// Hz timing at 1280 x 960".
char* PutTimingAt(char* p, const DisplayState* s, TableRow row) {
    return PutScreen(PutText(PutTiming(p, s, row), " at "), s->width, s->height);
}

// The same with the screen's colors: what LUMRATE would set.
char* PutSetting(char* p, const DisplayState* s, TableRow row) {
    return PutColors(PutText(PutTimingAt(p, s, row), ", "), s->bitsPerPixel);
}

// One rule a near miss fails: its line begins "  line N comes close, but", each further one
// "  and"; `number`, when not 0, stands between text and tail.
void SayRule(Report* r, int* said, const DriverLineFacts* d, const char* text, int number, const char* tail) {
    char* p = *said ? PutText(r->line, "  and ")
                    : PutText(PutDecimal(PutText(r->line, "  line "), d->line), " comes close, but ");
    p       = PutText(p, text);
    if (number != 0) {
        p = PutDecimal(p, number);
    }
    PutText(p, tail);
    Emit(r);
    ++*said;
}

// Each rule a near miss fails, in the words of a user who edits system.ini in Notepad. Where no
// header that counts stands before it, what stands there instead.
void ReportNearMiss(Report* r, const DriverLineFacts* d) {
    // In the order of the NearMissFault bits.
    static const char* const kFaultTexts[kLineFaultCount] = {
        "blanks stand before the key or around the equals sign",
        "its description's two words need one blank between them",
        "its letters' case differs",
        "blanks or other text follow the description",
        "it ends CR CR LF (Notepad does not show the CR)",
        "it ends the file with no line break after it",
    };
    int said = 0; // rules told so far
    for (int i = 0; i < kLineFaultCount; ++i) {
        if ((d->nearMiss & (1u << i)) != 0) {
            const char* text = kFaultTexts[i];
            if ((1u << i) == kFaultNoLineBreak && d->endMarkEndsLine) {
                text = "a Ctrl+Z stands where its line break belongs";
            }
            SayRule(r, &said, d, text, 0, "");
        }
    }
    if ((d->nearMiss & kFaultOutsideSection) == 0) {
        return;
    }
    int lineSaid = said;
    int noHeader = d->headerLine == 0;
    if (!noHeader) {
        SayRule(r, &said, d, "it stands before the " SYSTEM_INI_SECTION " header of line ", d->headerLine,
                "");
    }
    if (d->otherCaseHeader != 0 && (noHeader || d->otherCaseHeader < d->line)) {
        SayRule(r, &said, d, "the header of line ", d->otherCaseHeader,
                " is not in small letters, so it does not count");
    }
    if (d->brokenHeader != 0 && (noHeader || d->brokenHeader < d->line)) {
        SayRule(r, &said, d, "line ", d->brokenHeader,
                " is no header: it must begin the line, with both brackets");
    }
    if (said == lineSaid) {
        SayRule(r, &said, d, "system.ini has no " SYSTEM_INI_SECTION " header", 0, "");
    }
}

// The driver check, up to its stop; 1 when system.ini names the served driver.
int ReportSystemIni(Report* r, const RunFacts* f) {
    const char* openError = "system.ini does not open (LUMRATE shows the box \"" OPEN_SYSTEM_INI_ERROR "\")";
    DriverCheck check     = f->decisions->displayDriver;
    char* p               = PutText(r->line, "system.ini: ");
    if (check == kSystemIniNoPath) {
        PutText(p, f->system.place == kNoWindowsFolder
                       ? "Windows names no Windows folder"
                       : "the Windows folder's name is too long for the path");
        Emit(r);
        Stop(r, openError);
        return 0;
    }
    NoteShown(r, f->system.systemIniPath, MAX_PATH, 0);
    p = PutPath(p, f->system.systemIniPath);
    if (check == kSystemIniNotOpen) {
        PutText(p, ", does not open");
        Emit(r);
        Stop(r, openError);
        return 0;
    }
    if (check == kDriverNamed) {
        PutText(p, ", names the served display driver");
        Emit(r);
        return 1;
    }
    Emit(r);
    PutText(r->line, "  no line \"" SERVED_DRIVER_LINE "\" under " SYSTEM_INI_SECTION);
    Emit(r);
    const DriverLineFacts* d = &f->system.driverLine;
    if (d->nearMiss != 0) {
        ReportNearMiss(r, d);
    }
    if (d->endMarkLine != 0) {
        p = PutDecimal(PutText(r->line, "  line "), d->endMarkLine);
        PutText(p, " holds a Ctrl+Z: LUMRATE reads nothing after it");
        Emit(r);
    }
    Stop(r, "system.ini does not name the served display driver");
    return 0;
}

// Whether the rate text is the entry's rate as it stands, not only its first two characters.
int IsWholeRate(const char entry[kRateEntrySize], const char* rateText) {
    int i = 0;
    for (; i < kRateEntrySize && entry[i] != 0 && entry[i] != ' '; ++i) {
        if (rateText[i] != entry[i]) {
            return 0;
        }
    }
    return rateText[i] == 0;
}

// Which timing of the tables the run takes, in the user's words (the timing, the screen, the
// colors), and each fallback on the way, with the places in the list and the row it goes between;
// the selection's verdict says whether the tables hold one, and why not, with the step to take.
int ReportSelection(Report* r, const RunFacts* f) {
    const DisplayState* s = f->state;
    TableRow row          = f->selection->row;
    TimingVerdict verdict = f->decisions->timing;
    char why[kWordTextSize];
    if (verdict == kNoDepthColumn) {
        PutText(PutColors(PutText(why, "the tables hold no timing for "), s->bitsPerPixel),
                "; choose fewer colors in Display Properties");
        Stop(r, why);
        return 0;
    }
    // No row for the width, or one of empty records: the tables hold nothing at any rate.
    char* p = PutDecimal(PutText(why, "the tables hold no timing for a screen "), s->width);
    PutText(p, " pixels wide, at any rate; " CHOOSE_SCREEN_TEXT);
    if (verdict == kNoWidthRow) {
        Stop(r, why);
        return 0;
    }

    p = PutText(r->line, "selection: ");
    if (verdict == kTimingSelected) {
        PutSetting(p, s, row);
    } else if (verdict == kNoTimingInRow) {
        PutText(PutRowScreen(PutText(p, "none: the tables hold no timing for "), row), " at any rate");
    } else {
        PutTimingPlace(PutText(p, "none: "), row, s->rateIndex);
    }
    Emit(r);
    if (r->summary != 0) {
        PutText(r->summary, r->line + sizeof "selection: " - 1);
    }

    // The rate list is the screen's, or 640 x 480's for a screen none of the eight.
    const char* listEntry = RateTable[s->listRow][s->rateIndex];
    if (!HasOwnList(s)) {
        p = PutScreen(PutText(r->line, "  fallback: "), s->width, s->height);
        PutText(PutRowScreen(PutText(p, " has no rate list of its own: "), s->listRow), "'s is used");
        Emit(r);
    }
    if (!IsRequestedRate(listEntry, s->rateText)) {
        p = PutText(PutRate(r, PutText(r->line, "  fallback: "), s->rateText), " is in no entry of ");
        p = PutText(PutRowScreen(p, s->listRow), "'s list: its first, ");
        p = RateOfEntry(RateTable[s->listRow][0]) != 0 ? PutEntryRate(p, RateTable[s->listRow][0])
                                                       : PutText(p, "which holds no rate");
        PutText(p, ", is taken");
        Emit(r);
    } else if (RateOfEntry(listEntry) == 0) {
        p = PutText(PutRate(r, PutText(r->line, "  empty rate: "), s->rateText), " matches ");
        PutListPlace(p, s->listRow, s->rateIndex);
        Emit(r);
    } else if (!IsWholeRate(listEntry, s->rateText)) {
        p = PutText(PutRate(r, PutText(r->line, "  rate rule: "), s->rateText), " is taken as ");
        PutText(PutEntryRate(p, listEntry), ": " RATE_RULE_TEXT);
        Emit(r);
    }
    // The row the width picks, at the same place as the rate's in the list.
    if (!HasOwnRow(s, row)) {
        p = PutScreen(PutText(r->line, "  fallback: "), s->width, s->height);
        p = PutListPlace(PutText(p, " has no timings of its own: for "), s->listRow, s->rateIndex);
        PutTimingPlace(PutText(p, ", it takes "), row, s->rateIndex);
        Emit(r);
    }
    if (verdict == kNoTimingInRow) {
        Stop(r, why);
        return 0;
    }
    if (verdict != kTimingSelected) {
        // An empty rate text matches an empty place of the list; any other rate is one the row
        // the width picks holds no timing for.
        p = PutText(why, "the tables hold no timing for ");
        if (RateOfEntry(listEntry) == 0) {
            p = PutText(p, "an empty rate");
        } else {
            p = PutScreen(PutText(PutEntryRate(p, listEntry), " at "), s->width, s->height);
        }
        PutText(p, "; " CHOOSE_RATE_TEXT);
        Stop(r, why);
        return 0;
    }
    return 1;
}

// The settings the run read once the skip bit was clear, up to its depth test; 1 when it went on.
int ReportSettings(Report* r, const RunFacts* f) {
    const DisplayState* s = f->state;
    RunStop stop          = f->decisions->stop;
    RateSource source     = f->decisions->rateSource;
    char* p               = PutRate(r, PutText(r->line, "refresh rate: "), s->rateText);
    // Each source in its words, in the order of RateSource.
    static_assert(kRateNoKey == 3, "a source's words stand at its value");
    static_assert(kRateTextSize - 1 == 254, "the longest rate text LUMRATE reads, as the words say");
    static const char* const kSourceWords[] = {
        ", from " WHAT_IS_STORED_TEXT,
        ", the default: nothing is stored as " WHAT_IS_STORED_TEXT "; to have another rate, choose it "
        "with LUMSET",
        ", the default: " WHAT_IS_STORED_TEXT " is stored, but it is no text of up to 254 characters that "
        "LUMRATE can read; " CHOOSE_RATE_TEXT ", or delete the value",
        ", as Windows keeps no display settings here: HKEY_CURRENT_CONFIG\\" DISPLAY_SETTINGS_KEY
        " is missing; " CHOOSE_RATE_TEXT ", which makes the key",
    };
    PutText(p, kSourceWords[source]);
    Emit(r);

    p = PutText(PutScreen(PutText(r->line, "screen: "), s->width, s->height), ", ");
    PutColors(p, s->bitsPerPixel);
    Emit(r);
    if (stop == kStopColoursUnknown) {
        Stop(r, "the display could not be asked for its colors");
        return 0;
    }
    if (stop == kStopSixteenColours) {
        Stop(r, "16 colors or fewer, which LUMRATE leaves alone");
        return 0;
    }
    return 1;
}

// The decisions of the run, up to where it stopped; 1 when it went on to program the adapter.
int ReportDecisions(Report* r, const RunFacts* f) {
    if (f->notStarted != 0) {
        Stop(r, f->notStarted);
        return 0;
    }
    if (!ReportSystemIni(r, f)) {
        return 0;
    }
    int skip = f->decisions->stop == kStopSkipBit;
    char* p  = PutText(PutText(r->line, skip ? "skip bit: set" : "skip bit: clear"), " (the register reads ");
    PutText(PutHex(p, f->decisions->extCrtc75, 2), "h); " SKIP_BIT_TEXT);
    Emit(r);
    if (skip) {
        Stop(r, "the skip bit is set");
        return 0;
    }
    return ReportSettings(r, f) && ReportSelection(r, f);
}

// What LUMRATE says of the mapping driver's answer, in its own words (app/words.h), which LUMCHECK
// does not say itself.
void ReportUtilityWords(Report* r, const RunDecisions* d) {
    if (d->vxd == kVxdCallFails) {
        PutText(r->line, "  LUMRATE then shows the box \"" MAP_FAILED_TEXT "\"");
        Emit(r);
    } else if (d->vxd == kVxdDoesNotOpen) {
        // The line as it prints, its CR LF ends aside.
        char text[64];
        wsprintfA(text, d->vxdError == ERROR_NOT_SUPPORTED ? VXD_NOT_SUPPORTED_TEXT : VXD_OPEN_ERROR_FORMAT,
                  d->vxdError);
        char* p = PutText(r->line, "  LUMRATE then writes to standard output, where it has one: \"");
        for (const char* t = text; *t != 0; ++t) {
            if (*t != '\r' && *t != '\n') {
                *p++ = *t;
            }
        }
        PutText(p, "\"");
        Emit(r);
    }
}

// Every access in order, and the index registers LUMCHECK's own reads went through: it reads each
// before its first index write to it and writes it back as it found it (diag/dry_ports.h), which
// the run does not do and the list so does not hold.
void ReportAccesses(Report* r, const RunFacts* f) {
    PutText(PutDecimal(PutText(r->line, "adapter accesses: "), f->accessCount),
            " (planned: an access LUMRATE's run would make and LUMCHECK does not; made: LUMCHECK makes it "
            "itself, to read)");
    Emit(r);
    unsigned char crtcLatch = 0;
    unsigned char extLatch  = 0;
    unsigned selected       = 0; // bits by kIndexPorts slot
    for (int i = 0; i < f->accessCount; ++i) {
        const PlannedAccess& a = f->accesses[i];
        char* p                = PutText(r->line, a.made ? "  made    " : "  planned ");
        DescribeVgaAccess(p, a.kind, a.where, a.value, a.undecoded, &crtcLatch, &extLatch);
        Emit(r);
        if (a.made && a.kind == kVgaAccessOut) {
            selected |= 1u << IndexPortSlot(static_cast<WORD>(a.where));
        }
    }
    if (selected == 0) {
        return;
    }
    char* p = PutText(r->line, "  also made:");
    for (int i = 0; i < kIndexPortCount; ++i) {
        if ((selected & (1u << i)) != 0) {
            p = PutText(p, p[-1] == ':' ? " the " : " and the ");
            p = PutText(PutText(p, IndexPortName(kIndexPorts[i])), " register (0x");
            p = PutText(PutHex(p, kIndexPorts[i], 3), ")");
        }
    }
    p = PutText(p, (selected & (selected - 1)) != 0 ? ", each" : ",");
    PutText(
        p, " read before LUMCHECK's first index write to it, and after the last read written back as it was");
    Emit(r);
}

// What LUMWATCH judges before it starts LUMRATE: the monitor's limits and whether the timing LUMRATE
// takes here is beyond them (JudgeTimingHere's verdict). It judges nothing else: system.ini, the
// skip bit and the colors LUMRATE then looks at itself. Where the run sets a timing, how fast it
// sweeps its lines.
void ReportWatcher(Report* r, const RunFacts* f, int programmed) {
    const WatchFacts* w = f->watch;
    PutMonitorLimits(PutText(r->line, "monitor: "), &w->limits, w->state.width, w->state.height);
    Emit(r);
    if (programmed) {
        char* p = PutTimingAt(PutText(r->line, "line frequency: "), f->state, f->selection->row);
        PutKilohertz(PutText(p, " sweeps "), LineFrequency(f->selection->row, f->state->rateIndex));
        Emit(r);
    }
    if (!IsBeyondMonitor(w->verdict)) {
        PutText(r->line, "LUMWATCH: starts LUMRATE here when Windows starts, after a mode change or a "
                         "resume, and where Windows 98 tells it of a new rate");
        Emit(r);
        return;
    }
    PutText(r->line, "LUMWATCH: starts no run of LUMRATE here, so Windows' own timing stays");
    Emit(r);
    char* p = PutBeyondMonitor(PutText(r->line, "  why: "), w->verdict, &w->limits, &w->state, w->row);
    PutText(p, w->verdict == kBeyondResolution ? "; choose a smaller screen size in Display Properties"
                                               : "; choose a rate within the monitor's limits with LUMSET");
    Emit(r);
}

} // namespace

void WriteWrapped(const char* line, ReportLineWriter writeLine, void* context) {
    const char* text = line;
    int indent       = 0;
    char part[kReportWidth + 1];
    for (;;) {
        int room = kReportWidth - indent;
        // Counted only up to the room: an unbounded count would become a call of strlen, which
        // the Windows programs do not have.
        int length = 0;
        while (length <= room && text[length] != 0) {
            ++length;
        }
        int take = length;
        if (length > room) {
            take = room;
            while (take > 0 && text[take] != ' ') {
                --take;
            }
            if (take == 0) {
                take = room;
            }
        }
        for (int i = 0; i < indent; ++i) {
            part[i] = ' ';
        }
        for (int i = 0; i < take; ++i) {
            part[indent + i] = text[i];
        }
        part[indent + take] = 0;
        writeLine(part, context);
        text += take;
        while (*text == ' ') {
            ++text;
        }
        if (*text == 0) {
            return;
        }
        indent = kWrapIndent;
    }
}

int WriteRunReport(const RunFacts* f, ReportLineWriter writeLine, void* context,
                   char summary[kReportLineSize]) {
    Report r;
    r.writeLine        = writeLine;
    r.context          = context;
    r.summary          = summary;
    r.escapesShown     = 0;
    r.escapesExplained = 0;
    r.why[0]           = 0;
    int programmed     = ReportDecisions(&r, f);

    int window = programmed && f->decisions->vxd == kVxdWindow;
    if (programmed) {
        char* p = PutText(r.line, "register window: ");
        if (window) {
            p = PutText(PutHex(PutText(p, "0x"), f->decisions->registers, 8), " (");
            PutText(PutVxdAnswer(p, kVxdWindow, 0), ")");
        } else {
            PutVxdAnswer(PutText(p, "none: "), f->decisions->vxd, f->decisions->vxdError);
        }
        Emit(&r);
        ReportUtilityWords(&r, f->decisions);
    }

    ReportAccesses(&r, f);

    char* p = PutText(r.line, "verdict: LUMRATE would ");
    if (window) {
        PutSetting(PutText(p, "set "), f->state, f->selection->row);
    } else if (programmed) {
        p = PutSetting(PutText(p, "set the timing registers for "), f->state, f->selection->row);
        PutText(p, ", but not the memory-mapped one");
    } else {
        PutText(p, "leave the adapter as it is on this machine");
    }
    Emit(&r);
    if (!window) {
        p = PutText(r.line, "  why: ");
        if (programmed) {
            PutVxdAnswer(PutText(p, "no register window: "), f->decisions->vxd, f->decisions->vxdError);
        } else {
            PutText(p, r.why);
        }
        Emit(&r);
    }
    ReportWatcher(&r, f, programmed);
    return programmed;
}
