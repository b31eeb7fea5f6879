// The read-back before a trial and the writing back after it, over the simulated machine: a trial
// of the programming sequence is undone register by register, whatever the adapter held before.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/accesses.h"
#include "diag/run_record.h"
#include "hw/hw.h"
#include "hw/vga.h"
#include "machine.h"
#include "timing/timing.h"
#include "tests/support/process.h"

namespace {

using adapter::Access;
using support::In;
using support::Load;
using support::Out;
using support::Store;

const uint32_t kWindow = 0xC0A01000;

// The CRTC registers the sequence writes, in its order: AdapterRegisters::crtc.
const uint8_t kCrtcOrder[18] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x10,
                                0x11, 0x12, 0x13, 0x15, 0x16, 0x30, 0x31, 0x32, 0x33};
const uint8_t kExtC8Order[4] = {0xC8, 0xC9, 0xCA, 0xCB};

// What the adapter holds before the trial: odd values, each different from the others and from
// every value the tables hold for its register, so that a write back of a table's value, or none
// at all, shows. The CRTC 0x11 value is set per case.
AdapterRegisters Found(uint8_t cr11) {
    AdapterRegisters r     = {};
    r.crtcIndex            = 0x3B;
    r.extIndex             = 0x5D;
    r.ext09                = 0x63;
    const uint8_t crtc[18] = {0x01, 0x05, 0x09, 0x0D, 0x11, 0x15, 0x19, 0x1D, 0x21,
                              cr11, 0x29, 0x2D, 0x31, 0x35, 0x39, 0x3D, 0x41, 0x45};
    std::memcpy(r.crtc, crtc, sizeof crtc);
    r.miscOutput = 0xE7;
    r.extC8[0]   = 0x47;
    r.extC8[1]   = 0x4B;
    r.extC8[2]   = 0x4F;
    r.extC8[3]   = 0x53;
    r.window[0]  = 0x57;
    r.window[1]  = 0x5B;
    r.window[2]  = 0x5F;
    r.window[3]  = 0x6F;
    return r;
}

// Whether any table holds value for the register at `slot` of the record (CRTC 0x13 comes from
// the offset table, whose slot the record leaves unused).
bool TablesHold(int slot, uint8_t value) {
    for (int row = 0; row < kRowCount; ++row) {
        for (int rate = 0; rate < kRateCount; ++rate) {
            if (slot != kRecordUnused && TimingTable[row][rate][slot] == value) {
                return true;
            }
        }
        for (int depth = 0; slot == kRecordUnused && depth < kDepthCount; ++depth) {
            if (OffsetTable[row][depth] == value) {
                return true;
            }
        }
    }
    return false;
}

bool WordTablesHold(int byte, uint8_t value) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (int row = 0; row < kRowCount; ++row) {
            for (int depth = 0; depth < kDepthCount; ++depth) {
                if (MappedWordTable[slot][row][depth][byte] == value) {
                    return true;
                }
            }
        }
    }
    return false;
}

void PutIntoAdapter(const AdapterRegisters& r) {
    adapter::Adapter& a = host::TheMachine().adapter;
    a.crtcLatch         = r.crtcIndex;
    a.extLatch          = r.extIndex;
    a.ext[EXT_09]       = r.ext09;
    for (int k = 0; k < 18; ++k) {
        a.crtc[kCrtcOrder[k]] = r.crtc[k];
    }
    a.miscOutput = r.miscOutput;
    for (int k = 0; k < 4; ++k) {
        a.ext[kExtC8Order[k]] = r.extC8[k];
        a.window[k]           = r.window[k];
    }
}

// The read-back's accesses: both latches, then one indexed read per register in the sequence's
// order, the miscellaneous output at its read port, and the window from the top down.
std::vector<Access> ReadTrace(const AdapterRegisters& r) {
    std::vector<Access> t = {In(VGA_CRT_IC, r.crtcIndex), In(EXT_IC, r.extIndex), Out(EXT_IC, 0x09),
                             In(EXT_DC, r.ext09)};
    for (int k = 0; k < 18; ++k) {
        t.push_back(Out(VGA_CRT_IC, kCrtcOrder[k]));
        t.push_back(In(VGA_CRT_DC, r.crtc[k]));
    }
    t.push_back(In(VGA_MIS_R, r.miscOutput));
    for (int k = 0; k < 4; ++k) {
        t.push_back(Out(EXT_IC, kExtC8Order[k]));
        t.push_back(In(EXT_DC, r.extC8[k]));
    }
    for (int k = 3; k >= 0; --k) {
        t.push_back(Load(kWindow + k, r.window[k]));
    }
    return t;
}

// The writing back: as the sequence writes, with the values found, after CRTC 0x11 is read as the
// trial left it and unlocked; the latches last.
std::vector<Access> WriteTrace(const AdapterRegisters& r, uint8_t cr11Now) {
    std::vector<Access> t = {Out(EXT_IC, 0x09),     Out(EXT_DC, r.ext09),
                             Out(VGA_CRT_IC, 0x11), In(VGA_CRT_DC, cr11Now),
                             Out(VGA_CRT_IC, 0x11), Out(VGA_CRT_DC, static_cast<uint8_t>(cr11Now & 0x7F))};
    for (int k = 0; k < 18; ++k) {
        t.push_back(Out(VGA_CRT_IC, kCrtcOrder[k]));
        t.push_back(Out(VGA_CRT_DC, r.crtc[k]));
    }
    t.push_back(Out(VGA_MIS_W, r.miscOutput));
    for (int k = 0; k < 4; ++k) {
        t.push_back(Out(EXT_IC, kExtC8Order[k]));
        t.push_back(Out(EXT_DC, r.extC8[k]));
    }
    t.push_back(Out(VGA_MIS_W, r.miscOutput));
    for (int k = 3; k >= 0; --k) {
        t.push_back(Store(kWindow + k, r.window[k]));
    }
    t.push_back(Out(VGA_CRT_IC, r.crtcIndex));
    t.push_back(Out(EXT_IC, r.extIndex));
    return t;
}

class RestoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        support::StartFreshProcess();
        host::TheMachine().adapter.windowBase = kWindow;
    }
};

TEST_F(RestoreTest, StartValuesAreNoTablesValues) {
    for (uint8_t cr11 : {0xA5, 0x25}) {
        const AdapterRegisters r = Found(cr11);
        for (int k = 0; k < 14; ++k) { // the record's slots in the sequence's order, 0x13 at 11
            EXPECT_FALSE(TablesHold(k, r.crtc[k])) << "CRTC 0x" << std::hex << int(kCrtcOrder[k]);
        }
        for (int k = 0; k < 4; ++k) {
            EXPECT_FALSE(TablesHold(kRecordCrtc30 + k, r.crtc[14 + k])) << "CRTC 0x3" << k;
            EXPECT_FALSE(TablesHold(kRecordExtC8 + k, r.extC8[k])) << "extended 0xC" << 8 + k;
            EXPECT_FALSE(WordTablesHold(3 - k, r.window[k])) << "window " << k;
        }
        EXPECT_NE(r.ext09, EXT_09_BIT0);
        EXPECT_NE(r.miscOutput, VGA_MIS_TIMING);
    }
}

// Read, try 1024x768 at 16 bits and 85 Hz, write back: every register, latch and window byte of
// the adapter is as it was, whether CRTC 0x11 locked 0x00-0x07 before the trial or not. The trial's
// own 0x11 locks them again, so the write back has to unlock them in both cases.
TEST_F(RestoreTest, ATrialIsUndoneRegisterByRegister) {
    struct Case {
        const char* name;
        uint8_t cr11;
    } cases[] = {{"CRTC 0x00-0x07 locked before", 0xA5}, {"CRTC 0x00-0x07 open before", 0x25}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        const AdapterRegisters found = Found(c.cr11);
        PutIntoAdapter(found);
        adapter::Adapter& a           = host::TheMachine().adapter;
        const adapter::Adapter before = a;

        AdapterRegisters saved;
        std::memset(&saved, 0xA5, sizeof saved);
        ReadAdapterRegisters(kWindow, &saved);
        EXPECT_EQ(std::memcmp(&saved, &found, sizeof saved), 0);
        EXPECT_TRUE(support::SameTrace(a.trace, ReadTrace(found)));
        // The run record takes the read port of the miscellaneous output and the window loads for
        // accesses the adapter answers, as the model does.
        ASSERT_EQ(plannedAccessCount, static_cast<int>(a.trace.size()));
        for (int i = 0; i < plannedAccessCount; ++i) {
            EXPECT_EQ(plannedAccesses[i].undecoded, 0) << "access " << i;
        }

        displayState = support::MakeDisplayState(1024, 768, 16, "85");
        ASSERT_EQ(SelectTiming(&displayState, &timingSelection), 1);
        ProgramTiming(&timingSelection);
        const uint8_t cr11Now = timingSelection.record[kRecordCrtc11];
        ASSERT_NE(cr11Now & VGA_CR11_LOCK_CR0_CR7, 0);
        ASSERT_EQ(adapter::ChangedRegisters(before, a).size(), 2u + 1 + 18 + 1 + 4 + 4); // all touched

        a.trace.clear();
        WriteAdapterRegisters(kWindow, &saved);
        EXPECT_TRUE(support::SameTrace(a.trace, WriteTrace(found, cr11Now)));
        EXPECT_EQ(adapter::ChangedRegisters(before, a), std::vector<std::string>{});
        EXPECT_EQ(adapter::CountUndecoded(a), 0u);
    }
}

} // namespace
