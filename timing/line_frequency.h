// How fast a timing of the tables sweeps its lines: what a monitor's horizontal range is measured
// against. A rate kept at one screen size drives another size's timing at another line frequency.
// Worked out from the tables when the program is built (they are constants the compiler sees), so
// that a program that only judges timings, the watcher, carries a few figures, not the tables.
#pragma once

#include <windows.h>

#include "hw/vga.h"
#include "timing/timing.h"

// The lines of one frame of a record, blanking included: the vertical total. 0 when the record
// holds no timing or does not tell its total with certainty.
//
// The vertical total register holds the frame's lines minus 2, as on every VGA: so read, the
// records give the standard totals (806 lines at 1024x768 and 60 Hz, 525 at 640x480, 1066 at
// 1280x1024, 1250 at 1600x1200); minus 1 would give none of them.
//
// Ten bits are not enough above 1023 lines: CRTC 0x06 holds bits 0-7, the overflow register bits 8
// and 9. In every record extended CRTC 0x30-0x33 hold bits 8 and up of the vertical total, display
// end, retrace start and blanking start, in that order: their bits 0 and 1 repeat the overflow
// register's bits 8 and 9 of the same values in all 24 records, and 1600x1200 shows 1200 lines
// only with bit 10 of its display end (0x4AF) in extended 0x31. So bit 10 of the total is bit 2 of
// extended 0x30. A record whose 0x30 disagrees with the overflow bits, or sets a bit above bit 2,
// which no record does, tells no total we can trust.
constexpr int TotalLines(const TimingRecord record) {
    if (!IsTimingRecord(record)) {
        return 0;
    }
    const BYTE overflow = record[kRecordCrtc00 + VGA_CRTC_OVERFLOW];
    const BYTE high     = record[kRecordCrtc30];
    const int low       = record[kRecordCrtc00 + VGA_CRTC_V_TOTAL];
    const int tenBits   = low | ((overflow & VGA_CR07_V_TOTAL8) != 0 ? 0x100 : 0) |
                        ((overflow & VGA_CR07_V_TOTAL9) != 0 ? 0x200 : 0);
    const int total = (high & EXT_CRTC_30_V_TOTAL) << 8 | low;
    if (high != (high & EXT_CRTC_30_V_TOTAL) || (total & 0x3FF) != tenBits) {
        return 0;
    }
    return total + 2;
}

// The rate a RateTable entry stands for, in Hz: its leading digits. 0 for an entry without any
// ("", and the "0  " of the 720-pixel rows).
constexpr int RateOfEntry(const char entry[kRateEntrySize]) {
    int rate = 0;
    for (int k = 0; k < kRateEntrySize && entry[k] >= '0' && entry[k] <= '9'; ++k) {
        rate = rate * 10 + (entry[k] - '0');
    }
    return rate;
}

// Each record's total lines, worked out once, when the program is built: 96 bytes of figures.
struct TotalLineTable {
    WORD lines[kRowCount][kRateCount];
};
constexpr TotalLineTable WorkOutTotalLines() {
    TotalLineTable t = {};
    for (int row = 0; row < kRowCount; ++row) {
        for (int rate = 0; rate < kRateCount; ++rate) {
            t.lines[row][rate] = static_cast<WORD>(TotalLines(TimingTable[row][rate]));
        }
    }
    return t;
}
inline constexpr TotalLineTable kTotalLines = WorkOutTotalLines();

// The one rule of a timing's line frequency, in Hz: the rate its row's entry names times its total
// lines. 0 when either is unknown.
inline DWORD LineFrequency(TableRow row, RateIndex rate) {
    return static_cast<DWORD>(RateOfEntry(RateTable[row][rate])) * kTotalLines.lines[row][rate];
}
