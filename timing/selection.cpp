// From the current display state to the one set of register values the adapter is given.
#include "timing/timing.h"

#include <string.h>

// Resolutions in TableRow order; the first pair equal in both members wins.
const int ResolutionTable[kRowCount][2] = {
    {640, 480}, {720, 480}, {720, 576}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200},
};

// The table row is picked by the width alone, except that 720 also looks at the height; each row
// maps its own rate list onto the RateSlot columns of the mapped word table. The first entry whose
// width and height fit wins.
enum { kAnyHeight = 0 };

struct WidthRow {
    WORD width;
    WORD height; // kAnyHeight: every height
    BYTE row;
    BYTE slot[kRateCount]; // RateIndex -> RateSlot
};

// clang-format off
static const WidthRow kWidthRows[] = {
    // width  height      row  RateIndex 0       1       2       3       4       5
    {   640,  kAnyHeight,  0,  {0,      1,      2,      4,      5,      kNoSlot}},
    {   720,  480,         1,  {0,      1,      2,      4,      5,      kNoSlot}},
    {   720,  kAnyHeight,  2,  {0,      1,      2,      4,      5,      kNoSlot}},
    {   800,  kAnyHeight,  3,  {0,      1,      2,      4,      5,      kNoSlot}},
    {  1024,  kAnyHeight,  4,  {0,      1,      2,      3,      4,      kNoSlot}},
    {  1152,  kAnyHeight,  5,  {0,      1,      2,      3,      kNoSlot, kNoSlot}},
    {  1280,  kAnyHeight,  6,  {0,      1,      2,      3,      kNoSlot, kNoSlot}},
    {  1600,  kAnyHeight,  7,  {0,      1,      kNoSlot, kNoSlot, kNoSlot, kNoSlot}},
};
// clang-format on

TableRow ClassifyResolution(int width, int height) {
    for (TableRow m = 0; m < kRowCount; ++m) {
        if (ResolutionTable[m][0] == width && ResolutionTable[m][1] == height) {
            return m;
        }
    }
    return 0;
}

// Only the first two characters count, so "60" matches "60 " and "100" matches "100" as "10".
int IsRequestedRate(const char entry[kRateEntrySize], const char* rateText) {
    return strncmp(entry, rateText, 2) == 0;
}

RateIndex FindRateIndex(TableRow listRow, const char* rateText) {
    for (RateIndex i = 0; i < kRateCount; ++i) {
        if (IsRequestedRate(RateTable[listRow][i], rateText)) {
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

int FindTimingRow(int width, int height, RateIndex rateIndex, TableRow* row, RateSlot* slot) {
    if (rateIndex >= kRateCount) {
        return 0;
    }
    for (const WidthRow& entry : kWidthRows) {
        if (entry.width == width && (entry.height == kAnyHeight || entry.height == height)) {
            *row  = entry.row;
            *slot = entry.slot[rateIndex];
            return 1;
        }
    }
    return 0;
}

TimingVerdict SelectTiming(const DisplayState* state, TimingSelection* selection) {
    DepthClass d = ClassifyDepth(state->bitsPerPixel);
    RateIndex r  = state->rateIndex;
    TableRow m;
    RateSlot s;
    if (d == kNoDepthClass) {
        return kNoDepthColumn;
    }
    selection->depth = d;
    if (!FindTimingRow(state->width, state->height, r, &m, &s)) {
        return kNoWidthRow;
    }
    selection->row = m;
    if (!IsTimingRecord(TimingTable[m][r])) {
        // Every row that holds a timing holds one at its first rate, 60 Hz.
        return IsTimingRecord(TimingTable[m][0]) ? kNoTimingAtRate : kNoTimingInRow;
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
    return kTimingSelected;
}
