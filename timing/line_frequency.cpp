#include "timing/line_frequency.h"

#include "hw/vga.h"

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
int TotalLines(const TimingRecord record) {
    if (!IsTimingRecord(record)) {
        return 0;
    }
    const BYTE overflow = record[kRecordCrtc00 + VGA_CRTC_OVERFLOW];
    const BYTE high     = record[kRecordCrtc30];
    const int low       = record[kRecordCrtc00 + VGA_CRTC_V_TOTAL];
    const int tenBits =
        low | (overflow & VGA_CR07_V_TOTAL8 ? 0x100 : 0) | (overflow & VGA_CR07_V_TOTAL9 ? 0x200 : 0);
    const int total = (high & EXT_CRTC_30_V_TOTAL) << 8 | low;
    if (high != (high & EXT_CRTC_30_V_TOTAL) || (total & 0x3FF) != tenBits) {
        return 0;
    }
    return total + 2;
}

int RateOfEntry(const char entry[kRateEntrySize]) {
    int rate = 0;
    for (int k = 0; k < kRateEntrySize && entry[k] >= '0' && entry[k] <= '9'; ++k) {
        rate = rate * 10 + (entry[k] - '0');
    }
    return rate;
}

DWORD LineFrequency(TableRow row, RateIndex rate) {
    return static_cast<DWORD>(RateOfEntry(RateTable[row][rate])) * TotalLines(TimingTable[row][rate]);
}
