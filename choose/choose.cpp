#include "choose/choose.h"

#include <string.h>

#include "common/adapter_lock.h"
#include "common/command_line.h"
#include "common/names.h"
#include "common/program_folder.h"
#include "common/registry_value.h"
#include "common/text.h"
#include "facts/words.h"
#include "hw/primitives.h"
#include "hw/vga.h"
#include "timing/line_frequency.h"

ChooserState chooser;

const char kAnotherAtTheAdapter[] = "Another program of this package is at the adapter";

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

// A rate of the list, with the timing it sets here judged against the monitor.
static void ListRate(const char* rate, const DisplayState* state, TableRow row, ListedRate* listed) {
    RateOfEntry(rate, listed->rate);
    listed->state   = *state;
    listed->row     = row;
    listed->monitor = CheckTimingAgainstMonitor(&chooser.limits, state, row);
}

static_assert(kColoursUnknown - kSkipBitSet == kStopColoursUnknown - kStopSkipBit &&
                  kSixteenColours - kSkipBitSet == kStopSixteenColours - kStopSkipBit,
              "the run's stops from the skip bit on and their hindrances in the same order");

// Where the run stops whatever the rate, as its decisions say; else whether the window is had.
static Hindrance HindranceOf(const RunDecisions* d) {
    switch (d->stop) {
    case kStopDriverCheck: return d->displayDriver == kDriverNotNamed ? kNotServed : kNoSystemIni;
    case kStopSkipBit:
    case kStopColoursUnknown:
    case kStopSixteenColours: return static_cast<Hindrance>(kSkipBitSet + (d->stop - kStopSkipBit));
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
    ReadMonitorLimits(chooser.state.width, chooser.state.height, &chooser.limits);

    // The rates of the screen's list that the selection gives a timing for, asked of it one by one.
    DisplayState state;
    TimingSelection selection;
    for (RateIndex i = 0; i < kRateCount; ++i) {
        char rate[kRateEntrySize];
        RateOfEntry(RateTable[chooser.state.listRow][i], rate);
        if (rate[0] != 0 && SelectFor(rate, &state, &selection) == kTimingSelected && state.rateIndex == i) {
            ListRate(rate, &state, selection.row, &chooser.rates[chooser.rateCount++]);
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

// A watcher runs where its window is. One that has its mutex but not yet its window is started
// again, and the second ends at once.
void StartWatcherWhereMissing() {
    char path[MAX_PATH];
    if (FindRegistryEntry(HKEY_LOCAL_MACHINE, RUN_KEY, WATCH_RUN_VALUE) == kRegistryPresent &&
        FindWindowA(WATCHER_CLASS_NAME, NULL) == NULL && PathBesideProgram(path, WATCHER_FILE_NAME)) {
        HANDLE watcher = StartProgram(path, NULL);
        if (watcher != 0) {
            CloseHandle(watcher);
        }
    }
}

// --- sentences ---------------------------------------------------------------------------------

enum { kShownRateCharacters = 40 };

void DescribeScreen(char text[kSentenceSize]) {
    const DisplayState& s = chooser.state;
    PutText(
        PutColors(PutText(PutScreen(PutText(text, "The screen: "), s.width, s.height), ", "), s.bitsPerPixel),
        ".");
}

// Whether LUMRATE's run gets as far as the stored rate: it stops for no reason of its own before.
static int RunReachesRate() {
    const RunDecisions* d = &chooser.decisions;
    return chooser.hindrance != kAdapterBusy &&
           (d->stop == kRunProgramsAdapter || (d->stop == kStopNoTiming && d->timing == kNoTimingAtRate));
}

void DescribeStoredRate(char text[kSentenceSize]) {
    const DisplayState& s = chooser.state;
    const RunDecisions* d = &chooser.decisions;
    char* p               = text;
    switch (d->rateSource) {
    case kRateFromRegistry:
        p = PutText(PutStoredRate(PutText(p, "Stored rate: "), s.rateText, kShownRateCharacters), ".");
        break;
    case kRateUnreadable: p = PutText(p, "A rate is stored, too long for LUMRATE to read."); break;
    case kRateNoValue:
    case kRateNoKey:
        p = PutText(PutText(p, "No rate is stored"),
                    d->rateSource == kRateNoKey ? ": Windows keeps no display settings here." : ".");
        break;
    }
    if (!RunReachesRate()) {
        return; // the note says why LUMRATE changes nothing, or that it is not known yet
    }
    if (d->stop != kRunProgramsAdapter) {
        PutText(p, " LUMRATE finds no timing for it and sets nothing.");
        return;
    }
    p                 = PutTiming(PutText(p, " LUMRATE sets "), &s, chooser.selection.row);
    const char* entry = RateTable[s.listRow][s.rateIndex];
    char used[kRateEntrySize];
    RateOfEntry(entry, used);
    const char* why = ".";
    if (d->rateSource != kRateFromRegistry || !IsRequestedRate(entry, s.rateText)) {
        p = PutText(p, ", the first of the list");
        if (d->rateSource == kRateFromRegistry) {
            why = ": the stored rate is in none of its entries.";
        }
    } else if (strcmp(s.rateText, used) != 0) {
        why = ": " RATE_RULE_TEXT ".";
    }
    p = PutText(p, why);
    if (chooser.hindrance == kNoRegisterWindow) {
        PutText(p, " It sets the timing registers only, not the memory-mapped one.");
    }
}

// Where LUMRATE's run stops whatever the rate, by Hindrance from kNoSystemIni on: why, before
// " LUMRATE changes nothing", and the end of the sentence after it.
static const char* const kStopWords[][2] = {
    {"SYSTEM.INI does not open:", " here."},
    {"SYSTEM.INI has no line \"" SERVED_DRIVER_LINE "\" after " SYSTEM_INI_SECTION ":",
     " here. LUMCHECK tells why."},
    {"The skip bit is set: " SKIP_BIT_TEXT ".", "."},
    {"The display could not be asked for its colors:", "."},
    {"At 16 colors or fewer (as in Safe Mode)", "."},
    {"At ", ": its tables go up to 24 bits per pixel."}, // the colors between
    {"The tables hold no timing for ", " at it."},       // the screen and a colon between
};
static_assert(sizeof kStopWords / sizeof kStopWords[0] == kNoTimingAtScreen - kNoSystemIni + 1,
              "one pair for each hindrance from kNoSystemIni to kNoTimingAtScreen");

void DescribeHindrance(char text[kSentenceSize]) {
    const DisplayState& s = chooser.state;
    char* p               = text;
    *p                    = 0;
    switch (chooser.hindrance) {
    case kNoHindrance:
        if (!HasOwnList(&s)) {
            p = PutScreen(p, s.width, s.height);
            p = PutScreen(PutText(p, " has no rates of its own: the list is "), ResolutionTable[s.listRow][0],
                          ResolutionTable[s.listRow][1]);
            p = PutText(p, "'s");
        }
        if (!HasOwnRow(&s, chooser.selection.row)) {
            p = PutText(p, p == text ? "The timings are " : ", the timings ");
            p = PutScreen(p, ResolutionTable[chooser.selection.row][0],
                          ResolutionTable[chooser.selection.row][1]);
            p = PutText(p, "'s");
        }
        if (p != text) {
            PutText(p, ".");
        }
        return;
    case kNoRegisterWindow: {
        // Asked, and no window: the answer is one of the three that give none.
        VxdAnswer answer = chooser.vxd;
        p = PutVxdAnswer(p, answer == kVxdAddressZero || answer == kVxdCallFails ? answer : kVxdDoesNotOpen,
                         chooser.vxdError);
        PutText(p, ". No rate can be tried here: without the window a trial would be partial.");
        return;
    }
    case kAdapterBusy: PutText(PutText(p, kAnotherAtTheAdapter), ". Looking again in a moment."); return;
    default: break;
    }
    const char* const* words = kStopWords[chooser.hindrance - kNoSystemIni];
    p                        = PutText(p, words[0]);
    if (chooser.hindrance == kTooManyColours) {
        p = PutColors(p, s.bitsPerPixel);
    } else if (chooser.hindrance == kNoTimingAtScreen) {
        p = PutText(PutScreen(p, s.width, s.height), ":");
    }
    PutText(PutText(p, " LUMRATE changes nothing"), words[1]);
}

void DescribeMonitor(char text[kSentenceSize]) {
    PutMonitorLimits(text, &chooser.limits, chooser.state.width, chooser.state.height);
}

void DescribeListedRate(const ListedRate* rate, char text[kSentenceSize]) {
    char* p = PutText(PutTiming(text, &rate->state, rate->row), " (");
    p       = PutText(PutKilohertz(p, LineFrequency(rate->row, rate->state.rateIndex)), ")");
    if (IsBeyondMonitor(rate->monitor)) {
        PutText(p, ", beyond the monitor");
    }
}

void DescribeBeyond(const ListedRate* rate, char text[kSentenceSize]) {
    char* p = PutBeyondMonitor(text, rate->monitor, &chooser.limits, &rate->state, rate->row);
    if (p != text) {
        PutText(p, ". LUMSET does not try it.");
    }
}

void DescribeQuestion(char text[kSentenceSize]) {
    PutText(PutTiming(PutText(text, "Keep "), &chooser.trial.state, chooser.trial.row), "?");
}

void DescribeOtherSizes(char text[kSentenceSize]) {
    char* p = PutStoredRate(PutText(text, "Kept, "), chooser.trial.rate, kShownRateCharacters);
    p       = PutText(p, " gives timings beyond the monitor at ");
    // Each size is written once the next is found, so that the last comes after " and ":
    // "640 x 480, 800 x 600 and 1600 x 1200".
    int sizes = 0, lastWidth = 0, lastHeight = 0;
    for (TableRow row = 0; row < kRowCount; ++row) {
        // What the judgement reads of a display state: the screen, and the stored rate's place in its
        // list.
        DisplayState state;
        state.width  = ResolutionTable[row][0];
        state.height = ResolutionTable[row][1];
        if (state.width == chooser.trial.state.width && state.height == chooser.trial.state.height) {
            continue;
        }
        state.rateIndex =
            FindRateIndex(ClassifyResolution(state.width, state.height), chooser.trial.state.rateText);
        MonitorLimits limits;
        TableRow timingRow;
        if (IsBeyondMonitor(JudgeTimingHere(&state, &limits, &timingRow))) {
            if (sizes != 0) {
                p = PutScreen(sizes > 1 ? PutText(p, ", ") : p, lastWidth, lastHeight);
            }
            lastWidth  = state.width;
            lastHeight = state.height;
            ++sizes;
        }
    }
    if (sizes == 0) {
        text[0] = 0;
        return;
    }
    p = PutScreen(sizes > 1 ? PutText(p, " and ") : p, lastWidth, lastHeight);
    PutText(p, ": there LUMWATCH starts no run of LUMRATE, and Windows' own rate stays.");
}

void DescribeTrialEnd(char text[kSentenceSize]) {
    char* p = text;
    switch (chooser.trialEnd) {
    case kTrialKept:
        p = PutText(PutStoredRate(PutText(p, "Kept: "), chooser.trial.rate, kShownRateCharacters),
                    " is stored");
        p = PutText(PutTiming(PutText(p, ", and LUMRATE sets "), &chooser.trial.state, chooser.trial.row),
                    " at this screen whenever it runs.");
        return;
    case kTrialNotStored:
        p = PutStoredRate(PutText(p, "Keep failed: "), chooser.trial.rate, kShownRateCharacters);
        p = PutText(p, " could not be stored, and");
        break;
    case kTrialModeChanged:
        PutText(p, "Windows set another mode during the trial: nothing was put back or kept.");
        return;
    case kTrialWentBack:
        p = PutText(PutTiming(p, &chooser.trial.state, chooser.trial.row), " was not kept:");
        break;
    case kTrialOn: *p = 0; return;
    }
    PutText(p, " the timing is back as it was.");
}

void DescribeForget(ForgetOutcome outcome, char text[kSentenceSize]) {
    static const char* const kWords[] = {
        "The stored rate is forgotten.",
        "There is no stored rate to forget.",
        "The stored rate could not be forgotten.",
    };
    PutText(text, kWords[outcome]);
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
        // Judged again, as the window may show limits that have changed since.
        ReadMonitorLimits(displayState.width, displayState.height, &chooser.limits);
        ListRate(rate, &displayState, timingSelection.row, &chooser.trial);
        if (IsBeyondMonitor(chooser.trial.monitor)) {
            ReleaseAdapterLock();
            return kTrialBeyondMonitor;
        }
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
            chooser.trialEnd = kTrialOn;
            chooser.trialOn  = 1;
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
    if (how == kTrialKept && !StoreRate(chooser.trial.rate)) {
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
        const DisplayState& mode = chooser.trial.state;
        int same = static_cast<int>(wParam) == mode.bitsPerPixel && LOWORD(lParam) == mode.width &&
                   HIWORD(lParam) == mode.height;
        return same ? kTrialWentBack : kTrialModeChanged;
    }
    if ((message == WM_ENDSESSION && wParam) ||
        (message == WM_POWERBROADCAST &&
         (wParam == kSuspend || wParam == kResumeCritical || wParam == kResumeSuspend ||
          wParam == kResumeStandby || wParam == kResumeAutomatic))) {
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

ForgetOutcome ForgetRate() {
    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_CURRENT_CONFIG, DISPLAY_SETTINGS_KEY, 0, KEY_SET_VALUE, &key);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueA(key, REFRESH_RATE_VALUE);
        RegCloseKey(key);
    }
    return result == ERROR_SUCCESS          ? kForgotten
           : result == ERROR_FILE_NOT_FOUND ? kNothingToForget
                                            : kNotForgotten;
}

int AsksToForget(const char* commandLine) {
    return IsOnlySwitch(ProgramArguments(commandLine), kForgetSwitch);
}
