#include "facts/monitor.h"

#include <string.h>

#include "common/text.h"
#include "timing/line_frequency.h"

// Small: the watcher reads the limits at every mode change and has 8 KiB for everything. Each key is
// opened by its whole path from a root, one call; each value read by one helper.

namespace {

// Paths from a root, each written with the backslash its subkey's name follows.
const char kDeviceList[] = "Config Manager\\Enum";
const char kDeviceKeys[] = "Enum\\";
const char kClassKeys[]  = "System\\CurrentControlSet\\Services\\Class\\";
const char kModes[]      = "MODES";

const char kMonitorPrefix[] = "MONITOR\\";
const BYTE kEdidHeader[]    = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

enum {
    kNameSize = 32,  // a devnode's key in the device list, a MODES key, a screen size
    kTextSize = 64,  // a Mode1 value; the longest written is about 30 characters
    kPathSize = 192, // a class key's path: its base and a Driver value of kMonitorKeySize

    // Below these no monitor of the time keeps its picture: a number under them is one misread,
    // such as the 5 of "31,5", a decimal comma taken for the separator. In thousandths of kHz and
    // of Hz.
    kHorizontalFloor = 10000,
    kVerticalFloor   = 20000,

    // EDID 1.x: 128 bytes, the version at byte 18, four 18-byte descriptors from byte 54. A
    // descriptor that is no timing starts with three zero bytes and its tag; the range limits'
    // tag is 0xFD, followed by a byte of flags that EDID 1.4 sets for limits above 255 and earlier
    // versions keep zero, then the minimum and maximum rate in Hz and line frequency in kHz.
    kEdidSize           = 128,
    kEdidBufferSize     = 256,
    kEdidVersion        = 18,
    kEdidDescriptors    = 54,
    kEdidDescriptorSize = 18,
    kEdidDescriptorsEnd = kEdidDescriptors + 4 * kEdidDescriptorSize,
    kRangeLimitsTag     = 0xFD,
};

// A number of at most `digits` digits; where `decimals` allows, at most three decimals after a
// point, and the number in thousandths; blanks around it. 0 for anything else.
const char* ReadNumber(const char* p, int digits, int decimals, DWORD* thousandths) {
    DWORD value = 0;
    int scale   = 1000;
    int count = 0, point = 0;
    for (p = SkipBlanks(p);; ++p) {
        if (*p >= '0' && *p <= '9') {
            if (point ? scale == 1 : ++count > digits) {
                return 0;
            }
            value = value * 10 + static_cast<DWORD>(*p - '0');
            scale = point ? scale / 10 : scale;
        } else if (*p == '.' && decimals && !point && count != 0) {
            point = 1;
        } else {
            break;
        }
    }
    if (count == 0 || (point && scale == 1000)) {
        return 0; // no whole number, or a point without decimals
    }
    *thousandths = decimals ? value * static_cast<DWORD>(scale) : value;
    return SkipBlanks(p);
}

// "min-max", or where maximumAlone allows, one number: the maximum, with no minimum (0). Each
// number at least floor, the minimum not above the maximum.
const char* ReadRange(const char* p, DWORD floor, int maximumAlone, DWORD* low, DWORD* high) {
    *low = 0;
    p    = ReadNumber(p, 3, 1, high);
    if (p != 0 && *p == '-') {
        *low = *high;
        p    = ReadNumber(p + 1, 3, 1, high);
        if (p != 0 && (*low < floor || *low > *high)) {
            return 0;
        }
    } else if (!maximumAlone) {
        return 0;
    }
    return p != 0 && *high >= floor ? p : 0;
}

// The key at `path` below `root`, open for reading; 0 where it does not open.
HKEY OpenKey(HKEY root, const char* path) {
    HKEY key;
    return RegOpenKeyExA(root, path, 0, KEY_READ, &key) == ERROR_SUCCESS ? key : 0;
}

// The key below HKEY_LOCAL_MACHINE at `base` and `name` after it, open for reading; 0 where it does
// not open.
__attribute__((noinline)) HKEY OpenMachineKey(const char* base, const char* name) {
    static char path[kPathSize];
    PutText(PutText(path, base), name);
    return OpenKey(HKEY_LOCAL_MACHINE, path);
}

// A value of `type` into buffer (a text zero-terminated, so one byte short of size), with its length
// in *length: 1 read; 0 not there, or there but of another type or longer than buffer holds. A value
// there is noted among the limits' found values as `value` (a MonitorValue, or 0 for none), one not
// read among the refused: each reader notes its own the same way.
int QueryValue(MonitorLimits* limits, unsigned value, HKEY key, const char* name, DWORD type, BYTE* buffer,
               DWORD size, DWORD* length) {
    DWORD found;
    *length     = type == REG_SZ ? size - 1 : size;
    LONG result = RegQueryValueExA(key, name, 0, &found, buffer, length);
    if (result == ERROR_FILE_NOT_FOUND) {
        return 0;
    }
    limits->found |= value;
    if (result != ERROR_SUCCESS || found != type) {
        limits->refused |= value;
        return 0;
    }
    if (type == REG_SZ) {
        buffer[*length] = 0; // a value stored without its zero
    }
    return 1;
}

int QueryText(MonitorLimits* limits, unsigned value, HKEY key, const char* name, char* text, DWORD size) {
    DWORD length;
    return QueryValue(limits, value, key, name, REG_SZ, reinterpret_cast<BYTE*>(text), size, &length);
}

// The name of subkey `index` into name: ERROR_SUCCESS, ERROR_NO_MORE_ITEMS after the last,
// ERROR_MORE_DATA for a name longer than any looked for.
LONG EnumKey(HKEY key, DWORD index, char name[kNameSize]) {
    DWORD size = kNameSize;
    return RegEnumKeyExA(key, index, name, &size, 0, 0, 0, 0);
}

// The one monitor of the running configuration, its key below HKEY_LOCAL_MACHINE\Enum into
// limits->hardwareKey. Every devnode the list holds is present; the keys below Enum are not, as Windows
// keeps a monitor's key after the monitor is gone. A devnode whose HardWareKey is longer than
// hardwareKey holds is no monitor: their keys are "MONITOR\", a short identifier and a number.
MonitorFinding FindPresentMonitor(MonitorLimits* limits) {
    char* hardwareKey = limits->hardwareKey;
    HKEY list         = OpenKey(HKEY_DYN_DATA, kDeviceList);
    if (list == 0) {
        return kNoDeviceList;
    }
    int monitors = 0;
    LONG result;
    static char name[kNameSize];
    static char other[kMonitorKeySize];
    for (DWORD index = 0; (result = EnumKey(list, index, name)) == ERROR_SUCCESS; ++index) {
        HKEY device = OpenKey(list, name);
        if (device == 0) {
            continue;
        }
        // The first monitor's key where it goes; any later one's aside.
        char* key = monitors == 0 ? hardwareKey : other;
        monitors += QueryText(limits, 0, device, "HardWareKey", key, kMonitorKeySize) &&
                    AfterWord(key, kMonitorPrefix) != 0;
        if (monitors == 0) {
            hardwareKey[0] = 0;
        }
        RegCloseKey(device);
    }
    RegCloseKey(list);
    if (result != ERROR_NO_MORE_ITEMS) {
        hardwareKey[0] = 0;
        return kNoDeviceList;
    }
    return monitors == 0 ? kNoMonitorPresent : monitors == 1 ? kMonitorFound : kSeveralMonitorsPresent;
}

// Of the MODES keys, the one for the smallest screen that holds this one (its own size first, as
// nothing smaller holds it), and its Mode1. Setup information often writes a single key, at the
// monitor's largest size, whose ranges are the monitor's own at every smaller size; a key for a
// smaller screen says nothing of this one.
void ReadModes(HKEY classKey, int width, int height, MonitorLimits* limits) {
    HKEY modes = OpenKey(classKey, kModes);
    if (modes == 0) {
        return;
    }
    static char name[kNameSize];
    static char best[kNameSize];
    DWORD bestPixels = 0xFFFFFFFF;
    LONG result;
    // A name longer than any size is passed over; the list ends at its end or at a failure.
    for (DWORD index = 0;
         (result = EnumKey(modes, index, name)) == ERROR_SUCCESS || result == ERROR_MORE_DATA; ++index) {
        int w, h;
        if (result == ERROR_SUCCESS && ParseScreenSize(name, &w, &h) && w >= width && h >= height &&
            static_cast<DWORD>(w) * static_cast<DWORD>(h) < bestPixels) {
            bestPixels          = static_cast<DWORD>(w) * static_cast<DWORD>(h);
            limits->modesWidth  = w;
            limits->modesHeight = h;
            strcpy(best, name);
        }
    }
    HKEY mode = bestPixels != 0xFFFFFFFF ? OpenKey(modes, best) : 0;
    if (mode != 0) {
        char text[kTextSize];
        if (QueryText(limits, kValueMode1, mode, "Mode1", text, sizeof text)) {
            if (ParseModeValue(text, limits)) {
                limits->source = kLimitsFromModes;
            } else {
                limits->refused |= kValueMode1;
            }
        }
        RegCloseKey(mode);
    }
    RegCloseKey(modes);
}

// The ranges read, where a reader took them: horizontal in Hz, vertical in thousandths of a Hz.
__attribute__((noinline)) void TakeRanges(MonitorLimits* limits, unsigned known, DWORD hLow, DWORD hHigh,
                                          DWORD vLow, DWORD vHigh) {
    limits->known |= known;
    limits->horizontalMinHz    = hLow;
    limits->horizontalMaxHz    = hHigh;
    limits->verticalMinMilliHz = vLow;
    limits->verticalMaxMilliHz = vHigh;
}

} // namespace

int ParseModeValue(const char* text, MonitorLimits* limits) {
    DWORD hLow, hHigh, vLow = 0, vHigh = 0;
    unsigned known = kKnownHorizontal;
    const char* p  = ReadRange(text, kHorizontalFloor, 1, &hLow, &hHigh);
    if (p != 0 && *p == ',') {
        known |= kKnownVertical;
        p = ReadRange(p + 1, kVerticalFloor, 0, &vLow, &vHigh);
        // The sync polarities, at most two: Windows reads no limit from them, but anything else
        // there is a value written in some other form. Counted as they come: a loop of two rounds
        // the compiler would lay out twice.
        for (int polarities = 0; p != 0 && *p == ',';) {
            p = SkipBlanks(p + 1);
            if ((*p != '+' && *p != '-') || ++polarities > 2) {
                return 0;
            }
            p = SkipBlanks(p + 1);
        }
    }
    if (p == 0 || *p != '\0') {
        return 0;
    }
    TakeRanges(limits, known, hLow, hHigh, vLow, vHigh);
    return 1;
}

// Each side one to four digits, not 0; blanks around them.
int ParseScreenSize(const char* text, int* width, int* height) {
    DWORD w = 0, h = 0;
    const char* p = ReadNumber(text, 4, 0, &w);
    if (p == 0 || *p != ',' || (p = ReadNumber(p + 1, 4, 0, &h)) == 0 || *p != '\0' || w == 0 || h == 0) {
        return 0;
    }
    *width  = static_cast<int>(w);
    *height = static_cast<int>(h);
    return 1;
}

int ParseEdidRangeLimits(const BYTE* edid, DWORD size, MonitorLimits* limits) {
    if (size < kEdidSize) {
        return -1;
    }
    BYTE sum = 0;
    int bad  = edid[kEdidVersion] != 1;
    for (int k = 0; k < kEdidSize; ++k) {
        sum = static_cast<BYTE>(sum + edid[k]);
        bad |= k < static_cast<int>(sizeof kEdidHeader) && edid[k] != kEdidHeader[k];
    }
    if (bad || sum != 0) {
        return -1;
    }
    for (const BYTE* d = edid + kEdidDescriptors; d < edid + kEdidDescriptorsEnd; d += kEdidDescriptorSize) {
        if (d[0] != 0 || d[1] != 0 || d[2] != 0 || d[3] != kRangeLimitsTag) {
            continue;
        }
        // The rates in Hz, the line frequencies in kHz: compared as they stand, taken in thousandths.
        if (d[4] != 0 || d[5] < kVerticalFloor / 1000 || d[5] > d[6] || d[7] < kHorizontalFloor / 1000 ||
            d[7] > d[8]) {
            return -1;
        }
        TakeRanges(limits, kKnownHorizontal | kKnownVertical, d[7] * 1000u, d[8] * 1000u, d[5] * 1000u,
                   d[6] * 1000u);
        return 1;
    }
    return 0;
}

// Which source wins: the monitor type's MODES key for this screen, then the range limits the
// monitor sent. The setup information is what the user or Windows chose for this monitor, and it
// is there to correct what the monitor says of itself; its ranges are also given per screen size.
// MaxResolution gives no frequency limit, but a screen larger than it is beyond the monitor,
// whichever source the frequencies come from.
void ReadMonitorLimits(int width, int height, MonitorLimits* limits) {
    memset(limits, 0, sizeof *limits);
    limits->finding = FindPresentMonitor(limits);
    if (limits->finding != kMonitorFound) {
        return;
    }
    static BYTE edid[kEdidBufferSize];
    DWORD edidSize = 0;
    HKEY classKey  = 0;
    HKEY device    = OpenMachineKey(kDeviceKeys, limits->hardwareKey);
    if (device != 0) {
        if (!QueryValue(limits, kValueEdid, device, "EDID", REG_BINARY, edid, sizeof edid, &edidSize)) {
            edidSize = 0; // refused, where it is there, as data too short for EDID
        }
        if (QueryText(limits, 0, device, "Driver", limits->driver, sizeof limits->driver)) {
            classKey = OpenMachineKey(kClassKeys, limits->driver);
        }
        RegCloseKey(device);
    }
    if (classKey == 0) {
        limits->finding = kMonitorWithoutClassKey;
    } else {
        char text[kNameSize];
        if (QueryText(limits, kValueMaxResolution, classKey, "MaxResolution", text, sizeof text)) {
            if (ParseScreenSize(text, &limits->maxWidth, &limits->maxHeight)) {
                limits->known |= kKnownResolution;
            } else {
                limits->refused |= kValueMaxResolution;
            }
        }
        ReadModes(classKey, width, height, limits);
        RegCloseKey(classKey);
    }
    if (limits->source == kLimitsFromNowhere && (limits->found & kValueEdid) != 0) {
        int state = ParseEdidRangeLimits(edid, edidSize, limits);
        if (state > 0) {
            limits->source = kLimitsFromEdid;
        } else if (state < 0) {
            limits->refused |= kValueEdid;
        }
    }
}

MonitorVerdict CheckMonitorLimits(const MonitorLimits* limits, int width, int height, DWORD lineFrequencyHz,
                                  DWORD rateHz) {
    if ((limits->known & kKnownResolution) != 0 && (width > limits->maxWidth || height > limits->maxHeight)) {
        return kBeyondResolution;
    }
    int unchecked = (limits->known & (kKnownHorizontal | kKnownVertical)) == 0;
    if ((limits->known & kKnownHorizontal) != 0) {
        if (lineFrequencyHz == 0) {
            unchecked = 1;
        } else if (lineFrequencyHz < limits->horizontalMinHz || lineFrequencyHz > limits->horizontalMaxHz) {
            return kBeyondHorizontal;
        }
    }
    if ((limits->known & kKnownVertical) != 0) {
        // No vertical limit reaches 1000 Hz: the rate's thousandths then stay within a DWORD.
        if (rateHz == 0) {
            unchecked = 1;
        } else if (rateHz >= 1000 || rateHz * 1000 < limits->verticalMinMilliHz ||
                   rateHz * 1000 > limits->verticalMaxMilliHz) {
            return kBeyondVertical;
        }
    }
    return unchecked ? kMonitorUnknown : kWithinMonitor;
}

MonitorVerdict CheckTimingAgainstMonitor(const MonitorLimits* limits, const DisplayState* state,
                                         TableRow row) {
    RateIndex rate = state->rateIndex;
    return CheckMonitorLimits(limits, state->width, state->height, LineFrequency(row, rate),
                              static_cast<DWORD>(RateOfEntry(RateTable[row][rate])));
}

MonitorVerdict JudgeTimingHere(const DisplayState* state, MonitorLimits* limits, TableRow* row) {
    ReadMonitorLimits(state->width, state->height, limits);
    if (!FindTimingRow(state->width, state->height, state->rateIndex, row)) {
        return kMonitorUnknown;
    }
    return CheckTimingAgainstMonitor(limits, state, *row);
}
