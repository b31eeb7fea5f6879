// Small pieces most host tests start from.
#pragma once

#include <cstring>

#include "machine.h"
#include "simulator.h"
#include "timing/timing.h"

namespace support {

// A new process on the default simulated machine: the stand-in's machine and the program's
// process-wide data as a fresh start finds them.
inline void StartFreshProcess() {
    host::ResetMachine();
    sim::ResetProcessState();
}

// A display state as the run fills it: screen, depth and rate text, and the two indexes derived
// from them.
inline DisplayState MakeDisplayState(int width, int height, int bitsPerPixel, const char* rate) {
    DisplayState state{};
    state.width        = width;
    state.height       = height;
    state.bitsPerPixel = bitsPerPixel;
    std::strncpy(state.rateText, rate, sizeof state.rateText - 1);
    state.modeIndex = ClassifyResolution(width, height);
    state.rateIndex = FindRateIndex(state.modeIndex, state.rateText);
    return state;
}

} // namespace support
