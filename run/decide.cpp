#include "run/decide.h"

RunDecisions runDecisions;

RunStop DecideRun(DisplayState* state, TimingSelection* selection, RunDecisions* decisions) {
    RunStop stop = DecideDriver(decisions);
    if (stop == kRunProgramsAdapter) {
        stop = DecideTiming(state, selection, decisions);
    }
    return decisions->stop = stop;
}

// The driver check comes before any port access: only the served adapter family is touched.
RunStop DecideDriver(RunDecisions* decisions) {
    decisions->displayDriver = CheckDisplayDriver();
    return decisions->displayDriver == kDriverNamed ? kRunProgramsAdapter : kStopDriverCheck;
}

// The colour depth is asked only once the rate index is known.
RateSource ReadDisplaySettings(DisplayState* state) {
    RateSource source   = ReadRefreshRate(state);
    state->width        = GetSystemMetrics(SM_CXSCREEN);
    state->height       = GetSystemMetrics(SM_CYSCREEN);
    state->listRow      = ClassifyResolution(state->width, state->height);
    state->rateIndex    = FindRateIndex(state->listRow, state->rateText);
    state->bitsPerPixel = QueryColorDepth();
    return source;
}

RunStop DecideTiming(DisplayState* state, TimingSelection* selection, RunDecisions* decisions) {
    if (IsSkipBitSet(&decisions->extCrtc75)) {
        return kStopSkipBit;
    }
    decisions->rateSource = ReadDisplaySettings(state);
    if (state->bitsPerPixel < kMinimumBitsPerPixel) {
        return state->bitsPerPixel == 0 ? kStopColoursUnknown : kStopSixteenColours;
    }
    // No row for the width, no column for the depth, or a record of zeros at the rate: nothing
    // the adapter could be given.
    decisions->timing = SelectTiming(state, selection);
    return decisions->timing == kTimingSelected ? kRunProgramsAdapter : kStopNoTiming;
}
