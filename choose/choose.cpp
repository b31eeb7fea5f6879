#include "choose/choose.h"

#include <string.h>

#include "app/app.h"
#include "app/package.h"
#include "hw/primitives.h"
#include "hw/vga.h"

ChooserState chooser;

const char kTrialMutexName[]   = TRIAL_MUTEX_NAME;
const char kChooserMutexName[] = "LumarelSet";
const char kChooserTitle[]     = "Lumarel Refresh Rate";

static const char kForgetSwitch[] = "/FORGET";

void RateOfEntry(const char entry[kRateEntrySize], char rate[kRateEntrySize]) {
    int n = 0;
    for (; n < kRateEntrySize - 1 && entry[n] != 0 && entry[n] != ' '; ++n) {
        rate[n] = entry[n];
    }
    rate[n] = 0;
}

// The display state the utility's run would have with this rate text: its own order of steps.
static int SelectFor(const char* rate, DisplayState* state, TimingSelection* selection) {
    memset(state, 0, sizeof *state);
    state->width        = chooser.width;
    state->height       = chooser.height;
    state->bitsPerPixel = chooser.bitsPerPixel;
    strcpy(state->rateText, rate);
    state->listRow   = chooser.listRow;
    state->rateIndex = FindRateIndex(state->listRow, state->rateText);
    return SelectTiming(state, selection);
}

void GatherChooserFacts() {
    memset(&chooser, 0, sizeof chooser);
    GatherSystemFacts(&chooser.system, chooser.systemIniPath);
    if (chooser.system.driverLine.found) {
        // The skip bit is read as the utility reads it; the index register it selects with is
        // put back, so that nothing of the adapter changes before a trial.
        BYTE index      = ReadPort(VGA_CRT_IC);
        chooser.skipBit = IsSkipBitSet();
        WritePort(VGA_CRT_IC, index);
    }
    DisplayState state;
    memset(&state, 0, sizeof state);
    ReadRefreshRate(&state);
    memcpy(chooser.stored, state.rateText, sizeof chooser.stored);
    chooser.width        = GetSystemMetrics(SM_CXSCREEN);
    chooser.height       = GetSystemMetrics(SM_CYSCREEN);
    chooser.bitsPerPixel = QueryColorDepth();
    chooser.listRow      = ClassifyResolution(chooser.width, chooser.height);
    chooser.ownList      = ResolutionTable[chooser.listRow][0] == chooser.width &&
                      ResolutionTable[chooser.listRow][1] == chooser.height;
    RateSlot slot;
    chooser.ownRow = FindTableRow(chooser.width, chooser.height, 0, &chooser.tableRow, &slot) &&
                     ResolutionTable[chooser.tableRow][0] == chooser.width &&
                     ResolutionTable[chooser.tableRow][1] == chooser.height;

    // The rates of the screen's list that the selection gives a timing for, asked of it one by one.
    TimingSelection selection;
    for (RateIndex i = 0; i < kRateCount; ++i) {
        char rate[kRateEntrySize];
        RateOfEntry(RateTable[chooser.listRow][i], rate);
        if (rate[0] != 0 && SelectFor(rate, &state, &selection) && state.rateIndex == i) {
            memcpy(chooser.rates[chooser.rateCount++], rate, kRateEntrySize);
        }
    }

    if (!chooser.system.systemIniOpens) {
        chooser.hindrance = kNoSystemIni;
    } else if (!chooser.system.driverLine.found) {
        chooser.hindrance = kNotServed;
    } else if (chooser.skipBit) {
        chooser.hindrance = kSkipBitSet;
    } else if (chooser.bitsPerPixel == 0) {
        chooser.hindrance = kColoursUnknown;
    } else if (chooser.bitsPerPixel < kMinimumBitsPerPixel) {
        chooser.hindrance = kSixteenColours;
    } else if (ClassifyDepth(chooser.bitsPerPixel) == kNoDepthClass) {
        chooser.hindrance = kTooManyColours;
    } else if (chooser.rateCount == 0) {
        chooser.hindrance = kNoTimingAtScreen;
    } else if ((chooser.window = MapRegisterWindow()) == 0) {
        chooser.hindrance = kNoRegisterWindow;
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
    if (chooser.bitsPerPixel == 0) {
        wsprintfA(text, "The screen: %d x %d; its colours could not be asked.", chooser.width,
                  chooser.height);
        return;
    }
    wsprintfA(text, "The screen: %d x %d, %s.", chooser.width, chooser.height,
              ColourWords(chooser.bitsPerPixel));
}

void DescribeStoredRate(char text[kSentenceSize]) {
    if (chooser.system.rateSource == kRateNoKey) {
        wsprintfA(text, "No rate is stored, and Windows keeps no display settings: LUMRATE sets nothing.");
        return;
    }
    char first[kSentenceSize], used[kRateEntrySize];
    if (chooser.system.rateSource == kRateDefault) {
        wsprintfA(first, "No rate is stored.");
    } else {
        wsprintfA(first, "The stored rate: %.40s.", chooser.stored);
    }
    RateIndex index = FindRateIndex(chooser.listRow, chooser.stored);
    RateOfEntry(RateTable[chooser.listRow][index], used);
    DisplayState state;
    TimingSelection selection;
    if (!SelectFor(chooser.stored, &state, &selection)) {
        wsprintfA(text, "%s LUMRATE finds no timing for it and sets nothing.", first);
    } else if (!IsRequestedRate(RateTable[chooser.listRow][index], chooser.stored)) {
        wsprintfA(text, "%s It is not in the list: %s Hz is used.", first, used);
    } else if (strcmp(chooser.stored, used) != 0) {
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
        wsprintfA(text, "%d x %d has no rates of its own: these are %d x %d's, with the timings of %d x %d.",
                  chooser.width, chooser.height, ResolutionTable[chooser.listRow][0],
                  ResolutionTable[chooser.listRow][1], ResolutionTable[chooser.tableRow][0],
                  ResolutionTable[chooser.tableRow][1]);
    } else {
        text[0] = 0;
    }
}

// --- the trial -------------------------------------------------------------------------------

int StartTrial(const char* rate) {
    if (chooser.trialOn || chooser.hindrance != kNoHindrance) {
        return 0;
    }
    if (!SelectFor(rate, &displayState, &timingSelection)) {
        return 0;
    }
    // Never a partial trial: without the window, nothing is written at all.
    RegisterWindow window = MapRegisterWindow();
    if (window == 0) {
        return 0;
    }
    chooser.trialMutex = CreateMutexA(NULL, TRUE, kTrialMutexName);
    chooser.window     = window;
    ReadAdapterRegisters(window, &chooser.saved);
    ProgramTiming(&timingSelection);
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
        WriteAdapterRegisters(chooser.window, &chooser.saved);
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
    return HasOnlySwitch(commandLine, kForgetSwitch);
}
