// Self-tests of the simulated adapter: the sequence tests are only as good as this model.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/accesses.h"
#include "adapter/adapter.h"
#include "hw/vga.h"

namespace {

using adapter::Access;
using support::Out;

void WriteCrtc(adapter::Adapter& a, uint8_t index, uint8_t value) {
    adapter::Out(a, VGA_CRT_IC, index);
    adapter::Out(a, VGA_CRT_DC, value);
}

void WriteExt(adapter::Adapter& a, uint8_t index, uint8_t value) {
    adapter::Out(a, EXT_IC, index);
    adapter::Out(a, EXT_DC, value);
}

// The adapter with its timing registers open for writing (bit 0 of extended 0x09 set), as the
// programming sequence opens them.
adapter::Adapter OpenAdapter() {
    adapter::Adapter a = adapter::MakeAdapter();
    a.ext[EXT_09]      = EXT_09_BIT0;
    return a;
}

TEST(Adapter, PowerOnState) {
    adapter::Adapter a = adapter::MakeAdapter();
    EXPECT_EQ(a.crtc[0x11], 0x8E); // locked
    EXPECT_EQ(a.crtc[0x75], 0x00); // skip bit clear
    EXPECT_EQ(a.miscOutput, 0x67);
    EXPECT_NE(a.windowBase, 0u);
    EXPECT_TRUE(a.trace.empty());
}

// While CR11 bit 7 is set, CR00-CR06 keep their value and CR07 takes only bit 4; CRTC registers
// above 0x07, CR11 itself included, stay writable.
TEST(Adapter, Cr11LockProtectsCr00ToCr07) {
    struct Case {
        uint8_t index;
        uint8_t before;
        uint8_t written;
        uint8_t lockedResult;
    } cases[] = {
        {0x00, 0x5F, 0xA3, 0x5F}, {0x05, 0x12, 0x34, 0x12}, {0x06, 0x0B, 0x24, 0x0B},
        {0x07, 0x00, 0xFF, 0x10}, {0x07, 0xFF, 0x00, 0xEF}, {0x07, 0x3E, 0xF5, 0x3E},
        {0x08, 0x00, 0x55, 0x55}, {0x10, 0xE9, 0x02, 0x02}, {0x13, 0x50, 0x80, 0x80},
        {0x30, 0x01, 0x03, 0x03},
    };
    for (const Case& c : cases) {
        for (bool locked : {true, false}) {
            adapter::Adapter a = OpenAdapter();
            a.crtc[0x11]       = locked ? 0x8E : 0x0E;
            a.crtc[c.index]    = c.before;
            WriteCrtc(a, c.index, c.written);
            EXPECT_EQ(a.crtc[c.index], locked ? c.lockedResult : c.written)
                << "CRTC 0x" << std::hex << int(c.index) << (locked ? " locked" : " unlocked");
            // A dropped write is still an access the adapter decodes: recorded, not flagged.
            EXPECT_EQ(a.trace, (std::vector<Access>{Out(VGA_CRT_IC, c.index), Out(VGA_CRT_DC, c.written)}));
        }
    }
}

TEST(Adapter, ClearingTheLockBitOpensCr00ToCr07) {
    adapter::Adapter a = OpenAdapter();
    WriteCrtc(a, 0x05, 0x96);
    EXPECT_EQ(a.crtc[0x05], 0x00);
    WriteCrtc(a, 0x11, 0x0E);
    WriteCrtc(a, 0x05, 0x96);
    EXPECT_EQ(a.crtc[0x05], 0x96);
    WriteCrtc(a, 0x11, 0x88); // locked again
    WriteCrtc(a, 0x05, 0x11);
    EXPECT_EQ(a.crtc[0x05], 0x96);
}

// Bit 0 of extended 0x09 gates the timing registers: while it is clear, CRTC 0x00-0x07 and
// 0x10-0x16, extended CRTC 0x30-0x33 and extended 0xC8-0xCB keep their values; every other register,
// 0x09 itself among them, takes its writes. Set, they take theirs again (CRTC 0x11 unlocked here).
TEST(Adapter, Ext09Bit0GatesTheTimingRegisters) {
    const struct {
        bool crtc; // else an extended register
        uint8_t index;
        bool gated;
    } cases[] = {{true, 0x00, true},  {true, 0x07, true},   {true, 0x08, false},  {true, 0x0F, false},
                 {true, 0x10, true},  {true, 0x11, true},   {true, 0x13, true},   {true, 0x16, true},
                 {true, 0x17, false}, {true, 0x30, true},   {true, 0x33, true},   {true, 0x34, false},
                 {true, 0x75, false}, {false, 0x09, false}, {false, 0xC7, false}, {false, 0xC8, true},
                 {false, 0xCB, true}, {false, 0xCC, false}};
    for (const auto& c : cases) {
        for (uint8_t ext09 : {0x00, 0x62, 0x01, 0x63}) {
            adapter::Adapter a = adapter::MakeAdapter();
            a.crtc[0x11]       = 0x0E;
            a.ext[EXT_09]      = ext09;
            uint8_t written    = c.index == EXT_09 ? 0x5A : 0xA5;
            if (c.crtc) {
                WriteCrtc(a, c.index, written);
            } else {
                WriteExt(a, c.index, written);
            }
            uint8_t held   = c.crtc ? a.crtc[c.index] : a.ext[c.index];
            bool open      = (ext09 & EXT_09_BIT0) != 0;
            uint8_t before = c.crtc && c.index == 0x11 ? 0x0E : c.index == EXT_09 && !c.crtc ? ext09 : 0x00;
            EXPECT_EQ(held, c.gated && !open ? before : written)
                << (c.crtc ? "CRTC 0x" : "extended 0x") << std::hex << int(c.index) << ", 0x09 = 0x"
                << int(ext09);
            EXPECT_EQ(a.trace.size(), 2u);
        }
    }
}

// A data access goes wherever the index latch points, however long ago it was set; the two
// register files keep separate latches.
TEST(Adapter, DataAccessGoesToTheLatchedIndex) {
    adapter::Adapter a = OpenAdapter();
    adapter::Out(a, EXT_DC, 0x55); // no index written yet: latch 0
    EXPECT_EQ(a.ext[0x00], 0x55);

    adapter::Out(a, VGA_CRT_IC, 0x30);
    adapter::Out(a, EXT_IC, 0xC8);
    adapter::Out(a, VGA_CRT_DC, 0x01);
    adapter::Out(a, VGA_CRT_DC, 0x02);
    adapter::Out(a, EXT_DC, 0x1F);
    EXPECT_EQ(a.crtc[0x30], 0x02);
    EXPECT_EQ(a.ext[0xC8], 0x1F);
    EXPECT_EQ(a.ext[0x30], 0x00);
    EXPECT_EQ(a.crtc[0xC8], 0x00);

    a.crtc[0x75] = 0x20;
    adapter::Out(a, VGA_CRT_IC, 0x75);
    EXPECT_EQ(adapter::In(a, VGA_CRT_DC), 0x20);
    EXPECT_EQ(adapter::In(a, VGA_CRT_DC), 0x20);
    EXPECT_EQ(adapter::In(a, VGA_CRT_IC), 0x75);
    EXPECT_EQ(adapter::In(a, EXT_IC), 0xC8);
    EXPECT_EQ(adapter::CountUndecoded(a), 0u);
}

// Written at 0x3C2, read back at 0x3CC; the other direction of each port is something else.
TEST(Adapter, MiscOutputIsWrittenAt0x3C2AndReadAt0x3CC) {
    adapter::Adapter a = adapter::MakeAdapter();
    EXPECT_EQ(adapter::In(a, VGA_MIS_R), 0x67);
    adapter::Out(a, VGA_MIS_W, 0x2B);
    EXPECT_EQ(a.miscOutput, 0x2B);
    EXPECT_EQ(adapter::In(a, VGA_MIS_R), 0x2B);
    EXPECT_EQ(adapter::CountUndecoded(a), 0u);
    adapter::In(a, VGA_MIS_W);        // input status 0 on a VGA: not modelled
    adapter::Out(a, VGA_MIS_R, 0x99); // a write at the read address changes nothing
    EXPECT_EQ(adapter::CountUndecoded(a), 2u);
    EXPECT_EQ(a.miscOutput, 0x2B);
}

// Nothing the model does not decode goes unseen: it is recorded, flagged, and changes nothing.
TEST(Adapter, UnknownPortsAreRecordedAndFlagged) {
    adapter::Adapter a      = adapter::MakeAdapter();
    adapter::Adapter before = a;
    adapter::Out(a, 0x3C4, 0x01);
    adapter::Out(a, 0x3B4, 0x11);
    EXPECT_EQ(adapter::In(a, 0x3DA), 0xFF);
    ASSERT_EQ(a.trace.size(), 3u);
    EXPECT_EQ(adapter::CountUndecoded(a), 3u);
    EXPECT_TRUE(a.trace[0].undecoded && a.trace[0].op == adapter::Op::Out && a.trace[0].where == 0x3C4);
    EXPECT_TRUE(a.trace[2].undecoded && a.trace[2].op == adapter::Op::In && a.trace[2].where == 0x3DA);
    EXPECT_EQ(a.crtc, before.crtc);
    EXPECT_EQ(a.ext, before.ext);
    EXPECT_EQ(a.crtcLatch, before.crtcLatch);
    EXPECT_EQ(a.miscOutput, before.miscOutput);
}

TEST(Adapter, StoresOutsideTheWindowAreFlagged) {
    adapter::Adapter a = adapter::MakeAdapter();
    a.windowBase       = 0xC0A01000;
    adapter::Store(a, 0xC0A01003, 0x0A);
    adapter::Store(a, 0xC0A01000, 0x0C);
    adapter::Store(a, 0xC0A01004, 0x11);
    adapter::Store(a, 0xC0A00FFF, 0x22);
    adapter::Store(a, 0x00000003, 0x33);
    EXPECT_EQ(a.window, (std::array<uint8_t, 4>{0x0C, 0x00, 0x00, 0x0A}));
    const std::vector<bool> flagged = {a.trace[0].undecoded, a.trace[1].undecoded, a.trace[2].undecoded,
                                       a.trace[3].undecoded, a.trace[4].undecoded};
    EXPECT_EQ(flagged, (std::vector<bool>{false, false, true, true, true}));
    EXPECT_EQ(a.trace[4], (Access{adapter::Op::Store, 0x00000003, 0x33, true}));
}

// A load answers the window's byte and is recorded; outside the window the address floats high, is
// flagged, and nothing changes.
TEST(Adapter, LoadsAnswerTheWindowBytes) {
    adapter::Adapter a            = adapter::MakeAdapter();
    a.windowBase                  = 0xC0A01000;
    a.window                      = {0x0C, 0x5B, 0x00, 0x0A};
    const adapter::Adapter before = a;
    const struct {
        uint32_t address;
        uint8_t value;
        bool flagged;
    } cases[] = {
        {0xC0A01003, 0x0A, false}, {0xC0A01001, 0x5B, false}, {0xC0A01000, 0x0C, false},
        {0xC0A01004, 0xFF, true},  {0xC0A00FFF, 0xFF, true},  {0x00000003, 0xFF, true},
    };
    std::vector<Access> want;
    for (const auto& c : cases) {
        EXPECT_EQ(adapter::Load(a, c.address), c.value) << std::hex << c.address;
        want.push_back({adapter::Op::Load, c.address, c.value, c.flagged});
    }
    EXPECT_TRUE(support::SameTrace(a.trace, want));
    EXPECT_TRUE(adapter::ChangedRegisters(before, a).empty());
}

} // namespace

// Each kind of access as the tools print it, latches followed from the trace itself.
TEST(Adapter, TraceTextNamesTheRegisterEachAccessReaches) {
    using adapter::Op;
    const std::vector<Access> trace = {
        Out(VGA_CRT_IC, 0x00),
        Out(VGA_CRT_DC, 0xA3),
        Out(VGA_CRT_IC, 0x09),
        Out(VGA_CRT_DC, 0x40),
        Out(EXT_IC, EXT_C8),
        Out(EXT_DC, 0x1F),
        Out(EXT_IC, 0x0A),
        {Op::In, EXT_DC, 0x00, false},
        Out(VGA_MIS_W, 0x2B),
        {Op::In, VGA_MIS_R, 0x2B, false},
        {Op::In, 0x3DA, 0xFF, true},
        {Op::Store, 0x60000003, 0x0A, false},
        {Op::Store, 0x60000004, 0x11, true},
        {Op::Load, 0x60000001, 0x0C, false},
        {Op::Load, 0x60000004, 0xFF, true},
    };
    const std::vector<std::string> want = {
        "out 0x3D4 <- 00 (CRTC index)",
        "CRTC 0x00 (horizontal total) <- A3",
        "out 0x3D4 <- 09 (CRTC index)",
        "CRTC 0x09 (unnamed) <- 40",
        "out 0x3D6 <- C8 (extended index)",
        "extended 0xC8 <- 1F",
        "out 0x3D6 <- 0A (extended index)",
        "extended 0x0A (unnamed) -> 00",
        "out 0x3C2 <- 2B (miscellaneous output)",
        "in 0x3CC -> 2B (miscellaneous output)",
        "in 0x03DA -> FF  ** not decoded by the adapter **",
        "window 0x60000003 <- 0A",
        "window 0x60000004 <- 11  ** not decoded by the adapter **",
        "window 0x60000001 -> 0C",
        "window 0x60000004 -> FF  ** not decoded by the adapter **",
    };
    EXPECT_EQ(adapter::DescribeTrace(trace), want);
}

// What the Wine proof of the diagnostic reads to see the adapter left as it was: every latch,
// register and window byte that differs, by name; the trace alone changes nothing.
TEST(Adapter, ChangedRegistersNamesEveryDifference) {
    adapter::Adapter before = adapter::MakeAdapter();
    adapter::Adapter after  = before;
    adapter::In(after, VGA_CRT_DC);
    EXPECT_TRUE(adapter::ChangedRegisters(before, after).empty());

    adapter::Out(after, EXT_IC, EXT_09);
    adapter::Out(after, EXT_DC, 0x01);
    adapter::Out(after, VGA_CRT_IC, VGA_CRTC_V_SYNC_END);
    adapter::Out(after, VGA_CRT_DC, 0x0E);
    adapter::Out(after, VGA_MIS_W, VGA_MIS_TIMING);
    adapter::Store(after, after.windowBase + 2, 0x14);
    EXPECT_EQ(adapter::ChangedRegisters(before, after),
              (std::vector<std::string>{"CRTC index", "extended index", "CRTC 0x11", "extended 0x09",
                                        "miscellaneous output", "window 2"}));
}
