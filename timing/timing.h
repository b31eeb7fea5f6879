// Register tables of the adapter family and the choice of one timing set from the current
// resolution, refresh rate and colour depth.
#pragma once

#include <windows.h>

// Table indexes. TableRow: a row of every table, one per supported resolution. A screen takes its
// rate list from the row of its size (DisplayState's listRow, ClassifyResolution) and its register
// values from the row its width picks (TimingSelection's row, FindTimingRow), which is not always
// the same. RateIndex: a position in one row's
// rate list. RateSlot: a refresh-rate column shared by all resolutions. DepthClass: up to 8, up to
// 16, up to 24 bits per pixel.
typedef unsigned int TableRow;
typedef unsigned int RateIndex;
typedef unsigned int RateSlot;
typedef unsigned int DepthClass;

enum {
    kRowCount         = 8,
    kRateCount        = 6,
    kSlotCount        = 6,
    kDepthCount       = 3,
    kRateEntrySize    = 4,   // "60 " and its zero in a four-byte field
    kRateTextSize     = 255, // the requested rate text with its terminating zero
    kTimingRecordSize = 22,
    kMappedWordSize   = 4,
    kNoDepthClass     = kDepthCount, // more than 24 bits per pixel: the tables have no column
    kNoSlot           = 0xFF,        // a RateIndex whose row has no column in MappedWordTable
};

// Bytes of one TimingRecord, in the order they sit in the record.
enum {
    kRecordCrtc00 = 0,  // 0-7: CRTC 0x00-0x07
    kRecordCrtc10 = 8,  // vertical retrace start
    kRecordCrtc11 = 9,  // vertical retrace end, bit 7 protects CRTC 0x00-0x07
    kRecordCrtc12 = 10, // vertical display end
    kRecordUnused = 11, // CRTC 0x13 comes from OffsetTable instead
    kRecordCrtc15 = 12, // start vertical blanking
    kRecordCrtc16 = 13, // end vertical blanking
    kRecordCrtc30 = 14, // 14-17: extended CRTC 0x30-0x33
    kRecordExtC8  = 18, // 18-21: extended registers 0xC8-0xCB behind 0x3D6/0x3D7
};

typedef BYTE TimingRecord[kTimingRecordSize];

struct DisplayState {
    int width;                    // pixels
    int height;                   // pixels
    int bitsPerPixel;             // bits per pixel times colour planes
    char rateText[kRateTextSize]; // refresh rate chosen in the display settings, as text
    TableRow listRow;             // the row of the screen's size, whose rate list the rate text is found in
    RateIndex rateIndex;
};

// The values the adapter is given, and where in the tables they come from. The first three
// members are bytes one after the other, as the programming sequence takes them (hw/sequence.h).
struct TimingSelection {
    TimingRecord record;
    BYTE offset;                // CRTC 0x13
    BYTE word[kMappedWordSize]; // the mapped register word, in table order
    TableRow row;               // the row the timing comes from: the width's
    DepthClass depth;
};

// What the selection found: a timing, or why the tables hold none for the display state; in the
// order SelectTiming looks.
enum TimingVerdict {
    kTimingSelected,
    kNoDepthColumn,  // more than 24 bits per pixel
    kNoWidthRow,     // no row for the width
    kNoTimingInRow,  // the width's row holds no timing at any rate (the 720-pixel rows)
    kNoTimingAtRate, // the row's record at the rate index is all zero
};

// RateTable, TimingTable, OffsetTable and MappedWordTable.
#include "timing/tables.h"

// The process's one display state and timing selection, zero at start.
extern DisplayState displayState;
extern TimingSelection timingSelection;

// The width and height of each TableRow.
extern const int ResolutionTable[kRowCount][2];

TableRow ClassifyResolution(int width, int height);
// Whether a rate entry stands for the requested rate text.
int IsRequestedRate(const char entry[kRateEntrySize], const char* rateText);
// The first entry of the mode's rate list that stands for the text; 0 when none does.
RateIndex FindRateIndex(TableRow listRow, const char* rateText);
DepthClass ClassifyDepth(int bitsPerPixel);
// The table row a screen's timing comes from, chosen by the width (720 also looks at the height). 0
// when the width has no row, or the rate index is outside every row's list.
int FindTimingRow(int width, int height, RateIndex rateIndex, TableRow* row);
// The same, and the RateSlot that the row maps rateIndex onto (kNoSlot when it has none).
int FindTimingRow(int width, int height, RateIndex rateIndex, TableRow* row, RateSlot* slot);
// Whether a record of TimingTable holds a timing: the tables fill what the adapter is not set up
// for with records of zeros. Written out, such a record sets a horizontal total of 0: the monitor
// loses sync.
constexpr int IsTimingRecord(const TimingRecord record) {
    BYTE any = 0;
    for (int k = 0; k < kTimingRecordSize; ++k) {
        any |= record[k];
    }
    return any != 0;
}
// Copies the timing set for the display state out of the tables. Where the tables hold none, the
// verdict says why, and the record, offset and word are left as they are; the row and depth are
// set once found.
TimingVerdict SelectTiming(const DisplayState* state, TimingSelection* selection);
