// Selection of one timing set from a display state; the tables pinned by a digest of every byte,
// by what their values mean to a VGA, and by spot checks where a slip of the pen is most likely.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "timing/timing.h"
#include "tests/support/process.h"

namespace {

using Bytes = std::vector<int>;

Bytes RecordOf(const TimingRecord& record) {
    return Bytes(record, record + kTimingRecordSize);
}
Bytes WordOf(const BYTE* word) {
    return Bytes(word, word + kMappedWordSize);
}

DisplayState State(int width, int height, int bpp, const char* rate) {
    return support::MakeDisplayState(width, height, bpp, rate);
}

DisplayState State(int width, int height, int bpp, const char* rate, RateIndex rateIndex) {
    DisplayState state = State(width, height, bpp, rate);
    state.rateIndex    = rateIndex;
    return state;
}

TEST(Tables, SpotChecksWhereTranscriptionSlips) {
    EXPECT_EQ(RecordOf(TimingTable[0][0]),
              (Bytes{0x5F, 0x4F, 0x50, 0x80, 0x54, 0x80, 0x0B, 0x3E, 0xE9, 0x8C, 0xDF,
                     0x50, 0xE7, 0x03, 0x02, 0x01, 0x01, 0x01, 0x2D, 0x1D, 0x00, 0x41}));
    EXPECT_EQ(RecordOf(TimingTable[7][1]),
              (Bytes{0x09, 0xC7, 0xC7, 0x8D, 0xD2, 0x0A, 0xE0, 0x10, 0xB0, 0x83, 0xAF,
                     0xC8, 0xAF, 0xE1, 0x04, 0x04, 0x04, 0x04, 0x1E, 0x13, 0x00, 0x11}));
    EXPECT_EQ(std::memcmp(RateTable[6][1], "72 ", 4), 0);
    EXPECT_EQ(std::memcmp(RateTable[1][5], "0  ", 4), 0);
    EXPECT_EQ(std::memcmp(RateTable[0][5], "\0\0\0\0", 4), 0);
    EXPECT_EQ(OffsetTable[4][1], 0x00);
    EXPECT_EQ(OffsetTable[7][2], 0x00);
    EXPECT_EQ(OffsetTable[3][2], 0x2C);
    EXPECT_EQ(WordOf(MappedWordTable[2][6][0]), (Bytes{0x11, 0xE0, 0x00, 0x00}));
    EXPECT_EQ(WordOf(MappedWordTable[1][6][0]), (Bytes{0x11, 0x0E, 0x00, 0x00}));
    EXPECT_EQ(WordOf(MappedWordTable[5][4][0]), (Bytes{0x0F, 0x0C, 0x00, 0x00}));
}

uint64_t Fnv1a(const void* data, size_t size) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (size_t i = 0; i < size; ++i) {
        hash ^= static_cast<const uint8_t*>(data)[i];
        hash *= 0x100000001B3u;
    }
    return hash;
}

// Every byte of the four tables. A change to them is a deliberate one: whoever makes it checks the
// new values against the adapter's and writes the new digest here.
TEST(Tables, DigestOfEveryByte) {
    EXPECT_EQ(Fnv1a(RateTable, sizeof RateTable), 0xB83624E43EC4B794u);
    EXPECT_EQ(Fnv1a(TimingTable, sizeof TimingTable), 0xA3985D9851A3ED9Bu);
    EXPECT_EQ(Fnv1a(OffsetTable, sizeof OffsetTable), 0x58006EABD6CD2F15u);
    EXPECT_EQ(Fnv1a(MappedWordTable, sizeof MappedWordTable), 0x68FC1297B4377C76u);
}

// Wherever plain VGA gives a register its meaning, every record that is not all zero agrees with
// its row's resolution: horizontal display end (CRTC 0x01) is width / 8 - 1; the ten bits of
// vertical display end (CRTC 0x12, and bits 1 and 6 of the overflow register CRTC 0x07 as its
// bits 8 and 9) are those of height - 1; horizontal blanking starts at or after the display end
// and retrace after the blanking start; bit 7 of CRTC 0x03 is set, as VGA requires; and bit 7 of
// CRTC 0x11 locks CRTC 0x00-0x07 again.
TEST(Tables, RecordsAgreeWithTheirResolution) {
    const int sizes[kRowCount][2] = {{640, 480},  {720, 480},  {720, 576},   {800, 600},
                                     {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200}};
    int checked                   = 0;
    for (TableRow m = 0; m < kRowCount; ++m) {
        for (RateIndex r = 0; r < kRateCount; ++r) {
            const TimingRecord& record = TimingTable[m][r];
            if (RecordOf(record) == Bytes(kTimingRecordSize, 0)) {
                continue;
            }
            ++checked;
            const int width = sizes[m][0], height = sizes[m][1];
            const BYTE overflow = record[kRecordCrtc00 + 7];
            const int displayEnd =
                record[kRecordCrtc12] | ((overflow >> 1) & 1) << 8 | ((overflow >> 6) & 1) << 9;
            const BYTE hDisplayEnd = record[kRecordCrtc00 + 1], hBlankStart = record[kRecordCrtc00 + 2];
            const BYTE hRetraceStart = record[kRecordCrtc00 + 4], crtc03 = record[kRecordCrtc00 + 3];
            SCOPED_TRACE(testing::Message() << width << "x" << height << " rate index " << r);
            EXPECT_EQ(hDisplayEnd, width / 8 - 1);
            EXPECT_EQ(record[kRecordCrtc12], (height - 1) & 0xFF);
            EXPECT_EQ(displayEnd, (height - 1) & 0x3FF);
            EXPECT_GE(hBlankStart, hDisplayEnd);
            EXPECT_GT(hRetraceStart, hBlankStart);
            EXPECT_NE(crtc03 & 0x80, 0);
            EXPECT_NE(record[kRecordCrtc11] & 0x80, 0);
        }
    }
    EXPECT_EQ(checked, 24); // every record whose rate is not empty, outside the 720-pixel rows
}

TEST(Tables, EmptyRatesAndTheSevenTwentyRowsHoldZeroRecords) {
    const Bytes zero(kTimingRecordSize, 0);
    for (TableRow m = 0; m < kRowCount; ++m) {
        for (RateIndex r = 0; r < kRateCount; ++r) {
            bool noRate = RateTable[m][r][0] == 0 || m == 1 || m == 2;
            EXPECT_EQ(RecordOf(TimingTable[m][r]) == zero, noRate) << "mode " << m << " rate " << r;
            EXPECT_EQ(IsTimingRecord(TimingTable[m][r]), noRate ? 0 : 1) << "mode " << m << " rate " << r;
        }
    }
    for (RateSlot s = 0; s < kSlotCount; ++s) {
        for (TableRow m : {1u, 2u}) {
            for (DepthClass d = 0; d < kDepthCount; ++d) {
                EXPECT_EQ(WordOf(MappedWordTable[s][m][d]), Bytes(4, 0));
            }
        }
    }
}

TEST(ClassifyResolution, KnownPairsAndEverythingElseIsRowZero) {
    const int pairs[][3] = {{640, 480, 0},  {720, 480, 1},   {720, 576, 2},   {800, 600, 3},  {1024, 768, 4},
                            {1152, 864, 5}, {1280, 1024, 6}, {1600, 1200, 7}, {1280, 960, 0}, {800, 480, 0},
                            {480, 640, 0},  {0, 0, 0},       {-640, -480, 0}, {1024, 769, 0}};
    for (const auto& p : pairs) {
        EXPECT_EQ(ClassifyResolution(p[0], p[1]), static_cast<TableRow>(p[2])) << p[0] << "x" << p[1];
    }
}

TEST(FindRateIndex, ComparesAtMostTwoCharacters) {
    struct Case {
        TableRow mode;
        const char* text;
        RateIndex expected;
    } cases[] = {
        {4, "60", 0},  {4, "60 ", 0}, {4, "75", 1}, {4, "85", 2},  {4, "100", 3},  {4, "10", 3},
        {4, "109", 3}, {4, "120", 4}, {4, "70", 0}, {4, "6", 0},   {4, "", 5},     {5, "", 3},
        {7, "", 2},    {0, "160", 4}, {0, "16", 4}, {6, "72", 1},  {6, "75", 0},   {1, "85", 0},
        {1, "0", 0},   {1, "", 0},    {0, "0", 0},  {3, "120", 3}, {0, "\xff", 0}, {4, "8", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindRateIndex(c.mode, c.text), c.expected) << "mode " << c.mode << " \"" << c.text << "\"";
    }
}

TEST(ClassifyDepth, ClassBoundaries) {
    const int cases[][2] = {{-1, 0},
                            {0, 0},
                            {1, 0},
                            {4, 0},
                            {8, 0},
                            {9, 1},
                            {15, 1},
                            {16, 1},
                            {17, 2},
                            {24, 2},
                            {25, kNoDepthClass},
                            {32, kNoDepthClass}};
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyDepth(c[0]), static_cast<DepthClass>(c[1])) << c[0] << " bpp";
    }
}

struct SelectCase {
    const char* name;
    int width, height, bpp;
    const char* rate;
    RateIndex rateIndex;
    TableRow recordRow; // the row the record comes from
    int offset;
    Bytes word;
};

void PrintTo(const SelectCase& c, std::ostream* os) {
    *os << c.name;
}

class SelectTimingCases : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SelectTimingCases, PicksRecordOffsetAndWord) {
    const SelectCase& c = GetParam();
    DisplayState state  = State(c.width, c.height, c.bpp, c.rate);
    TimingSelection chosen{};
    ASSERT_EQ(state.rateIndex, c.rateIndex);
    ASSERT_EQ(SelectTiming(&state, &chosen), kTimingSelected);
    EXPECT_EQ(chosen.row, c.recordRow);
    EXPECT_EQ(RecordOf(chosen.record), RecordOf(TimingTable[c.recordRow][c.rateIndex]));
    EXPECT_EQ(chosen.offset, c.offset);
    EXPECT_EQ(WordOf(chosen.word), c.word);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Screens, SelectTimingCases, ::testing::Values(
    //          name                   w     h     bpp  rate   r  row offset  word
    SelectCase{"typical_1024_16_85",  1024, 768,  16,  "85",  2, 4, 0x00, {0x1C, 0x14, 0x00, 0x00}},
    SelectCase{"1024_16_75",          1024, 768,  16,  "75",  1, 4, 0x00, {0x15, 0x10, 0x00, 0x00}},
    SelectCase{"1024_8_60",           1024, 768,  8,   "60",  0, 4, 0x80, {0x0A, 0x0C, 0x00, 0x00}},
    SelectCase{"640_8_120_slot4",     640,  480,  8,   "120", 3, 0, 0x50, {0x0C, 0x0F, 0x00, 0x00}},
    SelectCase{"640_24_160_slot5",    640,  480,  24,  "160", 4, 0, 0xF0, {0x13, 0x11, 0x00, 0x00}},
    SelectCase{"800_16_120_slot4",    800,  600,  16,  "120", 3, 3, 0xD0, {0x0C, 0x0F, 0x00, 0x00}},
    SelectCase{"1280_24_72",          1280, 1024, 24,  "72",  1, 6, 0xE0, {0x2F, 0x1D, 0x00, 0x00}},
    SelectCase{"1280_8_85_E0_word",   1280, 1024, 8,   "85",  2, 6, 0xA0, {0x11, 0xE0, 0x00, 0x00}},
    SelectCase{"1024_70_no_match",    1024, 768,  16,  "70",  0, 4, 0x00, {0x16, 0x10, 0x00, 0x00}},
    SelectCase{"1024_24_120_zeroword",1024, 768,  24,  "120", 4, 4, 0x80, {0x00, 0x00, 0x00, 0x00}},
    SelectCase{"1280_24_85_zeroword", 1280, 1024, 24,  "85",  2, 6, 0xE0, {0x00, 0x00, 0x00, 0x00}},
    SelectCase{"1280_24_100_zeroword",1280, 1024, 24,  "100", 3, 6, 0xE0, {0x00, 0x00, 0x00, 0x00}},
    SelectCase{"1600_24_zeroword",    1600, 1200, 24,  "60",  0, 7, 0x00, {0x00, 0x00, 0x00, 0x00}},
    SelectCase{"1600_16_75_zeroword", 1600, 1200, 16,  "75",  1, 7, 0x90, {0x00, 0x00, 0x00, 0x00}},
    // Unknown resolution with a known width: rate from row 0's list, registers from the width's row.
    SelectCase{"800x480_row3",        800,  480,  8,   "120", 3, 3, 0x64, {0x0C, 0x0F, 0x00, 0x00}},
    SelectCase{"1280x960_row6",       1280, 960,  16,  "120", 3, 6, 0x40, {0x2D, 0x1D, 0x00, 0x00}},
    SelectCase{"depth15_class1",      800,  600,  15,  "75",  1, 3, 0xD0, {0x0D, 0x0B, 0x00, 0x00}},
    SelectCase{"depth17_class2",      800,  600,  17,  "75",  1, 3, 0x2C, {0x15, 0x10, 0x00, 0x00}},
    SelectCase{"depth0_class0",       800,  600,  0,   "75",  1, 3, 0x64, {0x0C, 0x0F, 0x00, 0x00}}
), [](const ::testing::TestParamInfo<SelectCase>& info) { return std::string(info.param.name); });
// clang-format on

// Each row's RateIndex -> RateSlot map, entry by entry, with the mapped word the slot selects at one
// depth (where the row's words differ most). Where the row holds no timing at the rate index, and
// in the 720-pixel rows, which hold none at any, nothing is selected and the word stays as it was,
// here A5 A5 A5 A5.
TEST(SelectTiming, EveryRowMapsEachRateIndexOntoItsSlot) {
    struct Case {
        int width, height;
        RateIndex rateIndex;
        TableRow row;
        RateSlot slot;
        TimingVerdict verdict;
        int bpp;
        Bytes word;
    };
    // clang-format off
    const Case cases[] = {
        // width height r row slot   verdict          bpp  word
        {640,  480,  0, 0, 0,       kTimingSelected,   24, {0x0F, 0x0C, 0x00, 0x00}},
        {640,  480,  1, 0, 1,       kTimingSelected,   24, {0x0F, 0x0C, 0x00, 0x00}},
        {640,  480,  2, 0, 2,       kTimingSelected,   24, {0x10, 0x0D, 0x00, 0x00}},
        {640,  480,  3, 0, 4,       kTimingSelected,   24, {0x0C, 0x0F, 0x00, 0x00}},
        {640,  480,  4, 0, 5,       kTimingSelected,   24, {0x13, 0x11, 0x00, 0x00}},
        {640,  480,  5, 0, kNoSlot, kNoTimingAtRate,   24, {0xA5, 0xA5, 0xA5, 0xA5}},
        {720,  480,  0, 1, 0,       kNoTimingInRow ,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {720,  480,  1, 1, 1,       kNoTimingInRow ,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {720,  480,  2, 1, 2,       kNoTimingInRow ,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {720,  480,  3, 1, 4,       kNoTimingInRow ,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {720,  480,  4, 1, 5,       kNoTimingInRow ,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {720,  480,  5, 1, kNoSlot, kNoTimingInRow ,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {800,  600,  0, 3, 0,       kTimingSelected,   16, {0x0C, 0x0F, 0x00, 0x00}},
        {800,  600,  1, 3, 1,       kTimingSelected,   16, {0x0D, 0x0B, 0x00, 0x00}},
        {800,  600,  2, 3, 2,       kTimingSelected,   16, {0x0F, 0x0C, 0x00, 0x00}},
        {800,  600,  3, 3, 4,       kTimingSelected,   16, {0x0C, 0x0F, 0x00, 0x00}},
        {800,  600,  4, 3, 5,       kTimingSelected,   16, {0x12, 0x12, 0x00, 0x00}},
        {800,  600,  5, 3, kNoSlot, kNoTimingAtRate,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1024, 768,  0, 4, 0,       kTimingSelected,   16, {0x16, 0x10, 0x00, 0x00}},
        {1024, 768,  1, 4, 1,       kTimingSelected,   16, {0x15, 0x10, 0x00, 0x00}},
        {1024, 768,  2, 4, 2,       kTimingSelected,   16, {0x1C, 0x14, 0x00, 0x00}},
        {1024, 768,  3, 4, 3,       kTimingSelected,   16, {0x1A, 0x13, 0x00, 0x00}},
        {1024, 768,  4, 4, 4,       kTimingSelected,   16, {0x1C, 0x18, 0x00, 0x00}},
        {1024, 768,  5, 4, kNoSlot, kNoTimingAtRate,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1152, 864,  0, 5, 0,       kTimingSelected,   24, {0x24, 0x16, 0x00, 0x00}},
        {1152, 864,  1, 5, 1,       kTimingSelected,   24, {0x2A, 0x1A, 0x00, 0x00}},
        {1152, 864,  2, 5, 2,       kTimingSelected,   24, {0x2A, 0x1E, 0x00, 0x00}},
        {1152, 864,  3, 5, 3,       kNoTimingAtRate,   24, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1152, 864,  4, 5, kNoSlot, kNoTimingAtRate,   24, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1152, 864,  5, 5, kNoSlot, kNoTimingAtRate,   24, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1280, 1024, 0, 6, 0,       kTimingSelected,   16, {0x1A, 0x16, 0x00, 0x00}},
        {1280, 1024, 1, 6, 1,       kTimingSelected,   16, {0x22, 0x1A, 0x00, 0x00}},
        {1280, 1024, 2, 6, 2,       kTimingSelected,   16, {0x27, 0x1C, 0x00, 0x00}},
        {1280, 1024, 3, 6, 3,       kTimingSelected,   16, {0x2D, 0x1D, 0x00, 0x00}},
        {1280, 1024, 4, 6, kNoSlot, kNoTimingAtRate,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1280, 1024, 5, 6, kNoSlot, kNoTimingAtRate,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1600, 1200, 0, 7, 0,       kTimingSelected,   16, {0x29, 0x1D, 0x00, 0x00}},
        {1600, 1200, 1, 7, 1,       kTimingSelected,   16, {0x00, 0x00, 0x00, 0x00}},
        {1600, 1200, 2, 7, kNoSlot, kNoTimingAtRate,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1600, 1200, 3, 7, kNoSlot, kNoTimingAtRate,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1600, 1200, 4, 7, kNoSlot, kNoTimingAtRate,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
        {1600, 1200, 5, 7, kNoSlot, kNoTimingAtRate,   16, {0xA5, 0xA5, 0xA5, 0xA5}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width << " rate index " << c.rateIndex);
        TableRow row;
        RateSlot slot;
        ASSERT_EQ(FindTimingRow(c.width, c.height, c.rateIndex, &row, &slot), 1);
        EXPECT_EQ(row, c.row);
        EXPECT_EQ(slot, c.slot);

        DisplayState state = State(c.width, c.height, c.bpp, "");
        state.rateIndex    = c.rateIndex;
        TimingSelection chosen;
        std::memset(&chosen, 0xA5, sizeof chosen);
        ASSERT_EQ(SelectTiming(&state, &chosen), c.verdict);
        EXPECT_EQ(chosen.row, c.row);
        EXPECT_EQ(WordOf(chosen.word), c.word);
    }
}

// The programs carry the tables packed: at every screen of the tables, rate index and depth, the
// selection gives the record, the offset and the mapped word of its slot as the tables hold them,
// and selects nothing where the record is zeros.
TEST(SelectTiming, EverySelectionIsWhatTheTablesHold) {
    int selected = 0;
    for (const auto& size : ResolutionTable) {
        for (RateIndex r = 0; r < kRateCount; ++r) {
            for (int bpp : {8, 16, 24}) {
                SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " " << bpp << " index " << r);
                TableRow row;
                RateSlot slot;
                ASSERT_EQ(FindTimingRow(size[0], size[1], r, &row, &slot), 1);
                DisplayState state = State(size[0], size[1], bpp, "", r);
                TimingSelection chosen;
                std::memset(&chosen, 0xA5, sizeof chosen);
                TimingVerdict verdict = SelectTiming(&state, &chosen);
                if (!IsTimingRecord(TimingTable[row][r])) {
                    EXPECT_NE(verdict, kTimingSelected);
                    continue;
                }
                ++selected;
                ASSERT_EQ(verdict, kTimingSelected);
                ASSERT_NE(slot, static_cast<RateSlot>(kNoSlot));
                EXPECT_EQ(RecordOf(chosen.record), RecordOf(TimingTable[row][r]));
                EXPECT_EQ(chosen.offset, OffsetTable[row][ClassifyDepth(bpp)]);
                EXPECT_EQ(WordOf(chosen.word), WordOf(MappedWordTable[slot][row][ClassifyDepth(bpp)]));
            }
        }
    }
    EXPECT_EQ(selected, 24 * 3);
}

// The row comes from the width, never from listRow.
TEST(SelectTiming, IgnoresModeIndex) {
    DisplayState state = State(1024, 768, 16, "85");
    state.listRow      = 7;
    TimingSelection chosen{};
    ASSERT_EQ(SelectTiming(&state, &chosen), kTimingSelected);
    EXPECT_EQ(RecordOf(chosen.record), RecordOf(TimingTable[4][2]));
}

// No row for the width, no column for the depth, or an all-zero record at the rate: a record of
// zeros is no timing (written out, a horizontal total of 0 loses the monitor's sync). The empty
// rate text matches the row's first empty entry, whose record is zero; the 720-pixel rows hold
// nothing else. A record with a zero word or offset is a timing all the same. Each says why, and
// leaves the values the adapter would be given as they were.
TEST(SelectTiming, NoRowColumnOrTimingSaysWhyAndLeavesTheValues) {
    const struct {
        DisplayState state;
        TimingVerdict verdict;
    } cases[] = {
        {State(1920, 1080, 16, "60"), kNoWidthRow},
        {State(0, 0, 8, "60"), kNoWidthRow},
        {State(1024, 768, 25, "60"), kNoDepthColumn},
        {State(1024, 768, 32, "85"), kNoDepthColumn},
        {State(-1024, 768, 16, "60"), kNoWidthRow},
        {State(1152, 864, 16, ""), kNoTimingAtRate},
        {State(1600, 1200, 16, ""), kNoTimingAtRate},
        {State(1024, 768, 16, ""), kNoTimingAtRate},
        {State(720, 480, 8, "60"), kNoTimingInRow},
        {State(720, 576, 24, "85"), kNoTimingInRow},
        {State(720, 400, 16, "0"), kNoTimingInRow},
        {State(1280, 960, 16, "160"), kNoTimingAtRate},
        {State(1024, 768, 16, "85", kRateCount), kNoWidthRow}, // a rate index outside every row
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.state.width << "x" << c.state.height << " " << c.state.bitsPerPixel << " \""
                     << c.state.rateText << "\" index " << c.state.rateIndex);
        TimingSelection chosen;
        std::memset(&chosen, 0x5A, sizeof chosen);
        TimingSelection before = chosen;
        EXPECT_EQ(SelectTiming(&c.state, &chosen), c.verdict);
        EXPECT_EQ(RecordOf(chosen.record), RecordOf(before.record));
        EXPECT_EQ(chosen.offset, before.offset);
        EXPECT_EQ(WordOf(chosen.word), WordOf(before.word));
    }
}

// SelectTiming tells a row without any timing by its first record: every row that holds a timing
// holds one at its first rate.
TEST(TimingTable, EveryRowWithATimingHoldsOneAtItsFirstRate) {
    for (TableRow row = 0; row < kRowCount; ++row) {
        int any = 0;
        for (RateIndex r = 0; r < kRateCount; ++r) {
            any |= IsTimingRecord(TimingTable[row][r]);
        }
        EXPECT_EQ(IsTimingRecord(TimingTable[row][0]), any) << "row " << row;
    }
}

} // namespace
