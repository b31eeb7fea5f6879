// The limits of the monitor in use, as Windows 95/98 keep them in the registry, and the check of a
// timing against them: one stored rate serves every screen size, and at a larger size it drives the
// monitor at a higher line frequency, which it may not be made for.
//
// Windows 95/98 list the devices of the running configuration under HKEY_DYN_DATA\Config
// Manager\Enum, one key per devnode, whose HardWareKey value is the path of the device's key below
// HKEY_LOCAL_MACHINE\Enum; a monitor's begins "MONITOR\". That key's Driver value ("Monitor\0000")
// names the class key below HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class, where the
// setup information of the monitor type chosen wrote MaxResolution ("1024,768") and, per screen
// size, MODES\W,H with its Mode1 ("31.0-64.0,50.0-100.0,+,+": kHz, then Hz). Where the display
// driver read the monitor's own identification data (EDID, over DDC), the device key holds it, as
// the binary value EDID.
#pragma once

#include <windows.h>

#include "timing/timing.h"

// How the monitor in use was found.
enum MonitorFinding {
    kMonitorFound,           // one monitor is present and its class key opens
    kMonitorWithoutClassKey, // one monitor is present; its device key names no class key that opens
    kNoDeviceList,           // HKEY_DYN_DATA\Config Manager\Enum does not open (Windows NT) or read through
    kNoMonitorPresent,       // the list holds no monitor (Wine keeps it empty)
    kSeveralMonitorsPresent, // which of them shows this adapter's picture, the list does not say
};

// Where the frequency limits came from.
enum MonitorLimitSource {
    kLimitsFromNowhere, // no frequency limit is known
    kLimitsFromModes,   // Mode1 of a MODES key of the class key: the monitor type's setup information
    kLimitsFromEdid,    // the range limits the monitor sent in its identification data
};

// MonitorLimits::known: which limits hold.
enum MonitorKnown {
    kKnownHorizontal = 0x01,
    kKnownVertical   = 0x02,
    kKnownResolution = 0x04,
};

// MonitorLimits::found and ::refused: the values that were there, and those of them that could
// not be read and so give no limit.
enum MonitorValue {
    kValueMaxResolution = 0x01,
    kValueMode1         = 0x02, // of the MODES key chosen for the screen
    kValueEdid          = 0x04,
};

enum { kMonitorKeySize = 128 };

struct MonitorLimits {
    MonitorFinding finding;
    MonitorLimitSource source;
    unsigned known;   // MonitorKnown bits
    unsigned found;   // MonitorValue bits
    unsigned refused; // MonitorValue bits
    // The line frequency range, in Hz; the minimum is 0 where Mode1 gives only the maximum.
    DWORD horizontalMinHz;
    DWORD horizontalMaxHz;
    // The refresh rate range, in thousandths of a Hz.
    DWORD verticalMinMilliHz;
    DWORD verticalMaxMilliHz;
    int maxWidth; // MaxResolution
    int maxHeight;
    int modesWidth; // the MODES key whose Mode1 was read
    int modesHeight;
    char hardwareKey[kMonitorKeySize]; // the present monitor's key below HKEY_LOCAL_MACHINE\Enum
    char driver[kMonitorKeySize];      // its Driver value: its class key below ...\Services\Class
};

// The limits of the monitor in use, for a screen of width x height. Only reads the registry; every
// key it opens it closes.
void ReadMonitorLimits(int width, int height, MonitorLimits* limits);

enum MonitorVerdict {
    kWithinMonitor,    // within every limit known, and a frequency limit is known
    kBeyondHorizontal, // the line frequency is outside the horizontal range
    kBeyondVertical,   // the rate is outside the vertical range
    kBeyondResolution, // the screen is larger than MaxResolution
    kMonitorUnknown,   // no frequency limit is known, or a known range met a line frequency or rate of 0
};

// A timing against the limits: the screen it is for, its line frequency and its rate in Hz (0 where
// not known). A limit the timing is beyond wins over one that cannot be checked.
MonitorVerdict CheckMonitorLimits(const MonitorLimits* limits, int width, int height, DWORD lineFrequencyHz,
                                  DWORD rateHz);

// The timing the utility takes for a display state (the table row its width picks, at the state's
// rate index) against the limits, at the state's screen: its line frequency and the rate it is made
// for.
MonitorVerdict CheckTimingAgainstMonitor(const MonitorLimits* limits, const DisplayState* state,
                                         TableRow row);

// Reads the limits of the monitor in use for the display state's screen, and judges the timing the
// utility takes there (the row its width picks, into *row, at the state's rate index) against them:
// kMonitorUnknown also where the tables hold no timing for it. LUMWATCH starts no run of LUMRATE
// where this is beyond the monitor; LUMCHECK tells it.
MonitorVerdict JudgeTimingHere(const DisplayState* state, MonitorLimits* limits, TableRow* row);

// Whether a verdict says the monitor cannot show the timing: a known limit it is beyond.
inline int IsBeyondMonitor(MonitorVerdict verdict) {
    return verdict == kBeyondHorizontal || verdict == kBeyondVertical || verdict == kBeyondResolution;
}

// The readers of the values. Each refuses what it does not understand, and then leaves its
// results as they were.
//
// A Mode1 value: "[min-]max[,min-max[,polarity[,polarity]]]", the horizontal range in kHz (the
// maximum alone where one number stands), the vertical range in Hz, polarities "+" or "-".
// 1 read, 0 refused.
int ParseModeValue(const char* text, MonitorLimits* limits);
// A screen size as MaxResolution and the names of MODES keys write it, "1024,768": 1 read, 0
// refused.
int ParseScreenSize(const char* text, int* width, int* height);
// The range-limits descriptor of EDID 1.x: 1 read; 0 the data are EDID but hold none; -1 refused.
int ParseEdidRangeLimits(const BYTE* edid, DWORD size, MonitorLimits* limits);
