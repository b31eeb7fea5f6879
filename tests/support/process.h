// Small pieces most host tests start from.
#pragma once

#include <cstring>
#include <vector>

#include "hw/vga.h"
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
    state.listRow   = ClassifyResolution(width, height);
    state.rateIndex = FindRateIndex(state.listRow, state.rateText);
    return state;
}

// The adapter saw nothing but the skip-bit read: the CRTC index 0x75 and one read of its data.
inline bool OnlySkipBitRead(const std::vector<adapter::Access>& trace) {
    return trace.size() == 2 && trace[0].op == adapter::Op::Out && trace[0].where == VGA_CRT_IC &&
           trace[0].value == EXT_CRTC_75 && trace[1].op == adapter::Op::In && trace[1].where == VGA_CRT_DC;
}

} // namespace support
