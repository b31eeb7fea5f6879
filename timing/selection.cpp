// From the current display state to the one set of register values the adapter is given.
#include "timing/timing.h"

#include <string.h>

// Resolutions in ModeIndex order; the first pair equal in both members wins.
static const int kResolutions[kModeCount][2] = {
    {640, 480}, {720, 480}, {720, 576}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200},
};

// The table row is picked by the width alone (720 also looks at the height), and each row maps its
// own rate list onto the RateSlot columns of the mapped word table.
struct WidthRow {
    int width;
    ModeIndex row;
    BYTE slot[kRateCount]; // RateIndex -> RateSlot
};

// clang-format off
static const WidthRow kWidthRows[] = {
    // width  row  RateIndex 0       1       2       3       4       5
    {   640,   0,  {0,      1,      2,      4,      5,      kNoSlot}},
    {   720,   1,  {0,      1,      2,      4,      5,      kNoSlot}}, // row 2 unless 720x480
    {   800,   3,  {0,      1,      2,      4,      5,      kNoSlot}},
    {  1024,   4,  {0,      1,      2,      3,      4,      kNoSlot}},
    {  1152,   5,  {0,      1,      2,      3,      kNoSlot, kNoSlot}},
    {  1280,   6,  {0,      1,      2,      3,      kNoSlot, kNoSlot}},
    {  1600,   7,  {0,      1,      kNoSlot, kNoSlot, kNoSlot, kNoSlot}},
};
// clang-format on

ModeIndex ClassifyResolution(int width, int height) {
    for (ModeIndex m = 0; m < kModeCount; ++m) {
        if (kResolutions[m][0] == width && kResolutions[m][1] == height) {
            return m;
        }
    }
    return 0;
}

// Only the first two characters count, so "60" matches "60 " and "100" matches "100" as "10".
RateIndex FindRateIndex(ModeIndex modeIndex, const char* rateText) {
    for (RateIndex i = 0; i < kRateCount; ++i) {
        if (strncmp(RateTable[modeIndex][i], rateText, 2) == 0) {
            return i;
        }
    }
    return 0;
}

DepthClass ClassifyDepth(int bitsPerPixel) {
    if (bitsPerPixel <= 8) {
        return 0;
    }
    if (bitsPerPixel <= 16) {
        return 1;
    }
    if (bitsPerPixel <= 24) {
        return 2;
    }
    return kNoDepthClass;
}

int FindTableRow(int width, int height, RateIndex rateIndex, ModeIndex* row, RateSlot* slot) {
    if (rateIndex >= kRateCount) {
        return 0;
    }
    for (const WidthRow& entry : kWidthRows) {
        if (entry.width == width) {
            *row  = (width == 720 && height != 480) ? 2 : entry.row;
            *slot = entry.slot[rateIndex];
            return 1;
        }
    }
    return 0;
}

// Returns 0, with the selection untouched, when the tables have no row for the width or no
// column for the depth.
int SelectTiming(const DisplayState* state, TimingSelection* selection) {
    DepthClass d = ClassifyDepth(state->bitsPerPixel);
    RateIndex r  = state->rateIndex;
    ModeIndex m;
    RateSlot s;
    if (d == kNoDepthClass || !FindTableRow(state->width, state->height, r, &m, &s)) {
        return 0;
    }

    // A rate without a slot keeps whatever word and offset the selection already holds.
    if (s != kNoSlot) {
        for (int k = 0; k < kMappedWordSize; ++k) {
            selection->word[k] = MappedWordTable[s][m][d][k];
        }
        selection->offset = OffsetTable[m][d];
    }
    for (int k = 0; k < kTimingRecordSize; ++k) {
        selection->record[k] = TimingTable[m][r][k];
    }
    return 1;
}
