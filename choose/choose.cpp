#include "choose/choose.h"

#include <string.h>

#include "common/command_line.h"
#include "common/adapter_lock.h"
#include "common/names.h"
#include "common/one_instance.h"
#include "common/program_folder.h"
#include "common/registry_value.h"
#include "hw/primitives.h"
#include "hw/vga.h"

ChooserState chooser;

static const char kForgetSwitch[] = "/FORGET";

void RateOfEntry(const char entry[kRateEntrySize], char rate[kRateEntrySize]) {
    int n = 0;
    for (; n < kRateEntrySize - 1 && entry[n] != 0 && entry[n] != ' '; ++n) {
        rate[n] = entry[n];
    }
    rate[n] = 0;
}

// The display state the utility's run would have with this rate text stored, and its selection.
static TimingVerdict SelectFor(const char* rate, DisplayState* state, TimingSelection* selection) {
    *state = chooser.state;
    strcpy(state->rateText, rate);
    state->rateIndex = FindRateIndex(state->listRow, state->rateText);
    return SelectTiming(state, selection);
}

// Where the run stops whatever the rate, as its decisions say; else whether the window is had.
static Hindrance HindranceOf(const RunDecisions* d) {
    switch (d->stop) {
    case kStopDriverCheck: return d->displayDriver == kDriverNotNamed ? kNotServed : kNoSystemIni;
    case kStopSkipBit: return kSkipBitSet;
    case kStopColoursUnknown: return kColoursUnknown;
    case kStopSixteenColours: return kSixteenColours;
    case kStopNoTiming:
        if (d->timing == kNoDepthColumn) {
            return kTooManyColours;
        }
        if (d->timing != kNoTimingAtRate) {
            return kNoTimingAtScreen; // no row for the width, or none at any rate
        }
        break;
    case kRunProgramsAdapter: break;
    }
    return kNoHindrance;
}

static int IsScreen(TableRow row) {
    return ResolutionTable[row][0] == chooser.state.width && ResolutionTable[row][1] == chooser.state.height;
}

// The utility's decisions on this machine, as its run makes them; the skip bit is read with the
// adapter lock held and the CRTC index register it selects with put back, so that nothing of the
// adapter changes before a trial. With `keepLock` the lock stays held where it was taken. 0, with
// nothing read of the adapter, where another writer holds it; a holder that ended without letting go
// may have left its timing, which the watcher is asked to put right first.
static int DecideUnderLock(int keepLock) {
    RunDecisions* d = &chooser.decisions;
    memset(d, 0, sizeof *d);
    d->stop = DecideDriver(d);
    if (d->stop != kRunProgramsAdapter) {
        return 1;
    }
    LockTaken taken = TakeAdapterLock(0);
    if (taken != kLockTaken) {
        if (taken == kLockAbandoned) {
            ReleaseAdapterLock();
            if (!AskWatcherToRun()) {
                StartWatcherWhereMissing();
            }
        }
        return 0;
    }
    BYTE index = ReadPort(VGA_CRT_IC);
    d->stop    = DecideTiming(&chooser.state, &chooser.selection, d);
    WritePort(VGA_CRT_IC, index);
    if (!keepLock) {
        ReleaseAdapterLock();
    }
    return 1;
}

void GatherChooserFacts() {
    memset(&chooser, 0, sizeof chooser);
    int decided  = DecideUnderLock(0);
    RunStop stop = chooser.decisions.stop;
    if (!decided || stop == kStopDriverCheck || stop == kStopSkipBit) {
        // The run stopped before it read the settings, or did not get to: read them for the window.
        chooser.decisions.rateSource = ReadDisplaySettings(&chooser.state);
    }
    chooser.ownList = IsScreen(chooser.state.listRow);
    chooser.ownRow  = IsScreen(chooser.selection.row);

    // The rates of the screen's list that the selection gives a timing for, asked of it one by one.
    DisplayState state;
    TimingSelection selection;
    for (RateIndex i = 0; i < kRateCount; ++i) {
        char rate[kRateEntrySize];
        RateOfEntry(RateTable[chooser.state.listRow][i], rate);
        if (rate[0] != 0 && SelectFor(rate, &state, &selection) == kTimingSelected && state.rateIndex == i) {
            memcpy(chooser.rates[chooser.rateCount++], rate, kRateEntrySize);
        }
    }

    chooser.hindrance = decided ? HindranceOf(&chooser.decisions) : kAdapterBusy;
    if (chooser.hindrance == kNoHindrance) {
        // Asked here so that the window can say at once why no rate can be tried.
        chooser.vxd = AskMappingVxd(&chooser.registers, &chooser.vxdError);
        if (chooser.vxd != kVxdWindow) {
            chooser.hindrance = kNoRegisterWindow;
        }
    }
}

void StartWatcherWhereMissing() {
    char path[MAX_PATH];
    if (FindRegistryEntry(HKEY_LOCAL_MACHINE, RUN_KEY, WATCH_RUN_VALUE) == kRegistryPresent &&
        !MutexExists(WATCHER_MUTEX_NAME) && PathBesideProgram(path, WATCHER_FILE_NAME)) {
        HANDLE watcher = StartProgram(path, NULL);
        if (watcher != 0) {
            CloseHandle(watcher);
        }
    }
}

// --- sentences ---------------------------------------------------------------------------------

static const char* ColourWords(int bitsPerPixel) {
    if (bitsPerPixel <= 4) {
        return "16 colours";
    }
    if (bitsPerPixel <= 8) {
        return "256 colours";
    }
    if (bitsPerPixel <= 16) {
        return bitsPerPixel == 15 ? "High Color (15 bit)" : "High Color (16 bit)";
    }
    return bitsPerPixel <= 24 ? "True Color (24 bit)" : "True Color (32 bit)";
}

void DescribeScreen(char text[kSentenceSize]) {
    const DisplayState& s = chooser.state;
    if (s.bitsPerPixel == 0) {
        wsprintfA(text, "The screen: %d x %d; its colours could not be asked.", s.width, s.height);
        return;
    }
    wsprintfA(text, "The screen: %d x %d, %s.", s.width, s.height, ColourWords(s.bitsPerPixel));
}

void DescribeStoredRate(char text[kSentenceSize]) {
    const DisplayState& s = chooser.state;
    if (chooser.decisions.rateSource == kRateNoKey) {
        wsprintfA(text, "No rate is stored, and Windows keeps no display settings: LUMRATE sets nothing.");
        return;
    }
    char first[kSentenceSize], used[kRateEntrySize];
    if (chooser.decisions.rateSource != kRateFromRegistry) {
        wsprintfA(first, "No rate is stored.");
    } else {
        wsprintfA(first, "The stored rate: %.40s.", s.rateText);
    }
    RateOfEntry(RateTable[s.listRow][s.rateIndex], used);
    DisplayState state;
    TimingSelection selection;
    if (SelectFor(s.rateText, &state, &selection) != kTimingSelected) {
        wsprintfA(text, "%s LUMRATE finds no timing for it and sets nothing.", first);
    } else if (!IsRequestedRate(RateTable[s.listRow][s.rateIndex], s.rateText)) {
        wsprintfA(text, "%s It is not in the list: %s Hz is used.", first, used);
    } else if (strcmp(s.rateText, used) != 0) {
        wsprintfA(text, "%s Only its first two digits count: %s Hz is used.", first, used);
    } else {
        wsprintfA(text, "%s LUMRATE sets %s Hz.", first, used);
    }
}

void DescribeHindrance(char text[kSentenceSize]) {
    static const char* const kWhy[] = {
        "",
        "SYSTEM.INI cannot be opened: LUMRATE changes nothing here.",
        "SYSTEM.INI does not name the Lumarel series display driver: LUMRATE changes nothing here.",
        "The adapter asks to be left alone (bit 5 of its register 75h): LUMRATE changes nothing.",
        "The display could not be asked for its colours: LUMRATE changes nothing.",
        "At 16 colours (as in Safe Mode) LUMRATE changes nothing.",
        "At 32-bit colour LUMRATE changes nothing.",
        "The tables hold no timing for this screen size: LUMRATE changes nothing at it.",
        "PHYSWIN.VXD does not give the adapter's registers: no rate can be tried.",
        "The adapter is busy: LUMRATE is setting it. Looking again in a moment.",
    };
    if (chooser.hindrance != kNoHindrance) {
        strcpy(text, kWhy[chooser.hindrance]);
    } else if (!chooser.ownList || !chooser.ownRow) {
        const DisplayState& s = chooser.state;
        wsprintfA(text, "%d x %d has no rates of its own: these are %d x %d's, with the timings of %d x %d.",
                  s.width, s.height, ResolutionTable[s.listRow][0], ResolutionTable[s.listRow][1],
                  ResolutionTable[chooser.selection.row][0], ResolutionTable[chooser.selection.row][1]);
    } else {
        text[0] = 0;
    }
}

// --- the trial -------------------------------------------------------------------------------

TrialStart StartTrial(const char* rate) {
    if (chooser.trialOn) {
        return kTrialRefused;
    }
    // Decided anew, with the lock: the window may show a machine that has changed since.
    if (!DecideUnderLock(1)) {
        chooser.hindrance = kAdapterBusy;
        return kTrialBusy;
    }
    int holdsLock     = chooser.decisions.stop != kStopDriverCheck;
    chooser.hindrance = HindranceOf(&chooser.decisions);
    if (chooser.hindrance == kNoHindrance &&
        SelectFor(rate, &displayState, &timingSelection) == kTimingSelected) {
        // The one asking of the mapping VxD for this trial. Never a partial trial: without the
        // window, nothing is written at all.
        chooser.vxd = AskMappingVxd(&chooser.registers, &chooser.vxdError);
        if (chooser.vxd == kVxdWindow) {
            ReadAdapterRegisters(chooser.registers, &chooser.saved);
            // The watcher waits on the lock from now on: should this program end without letting it
            // go, the watcher puts a known timing back at once.
            HWND watcher = FindWindowA(WATCHER_CLASS_NAME, NULL);
            if (watcher != NULL) {
                PostMessageA(watcher, kWatchTrialBegins, 0, 0);
            }
            ProgramTiming(&timingSelection, chooser.registers);
            RateOfEntry(rate, chooser.trialRate);
            chooser.trialWidth        = displayState.width;
            chooser.trialHeight       = displayState.height;
            chooser.trialBitsPerPixel = displayState.bitsPerPixel;
            chooser.trialEnd          = kTrialOn;
            chooser.trialOn           = 1;
            return kTrialStarted;
        }
        chooser.hindrance = kNoRegisterWindow;
    }
    if (holdsLock) {
        ReleaseAdapterLock();
    }
    return kTrialRefused;
}

TrialEnd EndTrial(TrialEnd how) {
    if (!chooser.trialOn) {
        return kTrialOn;
    }
    chooser.trialOn = 0;
    if (how == kTrialKept && !StoreRate(chooser.trialRate)) {
        how = kTrialNotStored; // not stored: the rate may not stay either
    }
    if (how != kTrialKept && how != kTrialModeChanged) {
        WriteAdapterRegisters(chooser.registers, &chooser.saved);
    }
    ReleaseAdapterLock();
    return chooser.trialEnd = how;
}

// Power broadcast events: a suspend about to come, and the resumes after which Windows has reset
// the display in the mode it had.
enum {
    kSuspend         = 4,    // PBT_APMSUSPEND
    kResumeCritical  = 6,    // PBT_APMRESUMECRITICAL
    kResumeSuspend   = 7,    // PBT_APMRESUMESUSPEND
    kResumeStandby   = 8,    // PBT_APMRESUMESTANDBY
    kResumeAutomatic = 0x12, // PBT_APMRESUMEAUTOMATIC
};

TrialEnd TrialEndFor(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!chooser.trialOn) {
        return kTrialOn;
    }
    if (message == WM_DISPLAYCHANGE) {
        // In another mode the values read belong to none of its registers: nothing goes back. The
        // same mode set anew has Windows' timing for it, which the values read go back over.
        int same = static_cast<int>(wParam) == chooser.trialBitsPerPixel &&
                   LOWORD(lParam) == chooser.trialWidth && HIWORD(lParam) == chooser.trialHeight;
        return same ? kTrialWentBack : kTrialModeChanged;
    }
    if (message == WM_POWERBROADCAST &&
        (wParam == kSuspend || wParam == kResumeCritical || wParam == kResumeSuspend ||
         wParam == kResumeStandby || wParam == kResumeAutomatic)) {
        return kTrialWentBack;
    }
    return kTrialOn;
}

int StoreRate(const char* rate) {
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_CONFIG, DISPLAY_SETTINGS_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        &disposition) != ERROR_SUCCESS) {
        return 0;
    }
    LONG result = RegSetValueExA(key, REFRESH_RATE_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(rate),
                                 static_cast<DWORD>(strlen(rate) + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

int ForgetRate() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, DISPLAY_SETTINGS_KEY, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    LONG result = RegDeleteValueA(key, REFRESH_RATE_VALUE);
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

int AsksToForget(const char* commandLine) {
    return IsOnlySwitch(ProgramArguments(commandLine), kForgetSwitch);
}
