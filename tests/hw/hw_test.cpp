// The skip-bit probe, the register window from the mapping driver, and the programming sequence,
// run against the simulated machine and compared access by access.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/accesses.h"
#include "diag/access_list.h"
#include "app/app.h"
#include "hw/hw.h"
#include "hw/sequence.h"
#include "hw/vga.h"
#include "machine.h"
#include "simulator.h"
#include "timing/timing.h"
#include "tests/support/process.h"

namespace {

using adapter::Access;
using support::In;
using support::Out;
using support::Store;

// Not the model's default base, so a test sees whether the driver's answer is what gets used.
const uint32_t kWindow = 0xC0A01000;

const char kUnsupportedText[] = "Unable to open VxD, \r\n device does not support DeviceIOCTL\r\n";
const char kMapFailedText[]   = "Can not map physical to linear address";

void ResetAll() {
    support::StartFreshProcess();
    host::TheMachine().adapter.windowBase = kWindow;
}

// The timing set the run hands to ProgramTiming for such a display.
const TimingSelection* Select(int width, int height, int bitsPerPixel, const char* rate) {
    displayState = support::MakeDisplayState(width, height, bitsPerPixel, rate);
    EXPECT_EQ(SelectTiming(&displayState, &timingSelection), kTimingSelected);
    return &timingSelection;
}

const std::vector<Access>& Trace() {
    return host::TheMachine().adapter.trace;
}

// Runs f with standard output captured and returns what it printed.
template <typename F> std::string CapturedStdout(F f) {
    sim::StdoutCapture capture;
    f();
    return capture.Finish();
}

// Fills the stack below the caller with a pattern, so that a buffer the program leaves unset
// holds that pattern rather than a lucky zero.
[[gnu::noinline]] void FillStack() {
    volatile uint8_t area[16384];
    for (size_t i = 0; i < sizeof area; ++i) {
        area[i] = 0xA5;
    }
}

// The accesses of the programming sequence for one selection, in the programming order: the tests'
// own expectation of the order and of the byte each register takes, apart from the product's list.
std::vector<Access> Sequence(const TimingSelection& s, uint8_t cr11Before, bool window) {
    const BYTE* r = s.record;
    std::vector<Access> seq;
    auto crtc = [&](uint8_t index, uint8_t value) {
        seq.push_back(Out(VGA_CRT_IC, index));
        seq.push_back(Out(VGA_CRT_DC, value));
    };
    auto ext = [&](uint8_t index, uint8_t value) {
        seq.push_back(Out(EXT_IC, index));
        seq.push_back(Out(EXT_DC, value));
    };
    ext(0x09, 0x01);
    seq.push_back(Out(VGA_CRT_IC, 0x11));
    seq.push_back(In(VGA_CRT_DC, cr11Before));
    crtc(0x11, cr11Before & 0x7F);
    for (uint8_t k = 0; k < 8; ++k) {
        crtc(k, r[k]);
    }
    crtc(0x10, r[8]);
    crtc(0x11, r[9]);
    crtc(0x12, r[10]);
    crtc(0x13, s.offset);
    crtc(0x15, r[12]);
    crtc(0x16, r[13]);
    for (uint8_t k = 0; k < 4; ++k) {
        crtc(0x30 + k, r[14 + k]);
    }
    seq.push_back(Out(VGA_MIS_W, 0x2B));
    for (uint8_t k = 0; k < 4; ++k) {
        ext(0xC8 + k, r[18 + k]);
    }
    seq.push_back(Out(VGA_MIS_W, 0x2B));
    if (window) {
        for (int k = 0; k < 4; ++k) {
            seq.push_back(Store(kWindow + 3 - k, s.word[k]));
        }
    }
    return seq;
}

class HwTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetAll(); }
};

// ---- IsSkipBitSet ------------------------------------------------------------------------------

TEST_F(HwTest, SkipBitIsBit5OfExtendedCrtc75) {
    const int cases[][2] = {{0x20, 1}, {0x3F, 1}, {0xFF, 1}, {0x00, 0}, {0x1F, 0}, {0xDF, 0}};
    for (const auto& c : cases) {
        ResetAll();
        host::TheMachine().adapter.crtc[0x75] = static_cast<uint8_t>(c[0]);
        BYTE read                             = 0;
        EXPECT_EQ(IsSkipBitSet(&read) != 0, c[1] != 0) << "CRTC 0x75 = 0x" << std::hex << c[0];
        EXPECT_EQ(read, c[0]);
        EXPECT_EQ(Trace(), (std::vector<Access>{Out(0x3D4, 0x75), In(0x3D5, static_cast<uint8_t>(c[0]))}));
    }
}

// ---- MapRegisterWindow: the utility's asking, and its words ----------------------------------

struct DriverCase {
    const char* name;
    host::DriverBehaviour behaviour;
    DWORD openError;
    RegisterWindow result;
    std::string printed;
    bool messageBox;
    std::vector<std::string> calls;
};

void PrintTo(const DriverCase& c, std::ostream* os) {
    *os << c.name;
}

class MapRegisterWindowCases : public ::testing::TestWithParam<DriverCase> {
  protected:
    void SetUp() override { ResetAll(); }
};

TEST_P(MapRegisterWindowCases, AnswersTellsAndClosesTheHandle) {
    const DriverCase& c = GetParam();
    host::Machine& m    = host::TheMachine();
    m.driver            = c.behaviour;
    m.openError         = c.openError;

    RegisterWindow window = 1;
    EXPECT_EQ(CapturedStdout([&] {
                  FillStack();
                  window = MapRegisterWindow();
              }),
              c.printed);
    EXPECT_EQ(window, c.result);
    EXPECT_EQ(m.calls, c.calls);

    ASSERT_EQ(m.createFileCalls.size(), 1u);
    const host::CreateFileRecord& open = m.createFileCalls[0];
    EXPECT_EQ(open.path, "\\\\.\\PHYSWIN.VXD");
    EXPECT_EQ(open.access, 0u);
    EXPECT_EQ(open.share, 0u);
    EXPECT_EQ(open.disposition, static_cast<DWORD>(CREATE_NEW));
    EXPECT_EQ(open.flags, FILE_FLAG_DELETE_ON_CLOSE);

    if (c.messageBox) {
        ASSERT_EQ(m.messageBoxes.size(), 1u);
        EXPECT_EQ(m.messageBoxes[0].owner, nullptr);
        EXPECT_EQ(m.messageBoxes[0].text, kMapFailedText);
        EXPECT_EQ(m.messageBoxes[0].caption, "");
        EXPECT_EQ(m.messageBoxes[0].type, static_cast<UINT>(MB_OK));
    } else {
        EXPECT_TRUE(m.messageBoxes.empty());
    }

    // Whatever was opened is closed again, before the address is handed out.
    EXPECT_TRUE(m.openObjects.empty());
    if (m.ioControlCalls.empty()) {
        EXPECT_TRUE(m.closedHandles.empty());
    } else {
        const host::IoControlRecord& ioctl = m.ioControlCalls[0];
        EXPECT_EQ(ioctl.code, 3u);
        EXPECT_FALSE(ioctl.input);
        EXPECT_EQ(ioctl.outSize, 8u);
        EXPECT_TRUE(ioctl.returned);
        EXPECT_FALSE(ioctl.overlapped);
        EXPECT_EQ(m.closedHandles, std::vector<HANDLE>{ioctl.device});
    }
    EXPECT_TRUE(Trace().empty());
}

using host::DriverBehaviour;
const std::vector<std::string> kOpenOnly    = {"CreateFileA", "GetStdHandle", "WriteFile"};
const std::vector<std::string> kOpenFormat  = {"CreateFileA", "wsprintfA", "GetStdHandle", "WriteFile"};
const std::vector<std::string> kMapAndClose = {"CreateFileA", "DeviceIoControl", "CloseHandle"};
// The VxD is let go before the box, which may wait long for the user.
const std::vector<std::string> kMapFailed = {"CreateFileA", "DeviceIoControl", "CloseHandle", "MessageBoxA"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Driver, MapRegisterWindowCases, ::testing::Values(
    //         name             behaviour                     openError    result   printed                                          box    calls
    DriverCase{"window",        DriverBehaviour::Window,      2,           kWindow, "",                                              false, kMapAndClose},
    DriverCase{"missing",       DriverBehaviour::Missing,     2,           0,       "Unable to open VxD, Error code: 2\r\n",       false, kOpenFormat},
    DriverCase{"error_abc",     DriverBehaviour::Missing,     0xABC,       0,       "Unable to open VxD, Error code: abc\r\n",     false, kOpenFormat},
    DriverCase{"error_all_ones",DriverBehaviour::Missing,     0xFFFFFFFF,  0,       "Unable to open VxD, Error code: ffffffff\r\n",false, kOpenFormat},
    DriverCase{"error_50",      DriverBehaviour::Missing,     50,          0,       kUnsupportedText,                                false, kOpenOnly},
    DriverCase{"unsupported",   DriverBehaviour::Unsupported, 2,           0,       kUnsupportedText,                                false, kOpenOnly},
    DriverCase{"ioctl_fails",   DriverBehaviour::IoctlFails,  2,           0,       "",                                              true,  kMapFailed},
    DriverCase{"null_window",   DriverBehaviour::NullWindow,  2,           0,       "",                                              false, kMapAndClose},
    DriverCase{"no_output",     DriverBehaviour::NoOutput,    2,           0,       "",                                              false, kMapAndClose}
), [](const ::testing::TestParamInfo<DriverCase>& info) { return std::string(info.param.name); });
// clang-format on

// A windowed process has no standard output unless it was started with one: the text is dropped
// without an error, as is one the handle refuses, and the answer is still no window.
TEST_F(HwTest, TextWithoutStandardOutputIsDropped) {
    struct Case {
        const char* name;
        HANDLE output;
        bool refuses;
        size_t writes; // WriteFile calls: tried only on a handle
    } cases[] = {{"null", nullptr, false, 0},
                 {"invalid", INVALID_HANDLE_VALUE, false, 0},
                 {"refusing", host::kStandardOutputHandle, true, 1}};
    for (const Case& c : cases) {
        for (DriverBehaviour behaviour : {DriverBehaviour::Missing, DriverBehaviour::Unsupported}) {
            ResetAll();
            host::Machine& m      = host::TheMachine();
            m.standardOutput      = c.output;
            m.standardOutputFails = c.refuses;
            m.driver              = behaviour;
            RegisterWindow window = 1;
            EXPECT_EQ(CapturedStdout([&] { window = MapRegisterWindow(); }), "") << c.name;
            EXPECT_EQ(window, 0u) << c.name;
            EXPECT_EQ(host::CountCalls("GetStdHandle"), 1u) << c.name;
            EXPECT_EQ(host::CountCalls("WriteFile"), c.writes) << c.name;
            EXPECT_TRUE(m.messageBoxes.empty()) << c.name;
        }
    }
}

// ---- ProgramTiming -----------------------------------------------------------------------------

// The 1024x768 60 Hz run at 8 bits per pixel: record TimingTable[4][0], offset 80, word
// 0A 0C 00 00. CRTC 0x11 holds 0x8E at power-on.
TEST_F(HwTest, Sequence1024x768x8At60) {
    ProgramTiming(Select(1024, 768, 8, "60"), kWindow);

    const std::vector<Access> expected = {
        Out(0x3D6, 0x09),         Out(0x3D7, 0x01),         Out(0x3D4, 0x11),
        In(0x3D5, 0x8E),          Out(0x3D4, 0x11),         Out(0x3D5, 0x0E),
        Out(0x3D4, 0x00),         Out(0x3D5, 0xA3),         Out(0x3D4, 0x01),
        Out(0x3D5, 0x7F),         Out(0x3D4, 0x02),         Out(0x3D5, 0x7F),
        Out(0x3D4, 0x03),         Out(0x3D5, 0x87),         Out(0x3D4, 0x04),
        Out(0x3D5, 0x85),         Out(0x3D4, 0x05),         Out(0x3D5, 0x96),
        Out(0x3D4, 0x06),         Out(0x3D5, 0x24),         Out(0x3D4, 0x07),
        Out(0x3D5, 0xF5),         Out(0x3D4, 0x10),         Out(0x3D5, 0x02),
        Out(0x3D4, 0x11),         Out(0x3D5, 0x88),         Out(0x3D4, 0x12),
        Out(0x3D5, 0xFF),         Out(0x3D4, 0x13),         Out(0x3D5, 0x80),
        Out(0x3D4, 0x15),         Out(0x3D5, 0xFF),         Out(0x3D4, 0x16),
        Out(0x3D5, 0x25),         Out(0x3D4, 0x30),         Out(0x3D5, 0x03),
        Out(0x3D4, 0x31),         Out(0x3D5, 0x02),         Out(0x3D4, 0x32),
        Out(0x3D5, 0x03),         Out(0x3D4, 0x33),         Out(0x3D5, 0x02),
        Out(0x3C2, 0x2B),         Out(0x3D6, 0xC8),         Out(0x3D7, 0x1F),
        Out(0x3D6, 0xC9),         Out(0x3D7, 0x20),         Out(0x3D6, 0xCA),
        Out(0x3D7, 0x00),         Out(0x3D6, 0xCB),         Out(0x3D7, 0x21),
        Out(0x3C2, 0x2B),         Store(kWindow + 3, 0x0A), Store(kWindow + 2, 0x0C),
        Store(kWindow + 1, 0x00), Store(kWindow + 0, 0x00),
    };
    EXPECT_TRUE(support::SameTrace(Trace(), expected));
    EXPECT_TRUE(host::TheMachine().messageBoxes.empty());
}

// Registers the sequence writes end up holding the table's values; nothing else is touched. Every
// register starts at a fill value with the lock bit of CRTC 0x11 set, so the CRTC 0x00-0x07 check
// fails unless the lock is cleared first.
TEST_F(HwTest, FinalRegisterState1024x768x8At60) {
    adapter::Adapter& a = host::TheMachine().adapter;
    a.crtc.fill(0xEE);
    a.ext.fill(0xDD);
    a.window.fill(0xCC);
    ProgramTiming(Select(1024, 768, 8, "60"), kWindow);

    std::array<uint8_t, 256> crtc;
    crtc.fill(0xEE);
    const uint8_t timing[8] = {0xA3, 0x7F, 0x7F, 0x87, 0x85, 0x96, 0x24, 0xF5};
    std::copy(timing, timing + 8, crtc.begin());
    crtc[0x10] = 0x02;
    crtc[0x11] = 0x88; // the record's value, lock bit and all
    crtc[0x12] = 0xFF;
    crtc[0x13] = 0x80;
    crtc[0x15] = 0xFF;
    crtc[0x16] = 0x25;
    crtc[0x30] = 0x03;
    crtc[0x31] = 0x02;
    crtc[0x32] = 0x03;
    crtc[0x33] = 0x02;
    EXPECT_EQ(a.crtc, crtc);

    std::array<uint8_t, 256> ext;
    ext.fill(0xDD);
    ext[0x09] = 0x01;
    ext[0xC8] = 0x1F;
    ext[0xC9] = 0x20;
    ext[0xCA] = 0x00;
    ext[0xCB] = 0x21;
    EXPECT_EQ(a.ext, ext);

    std::vector<int> misc;
    for (const Access& access : a.trace) {
        if (access.op == adapter::Op::Out && access.where == 0x3C2) {
            misc.push_back(access.value);
        }
    }
    EXPECT_EQ(misc, (std::vector<int>{0x2B, 0x2B}));
    EXPECT_EQ(a.miscOutput, 0x2B);

    // Read as a little-endian 32-bit word, the window holds the table's bytes read big-endian.
    EXPECT_EQ(a.window, (std::array<uint8_t, 4>{0x00, 0x00, 0x0C, 0x0A}));
    uint32_t word = 0;
    std::memcpy(&word, a.window.data(), 4); // the host is little-endian like the target
    EXPECT_EQ(word, 0x0A0C0000u);
    EXPECT_EQ(adapter::CountUndecoded(a), 0u);
}

// Every row, rate and depth the tables cover: the accesses follow the programming order with the
// selection's own bytes. The 1024x768 60 Hz run alone cannot tell apart registers that happen to get
// equal values there (CRTC 0x01/0x02, 0x12/0x15, 0x30/0x32).
TEST_F(HwTest, EverySelectionFollowsTheTable) {
    const int resolutions[][2] = {{640, 480},   {800, 600},   {1024, 768}, {1152, 864},
                                  {1280, 1024}, {1600, 1200}, {800, 480},  {1280, 960}};
    const char* const rates[]  = {"60", "72", "75", "85", "100", "120", "160", ""};
    const int depths[]         = {8, 15, 16, 24};
    for (const auto& res : resolutions) {
        for (const char* rate : rates) {
            for (int bpp : depths) {
                ResetAll();
                displayState = support::MakeDisplayState(res[0], res[1], bpp, rate);
                TimingSelection expected{};
                // A rate whose record is all zero is no timing set: the empty text and the rates a
                // row lacks (1280x960 "160" is rate index 4 of 640x480's list, empty at 1280).
                if (SelectTiming(&displayState, &expected) != kTimingSelected) {
                    continue;
                }
                ProgramTiming(&expected, kWindow);
                EXPECT_TRUE(support::SameTrace(Trace(), Sequence(expected, 0x8E, true)))
                    << res[0] << "x" << res[1] << " " << bpp << " bpp \"" << rate << "\"";
            }
        }
    }
}

// Without a window the port writes stand: exactly 1 read, 24 indexed writes and 2 direct writes,
// and not a single store, neither with the whole sequence handed no window nor with its port half.
TEST_F(HwTest, NoWindowMeansNoStore) {
    for (int half = 0; half < 2; ++half) {
        ResetAll();
        const TimingSelection* selection = Select(1024, 768, 16, "85");
        if (half) {
            ProgramTimingPorts(selection);
        } else {
            ProgramTiming(selection, 0);
        }
        size_t reads = 0, indexWrites = 0, indexedWrites = 0, directWrites = 0, stores = 0;
        for (const Access& a : Trace()) {
            reads += a.op == adapter::Op::In;
            stores += a.op == adapter::Op::Store;
            indexWrites += a.op == adapter::Op::Out && (a.where == 0x3D4 || a.where == 0x3D6);
            indexedWrites += a.op == adapter::Op::Out && (a.where == 0x3D5 || a.where == 0x3D7);
            directWrites += a.op == adapter::Op::Out && a.where == 0x3C2;
        }
        EXPECT_EQ(reads, 1u);
        EXPECT_EQ(indexWrites, 25u); // 24 writes and the one read
        EXPECT_EQ(indexedWrites, 24u);
        EXPECT_EQ(directWrites, 2u);
        EXPECT_EQ(stores, 0u);
        EXPECT_EQ(Trace(), Sequence(*selection, 0x8E, false));
        EXPECT_EQ(Trace().size(), size_t{SequenceAccesses(0, FirstWindowStep())});
        EXPECT_TRUE(host::TheMachine().calls.empty()) << "the sequence asks Windows nothing";
    }
}

// The mapping VxD's answer, asked by a program that speaks for itself: whatever it answers, the
// asking shows no box and writes no line; what it answered is in the result.
TEST_F(HwTest, AskingTheMappingVxdTellsNobody) {
    const struct {
        DriverBehaviour behaviour;
        VxdAnswer answer;
        RegisterWindow registers;
        DWORD error;
    } cases[] = {{DriverBehaviour::Window, kVxdWindow, kWindow, 0},
                 {DriverBehaviour::Missing, kVxdDoesNotOpen, 0, ERROR_FILE_NOT_FOUND},
                 {DriverBehaviour::Unsupported, kVxdDoesNotOpen, 0, ERROR_NOT_SUPPORTED},
                 {DriverBehaviour::IoctlFails, kVxdCallFails, 0, 0},
                 {DriverBehaviour::NullWindow, kVxdAddressZero, 0, 0},
                 {DriverBehaviour::NoOutput, kVxdAddressZero, 0, 0}};
    for (const auto& c : cases) {
        ResetAll();
        host::TheMachine().driver = c.behaviour;
        RegisterWindow registers  = 0;
        DWORD error               = 0;
        std::string printed;
        printed = CapturedStdout([&] { EXPECT_EQ(AskMappingVxd(&registers, &error), c.answer); });
        EXPECT_EQ(registers, c.registers);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(printed, "");
        EXPECT_TRUE(host::TheMachine().messageBoxes.empty());
        EXPECT_TRUE(host::TheMachine().openObjects.empty());
    }
}

} // namespace
