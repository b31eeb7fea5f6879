// The read-back before a trial and the writing back after it, over the simulated machine: a trial
// of the programming sequence is undone register by register, whatever the adapter held before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/support/accesses.h"
#include "diag/access_list.h"
#include "hw/hw.h"
#include "hw/sequence.h"
#include "hw/vga.h"
#include "machine.h"
#include "timing/timing.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace {

using adapter::Access;
using support::In;
using support::Load;
using support::Out;
using support::Store;

const uint32_t kWindow = 0xC0A01000;

// The adapter as the trial finds it (tests/fixtures/registers_unlike_every_table.txt), CRTC 0x11 as
// the case gives it.
void SetFound(uint8_t cr11) {
    adapter::Adapter& a = host::TheMachine().adapter;
    support::SetUnlikeEveryTable(a);
    a.crtc[VGA_CRTC_V_SYNC_END] = cr11;
}

// The register a step of the sequence writes, as the adapter holds it.
uint8_t& RegisterOf(adapter::Adapter& a, const SequenceStep& step) {
    switch (step.kind) {
    case kStepCrtc: return a.crtc[step.index];
    case kStepExt: return a.ext[step.index];
    case kStepMiscOutput: return a.miscOutput;
    default: return a.window[step.index];
    }
}

// Whether any table holds value for the selection's byte `source`: the record's bytes by row and
// rate, the offset by row and depth, the word's by slot, row and depth.
bool TablesHold(int source, uint8_t value) {
    for (int row = 0; row < kRowCount; ++row) {
        for (int rate = 0; rate < kRateCount && source < kTimingRecordSize; ++rate) {
            if (source != kRecordUnused && TimingTable[row][rate][source] == value) {
                return true;
            }
        }
        for (int depth = 0; depth < kDepthCount; ++depth) {
            if (source == kSelectionOffset && OffsetTable[row][depth] == value) {
                return true;
            }
            for (int slot = 0; slot < kSlotCount && source >= kSelectionWord; ++slot) {
                if (MappedWordTable[slot][row][depth][source - kSelectionWord] == value) {
                    return true;
                }
            }
        }
    }
    return false;
}

// The read-back's accesses: both latches, then one read per register in the sequence's order (the
// miscellaneous output once, at its read port; CRTC 0x11 at its own step), the window from the top
// down.
std::vector<Access> ReadTrace(const adapter::Adapter& found) {
    std::vector<Access> t = {In(VGA_CRT_IC, found.crtcLatch), In(EXT_IC, found.extLatch)};
    bool miscRead         = false;
    for (const SequenceStep& step : kTimingSequence) {
        if (step.source == kValueUnlocked || (step.kind == kStepMiscOutput && miscRead)) {
            continue;
        }
        uint8_t value = RegisterOf(const_cast<adapter::Adapter&>(found), step);
        if (step.kind == kStepCrtc) {
            t.push_back(Out(VGA_CRT_IC, step.index));
            t.push_back(In(VGA_CRT_DC, value));
        } else if (step.kind == kStepExt) {
            t.push_back(Out(EXT_IC, step.index));
            t.push_back(In(EXT_DC, value));
        } else if (step.kind == kStepMiscOutput) {
            t.push_back(In(VGA_MIS_R, value));
            miscRead = true;
        } else {
            t.push_back(Load(kWindow + step.index, value));
        }
    }
    return t;
}

// The writing back: as the sequence writes, with the values found, extended 0x09 with its bit 0
// set, CRTC 0x11 read as the trial left it and unlocked; then 0x09 as found; the latches last.
std::vector<Access> WriteTrace(const adapter::Adapter& found, uint8_t cr11Now) {
    std::vector<Access> t;
    for (const SequenceStep& step : kTimingSequence) {
        uint8_t value = RegisterOf(const_cast<adapter::Adapter&>(found), step);
        if (step.source == kValueExt09) {
            value |= 0x01;
        } else if (step.source == kValueUnlocked) {
            t.push_back(Out(VGA_CRT_IC, 0x11));
            t.push_back(In(VGA_CRT_DC, cr11Now));
            value = cr11Now & 0x7F;
        }
        if (step.kind == kStepCrtc) {
            t.push_back(Out(VGA_CRT_IC, step.index));
            t.push_back(Out(VGA_CRT_DC, value));
        } else if (step.kind == kStepExt) {
            t.push_back(Out(EXT_IC, step.index));
            t.push_back(Out(EXT_DC, value));
        } else if (step.kind == kStepMiscOutput) {
            t.push_back(Out(VGA_MIS_W, value));
        } else {
            t.push_back(Store(kWindow + step.index, value));
        }
    }
    t.push_back(Out(EXT_IC, 0x09));
    t.push_back(Out(EXT_DC, found.ext[0x09]));
    t.push_back(Out(VGA_CRT_IC, found.crtcLatch));
    t.push_back(Out(EXT_IC, found.extLatch));
    return t;
}

class RestoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        support::StartFreshProcess();
        host::TheMachine().adapter.windowBase = kWindow;
    }
};

// The fixture holds, for each register the sequence writes, a value no table holds for it, and
// values that differ from each other, so that a register written back with another's value shows.
TEST_F(RestoreTest, StartValuesAreNoTablesValues) {
    SetFound(0xA5);
    adapter::Adapter& a = host::TheMachine().adapter;
    std::vector<uint8_t> seen;
    for (const SequenceStep& step : kTimingSequence) {
        if (step.source < kSelectionBytes) {
            uint8_t value = RegisterOf(a, step);
            EXPECT_FALSE(TablesHold(step.source, value)) << "step writing 0x" << std::hex << int(step.index);
            EXPECT_EQ(std::count(seen.begin(), seen.end(), value), 0) << "0x" << std::hex << int(value);
            seen.push_back(value);
        }
    }
    EXPECT_NE(a.ext[EXT_09] & EXT_09_BIT0, EXT_09_BIT0) << "extended 0x09 found with bit 0 clear";
    EXPECT_NE(a.miscOutput, VGA_MIS_TIMING);
}

// Read, try 1024x768 at 16 bits and 85 Hz, write back: every register, latch and window byte of
// the adapter is as it was, whether CRTC 0x11 locked 0x00-0x07 before the trial or not, and whether
// bit 0 of extended 0x09 let the timing registers take writes or not. The trial's own 0x11 locks
// them again, so the write back has to unlock them in each case; and a 0x09 written back first would
// shut them before the registers go back.
TEST_F(RestoreTest, ATrialIsUndoneRegisterByRegister) {
    struct Case {
        const char* name;
        uint8_t cr11;
        uint8_t ext09;
    } cases[] = {{"CRTC 0x00-0x07 locked, timing writes shut before", 0xA5, 0x62},
                 {"CRTC 0x00-0x07 open, timing writes shut before", 0x25, 0x62},
                 {"CRTC 0x00-0x07 locked, timing writes open before", 0xA5, 0x63}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        SetFound(c.cr11);
        adapter::Adapter& a           = host::TheMachine().adapter;
        a.ext[EXT_09]                 = c.ext09;
        const adapter::Adapter before = a;

        AdapterRegisters saved;
        std::memset(&saved, 0xA5, sizeof saved);
        ReadAdapterRegisters(kWindow, &saved);
        EXPECT_TRUE(support::SameTrace(a.trace, ReadTrace(before)));
        // The access list takes the read port of the miscellaneous output and the window loads for
        // accesses the adapter answers, as the model does.
        ASSERT_EQ(plannedAccessCount, static_cast<int>(a.trace.size()));
        for (int i = 0; i < plannedAccessCount; ++i) {
            EXPECT_EQ(plannedAccesses[i].undecoded, 0) << "access " << i;
        }

        displayState = support::MakeDisplayState(1024, 768, 16, "85");
        ASSERT_EQ(SelectTiming(&displayState, &timingSelection), kTimingSelected);
        ProgramTiming(&timingSelection, kWindow);
        const uint8_t cr11Now = timingSelection.record[kRecordCrtc11];
        ASSERT_NE(cr11Now & VGA_CR11_LOCK_CR0_CR7, 0);
        ASSERT_EQ(adapter::ChangedRegisters(before, a).size(), 2u + 1 + 18 + 1 + 4 + 4); // all touched

        a.trace.clear();
        WriteAdapterRegisters(kWindow, &saved);
        EXPECT_TRUE(support::SameTrace(a.trace, WriteTrace(before, cr11Now)));
        EXPECT_EQ(adapter::ChangedRegisters(before, a), std::vector<std::string>{});
        EXPECT_EQ(adapter::CountUndecoded(a), 0u);
    }
}

} // namespace
