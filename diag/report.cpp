#include "diag/report.h"

#include "app/app.h"
#include "hw/vga.h"

namespace {

// "mode index ..., rate index ..., depth class ..., rate slot none (...), table row ...".
enum { kSelectionTextSize = 200 };

// The report in the making: its line buffer, where its lines go, and the summary line.
struct Report {
    ReportLineWriter writeLine;
    void* context;
    char* summary;
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

void Emit(Report* r) {
    r->writeLine(r->line, r->context);
}

// The run stops here: a line of its own says why.
void EmitStop(Report* r, const char* why) {
    PutText(PutText(r->line, "stop: "), why);
    Emit(r);
}

// ... and so does the summary.
void Stop(Report* r, const char* why) {
    EmitStop(r, why);
    if (r->summary != 0) {
        PutText(PutText(r->summary, "stopped: "), why);
    }
}

// The choices of the tables for the display state, in the words of refresh-sim's summary; 0 when
// the tables hold nothing for it.
int DescribeSelection(char* p, const DisplayState* s) {
    p            = PutDecimal(PutText(p, "mode index "), static_cast<long>(s->modeIndex));
    p            = PutDecimal(PutText(p, ", rate index "), static_cast<long>(s->rateIndex));
    DepthClass d = ClassifyDepth(s->bitsPerPixel);
    if (d == kNoDepthClass) {
        p = PutDecimal(PutText(p, "; nothing written: no depth class for "), s->bitsPerPixel);
        PutText(p, " bits per pixel");
        return 0;
    }
    p = PutDecimal(PutText(p, ", depth class "), static_cast<long>(d));
    ModeIndex row;
    RateSlot slot;
    if (!FindTableRow(s->width, s->height, s->rateIndex, &row, &slot)) {
        PutDecimal(PutText(p, "; nothing written: no table row for width "), s->width);
        return 0;
    }
    p = PutText(p, ", rate slot ");
    p = slot == kNoSlot ? PutText(p, "none (word and offset stay zero)")
                        : PutDecimal(p, static_cast<long>(slot));
    PutDecimal(PutText(p, ", table row "), static_cast<long>(row));
    return 1;
}

// The decisions of the run, in its order, up to where it stopped; 1 when it went on to program
// the adapter.
int ReportDecisions(Report* r, const RunFacts* f) {
    char* p = PutText(r->line, "system.ini: ");
    p       = f->systemIniPath != 0 ? PutShown(p, f->systemIniPath, 0)
                                    : PutText(p, "(the Windows directory is too long for it)");
    if (!f->systemIniOpens) {
        PutText(p, ", does not open");
        Emit(r);
        Stop(r, "system.ini does not open (the utility shows \"Open System.ini error!\")");
        return 0;
    }
    if (f->accessCount == 0) {
        PutText(p, ", no line \"display.drv=Lumarel series\" under [boot.description]");
        Emit(r);
        Stop(r, "not the served display driver");
        return 0;
    }
    PutText(p, ", names the served display driver");
    Emit(r);

    // The skip-bit read is the run's first access after its index write.
    BYTE crtc75 = f->accessCount > 1 ? f->accesses[1].value : 0;
    int skip    = (crtc75 & EXT_CRTC_75_SKIP) != 0;
    p           = PutHex(PutText(r->line, "skip bit: extended CRTC 0x75 = "), crtc75, 2);
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
    case kRateNoKey: PutText(p, "none: no Display\\Settings key"); break;
    }
    Emit(r);

    p = PutDecimal(PutText(r->line, "screen: "), s->width);
    p = PutDecimal(PutText(p, "x"), s->height);
    p = PutDecimal(PutText(p, ", "), s->bitsPerPixel);
    PutText(p, " bits per pixel");
    Emit(r);
    if (s->bitsPerPixel < kMinimumBitsPerPixel) {
        char why[64];
        PutText(PutDecimal(why, s->bitsPerPixel), " bits per pixel, 4 or fewer");
        Stop(r, why);
        return 0;
    }

    char selection[kSelectionTextSize];
    int covered = DescribeSelection(selection, s);
    PutText(PutText(r->line, "selection: "), selection);
    Emit(r);
    if (r->summary != 0) {
        PutText(r->summary, selection);
    }
    if (!covered) {
        EmitStop(r, "the tables hold nothing for this screen and depth");
    }
    return covered;
}

} // namespace

int WriteRunReport(const RunFacts* f, ReportLineWriter writeLine, void* context,
                   char summary[kReportLineSize]) {
    Report r;
    r.writeLine    = writeLine;
    r.context      = context;
    r.summary      = summary;
    int programmed = ReportDecisions(&r, f);

    // The window bytes go from the top down: the last store is the window's own address.
    DWORD window = 0;
    int changes  = 0;
    for (int i = 0; i < f->accessCount; ++i) {
        const PlannedAccess& a = f->accesses[i];
        if (a.kind == kVgaAccessStore) {
            window = a.where;
        }
        if (a.kind == kVgaAccessStore ||
            (a.kind == kVgaAccessOut && a.where != VGA_CRT_IC && a.where != EXT_IC)) {
            changes = 1;
        }
    }
    if (programmed) {
        char* p = PutText(r.line, "register window: ");
        if (window != 0) {
            PutHex(PutText(p, "0x"), window, 8);
        } else {
            PutText(p, "none handed out by the mapping driver: no window byte written");
        }
        Emit(&r);
    }

    PutDecimal(PutText(r.line, "adapter accesses: "), f->accessCount);
    Emit(&r);
    unsigned char crtcLatch = 0;
    unsigned char extLatch  = 0;
    for (int i = 0; i < f->accessCount; ++i) {
        const PlannedAccess& a = f->accesses[i];
        char* p                = PutText(r.line, "  ");
        DescribeVgaAccess(p, a.kind, a.where, a.value, a.undecoded, &crtcLatch, &extLatch);
        Emit(&r);
    }

    PutText(r.line, changes ? "verdict: the utility would change the adapter on this machine"
                            : "verdict: the utility would leave the adapter as it is on this machine");
    Emit(&r);
    return changes;
}
