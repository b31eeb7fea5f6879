// Register tables of the adapter family and the choice of one timing set from the current
// resolution, refresh rate and colour depth.
#pragma once

#include <windows.h>

// Table indexes. ModeIndex: the eight supported resolutions, the rate list a screen's size picks.
// TableRow: the same numbering, as the row of the register tables a screen's width picks, which
// is not always its ModeIndex. RateIndex: a position in one resolution's rate list. RateSlot: a
// refresh-rate column shared by all resolutions. DepthClass: up to 8, up to 16, up to 24 bits per
// pixel.
typedef unsigned int ModeIndex;
typedef unsigned int TableRow;
typedef unsigned int RateIndex;
typedef unsigned int RateSlot;
typedef unsigned int DepthClass;

enum {
    kModeCount        = 8,
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
    ModeIndex modeIndex;
    RateIndex rateIndex;
};

struct TimingSelection {
    TimingRecord record;
    BYTE offset;                // CRTC 0x13
    BYTE word[kMappedWordSize]; // the mapped register word, in table order
};

extern const char RateTable[kModeCount][kRateCount][kRateEntrySize];
extern const TimingRecord TimingTable[kModeCount][kRateCount];
extern const BYTE OffsetTable[kModeCount][kDepthCount];
extern const BYTE MappedWordTable[kSlotCount][kModeCount][kDepthCount][kMappedWordSize];

// The process's one display state and timing selection, zero at start.
extern DisplayState displayState;
extern TimingSelection timingSelection;

// The width and height of each ModeIndex.
extern const int ResolutionTable[kModeCount][2];

ModeIndex ClassifyResolution(int width, int height);
// Whether a rate entry stands for the requested rate text.
int IsRequestedRate(const char entry[kRateEntrySize], const char* rateText);
// The first entry of the mode's rate list that stands for the text; 0 when none does.
RateIndex FindRateIndex(ModeIndex modeIndex, const char* rateText);
DepthClass ClassifyDepth(int bitsPerPixel);
// The table row for a screen, chosen by the width (720 also looks at the height), and the RateSlot
// that the row maps rateIndex onto (kNoSlot when it has none). 0 when the width has no row.
int FindTableRow(int width, int height, RateIndex rateIndex, TableRow* row, RateSlot* slot);
// Whether a record of TimingTable holds a timing: the tables fill what the adapter is not set up
// for with records of zeros.
int IsTimingRecord(const TimingRecord record);
// Copies the timing set for the display state out of the tables; 0, with the selection untouched,
// when the width has no row, the depth no column, or the row no timing at the rate index.
int SelectTiming(const DisplayState* state, TimingSelection* selection);
