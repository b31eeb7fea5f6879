// The line frequency of the tables' timings: the total lines read from the records against the
// totals the standard timings are known by, and against the lines each record shows.
#include <gtest/gtest.h>

#include <cstring>

#include "timing/line_frequency.h"
#include "timing/timing.h"

namespace {

// The lines a record shows: vertical display end (CRTC 0x12, its bits 8 and 9 in the overflow
// register's bits 1 and 6, bits 8 and up again in extended 0x31) plus one. Read here on its own,
// not with the rule under test; -1 when the overflow bits and extended 0x31 disagree.
int ShownLines(const TimingRecord& record) {
    const int overflow = record[kRecordCrtc00 + 7];
    const int tenBits  = record[kRecordCrtc12] | ((overflow >> 1) & 1) << 8 | ((overflow >> 6) & 1) << 9;
    const int end      = record[kRecordCrtc30 + 1] << 8 | record[kRecordCrtc12];
    return (end & 0x3FF) == tenBits ? end + 1 : -1;
}

TEST(LineFrequency, TheKnownFigures) {
    // 1024x768 at 60 Hz: 806 lines, 48.4 kHz.
    EXPECT_EQ(TotalLines(TimingTable[4][0]), 806);
    EXPECT_EQ(LineFrequency(4, 0), 48360u);
    // 85 Hz kept at 1024x768 is about 69 kHz; the same rate at 1280x1024 about 91 kHz.
    EXPECT_EQ(LineFrequency(4, 2), 68680u);
    EXPECT_EQ(LineFrequency(6, 2), 90610u);
}

// Where a record is made for a standard timing, its total is the standard's (the VESA figures).
TEST(LineFrequency, TotalsOfTheStandardTimings) {
    struct Case {
        TableRow row;
        RateIndex rate;
        int total;
    } cases[] = {
        {0, 0, 525}, {0, 1, 500}, {0, 2, 509}, {3, 0, 628}, {3, 1, 625},  {3, 2, 631},
        {4, 0, 806}, {4, 1, 800}, {4, 2, 808}, {5, 1, 900}, {6, 0, 1066}, {7, 0, 1250},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TotalLines(TimingTable[c.row][c.rate]), c.total) << "row " << c.row << " rate " << c.rate;
    }
}

// Entry by entry over the tables: a timing's total is more than the lines it shows, and those are
// its row's height; an entry without a timing, or without a rate, has no line frequency.
TEST(LineFrequency, EveryTotalHoldsTheLinesShown) {
    for (TableRow m = 0; m < kRowCount; ++m) {
        for (RateIndex r = 0; r < kRateCount; ++r) {
            SCOPED_TRACE(testing::Message() << "row " << m << " rate " << r);
            const TimingRecord& record = TimingTable[m][r];
            if (!IsTimingRecord(record)) {
                EXPECT_EQ(TotalLines(record), 0);
                EXPECT_EQ(LineFrequency(m, r), 0u);
                continue;
            }
            EXPECT_EQ(ShownLines(record), ResolutionTable[m][1]);
            EXPECT_GT(TotalLines(record), ShownLines(record));
            EXPECT_EQ(LineFrequency(m, r),
                      static_cast<DWORD>(RateOfEntry(RateTable[m][r]) * TotalLines(record)));
            EXPECT_GT(RateOfEntry(RateTable[m][r]), 0);
        }
    }
}

// A record whose extended 0x30 does not agree with the overflow register, or sets a bit no record
// sets, tells no total.
TEST(LineFrequency, UntrustedHighBitsTellNoTotal) {
    struct Case {
        const char* name;
        int byte;
        BYTE value;
    } cases[] = {
        {"0x30 bit 3 set", kRecordCrtc30, 0x0B},
        {"0x30 bit 7 set", kRecordCrtc30, 0x83},
        {"0x30 without bit 9", kRecordCrtc30, 0x01},
        {"overflow without bit 8", kRecordCrtc00 + 7, 0xF4},
        {"overflow without bit 9", kRecordCrtc00 + 7, 0xD5},
    };
    for (const Case& c : cases) {
        TimingRecord record;
        std::memcpy(record, TimingTable[4][0], sizeof record); // 0x30 = 0x03, overflow 0xF5
        record[c.byte] = c.value;
        EXPECT_EQ(TotalLines(record), 0) << c.name;
    }
}

TEST(LineFrequency, RateOfEntry) {
    struct Case {
        char entry[kRateEntrySize];
        int rate;
    } cases[] = {
        {"60 ", 60}, {"72 ", 72}, {"100", 100}, {"160", 160}, {"", 0}, {"0  ", 0}, {" 60", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RateOfEntry(c.entry), c.rate) << "\"" << c.entry << "\"";
    }
}

} // namespace
