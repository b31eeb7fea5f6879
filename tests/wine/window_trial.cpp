// One trial of a rate as a chooser makes it, without a window of its own: every register the
// programming sequence writes read back, the sequence for 1024x768 at 16 bits and 85 Hz, and all of
// it written back. Under the emulating debugger (run_cases.py) it shows the loads from the register
// window answered by the adapter model, and the adapter left as it was found.
#include <windows.h>

#include "hw/hw.h"
#include "timing/timing.h"

int main() {
    RegisterWindow registers = 0;
    DWORD error;
    if (AskMappingVxd(&registers, &error) != kVxdWindow) {
        return 1;
    }
    AdapterRegisters saved;
    ReadAdapterRegisters(registers, &saved);

    DisplayState state = {};
    state.width        = 1024;
    state.height       = 768;
    state.bitsPerPixel = 16;
    state.rateText[0]  = '8';
    state.rateText[1]  = '5';
    state.listRow      = ClassifyResolution(state.width, state.height);
    state.rateIndex    = FindRateIndex(state.listRow, state.rateText);
    TimingSelection selection;
    if (SelectTiming(&state, &selection) != kTimingSelected) {
        return 2;
    }
    ProgramTiming(&selection, registers);

    WriteAdapterRegisters(registers, &saved);
    return 0;
}
