#include "facts/words.h"

#include "common/text.h"
#include "timing/line_frequency.h"

char* PutScreen(char* p, int width, int height) {
    return PutDecimal(PutText(PutDecimal(p, width), " x "), height);
}

char* PutColors(char* p, int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 0: return PutText(p, "colors unknown");
    case 4: return PutText(p, "16 Colors");
    case 8: return PutText(p, "256 Colors");
    case 16: return PutText(p, "High Color (16 bit)");
    case 24: return PutText(p, "True Color (24 bit)");
    case 32: return PutText(p, "True Color (32 bit)");
    }
    return PutText(PutDecimal(p, bitsPerPixel), bitsPerPixel == 1 ? " bit per pixel" : " bits per pixel");
}

// A number in thousandths with one decimal, rounded, and without it where it is whole.
static char* PutTenths(char* p, DWORD thousandths, int alwaysDecimal) {
    DWORD tenths = (thousandths + 50) / 100;
    p            = PutDecimal(p, static_cast<long>(tenths / 10));
    if (alwaysDecimal || tenths % 10 != 0) {
        *p++ = '.';
        p    = PutDecimal(p, static_cast<long>(tenths % 10));
    }
    return p;
}

char* PutKilohertz(char* p, DWORD hertz) {
    return PutText(PutTenths(p, hertz, 1), " kHz");
}

char* PutEntryRate(char* p, const char entry[kRateEntrySize]) {
    int rate = RateOfEntry(entry);
    return rate == 0 ? PutText(p, "no rate") : PutText(PutDecimal(p, rate), " Hz");
}

static int IsScreenOf(const DisplayState* state, TableRow row) {
    return ResolutionTable[row][0] == state->width && ResolutionTable[row][1] == state->height;
}

int HasOwnList(const DisplayState* state) {
    return IsScreenOf(state, state->listRow);
}

int HasOwnRow(const DisplayState* state, TableRow row) {
    return IsScreenOf(state, row);
}

char* PutTiming(char* p, const DisplayState* state, TableRow row) {
    if (!HasOwnRow(state, row)) {
        p = PutText(PutScreen(p, ResolutionTable[row][0], ResolutionTable[row][1]), "'s ");
    }
    p = PutEntryRate(p, RateTable[row][state->rateIndex]);
    return HasOwnRow(state, row) ? p : PutText(p, " timing");
}

// How a line shows a byte of text the system hands over: as itself, after a backslash (a quote or
// backslash of a text in quotes), or as \xNN (outside printable ASCII); each escape its own bit.
enum ByteForm { kAsItself = 0, kAsHex = kEscapeHex, kAfterBackslash = kEscapeBackslash };

static ByteForm FormOf(unsigned char c, int quoted) {
    if (c < 0x20 || c > 0x7E) {
        return kAsHex;
    }
    return quoted && (c == '"' || c == '\\') ? kAfterBackslash : kAsItself;
}

static char* PutBytes(char* p, const char* text, int most, int quoted) {
    int n = 0;
    for (; text[n] != 0 && n < most; ++n) {
        unsigned char c = static_cast<unsigned char>(text[n]);
        ByteForm form   = FormOf(c, quoted);
        if (form == kAsHex) {
            p = PutHex(PutText(p, "\\x"), c, 2);
            continue;
        }
        if (form == kAfterBackslash) {
            *p++ = '\\';
        }
        *p++ = static_cast<char>(c);
    }
    *p = 0;
    return text[n] != 0 ? PutText(p, "...") : p;
}

char* PutShown(char* p, const char* text, int most) {
    return PutBytes(p, text, most, 1);
}

char* PutPath(char* p, const char* path) {
    return PutBytes(p, path, MAX_PATH, 0);
}

unsigned EscapesShown(const char* text, int most, int quoted) {
    unsigned shown = 0;
    for (int n = 0; text[n] != 0 && n < most; ++n) {
        shown |= FormOf(static_cast<unsigned char>(text[n]), quoted);
    }
    return shown;
}

char* PutStoredRate(char* p, const char* text, int most) {
    p = PutShown(PutText(p, "\""), text, most);
    return PutText(p, "\"");
}

char* PutVxdAnswer(char* p, VxdAnswer answer, DWORD error) {
    p = PutText(p, "PHYSWIN.VXD ");
    switch (answer) {
    case kVxdWindow: return PutText(p, "gives the adapter's register window");
    case kVxdNotAsked: return PutText(p, "was not asked");
    case kVxdAddressZero: p = PutText(p, "answers with address 0, no register window: "); break;
    case kVxdCallFails:
        p = PutText(p, "opens but does not map the adapter's registers: restart Windows; if it stays so, ");
        break;
    case kVxdDoesNotOpen:
        if (error == ERROR_NOT_SUPPORTED) {
            return PutText(p, "cannot be asked (error 50): this Windows has no DeviceIoControl for it; "
                              "LUMRATE is made for Windows 95 and 98");
        }
        p = PutDecimal(PutText(p, "does not open (error "), static_cast<long>(error));
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            p = PutText(p, ": the file is missing");
        }
        p = PutText(p, "): ");
        break;
    }
    return PutText(p, REINSTALL_DRIVER_TEXT); // the step to take, written once
}

// A range of frequencies in thousandths of their unit: "31.0-64.0 kHz", "50-100 Hz", "up to 64.0
// kHz" where the minimum is not known.
static char* PutRange(char* p, DWORD minimum, DWORD maximum, int alwaysDecimal, const char* unit) {
    if (minimum == 0) {
        p = PutText(p, "up to ");
    } else {
        p    = PutTenths(p, minimum, alwaysDecimal);
        *p++ = '-';
    }
    return PutText(PutTenths(p, maximum, alwaysDecimal), unit);
}

static char* PutSource(char* p, const MonitorLimits* limits) {
    return PutText(p, limits->source == kLimitsFromEdid ? ", says the monitor itself (EDID)"
                                                        : ", says its setup information");
}

char* PutMonitorLimits(char* p, const MonitorLimits* limits, int width, int height) {
    const unsigned frequencies = limits->known & (kKnownHorizontal | kKnownVertical);
    if (frequencies != 0) {
        p = PutText(p, "The monitor takes ");
        if ((limits->known & kKnownHorizontal) != 0) {
            p = PutRange(p, limits->horizontalMinHz, limits->horizontalMaxHz, 1, " kHz");
        }
        if (frequencies == (kKnownHorizontal | kKnownVertical)) {
            p = PutText(p, " and ");
        }
        if ((limits->known & kKnownVertical) != 0) {
            p = PutRange(p, limits->verticalMinMilliHz, limits->verticalMaxMilliHz, 0, " Hz");
        }
        if (limits->source == kLimitsFromModes) {
            p = PutScreen(PutText(p, " at "), limits->modesWidth, limits->modesHeight);
        }
        p = PutText(PutSource(p, limits), ".");
    } else {
        p = PutText(p, "The monitor's limits are not known: ");
        switch (limits->finding) {
        case kNoDeviceList: p = PutText(p, "Windows lists no devices here"); break;
        case kNoMonitorPresent: p = PutText(p, "Windows lists no monitor"); break;
        case kSeveralMonitorsPresent:
            p = PutText(p, "Windows lists several monitors and does not say which shows this picture");
            break;
        case kMonitorWithoutClassKey: p = PutText(p, "the monitor has no setup information"); break;
        case kMonitorFound:
            if ((limits->refused & (kValueMode1 | kValueEdid)) != 0) {
                p = PutText(p, "what it says of them cannot be read");
            } else {
                p = PutScreen(PutText(p, "its setup information gives none for "), width, height);
            }
            break;
        }
        p = PutText(p, ". Where you know it, choose the monitor in Display Properties, Settings, Advanced, "
                       "Monitor.");
    }
    if ((limits->known & kKnownResolution) != 0) {
        p = PutScreen(PutText(p, " Its largest screen: "), limits->maxWidth, limits->maxHeight);
        p = PutText(p, ".");
    }
    return p;
}

char* PutBeyondMonitor(char* p, MonitorVerdict verdict, const MonitorLimits* limits,
                       const DisplayState* state, TableRow row) {
    switch (verdict) {
    case kBeyondHorizontal:
        p = PutKilohertz(PutText(PutTiming(p, state, row), " needs "), LineFrequency(row, state->rateIndex));
        // "up to 64.0 kHz" where only the maximum is known
        p = PutRange(PutText(p, "; the monitor takes "), limits->horizontalMinHz, limits->horizontalMaxHz, 1,
                     " kHz");
        return PutSource(p, limits);
    case kBeyondVertical:
        p = PutText(PutTiming(p, state, row), " is outside the monitor's ");
        p = PutRange(p, limits->verticalMinMilliHz, limits->verticalMaxMilliHz, 0, " Hz");
        return PutSource(p, limits);
    case kBeyondResolution:
        p = PutText(PutScreen(p, state->width, state->height),
                    " is larger than the monitor's largest screen, ");
        p = PutScreen(p, limits->maxWidth, limits->maxHeight);
        return PutSource(p, limits);
    case kWithinMonitor:
    case kMonitorUnknown: break;
    }
    *p = 0;
    return p;
}
