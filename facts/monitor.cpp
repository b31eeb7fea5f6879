#include "facts/monitor.h"

#include <string.h>

namespace {

const char kDeviceList[]    = "Config Manager\\Enum";
const char kDeviceKeys[]    = "Enum";
const char kClassKeys[]     = "System\\CurrentControlSet\\Services\\Class";
const char kMonitorPrefix[] = "MONITOR\\";
const char kHardwareKey[]   = "HardWareKey";
const char kDriver[]        = "Driver";
const char kEdid[]          = "EDID";
const char kMaxResolution[] = "MaxResolution";
const char kModes[]         = "MODES";
const char kMode1[]         = "Mode1";
const BYTE kEdidHeader[]    = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

enum {
    kNameSize = 32, // a devnode's key in the device list, a MODES key, a screen size
    kTextSize = 64, // a Mode1 value; the longest written is about 30 characters

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

const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    return p;
}

// At most `most` digits as a number, and how many there were; 0 when there are more.
const char* ReadDigits(const char* p, int most, DWORD* value, int* count) {
    *value = 0;
    *count = 0;
    while (*p >= '0' && *p <= '9') {
        if (++*count > most) {
            return 0;
        }
        *value = *value * 10 + (*p++ - '0');
    }
    return p;
}

// A number of one to three digits, with one to three decimals after a point, in thousandths;
// blanks around it.
const char* ReadThousandths(const char* p, DWORD* value) {
    DWORD whole, fraction = 0;
    int digits, decimals  = 0;
    p = ReadDigits(SkipBlanks(p), 3, &whole, &digits);
    if (p == 0 || digits == 0) {
        return 0;
    }
    if (*p == '.') {
        p = ReadDigits(p + 1, 3, &fraction, &decimals);
        if (p == 0 || decimals == 0) {
            return 0;
        }
    }
    for (; decimals < 3; ++decimals) {
        fraction *= 10;
    }
    *value = whole * 1000 + fraction;
    return SkipBlanks(p);
}

// "min-max", or where maximumAlone allows, one number: the maximum, with no minimum (0). Each
// number at least floor, the minimum not above the maximum.
const char* ReadRange(const char* p, DWORD floor, int maximumAlone, DWORD* low, DWORD* high) {
    *low = 0;
    p    = ReadThousandths(p, high);
    if (p != 0 && *p == '-') {
        *low = *high;
        p    = ReadThousandths(p + 1, high);
        if (p != 0 && (*low < floor || *low > *high)) {
            return 0;
        }
    } else if (!maximumAlone) {
        return 0;
    }
    return p != 0 && *high >= floor ? p : 0;
}

// A screen's width or height: one to four digits, not 0; blanks around it.
const char* ReadSide(const char* p, int* side) {
    DWORD value;
    int digits;
    p = ReadDigits(SkipBlanks(p), 4, &value, &digits);
    if (p == 0 || value == 0) {
        return 0;
    }
    *side = static_cast<int>(value);
    return SkipBlanks(p);
}

int StartsWithMonitor(const char* key) {
    for (int k = 0; kMonitorPrefix[k] != '\0'; ++k) {
        char c = key[k];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != kMonitorPrefix[k]) {
            return 0;
        }
    }
    return 1;
}

// A REG_SZ value into text, zero-terminated: 1 read; 0 not there; -1 there, but of another type or
// longer than text holds.
int QueryText(HKEY key, const char* name, char* text, DWORD size) {
    DWORD type;
    DWORD length = size - 1; // room for the zero of a value stored without it
    LONG result  = RegQueryValueExA(key, name, 0, &type, reinterpret_cast<LPBYTE>(text), &length);
    if (result == ERROR_FILE_NOT_FOUND) {
        return 0;
    }
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return -1;
    }
    text[length] = '\0';
    return 1;
}

// The key `name` below the key `base` of root; 0 when either does not open.
HKEY OpenBelow(HKEY root, const char* base, const char* name) {
    HKEY parent, key = 0;
    if (RegOpenKeyExA(root, base, 0, KEY_READ, &parent) == ERROR_SUCCESS) {
        if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            key = 0;
        }
        RegCloseKey(parent);
    }
    return key;
}

// The name of subkey `index` into name: ERROR_SUCCESS, ERROR_NO_MORE_ITEMS after the last,
// ERROR_MORE_DATA for a name longer than any we look for.
LONG EnumKey(HKEY key, DWORD index, char name[kNameSize]) {
    DWORD size = kNameSize;
    return RegEnumKeyExA(key, index, name, &size, 0, 0, 0, 0);
}

// The one monitor of the running configuration, its key below HKEY_LOCAL_MACHINE\Enum into
// hardwareKey. Every devnode the list holds is present; the keys below Enum are not, as Windows
// keeps a monitor's key after the monitor is gone. A devnode whose HardWareKey is longer than
// hardwareKey holds is no monitor: their keys are "MONITOR\", a short identifier and a number.
MonitorFinding FindPresentMonitor(char hardwareKey[kMonitorKeySize]) {
    HKEY list;
    if (RegOpenKeyExA(HKEY_DYN_DATA, kDeviceList, 0, KEY_READ, &list) != ERROR_SUCCESS) {
        return kNoDeviceList;
    }
    int monitors = 0;
    LONG result;
    char name[kNameSize];
    char key[kMonitorKeySize];
    for (DWORD index = 0; (result = EnumKey(list, index, name)) != ERROR_NO_MORE_ITEMS; ++index) {
        HKEY device;
        if (result != ERROR_SUCCESS) {
            break;
        }
        if (RegOpenKeyExA(list, name, 0, KEY_READ, &device) != ERROR_SUCCESS) {
            continue;
        }
        if (QueryText(device, kHardwareKey, key, sizeof key) > 0 && StartsWithMonitor(key) &&
            ++monitors == 1) {
            strcpy(hardwareKey, key);
        }
        RegCloseKey(device);
    }
    RegCloseKey(list);
    if (result != ERROR_NO_MORE_ITEMS) {
        return kNoDeviceList;
    }
    return monitors == 0 ? kNoMonitorPresent : monitors == 1 ? kMonitorFound : kSeveralMonitorsPresent;
}

// Of the MODES keys, the one for the smallest screen that holds this one (its own size first, as
// nothing smaller holds it), and its Mode1. Setup information often writes a single key, at the
// monitor's largest size, whose ranges are the monitor's own at every smaller size; a key for a
// smaller screen says nothing of this one.
void ReadModes(HKEY classKey, int width, int height, MonitorLimits* limits) {
    HKEY modes;
    if (RegOpenKeyExA(classKey, kModes, 0, KEY_READ, &modes) != ERROR_SUCCESS) {
        return;
    }
    char name[kNameSize];
    char best[kNameSize];
    DWORD bestPixels = 0xFFFFFFFF;
    LONG result;
    for (DWORD index = 0; (result = EnumKey(modes, index, name)) != ERROR_NO_MORE_ITEMS; ++index) {
        int w, h;
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) {
            break;
        }
        if (result == ERROR_SUCCESS && ParseScreenSize(name, &w, &h) && w >= width && h >= height &&
            static_cast<DWORD>(w) * static_cast<DWORD>(h) < bestPixels) {
            bestPixels          = static_cast<DWORD>(w) * static_cast<DWORD>(h);
            limits->modesWidth  = w;
            limits->modesHeight = h;
            strcpy(best, name);
        }
    }
    HKEY mode;
    if (bestPixels != 0xFFFFFFFF && RegOpenKeyExA(modes, best, 0, KEY_READ, &mode) == ERROR_SUCCESS) {
        char text[kTextSize];
        int state = QueryText(mode, kMode1, text, sizeof text);
        if (state != 0) {
            limits->found |= kValueMode1;
            if (state > 0 && ParseModeValue(text, limits)) {
                limits->source = kLimitsFromModes;
            } else {
                limits->refused |= kValueMode1;
            }
        }
        RegCloseKey(mode);
    }
    RegCloseKey(modes);
}

} // namespace

int ParseModeValue(const char* text, MonitorLimits* limits) {
    DWORD hLow, hHigh, vLow = 0, vHigh = 0;
    unsigned known = kKnownHorizontal;
    const char* p  = ReadRange(text, kHorizontalFloor, 1, &hLow, &hHigh);
    if (p != 0 && *p == ',') {
        known |= kKnownVertical;
        p = ReadRange(p + 1, kVerticalFloor, 0, &vLow, &vHigh);
        // The sync polarities: Windows reads no limit from them, but anything else there is a
        // value written in some other form.
        for (int k = 0; k < 2 && p != 0 && *p == ','; ++k) {
            p = SkipBlanks(p + 1);
            if (*p != '+' && *p != '-') {
                return 0;
            }
            p = SkipBlanks(p + 1);
        }
    }
    if (p == 0 || *p != '\0') {
        return 0;
    }
    limits->known |= known;
    limits->horizontalMinHz    = hLow;
    limits->horizontalMaxHz    = hHigh;
    limits->verticalMinMilliHz = vLow;
    limits->verticalMaxMilliHz = vHigh;
    return 1;
}

int ParseScreenSize(const char* text, int* width, int* height) {
    int w, h;
    const char* p = ReadSide(text, &w);
    if (p == 0 || *p != ',' || (p = ReadSide(p + 1, &h)) == 0 || *p != '\0') {
        return 0;
    }
    *width  = w;
    *height = h;
    return 1;
}

int ParseEdidRangeLimits(const BYTE* edid, DWORD size, MonitorLimits* limits) {
    BYTE sum = 0;
    for (int k = 0; k < kEdidSize && size >= kEdidSize; ++k) {
        sum = static_cast<BYTE>(sum + edid[k]);
    }
    if (size < kEdidSize || sum != 0 || memcmp(edid, kEdidHeader, sizeof kEdidHeader) != 0 ||
        edid[kEdidVersion] != 1) {
        return -1;
    }
    for (const BYTE* d = edid + kEdidDescriptors; d < edid + kEdidDescriptorsEnd; d += kEdidDescriptorSize) {
        if (d[0] != 0 || d[1] != 0 || d[2] != 0 || d[3] != kRangeLimitsTag) {
            continue;
        }
        const DWORD vLow = d[5] * 1000u, vHigh = d[6] * 1000u; // Hz
        const DWORD hLow = d[7] * 1000u, hHigh = d[8] * 1000u; // kHz
        if (d[4] != 0 || vLow < kVerticalFloor || vLow > vHigh || hLow < kHorizontalFloor || hLow > hHigh) {
            return -1;
        }
        limits->known |= kKnownHorizontal | kKnownVertical;
        limits->horizontalMinHz    = hLow;
        limits->horizontalMaxHz    = hHigh;
        limits->verticalMinMilliHz = vLow;
        limits->verticalMaxMilliHz = vHigh;
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
    *limits         = MonitorLimits{};
    limits->finding = FindPresentMonitor(limits->hardwareKey);
    if (limits->finding != kMonitorFound) {
        return;
    }
    BYTE edid[kEdidBufferSize];
    DWORD edidSize = 0;
    HKEY classKey  = 0;
    HKEY device    = OpenBelow(HKEY_LOCAL_MACHINE, kDeviceKeys, limits->hardwareKey);
    if (device != 0) {
        DWORD type;
        DWORD size  = sizeof edid;
        LONG result = RegQueryValueExA(device, kEdid, 0, &type, edid, &size);
        if (result != ERROR_FILE_NOT_FOUND) {
            limits->found |= kValueEdid;
            edidSize = result == ERROR_SUCCESS && type == REG_BINARY ? size : 0;
        }
        if (QueryText(device, kDriver, limits->driver, sizeof limits->driver) > 0) {
            classKey = OpenBelow(HKEY_LOCAL_MACHINE, kClassKeys, limits->driver);
        }
        RegCloseKey(device);
    }
    if (classKey == 0) {
        limits->finding = kMonitorWithoutClassKey;
    } else {
        char text[kNameSize];
        int state = QueryText(classKey, kMaxResolution, text, sizeof text);
        if (state != 0) {
            limits->found |= kValueMaxResolution;
            if (state > 0 && ParseScreenSize(text, &limits->maxWidth, &limits->maxHeight)) {
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
