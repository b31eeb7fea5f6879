#include "diag/report.h"

#include <string.h>

#include "app/app.h"
#include "hw/vga.h"

namespace {

enum {
    kWrapIndent   = 4,   // columns before the rest of a wrapped line
    kWhyTextSize  = 160, // one reason, in words
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

// A rate entry of the tables as its rate: "60 " as 60 Hz.
char* PutRate(char* p, const char entry[kRateEntrySize]) {
    if (entry[0] == 0) {
        return PutText(p, "no rate");
    }
    for (int i = 0; i < kRateEntrySize && entry[i] != 0 && entry[i] != ' '; ++i) {
        *p++ = entry[i];
    }
    return PutText(p, " Hz");
}

// Writes the line, wrapped at a blank where it is wider than the MS-DOS Prompt window's 79
// columns (at the width itself where a word is wider); the rest indented.
void Emit(Report* r) {
    char* text = r->line;
    int indent = 0;
    char part[kReportWidth + 1];
    for (;;) {
        int room = kReportWidth - indent;
        // memchr, not a counting loop: the compiler would make that a call of strlen, which the
        // Windows programs do not have.
        size_t left = sizeof r->line - static_cast<size_t>(text - r->line);
        int length  = static_cast<int>(static_cast<const char*>(memchr(text, 0, left)) - text);
        int take    = length;
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
        r->writeLine(part, r->context);
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

// The run stops here: a line of its own says why, and so do the summary and the verdict.
void Stop(Report* r, const char* why) {
    PutText(PutText(r->line, "stop: "), why);
    Emit(r);
    PutText(r->why, why);
    if (r->summary != 0) {
        PutText(PutText(r->summary, "stopped: "), why);
    }
}

const char* NearMissText(NearMiss nearMiss) {
    switch (nearMiss) {
    case kNearMissNoLineBreak: return "it ends the file with no line break after it";
    case kNearMissBeforeHeader: return "it stands before the [boot.description] header";
    case kNearMissHeaderCase: return "[boot.description] is not in small letters";
    case kNearMissTrailingText: return "a blank or other text follows \"series\"";
    case kNearMissBlanks: return "blanks stand before the key or around the equals sign";
    case kNearMissLetterCase: return "its letters' case differs";
    case kNoNearMiss: break;
    }
    return "";
}

// The value the skip-bit read of extended CRTC 0x75 returned, found by its register.
BYTE SkipRegisterValue(const RunFacts* f) {
    BYTE crtcIndex = 0;
    for (int i = 0; i < f->accessCount; ++i) {
        const PlannedAccess& a = f->accesses[i];
        if (a.kind == kVgaAccessOut && a.where == VGA_CRT_IC) {
            crtcIndex = a.value;
        } else if (a.kind == kVgaAccessIn && a.where == VGA_CRT_DC && crtcIndex == EXT_CRTC_75) {
            return a.value;
        }
    }
    return 0;
}

// The driver check, up to its stop; 1 when system.ini names the served driver.
int ReportSystemIni(Report* r, const RunFacts* f) {
    char* p = PutText(r->line, "system.ini: ");
    if (f->systemIniPath == 0) {
        PutText(p, "the Windows folder's name is too long for the path");
        Emit(r);
        Stop(r, "system.ini does not open (the utility shows \"Open System.ini error!\")");
        return 0;
    }
    p = PutShown(p, f->systemIniPath, 0);
    if (!f->systemIniOpens) {
        PutText(p, ", does not open");
        Emit(r);
        Stop(r, "system.ini does not open (the utility shows \"Open System.ini error!\")");
        return 0;
    }
    if (f->driverLine.found) {
        PutText(p, ", names the served display driver");
        Emit(r);
        return 1;
    }
    Emit(r);
    PutText(r->line, "  no line \"display.drv=Lumarel series\" under [boot.description]");
    Emit(r);
    if (f->driverLine.nearMiss != kNoNearMiss) {
        p = PutDecimal(PutText(r->line, "  line "), f->driverLine.line);
        PutText(PutText(p, " comes close, but "), NearMissText(f->driverLine.nearMiss));
        Emit(r);
    }
    Stop(r, "system.ini does not name the served display driver");
    return 0;
}

// Which row, rate and column of the tables the run takes, and each fallback on the way; 1 when
// they hold a timing for it.
int ReportSelection(Report* r, const DisplayState* s) {
    char why[kWordTextSize];
    DepthClass d = ClassifyDepth(s->bitsPerPixel);
    if (d == kNoDepthClass) {
        PutText(PutDecimal(PutText(why, "the tables have no column for "), s->bitsPerPixel),
                " bits per pixel");
        Stop(r, why);
        return 0;
    }
    TableRow row;
    RateSlot slot;
    if (!FindTableRow(s->width, s->height, s->rateIndex, &row, &slot)) {
        PutDecimal(PutText(why, "the tables have no row for the width "), s->width);
        Stop(r, why);
        return 0;
    }

    const char* entry = RateTable[row][s->rateIndex];
    char* p           = PutDecimal(PutText(r->line, "selection: row "), static_cast<long>(row));
    p = PutText(PutScreen(PutText(p, " ("), ResolutionTable[row][0], ResolutionTable[row][1]), "), ");
    p = PutDecimal(PutText(PutRate(p, entry), " (rate index "), static_cast<long>(s->rateIndex));
    p = slot == kNoSlot ? PutText(p, ", no slot")
                        : PutDecimal(PutText(p, ", slot "), static_cast<long>(slot));
    PutDecimal(PutText(p, "), depth class "), static_cast<long>(d));
    Emit(r);
    if (r->summary != 0) {
        PutText(r->summary, r->line + sizeof "selection: " - 1);
    }

    // The rate list is the resolution's, or 640x480's for a screen none of the eight.
    const int* listScreen = ResolutionTable[s->modeIndex];
    if (listScreen[0] != s->width || listScreen[1] != s->height) {
        p = PutScreen(PutText(r->line, "  fallback: "), s->width, s->height);
        PutText(PutScreen(PutText(p, " has no rate list of its own: "), listScreen[0], listScreen[1]),
                "'s is used");
        Emit(r);
    }
    if (!IsRequestedRate(RateTable[s->modeIndex][s->rateIndex], s->rateText)) {
        p = PutText(PutShown(PutText(r->line, "  fallback: \""), s->rateText, 1), "\" is in no entry of ");
        p = PutScreen(p, listScreen[0], listScreen[1]);
        PutText(PutRate(PutText(p, "'s list: its first, "), RateTable[s->modeIndex][0]), ", is taken");
        Emit(r);
    }
    const int* rowScreen = ResolutionTable[row];
    if (rowScreen[0] != s->width || rowScreen[1] != s->height) {
        p = PutScreen(PutText(r->line, "  fallback: "), s->width, s->height);
        p = PutDecimal(PutText(p, " has no row: the width picks row "), static_cast<long>(row));
        p = PutText(PutScreen(PutText(p, ", for "), rowScreen[0], rowScreen[1]), ", where rate index ");
        PutRate(PutText(PutDecimal(p, static_cast<long>(s->rateIndex)), " is "), entry);
        Emit(r);
    }
    if (slot == kNoSlot) {
        PutText(r->line, "  the rate index has no slot: mapped word and offset stay as they are");
        Emit(r);
    }
    if (!IsTimingRecord(TimingTable[row][s->rateIndex])) {
        Stop(r, "the table holds no timing for this screen and rate");
        return 0;
    }
    return 1;
}

// The decisions of the run, in its order, up to where it stopped; 1 when it went on to program
// the adapter.
int ReportDecisions(Report* r, const RunFacts* f) {
    if (f->notStarted != 0) {
        Stop(r, f->notStarted);
        return 0;
    }
    if (!ReportSystemIni(r, f)) {
        return 0;
    }

    BYTE crtc75 = SkipRegisterValue(f);
    int skip    = (crtc75 & EXT_CRTC_75_SKIP) != 0;
    char* p     = PutHex(PutText(r->line, "skip bit: extended CRTC 0x75 = "), crtc75, 2);
    PutText(p, skip ? ", bit 5 set" : ", bit 5 clear");
    Emit(r);
    if (skip) {
        Stop(r, "the skip bit is set");
        return 0;
    }

    const DisplayState* s = f->state;
    p                     = PutText(r->line, "refresh rate: ");
    switch (f->rateSource) {
    case kRateFromRegistry:
        PutText(PutShown(PutText(p, "\""), s->rateText, 1), "\" from the registry");
        break;
    case kRateDefault: PutText(p, "\"60\", the default: no RefreshRate value that fits"); break;
    case kRateNoKey: PutText(p, "none: no Display\\Settings key, so the rate text is empty"); break;
    }
    Emit(r);

    p = PutText(PutScreen(PutText(r->line, "screen: "), s->width, s->height), ", ");
    PutText(PutDecimal(p, s->bitsPerPixel), " bits per pixel");
    Emit(r);
    if (s->bitsPerPixel < kMinimumBitsPerPixel) {
        char why[64];
        PutText(PutDecimal(why, s->bitsPerPixel), " bits per pixel, 4 or fewer");
        Stop(r, why);
        return 0;
    }
    return ReportSelection(r, s);
}

// Why there is no register window, in words: 0 when there is one.
const char* NoWindowText(const WindowFacts* w, char* text) {
    switch (w->answer) {
    case kWindowHandedOut: return 0;
    case kWindowOpenFails:
        if (w->error == ERROR_NOT_SUPPORTED) {
            return "PHYSWIN.VXD does not support DeviceIoControl";
        }
        PutText(PutHexNumber(PutText(text, "PHYSWIN.VXD does not open (error code 0x"), w->error), ")");
        return text;
    case kWindowCallFails: return "the control call of PHYSWIN.VXD fails";
    case kWindowAddressZero: return "PHYSWIN.VXD answers address 0";
    case kWindowNoAnswer: return "PHYSWIN.VXD answers without an address";
    }
    return 0;
}

// An index write with the read of its data port right after it.
int IsIndexRead(const RunFacts* f, int i) {
    const PlannedAccess* a = f->accesses;
    return i >= 0 && i + 1 < f->accessCount && a[i].kind == kVgaAccessOut &&
           (a[i].where == VGA_CRT_IC || a[i].where == EXT_IC) && a[i + 1].kind == kVgaAccessIn &&
           a[i + 1].where == a[i].where + 1;
}

// The diagnostic makes an index write and the read of its data port right after it; every other
// access it only writes down.
int IsMade(const RunFacts* f, int i) {
    return IsIndexRead(f, i) || IsIndexRead(f, i - 1);
}

} // namespace

int WriteRunReport(const RunFacts* f, ReportLineWriter writeLine, void* context,
                   char summary[kReportLineSize]) {
    Report r;
    r.writeLine    = writeLine;
    r.context      = context;
    r.summary      = summary;
    r.why[0]       = 0;
    int programmed = ReportDecisions(&r, f);

    char noWindowText[80];
    WindowFacts window   = {kWindowHandedOut, 0, 0};
    const char* noWindow = 0;
    if (programmed) {
        window   = f->askWindow();
        noWindow = NoWindowText(&window, noWindowText);
        char* p  = PutText(r.line, "register window: ");
        if (noWindow == 0) {
            PutHex(PutText(p, "0x"), window.address, 8);
        } else {
            PutText(PutText(p, "none: "), noWindow);
        }
        Emit(&r);
    }

    PutText(PutDecimal(PutText(r.line, "adapter accesses: "), f->accessCount),
            " (the diagnostic makes those marked \"made\", to read)");
    Emit(&r);
    unsigned char crtcLatch = 0;
    unsigned char extLatch  = 0;
    for (int i = 0; i < f->accessCount; ++i) {
        const PlannedAccess& a = f->accesses[i];
        char* p                = PutText(r.line, IsMade(f, i) ? "  made    " : "  planned ");
        DescribeVgaAccess(p, a.kind, a.where, a.value, a.undecoded, &crtcLatch, &extLatch);
        Emit(&r);
    }

    if (programmed && noWindow == 0) {
        PutText(r.line, "verdict: the utility would set the rate on this machine");
        Emit(&r);
        return 1;
    }
    PutText(r.line, programmed ? "verdict: the utility would set the timing registers but not the mapped word"
                               : "verdict: the utility would leave the adapter as it is on this machine");
    Emit(&r);
    PutText(PutText(r.line, programmed ? "  why: no register window: " : "  why: "),
            programmed ? noWindow : r.why);
    Emit(&r);
    return programmed;
}
