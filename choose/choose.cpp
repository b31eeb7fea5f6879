#include "choose/choose.h"

#include <string.h>

#include "common/command_line.h"
#include "common/names.h"
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

void GatherChooserFacts() {
    memset(&chooser, 0, sizeof chooser);
    RunDecisions* d = &chooser.decisions;
    d->stop         = DecideDriver(d);
    if (d->stop == kRunProgramsAdapter) {
        // The skip bit is read as the utility reads it; the index register it selects with is
        // put back, so that nothing of the adapter changes before a trial.
        BYTE index = ReadPort(VGA_CRT_IC);
        d->stop    = DecideTiming(&chooser.state, &chooser.selection, d);
        WritePort(VGA_CRT_IC, index);
    }
    if (chooser.decisions.stop == kStopDriverCheck || chooser.decisions.stop == kStopSkipBit) {
        // The run stopped before it read the settings: read them for the window alone.
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

    chooser.hindrance = HindranceOf(&chooser.decisions);
    if (chooser.hindrance == kNoHindrance) {
        // Asked here so that the window can say at once why no rate can be tried.
        chooser.vxd = AskMappingVxd(&chooser.registers, &chooser.vxdError);
        if (chooser.vxd != kVxdWindow) {
            chooser.hindrance = kNoRegisterWindow;
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

int StartTrial(const char* rate) {
    if (chooser.trialOn || chooser.hindrance != kNoHindrance) {
        return 0;
    }
    if (SelectFor(rate, &displayState, &timingSelection) != kTimingSelected) {
        return 0;
    }
    // Never a partial trial: without the window, nothing is written at all.
    chooser.vxd = AskMappingVxd(&chooser.registers, &chooser.vxdError);
    if (chooser.vxd != kVxdWindow) {
        return 0;
    }
    chooser.trialMutex = CreateMutexA(NULL, TRUE, TRIAL_MUTEX_NAME);
    ReadAdapterRegisters(chooser.registers, &chooser.saved);
    ProgramTiming(&timingSelection, chooser.registers);
    RateOfEntry(rate, chooser.trialRate);
    chooser.trialOn = 1;
    return 1;
}

TrialEnd EndTrial(TrialEnd how) {
    if (!chooser.trialOn) {
        return how;
    }
    chooser.trialOn = 0;
    if (how == kTrialKept && !StoreRate(chooser.trialRate)) {
        how = kTrialWentBack; // not stored: the rate may not stay either
    }
    if (how == kTrialWentBack) {
        WriteAdapterRegisters(chooser.registers, &chooser.saved);
    }
    if (chooser.trialMutex != NULL) {
        ReleaseMutex(chooser.trialMutex);
        CloseHandle(chooser.trialMutex);
        chooser.trialMutex = NULL;
    }
    return how;
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
