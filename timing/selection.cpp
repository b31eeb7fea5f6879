// From the current display state to the one set of register values the adapter is given.
#include "timing/timing.h"

#include <string.h>

// Resolutions in TableRow order; the first pair equal in both members wins.
const int ResolutionTable[kRowCount][2] = {
    {640, 480}, {720, 480}, {720, 576}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200},
};

// The table row is picked by the width alone, except that 720 also looks at the height: the first
// entry whose width and height fit wins, and its place is the row. Each row maps its own rate list
// onto the RateSlot columns of the mapped word table.
enum { kAnyHeight = 0 };

struct WidthRow {
    WORD width;
    WORD height; // kAnyHeight: every height
};

// clang-format off
static constexpr WidthRow kWidthRows[kRowCount] = {
    // width  height
    {   640,  kAnyHeight}, // 640x480
    {   720,  480       }, // 720x480
    {   720,  kAnyHeight}, // 720x576
    {   800,  kAnyHeight}, // 800x600
    {  1024,  kAnyHeight}, // 1024x768
    {  1152,  kAnyHeight}, // 1152x864
    {  1280,  kAnyHeight}, // 1280x1024
    {  1600,  kAnyHeight}, // 1600x1200
};

static constexpr BYTE kRateSlots[kRowCount][kRateCount] = {
    // RateIndex 0, 1, ... 5
    {0, 1, 2,       4,       5,       kNoSlot}, // 640x480
    {0, 1, 2,       4,       5,       kNoSlot}, // 720x480
    {0, 1, 2,       4,       5,       kNoSlot}, // 720x576
    {0, 1, 2,       4,       5,       kNoSlot}, // 800x600
    {0, 1, 2,       3,       4,       kNoSlot}, // 1024x768
    {0, 1, 2,       3,       kNoSlot, kNoSlot}, // 1152x864
    {0, 1, 2,       3,       kNoSlot, kNoSlot}, // 1280x1024
    {0, 1, kNoSlot, kNoSlot, kNoSlot, kNoSlot}, // 1600x1200
};
// clang-format on

// The tables as the programs carry them, worked out from the tables when the program is built. In
// each row the records that hold a timing come first and the rest are zeros: a row keeps how many
// hold one, and each of them as the bytes where it differs from the one before (the first from a
// record of zeros), after three bytes whose bits say which. Beside them the first two bytes of the
// mapped word each one's slot gives at each depth (every word ends in two zero bytes), and the
// offsets: 518 bytes, where the tables are 1,656.
enum {
    kChangeBytes   = 3, // one bit for each byte of a record
    kWordBytesKept = 2,
};
static_assert(kTimingRecordSize <= 8 * kChangeBytes, "a bit for each byte of a record");

// How many records of a row hold a timing, where they come first.
constexpr int TimingsInRow(TableRow m) {
    int n = 0;
    while (n < kRateCount && IsTimingRecord(TimingTable[m][n])) {
        ++n;
    }
    return n;
}

// Byte k of the record that record r of row m is kept against: the one before it, zeros for the
// first.
constexpr BYTE Before(TableRow m, int r, int k) {
    return r == 0 ? 0 : TimingTable[m][r - 1][k];
}

// The bytes a row's records take as kept.
constexpr int PackedRowBytes(TableRow m) {
    int bytes = 0;
    for (int r = 0; r < TimingsInRow(m); ++r) {
        bytes += kChangeBytes;
        for (int k = 0; k < kTimingRecordSize; ++k) {
            bytes += TimingTable[m][r][k] != Before(m, r, k);
        }
    }
    return bytes;
}

constexpr int CountPacked(int (*count)(TableRow)) {
    int n = 0;
    for (TableRow m = 0; m < kRowCount; ++m) {
        n += count(m);
    }
    return n;
}
constexpr int kTimingRecordCount = CountPacked(TimingsInRow);
constexpr int kPackedRecordBytes = CountPacked(PackedRowBytes);

struct PackedTables {
    BYTE timings[kRowCount]; // the records that hold a timing, from the row's first rate on
    BYTE first[kRowCount];   // the place of the row's first in word
    WORD start[kRowCount];   // where the row's records begin in records
    BYTE records[kPackedRecordBytes];
    BYTE word[kTimingRecordCount][kDepthCount][kWordBytesKept];
    BYTE offset[kRowCount][kDepthCount]; // OffsetTable's
};

// Whether the packing gives what the tables give: in each row the records that hold a timing come
// first, every one of them has a slot (so a selection always takes its word and offset), and every
// word it takes ends in two zero bytes.
constexpr int PacksFaithfully() {
    for (TableRow m = 0; m < kRowCount; ++m) {
        for (RateIndex r = 0; r < kRateCount; ++r) {
            if (!IsTimingRecord(TimingTable[m][r])) {
                continue;
            }
            RateSlot s = kRateSlots[m][r];
            if (static_cast<int>(r) >= TimingsInRow(m) || s == kNoSlot) {
                return 0;
            }
            for (const BYTE* word : MappedWordTable[s][m]) {
                if (word[2] != 0 || word[3] != 0) {
                    return 0;
                }
            }
        }
    }
    return 1;
}
static_assert(PacksFaithfully(), "a timing after a record of zeros, or without a slot, or a mapped word that "
                                 "does not end in 00 00");

constexpr PackedTables PackTables() {
    PackedTables t = {};
    int n = 0, at = 0;
    for (TableRow m = 0; m < kRowCount; ++m) {
        t.timings[m] = static_cast<BYTE>(TimingsInRow(m));
        t.first[m]   = static_cast<BYTE>(n);
        t.start[m]   = static_cast<WORD>(at);
        for (DepthClass d = 0; d < kDepthCount; ++d) {
            t.offset[m][d] = OffsetTable[m][d];
        }
        for (int r = 0; r < t.timings[m]; ++r, ++n) {
            int changes = at;
            at += kChangeBytes;
            for (int k = 0; k < kTimingRecordSize; ++k) {
                if (TimingTable[m][r][k] != Before(m, r, k)) {
                    t.records[at++] = TimingTable[m][r][k];
                    t.records[changes + k / 8] |= static_cast<BYTE>(1 << (k % 8));
                }
            }
            for (DepthClass d = 0; d < kDepthCount; ++d) {
                for (int k = 0; k < kWordBytesKept; ++k) {
                    t.word[n][d][k] = MappedWordTable[kRateSlots[m][r]][m][d][k];
                }
            }
        }
    }
    return t;
}
static constexpr PackedTables kPacked = PackTables();

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

int FindTimingRow(int width, int height, RateIndex rateIndex, TableRow* row) {
    if (rateIndex >= kRateCount) {
        return 0;
    }
    for (TableRow m = 0; m < kRowCount; ++m) {
        const WidthRow& entry = kWidthRows[m];
        if (entry.width == width && (entry.height == kAnyHeight || entry.height == height)) {
            *row = m;
            return 1;
        }
    }
    return 0;
}

int FindTimingRow(int width, int height, RateIndex rateIndex, TableRow* row, RateSlot* slot) {
    if (!FindTimingRow(width, height, rateIndex, row)) {
        return 0;
    }
    *slot = kRateSlots[*row][rateIndex];
    return 1;
}

TimingVerdict SelectTiming(const DisplayState* state, TimingSelection* selection) {
    DepthClass d = ClassifyDepth(state->bitsPerPixel);
    RateIndex r  = state->rateIndex;
    TableRow m;
    if (d == kNoDepthClass) {
        return kNoDepthColumn;
    }
    selection->depth = d;
    if (!FindTimingRow(state->width, state->height, r, &m)) {
        return kNoWidthRow;
    }
    selection->row = m;
    if (static_cast<int>(r) >= kPacked.timings[m]) {
        // Every row that holds a timing holds one at its first rate, 60 Hz.
        return kPacked.timings[m] != 0 ? kNoTimingAtRate : kNoTimingInRow;
    }

    int n = kPacked.first[m] + static_cast<int>(r);
    for (int k = 0; k < kMappedWordSize; ++k) {
        selection->word[k] = k < kWordBytesKept ? kPacked.word[n][d][k] : 0;
    }
    selection->offset = kPacked.offset[m][d];
    // The row's records up to this rate's, each from the one before: the first from zeros.
    const BYTE* q = kPacked.records + kPacked.start[m];
    for (RateIndex i = 0; i <= r; ++i) {
        DWORD changed = q[0] | q[1] << 8 | static_cast<DWORD>(q[2]) << 16;
        q += kChangeBytes;
        for (int k = 0; k < kTimingRecordSize; ++k) {
            if ((changed >> k & 1) != 0) {
                selection->record[k] = *q++;
            } else if (i == 0) {
                selection->record[k] = 0;
            }
        }
    }
    return kTimingSelected;
}
