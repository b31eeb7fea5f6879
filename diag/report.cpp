#include "diag/report.h"

#include "app/words.h"
#include "common/text.h"
#include "probe/probe.h"

namespace {

enum {
    kWrapIndent   = 4,   // columns before the rest of a wrapped line
    kWordTextSize = 400, // a reason with a rate text or a screen in it
};

// The report in the making: its line buffer, where its lines go, the summary line, and why the
// run leaves the adapter as it is, for the verdict.
struct Report {
    ReportLineWriter writeLine;
    void* context;
    char* summary;
    char why[kWordTextSize];
    char line[kReportLineSize];
};

// Text the system hands over, as a line can show it: a byte outside printable ASCII as \xNN (and,
// within quotes, a quote or backslash as \" or \\), so that any registry value or folder name
// prints the same in a console window, a text file and JSON.
char* PutShown(char* p, const char* text, int quoted) {
    for (; *text != 0; ++text) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (c < 0x20 || c > 0x7E) {
            p = PutHex(PutText(p, "\\x"), c, 2);
        } else {
            if (quoted && (c == '"' || c == '\\')) {
                *p++ = '\\';
            }
            *p++ = static_cast<char>(c);
            *p   = 0;
        }
    }
    return p;
}

// A number in hexadecimal without leading zeros, as the utility prints an error code.
char* PutHexNumber(char* p, unsigned long value) {
    int digits = 1;
    while (digits < 8 && (value >> (4 * digits)) != 0) {
        ++digits;
    }
    return PutHex(p, value, digits);
}

char* PutScreen(char* p, int width, int height) {
    return PutDecimal(PutText(PutDecimal(p, width), "x"), height);
}

// Whether a rate entry of the tables holds a rate: an empty one and the 720 rows' "0  " fillers
// do not.
int IsRateEntry(const char entry[kRateEntrySize]) {
    return entry[0] != 0 && entry[0] != '0';
}

// A rate entry of the tables as its rate: "60 " as 60 Hz.
char* PutRate(char* p, const char entry[kRateEntrySize]) {
    if (!IsRateEntry(entry)) {
        return PutText(p, "an empty rate entry");
    }
    for (int i = 0; i < kRateEntrySize && entry[i] != 0 && entry[i] != ' '; ++i) {
        *p++ = entry[i];
    }
    return PutText(p, " Hz");
}

void Emit(Report* r) {
    WriteWrapped(r->line, r->writeLine, r->context);
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
    const char* openError = "system.ini does not open (the utility shows \"" OPEN_SYSTEM_INI_ERROR "\")";
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
    p = PutShown(p, f->system.systemIniPath, 0);
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
        PutText(p, " holds a Ctrl+Z: the utility reads nothing after it");
        Emit(r);
    }
    Stop(r, "system.ini does not name the served display driver");
    return 0;
}

// The colours a depth class stands for, as Display Properties names them.
const char* DepthWords(DepthClass d) {
    static const char* const kWords[kDepthCount] = {"256 colours", "High Color", "True Color"};
    return kWords[d];
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

// Which timing of the tables the run takes, in the user's words (the screen size of its row, its
// rate, the colours), and each fallback on the way; the selection's verdict says whether the tables
// hold one, and why not.
int ReportSelection(Report* r, const RunFacts* f) {
    const DisplayState* s      = f->state;
    const TimingSelection* sel = f->selection;
    TimingVerdict verdict      = f->decisions->timing;
    char why[kWordTextSize];
    if (verdict == kNoDepthColumn) {
        PutText(PutDecimal(PutText(why, "the tables hold no timing for "), s->bitsPerPixel),
                " bits per pixel");
        Stop(r, why);
        return 0;
    }
    if (verdict == kNoWidthRow) {
        PutText(PutDecimal(PutText(why, "the tables hold no timing for a screen "), s->width),
                " pixels wide");
        Stop(r, why);
        return 0;
    }

    const int* rowScreen = ResolutionTable[sel->row];
    char* p              = PutScreen(PutText(r->line, "selection: "), rowScreen[0], rowScreen[1]);
    if (verdict == kNoTimingInRow) {
        PutText(p, ": the tables hold no timing for it at any rate");
    } else {
        PutText(PutText(PutRate(PutText(p, ", "), RateTable[sel->row][s->rateIndex]), ", "),
                DepthWords(sel->depth));
    }
    Emit(r);
    if (r->summary != 0) {
        PutText(r->summary, r->line + sizeof "selection: " - 1);
    }
    if (verdict == kNoTimingInRow) {
        PutText(PutDecimal(PutText(why, "the tables hold no timing for a screen "), s->width),
                " pixels wide, at any rate");
        Stop(r, why);
        return 0;
    }

    // The rate list is the resolution's, or 640x480's for a screen none of the eight.
    const int* listScreen = ResolutionTable[s->listRow];
    const char* listEntry = RateTable[s->listRow][s->rateIndex];
    if (listScreen[0] != s->width || listScreen[1] != s->height) {
        p = PutScreen(PutText(r->line, "  fallback: "), s->width, s->height);
        PutText(PutScreen(PutText(p, " has no rate list of its own: "), listScreen[0], listScreen[1]),
                "'s is used");
        Emit(r);
    }
    if (!IsRequestedRate(listEntry, s->rateText)) {
        p = PutText(PutShown(PutText(r->line, "  fallback: \""), s->rateText, 1), "\" is in no entry of ");
        p = PutScreen(p, listScreen[0], listScreen[1]);
        PutText(PutRate(PutText(p, "'s list: its first, "), RateTable[s->listRow][0]), ", is taken");
        Emit(r);
    } else if (!IsWholeRate(listEntry, s->rateText)) {
        p = PutShown(PutText(r->line, "  only a rate's first two characters count: \""), s->rateText, 1);
        PutRate(PutText(p, "\" is taken as "), listEntry);
        Emit(r);
    }
    if (rowScreen[0] != s->width || rowScreen[1] != s->height) {
        p = PutScreen(PutText(r->line, "  fallback: "), s->width, s->height);
        p = PutScreen(PutText(p, " has no timings of its own: those of "), rowScreen[0], rowScreen[1]);
        PutText(p, " are used, at the same place in the list");
        Emit(r);
    }
    if (verdict != kTimingSelected) {
        Stop(r, "the table holds no timing for this screen and rate");
        return 0;
    }
    return 1;
}

// The settings the run read once the skip bit was clear, up to its depth test; 1 when it went on.
int ReportSettings(Report* r, const RunFacts* f) {
    const DisplayState* s = f->state;
    RunStop stop          = f->decisions->stop;
    char* p               = PutText(r->line, "refresh rate: ");
    switch (f->decisions->rateSource) {
    case kRateFromRegistry:
        PutText(PutShown(PutText(p, "\""), s->rateText, 1), "\" from the registry");
        break;
    case kRateNoValue:
    case kRateUnreadable: PutText(p, "\"60\", the default: no RefreshRate value that fits"); break;
    case kRateNoKey: PutText(p, "none: no Display\\Settings key"); break;
    }
    Emit(r);

    // The colours as Display Properties names them, by the selection's depth class.
    p = PutText(PutScreen(PutText(r->line, "screen: "), s->width, s->height), ", ");
    p = PutText(PutDecimal(p, s->bitsPerPixel), " bits per pixel");
    if (stop == kStopColoursUnknown) {
        PutText(p, " (the display could not be asked)");
    } else if (stop == kStopSixteenColours) {
        PutText(p, " (16 colours or fewer)");
    } else if (f->decisions->timing != kNoDepthColumn) {
        PutText(PutText(PutText(p, " ("), DepthWords(f->selection->depth)), ")");
    }
    Emit(r);
    if (stop == kStopColoursUnknown) {
        Stop(r, "the display could not be asked");
        return 0;
    }
    if (stop == kStopSixteenColours) {
        Stop(r, "16 colours or fewer, which the utility leaves alone");
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
    char* p  = PutHex(PutText(r->line, "skip bit: extended CRTC 0x75 = "), f->decisions->extCrtc75, 2);
    PutText(p, skip ? ", bit 5 set" : ", bit 5 clear");
    Emit(r);
    if (skip) {
        Stop(r, "the skip bit is set");
        return 0;
    }
    return ReportSettings(r, f) && ReportSelection(r, f);
}

// The mapping VxD's answer to the run, in words: 0 when it handed out a window.
const char* NoWindowText(const RunDecisions* d, char* text) {
    switch (d->vxd) {
    case kVxdWindow: return 0;
    case kVxdDoesNotOpen:
        if (d->vxdError == ERROR_NOT_SUPPORTED) {
            return "PHYSWIN.VXD does not support DeviceIoControl";
        }
        PutText(PutHexNumber(PutText(text, "PHYSWIN.VXD does not open (error code 0x"), d->vxdError), ")");
        return text;
    case kVxdCallFails: return "PHYSWIN.VXD opens but does not map the registers";
    case kVxdAddressZero: return "PHYSWIN.VXD answers address 0";
    case kVxdNotAsked: break;
    }
    return "PHYSWIN.VXD was not asked";
}

// What the utility says of the mapping VxD's answer, in its own words (app/words.h), which the
// diagnostic does not say itself.
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
    r.writeLine    = writeLine;
    r.context      = context;
    r.summary      = summary;
    r.why[0]       = 0;
    int programmed = ReportDecisions(&r, f);

    char noWindowText[80];
    const char* noWindow = 0;
    if (programmed) {
        noWindow = NoWindowText(f->decisions, noWindowText);
        char* p  = PutText(r.line, "register window: ");
        if (noWindow == 0) {
            PutHex(PutText(p, "0x"), f->decisions->registers, 8);
        } else {
            PutText(PutText(p, "none: "), noWindow);
        }
        Emit(&r);
        ReportUtilityWords(&r, f->decisions);
    }

    PutText(PutDecimal(PutText(r.line, "adapter accesses: "), f->accessCount),
            " (\"made\": the diagnostic makes it, to read)");
    Emit(&r);
    unsigned char crtcLatch = 0;
    unsigned char extLatch  = 0;
    int anyMade             = 0;
    for (int i = 0; i < f->accessCount; ++i) {
        const PlannedAccess& a = f->accesses[i];
        char* p                = PutText(r.line, a.made ? "  made    " : "  planned ");
        DescribeVgaAccess(p, a.kind, a.where, a.value, a.undecoded, &crtcLatch, &extLatch);
        Emit(&r);
        anyMade |= a.made;
    }
    // The index register each made read selects through, which the diagnostic reads before its
    // first index write and writes back at the end: not in the list, as the run does not make it.
    if (anyMade) {
        PutText(r.line, "  also made: the index register, read first and written back last");
        Emit(&r);
    }

    if (programmed && noWindow == 0) {
        PutText(r.line, "verdict: the utility would set the rate on this machine");
        Emit(&r);
        return 1;
    }
    PutText(r.line, programmed
                        ? "verdict: the utility would set the timing registers, not the memory-mapped one"
                        : "verdict: the utility would leave the adapter as it is on this machine");
    Emit(&r);
    PutText(PutText(r.line, programmed ? "  why: no register window: " : "  why: "),
            programmed ? noWindow : r.why);
    Emit(&r);
    return programmed;
}
