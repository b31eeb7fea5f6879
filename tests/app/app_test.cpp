// The whole program on the host stand-in: the run's order and its silent stops, and the shell
// around it (window class, hidden window, message loop, exit code).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app.h"
#include "diag/access_list.h"
#include "res/resource.h"
#include "simulator.h"
#include "tests/support/process.h"
#include "timing/timing.h"

namespace {

using adapter::Op;

// A report line from `line` on, with the lines that go on it (indented four columns) joined again.
std::string Unwrapped(std::vector<std::string>::const_iterator line,
                      std::vector<std::string>::const_iterator end) {
    std::string text = *line;
    while (++line != end && line->rfind("    ", 0) == 0) {
        text += " " + line->substr(4);
    }
    return text;
}

std::vector<std::string> CallsAmong(std::initializer_list<const char*> names) {
    std::vector<std::string> picked;
    for (const std::string& call : host::TheMachine().calls) {
        if (std::find(names.begin(), names.end(), call) != names.end()) {
            picked.push_back(call);
        }
    }
    return picked;
}

TEST(Run, TypicalMachineAsksInOrderAndProgramsTheAdapter) {
    sim::RunResult r = sim::Run(sim::SimulatedMachine{});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.messageBoxes.empty());
    EXPECT_EQ(r.standardOutput, "");
    EXPECT_EQ(CallsAmong({"GetWindowsDirectoryA", "RegOpenKeyExA", "GetSystemMetrics", "CreateDCA",
                          "DeviceIoControl"}),
              (std::vector<std::string>{"GetWindowsDirectoryA", "RegOpenKeyExA", "GetSystemMetrics",
                                        "GetSystemMetrics", "CreateDCA", "DeviceIoControl"}));
    EXPECT_EQ(displayState.listRow, 4u);
    EXPECT_EQ(displayState.rateIndex, 2u);
    EXPECT_EQ(displayState.bitsPerPixel, 16);
    const adapter::Adapter& a = r.finalAdapter;
    // The 1024x768 85 Hz record's CRTC 0x00-0x07.
    EXPECT_EQ((std::vector<int>(a.crtc.begin(), a.crtc.begin() + 8)),
              (std::vector<int>{0xA7, 0x7F, 0x7F, 0x8B, 0x88, 0x94, 0x26, 0xF5}));
    EXPECT_EQ(a.crtc[0x13], 0x00);
    EXPECT_EQ(a.miscOutput, 0x2B);
    EXPECT_EQ((std::vector<int>(a.window.begin(), a.window.end())),
              (std::vector<int>{0x00, 0x00, 0x14, 0x1C}));
    EXPECT_EQ(r.summary, "85 Hz at 1024 x 768, High Color (16 bit)");
}

// The skip bit is read after the driver check and before the registry and the display are asked.
TEST(Run, SkipBitSetStopsBeforeRegistryAndDisplay) {
    for (uint8_t value : {0x20, 0x3F, 0xFF}) {
        sim::SimulatedMachine machine;
        machine.crtc75   = value;
        sim::RunResult r = sim::Run(machine);
        EXPECT_TRUE(support::OnlySkipBitRead(r.accesses));
        EXPECT_TRUE(CallsAmong({"RegOpenKeyExA", "GetSystemMetrics", "CreateDCA"}).empty());
        EXPECT_EQ(r.exitCode, 0);
    }
}

TEST(Run, WithoutTheDriverLineNoPortIsTouched) {
    sim::SimulatedMachine machine;
    machine.systemIni = std::string("[boot.description]\r\ndisplay.drv=Other series\r\n");
    sim::RunResult r  = sim::Run(machine);
    EXPECT_TRUE(r.accesses.empty());
    EXPECT_TRUE(r.messageBoxes.empty());
    EXPECT_TRUE(CallsAmong({"RegOpenKeyExA", "GetSystemMetrics", "CreateDCA", "DeviceIoControl"}).empty());
    EXPECT_EQ(r.exitCode, 0);
}

TEST(Run, MissingSystemIniShowsTheOneMessageAndTouchesNothing) {
    sim::SimulatedMachine machine;
    machine.systemIni.reset();
    sim::RunResult r = sim::Run(machine);
    ASSERT_EQ(r.messageBoxes.size(), 1u);
    EXPECT_EQ(r.messageBoxes[0].text, "Open System.ini error!");
    EXPECT_TRUE(r.accesses.empty());
    EXPECT_EQ(r.exitCode, 0);
}

// Started the ordinary way, with no standard output, a mapping driver that does not open is told
// nowhere: the port writes stand and the program ends as usual.
TEST(Run, DriverThatDoesNotOpenWithoutStandardOutputGoesOn) {
    for (HANDLE output : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        sim::SimulatedMachine machine;
        machine.driver = host::DriverBehaviour::Missing;
        sim::PrepareMachine(machine);
        host::Machine& m = host::TheMachine();
        m.standardOutput = output;
        sim::StdoutCapture capture;
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
        EXPECT_EQ(capture.Finish(), "");
        EXPECT_EQ(m.adapter.trace.size(), size_t{kSkipBitAccesses + kSequenceAccesses});
        EXPECT_TRUE(m.messageBoxes.empty());
        EXPECT_EQ(host::CountCalls("WriteFile"), 0u);
        EXPECT_FALSE(m.messageLoopWouldBlock);
    }
}

// Planar displays, 4 bits per pixel or fewer: every probe is asked, but only the skip-bit read
// reaches the adapter. From 5 bits on the whole timing set is written.
TEST(Run, FourBitsOrFewerOrNoDisplayContextWriteNothingFiveProgram) {
    const struct {
        int bitsPerPixel;
        bool programs;
    } cases[] = {{0, false}, {1, false}, {4, false}, {5, true}, {8, true}};
    for (const auto& c : cases) {
        sim::SimulatedMachine machine;
        machine.bitsPerPixel = c.bitsPerPixel;
        sim::RunResult r     = sim::Run(machine);
        EXPECT_EQ(support::OnlySkipBitRead(r.accesses), !c.programs) << c.bitsPerPixel;
        EXPECT_EQ(r.accesses.size(), c.programs ? size_t{kLongestRun} : size_t{kSkipBitAccesses})
            << c.bitsPerPixel;
        EXPECT_EQ(
            CallsAmong({"RegOpenKeyExA", "GetSystemMetrics", "CreateDCA"}),
            (std::vector<std::string>{"RegOpenKeyExA", "GetSystemMetrics", "GetSystemMetrics", "CreateDCA"}));
    }
    sim::PrepareMachine(sim::SimulatedMachine{});
    host::TheMachine().displayDcFails = true;
    WinMain(nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(displayState.bitsPerPixel, 0);
    EXPECT_EQ(host::TheMachine().adapter.trace.size(), 2u);
}

// A table record of zeros is no timing: written out, its horizontal total of 0 would cost the
// monitor its sync at every start. Where the run selects one (the 720-pixel rows at any depth and
// height, and an empty rate text, which matches a row's first empty entry), and where the tables
// have no row for the width or no column for the depth, the adapter sees the skip-bit read and
// nothing else; the mapping driver is not even opened, and nothing is printed. A record whose
// mapped word is zero is a timing and is written whole.
TEST(Run, NoTimingInTheTablesWritesNothingAfterTheSkipBitRead) {
    const char* const k720 = "the tables hold no timing for a screen 720 pixels wide, at any rate; choose "
                             "another screen size in Display Properties";
    struct Case {
        const char* name;
        int width, height, bitsPerPixel;
        sim::RateSetting rate;
        const char* rateText;
        const char* stop; // why the run writes nothing; nullptr where it writes
    } cases[] = {
        {"720x480, 8 bits", 720, 480, 8, sim::RateSetting::Text, "60", k720},
        {"720x480, 16 bits", 720, 480, 16, sim::RateSetting::Text, "85", k720},
        {"720x480, 24 bits", 720, 480, 24, sim::RateSetting::Text, "0", k720},
        {"720x576, 8 bits", 720, 576, 8, sim::RateSetting::Text, "75", k720},
        {"720x576, 16 bits", 720, 576, 16, sim::RateSetting::NoKey, "", k720},
        {"720x576, 24 bits", 720, 576, 24, sim::RateSetting::Text, "", k720},
        {"720x400", 720, 400, 16, sim::RateSetting::Text, "60", k720},
        {"no row for 1920", 1920, 1080, 16, sim::RateSetting::Text, "60",
         "the tables hold no timing for a screen 1920 pixels wide, at any rate; choose another "
         "screen size in Display Properties"},
        {"no row for 0", 0, 0, 8, sim::RateSetting::Text, "",
         "the tables hold no timing for a screen 0 pixels wide, at any rate; choose another "
         "screen size in Display Properties"},
        {"25 bits", 1024, 768, 25, sim::RateSetting::Text, "60",
         "the tables hold no timing for 25 bits per pixel; choose fewer colors in Display Properties"},
        {"32 bits", 1024, 768, 32, sim::RateSetting::Text, "85",
         "the tables hold no timing for True Color (32 bit); choose fewer colors in Display Properties"},
        {"1152x864, empty rate", 1152, 864, 16, sim::RateSetting::Text, "",
         "the tables hold no timing for an empty rate; choose a rate with LUMSET"},
        {"1600x1200, empty rate", 1600, 1200, 8, sim::RateSetting::Text, "",
         "the tables hold no timing for an empty rate; choose a rate with LUMSET"},
        {"1024x768, no settings key", 1024, 768, 16, sim::RateSetting::NoKey, "",
         "the tables hold no timing for an empty rate; choose a rate with LUMSET"},
        {"1024x768, no RefreshRate value (60 Hz)", 1024, 768, 16, sim::RateSetting::NoValue, "", nullptr},
        {"1024x768, 24 bits, 120 (zero word)", 1024, 768, 24, sim::RateSetting::Text, "120", nullptr},
    };
    for (const Case& c : cases) {
        sim::SimulatedMachine machine;
        machine.width        = c.width;
        machine.height       = c.height;
        machine.bitsPerPixel = c.bitsPerPixel;
        machine.rate         = c.rate;
        machine.rateText     = c.rateText;
        sim::RunResult r     = sim::Run(machine);
        EXPECT_EQ(support::OnlySkipBitRead(r.accesses), c.stop != nullptr) << c.name;
        EXPECT_EQ(r.accesses.size(), c.stop == nullptr ? size_t{kLongestRun} : size_t{kSkipBitAccesses})
            << c.name;
        // system.ini, and the mapping driver only where the run writes.
        EXPECT_EQ(host::CountCalls("CreateFileA"), c.stop == nullptr ? 2u : 1u) << c.name;
        EXPECT_TRUE(r.messageBoxes.empty()) << c.name;
        EXPECT_EQ(r.standardOutput, "") << c.name;
        EXPECT_EQ(r.exitCode, 0) << c.name;
        if (c.stop == nullptr) {
            continue;
        }
        EXPECT_EQ(r.summary, std::string("stopped: ") + c.stop) << c.name;
        auto verdict = std::find_if(r.report.begin(), r.report.end(),
                                    [](const std::string& line) { return line.rfind("verdict: ", 0) == 0; });
        ASSERT_TRUE(verdict != r.report.end() && verdict + 1 != r.report.end()) << c.name;
        EXPECT_EQ(*verdict, "verdict: LUMRATE would leave the adapter as it is on this machine") << c.name;
        EXPECT_EQ(Unwrapped(verdict + 1, r.report.end()), std::string("  why: ") + c.stop) << c.name;
    }
    // The zero word goes to the window like any other: 1024x768 at 24 bits, 120 Hz.
    sim::SimulatedMachine machine;
    machine.bitsPerPixel = 24;
    machine.rateText     = "120";
    sim::RunResult r     = sim::Run(machine);
    EXPECT_EQ(r.finalAdapter.crtc[0x00], 0xA7);
    EXPECT_EQ(r.finalAdapter.crtc[0x13], 0x80);
    EXPECT_EQ(r.accesses.back(), (adapter::Access{Op::Store, adapter::kDefaultWindowBase, 0x00, false}));
}

// 1280x960 is no supported mode: the rate comes from the 640x480 list, the registers from the
// 1280-pixel row (the 1280x1024 100 Hz record, horizontal total CF; offset 40 at 16 bits).
TEST(Run, UnknownResolutionUsesRowZeroRatesAndTheWidthsRegisters) {
    sim::SimulatedMachine machine;
    machine.width    = 1280;
    machine.height   = 960;
    machine.rateText = "120";
    sim::RunResult r = sim::Run(machine);
    EXPECT_EQ(displayState.listRow, 0u);
    EXPECT_EQ(displayState.rateIndex, 3u);
    EXPECT_EQ(r.finalAdapter.crtc[0x00], 0xCF);
    EXPECT_EQ(r.finalAdapter.crtc[0x13], 0x40);
}

TEST(Shell, RegistersTheClassAndCreatesAHiddenWindow) {
    sim::RunResult r       = sim::Run(sim::SimulatedMachine{});
    const host::Machine& m = host::TheMachine();
    ASSERT_EQ(m.registeredClasses.size(), 1u);
    const host::ClassRecord& c = m.registeredClasses[0];
    EXPECT_TRUE(c.extended);
    EXPECT_EQ(c.cbSize, sizeof(WNDCLASSEXA));
    EXPECT_EQ(c.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(c.proc, &MainWndProc);
    EXPECT_EQ(c.className, "Simple");
    EXPECT_EQ(c.menuName, "Simple");
    EXPECT_EQ(c.icon, nullptr);
    EXPECT_EQ(c.iconSmall, nullptr);
    EXPECT_NE(c.cursor, nullptr);
    EXPECT_EQ(c.background, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    ASSERT_EQ(m.createdWindows.size(), 1u);
    EXPECT_EQ(m.createdWindows[0].title, "Simple Example Application");
    EXPECT_EQ(m.createdWindows[0].style, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(m.createdWindows[0].x, CW_USEDEFAULT);
    EXPECT_EQ(m.createdWindows[0].width, CW_USEDEFAULT);
    EXPECT_TRUE(m.shownWindows.empty());
    EXPECT_FALSE(m.messageLoopWouldBlock);
    EXPECT_EQ(m.dispatchedMessages, std::vector<UINT>{WM_DESTROY});
    EXPECT_EQ(r.exitCode, 0);
}

TEST(Shell, FallsBackToThePlainClassWhenTheExtendedOneIsRefused) {
    sim::PrepareMachine(sim::SimulatedMachine{});
    host::TheMachine().registerClassExFails = true;
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    const host::Machine& m = host::TheMachine();
    ASSERT_EQ(m.registeredClasses.size(), 1u);
    EXPECT_FALSE(m.registeredClasses[0].extended);
    EXPECT_EQ(m.registeredClasses[0].className, "Simple");
    EXPECT_EQ(m.registeredClasses[0].menuName, "Simple");
    EXPECT_EQ(m.registeredClasses[0].proc, &MainWndProc);
    EXPECT_FALSE(m.adapter.trace.empty()); // the run took place
}

// refresh-sim tells such a run by what failed, not as a system.ini without the driver's line.
TEST(Shell, NoClassOrNoWindowMeansNoRun) {
    struct Case {
        bool exFails, plainFails, windowFails;
        const char* summary;
    } cases[] = {
        {true, true, false,
         "stopped: the window class was refused (RegisterClassExA and RegisterClassA failed)"},
        {false, false, true, "stopped: the main window was not created"},
        {true, false, true, "stopped: the main window was not created"},
    };
    for (const Case& c : cases) {
        sim::PrepareMachine(sim::SimulatedMachine{});
        host::Machine& m       = host::TheMachine();
        m.registerClassExFails = c.exFails;
        m.registerClassFails   = c.plainFails;
        m.createWindowFails    = c.windowFails;
        sim::RunResult r       = sim::RunPrepared();
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(host::CountCalls("GetWindowsDirectoryA"), 0u);
        EXPECT_TRUE(m.adapter.trace.empty());
        EXPECT_EQ(host::CountCalls("GetMessageA"), 0u);
        EXPECT_TRUE(m.messageBoxes.empty());
        EXPECT_EQ(r.summary, c.summary);
        EXPECT_EQ(r.report.front(), std::string("stop: ") + (c.summary + sizeof "stopped: " - 1));
    }
}

// The exit command and WM_DESTROY are the window procedure's own, answered 0; every other message,
// other commands included, goes to DefWindowProcA, whose answer comes back unchanged.
TEST(Shell, ExitCommandDestroysTheWindowOthersGoToTheDefault) {
    sim::PrepareMachine(sim::SimulatedMachine{});
    ASSERT_EQ(RegisterMainClass(nullptr), 1);
    ASSERT_EQ(CreateMainWindow(nullptr, 0), 1);
    host::Machine& m = host::TheMachine();

    const struct {
        UINT message;
        WPARAM wParam;
    } others[]      = {{WM_COMMAND, 1001}, {WM_COMMAND, IDM_EXIT + 1}, {WM_PAINT, 0}, {WM_CLOSE, 0}};
    size_t defaults = 0;
    for (const auto& o : others) {
        EXPECT_EQ(MainWndProc(mainWindow, o.message, o.wParam, 0), host::kDefWindowProcAnswer) << o.message;
        EXPECT_EQ(host::CountCalls("DefWindowProcA"), ++defaults);
    }
    EXPECT_EQ(host::CountCalls("DestroyWindow"), 0u);

    HWND window = mainWindow;
    EXPECT_EQ(MainWndProc(window, WM_COMMAND, IDM_EXIT, 0), 0);
    EXPECT_EQ(host::CountCalls("DestroyWindow"), 1u);
    EXPECT_EQ(host::CountCalls("PostQuitMessage"), 1u);
    EXPECT_EQ(m.window, nullptr);
    EXPECT_EQ(MainWndProc(window, WM_DESTROY, 0, 0), 0);
    EXPECT_EQ(host::CountCalls("PostQuitMessage"), 2u);
    EXPECT_EQ(host::CountCalls("DefWindowProcA"), defaults);

    MSG message;
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), FALSE);
    EXPECT_EQ(message.wParam, 0u);
}

} // namespace
