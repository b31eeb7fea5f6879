// The program's one piece of work: decide whether to act, gather the display settings, and hand
// over to the programming sequence. Every stop is silent; whatever must be told was told below.
#include <windows.h>

#include "app/app.h"
#include "hw/hw.h"
#include "hw/primitives.h"
#include "probe/probe.h"
#include "timing/timing.h"

void RunRefreshSetup() {
    // The driver check comes before any port access: only the served adapter family is touched.
    int served = CheckDisplayDriver();
    RecordStep(kStepDriverLine, served);
    if (!served) {
        return;
    }
    int skip = IsSkipBitSet();
    RecordStep(kStepSkipBit, skip);
    if (skip) {
        return;
    }
    ReadRefreshRate(&displayState);
    displayState.width        = GetSystemMetrics(SM_CXSCREEN);
    displayState.height       = GetSystemMetrics(SM_CYSCREEN);
    displayState.listRow      = ClassifyResolution(displayState.width, displayState.height);
    displayState.rateIndex    = FindRateIndex(displayState.listRow, displayState.rateText);
    displayState.bitsPerPixel = QueryColorDepth();
    RecordStep(kStepDisplaySettings, displayState.bitsPerPixel);
    if (displayState.bitsPerPixel < kMinimumBitsPerPixel) {
        return;
    }
    // No row for the width, no column for the depth, or a record of zeros at the rate: nothing
    // the adapter could be given.
    int selected = SelectTiming(&displayState, &timingSelection);
    RecordStep(kStepSelection, selected);
    if (!selected) {
        return;
    }
    ProgramTiming(&timingSelection);
}
