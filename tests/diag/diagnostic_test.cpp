// The diagnostic on the host: the utility's own run, reading the simulated adapter through the
// diagnostic's primitives. On every machine of one table its report equals refresh-sim's for the
// same machine, and the adapter sees nothing but the index writes its two reads need, between a read
// of the CRTC index register and its writing back.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "diag/diagnostic.h"
#include "diag/dry_ports.h"
#include "diag/access_list.h"
#include "hw/primitives.h"
#include "hw/vga.h"
#include "machine.h"
#include "simulator.h"
#include "tests/support/refresh_sim.h"
#include "tests/support/scratch_folder.h"

namespace {

using adapter::Access;
using adapter::Op;
using host::DriverBehaviour;

struct MachineRow {
    std::string name;
    sim::SimulatedMachine machine;
};

sim::SimulatedMachine With(void (*change)(sim::SimulatedMachine&)) {
    sim::SimulatedMachine machine;
    change(machine);
    return machine;
}

// clang-format off
const MachineRow kMachines[] = {
    {"typical",             sim::SimulatedMachine{}},
    {"640x480, 8 bpp, 120", With([](sim::SimulatedMachine& m) { m.width = 640; m.height = 480; m.bitsPerPixel = 8; m.rateText = "120"; })},
    {"1600x1200, no key",   With([](sim::SimulatedMachine& m) { m.width = 1600; m.height = 1200; m.rate = sim::RateSetting::NoKey; })},
    {"no RefreshRate",      With([](sim::SimulatedMachine& m) { m.rate = sim::RateSetting::NoValue; })},
    {"720x576",             With([](sim::SimulatedMachine& m) { m.width = 720; m.height = 576; })},
    {"skip bit set",        With([](sim::SimulatedMachine& m) { m.crtc75 = 0x3F; })},
    {"another Windows folder", With([](sim::SimulatedMachine& m) { m.windowsDirectory = "D:\\WIN98"; })},
    {"Windows folder too long", With([](sim::SimulatedMachine& m) { m.windowsDirectory = "C:\\" + std::string(250, 'W'); })},
    {"bytes outside ASCII", With([](sim::SimulatedMachine& m) { m.rateText = "7\xE9\x01\"\\"; m.windowsDirectory = "C:\\WIN\xE9"; })},
    {"no system.ini",       With([](sim::SimulatedMachine& m) { m.systemIni.reset(); })},
    {"no driver line",      With([](sim::SimulatedMachine& m) { m.systemIni = "[boot.description]\r\ndisplay.drv=other\r\n"; })},
    {"line without LF",     With([](sim::SimulatedMachine& m) { m.systemIni = "[boot.description]\r\ndisplay.drv=Lumarel series"; })},
    {"line with a blank",   With([](sim::SimulatedMachine& m) { m.systemIni = "[boot.description]\r\ndisplay.drv=Lumarel series \r\n"; })},
    {"header in capitals",  With([](sim::SimulatedMachine& m) { m.systemIni = "[Boot.Description]\r\ndisplay.drv=Lumarel series\r\n"; })},
    {"line before header",  With([](sim::SimulatedMachine& m) { m.systemIni = "display.drv=Lumarel series\n[boot.description]\n"; })},
    {"blanks around =",     With([](sim::SimulatedMachine& m) { m.systemIni = "[boot.description]\ndisplay.drv = Lumarel series\n"; })},
    {"other letter case",   With([](sim::SimulatedMachine& m) { m.systemIni = "[boot.description]\nDisplay.drv=LUMAREL SERIES\n"; })},
    {"720x480",             With([](sim::SimulatedMachine& m) { m.width = 720; m.height = 480; m.bitsPerPixel = 8; })},
    {"1152x864, empty rate", With([](sim::SimulatedMachine& m) { m.width = 1152; m.height = 864; m.rateText = ""; })},
    {"1024x768, no key",    With([](sim::SimulatedMachine& m) { m.rate = sim::RateSetting::NoKey; })},
    {"rate not listed",     With([](sim::SimulatedMachine& m) { m.rateText = "70"; })},
    {"1280x960, 120",       With([](sim::SimulatedMachine& m) { m.width = 1280; m.height = 960; m.rateText = "120"; })},
    {"800x480",             With([](sim::SimulatedMachine& m) { m.width = 800; m.height = 480; m.rateText = "75"; })},
    {"24 bits, zero word",  With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 24; m.rateText = "120"; })},
    {"long rate text",      With([](sim::SimulatedMachine& m) { m.rateText = std::string(200, '\xFF'); })},
    {"4 bpp",               With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 4; })},
    {"32 bpp",              With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 32; })},
    {"no row for 1000",     With([](sim::SimulatedMachine& m) { m.width = 1000; m.height = 700; })},
    {"driver missing",      With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::Missing; })},
    {"driver unsupported",  With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::Unsupported; })},
    {"control call fails",  With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::IoctlFails; })},
    {"null window",         With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::NullWindow; })},
    {"driver without output", With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::NoOutput; })},
};
// clang-format on

// The same machine as refresh-sim's options; system.ini goes through a file of the host.
std::string Options(const sim::SimulatedMachine& m, const std::string& iniFile) {
    char text[160];
    std::snprintf(text, sizeof text, "--json --screen %dx%d --bpp %d --crtc75 0x%02X --driver %s", m.width,
                  m.height, m.bitsPerPixel, m.crtc75, host::NameOf(m.driver));
    std::string options = text + std::string(" '--windows-directory=") + m.windowsDirectory + "'";
    switch (m.rate) {
    case sim::RateSetting::Text: options += " '--rate=" + m.rateText + "'"; break;
    case sim::RateSetting::NoValue: options += " --no-rate"; break;
    case sim::RateSetting::NoKey: options += " --no-settings-key"; break;
    }
    if (!m.systemIni) {
        return options + " --no-system-ini";
    }
    std::ofstream(iniFile, std::ios::binary) << *m.systemIni;
    return options + " --system-ini " + iniFile;
}

// Index latches that no run leaves behind by chance.
const uint8_t kCrtcIndexBefore = 0x5A;
const uint8_t kExtIndexBefore  = 0xA5;

std::vector<std::string> RunDiagnosticOn(const sim::SimulatedMachine& machine) {
    sim::PrepareMachine(machine);
    host::TheMachine().adapter.crtcLatch = kCrtcIndexBefore;
    host::TheMachine().adapter.extLatch  = kExtIndexBefore;
    plannedAccessCount                   = 0;
    std::vector<std::string> lines;
    sim::StdoutCapture capture; // the mapping driver's texts, which the diagnostic leaves to the product
    RunDiagnostic(
        [](const char* line, void* out) { static_cast<std::vector<std::string>*>(out)->push_back(line); },
        &lines);
    return lines;
}

// The table above, and a grid of screens, rate texts, depths and mapping drivers, so that the two
// reports cannot drift apart on a machine nobody thought of.
std::vector<MachineRow> Machines() {
    std::vector<MachineRow> machines(std::begin(kMachines), std::end(kMachines));
    const int screens[][2]          = {{640, 480},  {720, 576},  {800, 600},   {1024, 768},
                                       {1152, 864}, {1280, 960}, {1600, 1200}, {1920, 1080}};
    const char* const rates[]       = {"60", "72", "85", "120", "", "9"};
    const int depths[]              = {8, 16, 24};
    const DriverBehaviour drivers[] = {DriverBehaviour::Window, DriverBehaviour::NullWindow,
                                       DriverBehaviour::Missing};
    size_t n                        = 0;
    for (const auto& screen : screens) {
        for (const char* rate : rates) {
            for (int bpp : depths) {
                sim::SimulatedMachine m;
                m.width        = screen[0];
                m.height       = screen[1];
                m.rateText     = rate;
                m.bitsPerPixel = bpp;
                m.driver       = drivers[n++ % std::size(drivers)];
                machines.push_back({std::to_string(m.width) + "x" + std::to_string(m.height) + ", " +
                                        std::to_string(bpp) + " bits, \"" + rate + "\"",
                                    m});
            }
        }
    }
    return machines;
}

TEST(Diagnostic, ReportsWhatRefreshSimReportsForTheSameMachine) {
    support::ScratchFolder folder;
    const std::string iniFile = folder.File("system.ini");
    for (const MachineRow& row : Machines()) {
        support::SimOutcome sim = support::RunRefreshSim(Options(row.machine, iniFile));
        ASSERT_EQ(sim.exitCode, 0) << row.name << ": " << sim.out;
        std::vector<std::string> want = nlohmann::json::parse(sim.out)["report"];

        std::vector<std::string> got = RunDiagnosticOn(row.machine);
        EXPECT_EQ(got, want) << row.name;
    }
}

// The real accesses: the CRTC index register read first, then an index write and the read of its
// data port each, then the index register written back as it was; no window store, no register
// changed, both index registers as before. The report marks exactly those pairs as made.
TEST(Diagnostic, TouchesTheAdapterOnlyToReadIt) {
    for (const MachineRow& row : kMachines) {
        std::vector<std::string> report = RunDiagnosticOn(row.machine);
        const adapter::Adapter& a       = host::TheMachine().adapter;
        adapter::Adapter before         = adapter::MakeAdapter();
        before.crtc[EXT_CRTC_75]        = row.machine.crtc75;
        const std::vector<Access>& t    = a.trace;
        if (!t.empty()) {
            ASSERT_GE(t.size(), 4u) << row.name;
            EXPECT_EQ(t.front(), (Access{Op::In, VGA_CRT_IC, kCrtcIndexBefore, false})) << row.name;
            EXPECT_EQ(t.back(), (Access{Op::Out, VGA_CRT_IC, kCrtcIndexBefore, false})) << row.name;
            ASSERT_EQ(t.size() % 2, 0u) << row.name;
            for (size_t i = 1; i + 1 < t.size(); i += 2) {
                EXPECT_TRUE(t[i].op == Op::Out && t[i].where == VGA_CRT_IC) << row.name;
                EXPECT_TRUE(t[i + 1].op == Op::In && t[i + 1].where == VGA_CRT_DC) << row.name;
            }
        }
        size_t made = std::count_if(report.begin(), report.end(),
                                    [](const std::string& line) { return line.rfind("  made ", 0) == 0; });
        EXPECT_EQ(made, t.empty() ? 0 : t.size() - 2) << row.name;
        EXPECT_EQ(adapter::CountUndecoded(a), 0u) << row.name;
        EXPECT_EQ(a.crtcLatch, kCrtcIndexBefore) << row.name;
        EXPECT_EQ(a.extLatch, kExtIndexBefore) << row.name;
        EXPECT_EQ(a.crtc, before.crtc) << row.name;
        EXPECT_EQ(a.ext, before.ext) << row.name;
        EXPECT_EQ(a.miscOutput, before.miscOutput) << row.name;
        EXPECT_EQ(a.window, before.window) << row.name;
    }
}

// The verdict tells the three outcomes apart, and says why where the rate would not be set.
TEST(Diagnostic, VerdictSaysWhatWouldHappenAndWhy) {
    struct Case {
        const char* name;
        void (*change)(sim::SimulatedMachine&);
        std::vector<std::string> verdict;
    } cases[] = {
        {"typical",
         [](sim::SimulatedMachine&) {},
         {"verdict: the utility would set the rate on this machine"}},
        {"driver missing",
         [](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::Missing; },
         {"verdict: the utility would set the timing registers, not the memory-mapped one",
          "  why: no register window: PHYSWIN.VXD does not open (error code 0x2)"}},
        {"unsupported",
         [](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::Unsupported; },
         {"verdict: the utility would set the timing registers, not the memory-mapped one",
          "  why: no register window: PHYSWIN.VXD does not support DeviceIoControl"}},
        {"control call fails",
         [](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::IoctlFails; },
         {"verdict: the utility would set the timing registers, not the memory-mapped one",
          "  why: no register window: PHYSWIN.VXD opens but does not map the registers"}},
        {"address 0",
         [](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::NullWindow; },
         {"verdict: the utility would set the timing registers, not the memory-mapped one",
          "  why: no register window: PHYSWIN.VXD answers address 0"}},
        {"skip bit",
         [](sim::SimulatedMachine& m) { m.crtc75 = 0x20; },
         {"verdict: the utility would leave the adapter as it is on this machine",
          "  why: the skip bit is set"}},
        {"720x576",
         [](sim::SimulatedMachine& m) {
             m.width  = 720;
             m.height = 576;
         },
         {"verdict: the utility would leave the adapter as it is on this machine",
          "  why: the tables hold no timing for a screen 720 pixels wide, at any rate"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> report = RunDiagnosticOn(With(c.change));
        ASSERT_GE(report.size(), c.verdict.size()) << c.name;
        EXPECT_EQ(std::vector<std::string>(report.end() - static_cast<long>(c.verdict.size()), report.end()),
                  c.verdict)
            << c.name;
    }
}

// The report's lines with each wrapped line joined again, so that a case names the sentence as
// it was written, whatever the width cuts.
std::vector<std::string> Unwrapped(const std::vector<std::string>& lines) {
    std::vector<std::string> joined;
    for (const std::string& line : lines) {
        if (!joined.empty() && line.rfind("    ", 0) == 0) {
            joined.back() += " " + line.substr(4);
        } else {
            joined.push_back(line);
        }
    }
    return joined;
}

// Whether `want` stands in `lines` as one run of consecutive lines.
bool HoldsInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& want) {
    return std::search(lines.begin(), lines.end(), want.begin(), want.end()) != lines.end();
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

sim::SimulatedMachine WithSystemIni(const std::string& text) {
    sim::SimulatedMachine machine;
    machine.systemIni = text;
    return machine;
}

// Each wording a user acts on, for the machine that shows it: the lines the report must hold, one
// after the other, and where the run itself stopped with its reason (its decisions: the driver
// check's, the timing's or the mapping VxD's answer), so that the words are checked against what the
// run really did. A near miss in system.ini
// above all: the user edits the file where these lines point.
TEST(Diagnostic, SaysWhatIsReallyThere) {
    const std::string kNoLine = "  no line \"display.drv=Lumarel series\" under [boot.description]";
    struct Case {
        const char* name;
        sim::SimulatedMachine machine;
        std::vector<std::string> lines;
        RunStop stop;
        int why; // the reason the stop names: driver check, timing verdict, or the VxD's answer
    };
    // clang-format off
    const Case cases[] = {
        // The line itself is right, but no header that counts stands before it.
        {"no header at all", WithSystemIni("[boot]\r\ndisplay.drv=Lumarel series\r\n"),
         {kNoLine, "  line 2 comes close, but system.ini has no [boot.description] header"}, kStopDriverCheck, kDriverNotNamed},
        {"before the header", WithSystemIni("[boot]\ndisplay.drv=Lumarel series\n[boot.description]\n"),
         {kNoLine, "  line 2 comes close, but it stands before the [boot.description] header of line 3"},
         kStopDriverCheck, kDriverNotNamed},
        {"header with a blank before it", WithSystemIni(" [boot.description]\ndisplay.drv=Lumarel series\n"),
         {kNoLine, "  line 2 comes close, but line 1 is no header: it must begin the line, with both brackets"}, kStopDriverCheck, kDriverNotNamed},
        {"header without its bracket", WithSystemIni("[boot.description\ndisplay.drv=Lumarel series\n"),
         {kNoLine, "  line 2 comes close, but line 1 is no header: it must begin the line, with both brackets"}, kStopDriverCheck, kDriverNotNamed},
        {"header in capitals", WithSystemIni("[Boot.Description]\r\ndisplay.drv=Lumarel series\r\n"),
         {kNoLine, "  line 2 comes close, but the header of line 1 is not in small letters, so it does not count"},
         kStopDriverCheck, kDriverNotNamed},
        {"small header after a capitals one",
         WithSystemIni("[BOOT.DESCRIPTION]\r\ndisplay.drv=Lumarel series\r\n[boot.description]\r\n"),
         {kNoLine, "  line 2 comes close, but it stands before the [boot.description] header of line 3",
          "  and the header of line 1 is not in small letters, so it does not count"}, kStopDriverCheck, kDriverNotNamed},
        // The line's own form.
        {"blanks around =", WithSystemIni("[boot.description]\ndisplay.drv = Lumarel series\n"),
         {kNoLine, "  line 2 comes close, but blanks stand before the key or around the equals sign"},
         kStopDriverCheck, kDriverNotNamed},
        {"two blanks in the description", WithSystemIni("[boot.description]\ndisplay.drv=Lumarel  series\n"),
         {kNoLine, "  line 2 comes close, but its description's two words need one blank between them"}, kStopDriverCheck, kDriverNotNamed},
        {"no blank in the description", WithSystemIni("[boot.description]\ndisplay.drv=LumarelSeries\n"),
         {kNoLine, "  line 2 comes close, but its description's two words need one blank between them",
          "  and its letters' case differs"}, kStopDriverCheck, kDriverNotNamed},
        {"a tab in the description", WithSystemIni("[boot.description]\ndisplay.drv=Lumarel\tseries\n"),
         {kNoLine, "  line 2 comes close, but its description's two words need one blank between them"}, kStopDriverCheck, kDriverNotNamed},
        {"capitals and a blank after", WithSystemIni("[boot.description]\ndisplay.drv=LUMAREL SERIES \n"),
         {kNoLine, "  line 2 comes close, but its letters' case differs",
          "  and blanks or other text follow the description"}, kStopDriverCheck, kDriverNotNamed},
        {"blanks and case", WithSystemIni("[boot.description]\n Display.drv=Lumarel series\n"),
         {kNoLine, "  line 2 comes close, but blanks stand before the key or around the equals sign",
          "  and its letters' case differs"}, kStopDriverCheck, kDriverNotNamed},
        {"a comment after it", WithSystemIni("[boot.description]\r\ndisplay.drv=Lumarel series ; x\r\n"),
         {kNoLine, "  line 2 comes close, but blanks or other text follow the description"}, kStopDriverCheck, kDriverNotNamed},
        {"CR CR LF", WithSystemIni("[boot.description]\r\ndisplay.drv=Lumarel series\r\r\n"),
         {kNoLine, "  line 2 comes close, but it ends CR CR LF (Notepad does not show the CR)"}, kStopDriverCheck, kDriverNotNamed},
        {"no line break", WithSystemIni("[boot.description]\r\ndisplay.drv=Lumarel series"),
         {kNoLine, "  line 2 comes close, but it ends the file with no line break after it"}, kStopDriverCheck, kDriverNotNamed},
        // Ctrl+Z, the old end-of-file mark, ends the reading.
        {"Ctrl+Z right after it", WithSystemIni("[boot.description]\r\ndisplay.drv=Lumarel series\x1A"),
         {kNoLine, "  line 2 comes close, but a Ctrl+Z stands where its line break belongs"}, kStopDriverCheck, kDriverNotNamed},
        {"Ctrl+Z before it", WithSystemIni("[boot.description]\r\n\x1A\r\ndisplay.drv=Lumarel series\r\n"),
         {kNoLine, "  line 2 holds a Ctrl+Z: the utility reads nothing after it",
          "stop: system.ini does not name the served display driver"}, kStopDriverCheck, kDriverNotNamed},
        // The served line, where it counts, has nothing to explain.
        {"served", WithSystemIni("[Boot.Description]\r\n[boot.description]\r\ndisplay.drv=Lumarel series\r\n"),
         {"system.ini: C:\\WINDOWS\\system.ini, names the served display driver"}, kRunProgramsAdapter, kVxdWindow},
        // The Windows folder.
        {"no Windows folder", With([](sim::SimulatedMachine& m) { m.windowsDirectory = ""; }),
         {"system.ini: Windows names no Windows folder",
          "stop: system.ini does not open (the utility shows \"Open System.ini error!\")"}, kStopDriverCheck, kSystemIniNoPath},
        {"Windows folder too long", With([](sim::SimulatedMachine& m) { m.windowsDirectory = "C:\\" + std::string(250, 'W'); }),
         {"system.ini: the Windows folder's name is too long for the path"}, kStopDriverCheck, kSystemIniNoPath},
        // Rates and colours in words, not the tables' fillers.
        {"720 pixels wide", With([](sim::SimulatedMachine& m) { m.width = 720; m.height = 480; }),
         {"selection: 720x480: the tables hold no timing for it at any rate",
          "stop: the tables hold no timing for a screen 720 pixels wide, at any rate"}, kStopNoTiming, kNoTimingInRow},
        {"720x400", With([](sim::SimulatedMachine& m) { m.width = 720; m.height = 400; }),
         {"selection: 720x576: the tables hold no timing for it at any rate",
          "stop: the tables hold no timing for a screen 720 pixels wide, at any rate"}, kStopNoTiming, kNoTimingInRow},
        {"\"600\"", With([](sim::SimulatedMachine& m) { m.rateText = "600"; }),
         {"selection: 1024x768, 60 Hz, High Color",
          "  only a rate's first two characters count: \"600\" is taken as 60 Hz"}, kRunProgramsAdapter, kVxdWindow},
        {"\"12\"", With([](sim::SimulatedMachine& m) { m.rateText = "12"; }),
         {"selection: 1024x768, 120 Hz, High Color",
          "  only a rate's first two characters count: \"12\" is taken as 120 Hz"}, kRunProgramsAdapter, kVxdWindow},
        {"rate not listed", With([](sim::SimulatedMachine& m) { m.rateText = "70"; }),
         {"selection: 1024x768, 60 Hz, High Color",
          "  fallback: \"70\" is in no entry of 1024x768's list: its first, 60 Hz, is taken"}, kRunProgramsAdapter, kVxdWindow},
        {"a rate without a slot", With([](sim::SimulatedMachine& m) { m.width = 1600; m.height = 1200; m.rateText = ""; }),
         {"selection: 1600x1200, an empty rate entry, High Color",
          "stop: the table holds no timing for this screen and rate"}, kStopNoTiming, kNoTimingAtRate},
        {"display not asked", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 0; }),
         {"screen: 1024x768, 0 bits per pixel (the display could not be asked)",
          "stop: the display could not be asked"}, kStopColoursUnknown, 0},
        {"16 colours", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 4; }),
         {"screen: 1024x768, 4 bits per pixel (16 colours or fewer)",
          "stop: 16 colours or fewer, which the utility leaves alone"}, kStopSixteenColours, 0},
        {"256 colours", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 8; }),
         {"screen: 1024x768, 8 bits per pixel (256 colours)"}, kRunProgramsAdapter, kVxdWindow},
        {"no address", With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::NoOutput; }),
         {"register window: none: PHYSWIN.VXD answers address 0"}, kRunProgramsAdapter, kVxdAddressZero},
        // What the diagnostic touches beyond the listed accesses.
        {"index register", sim::SimulatedMachine{},
         {"  also made: the index register, read first and written back last",
          "verdict: the utility would set the rate on this machine"}, kRunProgramsAdapter, kVxdWindow},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<std::string> report = RunDiagnosticOn(c.machine);
        const RunDecisions& d           = runDecisions;
        EXPECT_EQ(d.stop, c.stop) << c.name;
        int why = d.stop == kStopDriverCheck      ? d.displayDriver
                  : d.stop == kStopNoTiming       ? d.timing
                  : d.stop == kRunProgramsAdapter ? d.vxd
                                                  : 0;
        EXPECT_EQ(why, c.why) << c.name;
        EXPECT_TRUE(HoldsInOrder(Unwrapped(report), c.lines)) << c.name << ":\n" << Joined(report);
        for (const std::string& line : report) {
            EXPECT_LE(line.size(), 79u) << c.name << ": " << line;
            EXPECT_EQ(line.find(" 0 Hz"), std::string::npos) << c.name << ": " << line;
        }
    }
    for (const MachineRow& row : kMachines) {
        for (const std::string& line : RunDiagnosticOn(row.machine)) {
            EXPECT_LE(line.size(), 79u) << row.name << ": " << line;
        }
    }
}

// The CRTC 0x11 read of the programming sequence sees the adapter as it is, not as the unwritten
// writes before it would have left it; and a read that follows no index write is not made.
TEST(Diagnostic, ReadsOnlyRightAfterTheirIndexWrite) {
    sim::PrepareMachine(sim::SimulatedMachine{});
    plannedAccessCount                                   = 0;
    host::TheMachine().adapter.crtc[VGA_CRTC_V_SYNC_END] = 0x8E;
    EXPECT_EQ(ReadIndexed(VGA_CRT_IC, VGA_CRTC_V_SYNC_END), 0x8E);
    WriteIndexed(VGA_CRT_IC, VGA_CRTC_V_SYNC_END, 0x0E);
    EXPECT_EQ(ReadPort(VGA_CRT_DC), 0xFF);
    EXPECT_EQ(host::TheMachine().adapter.trace.size(), 3u); // the index register, then the read
    EXPECT_EQ(host::TheMachine().adapter.crtc[VGA_CRTC_V_SYNC_END], 0x8E);
    ASSERT_EQ(plannedAccessCount, 5);
    EXPECT_EQ(plannedAccesses[3].value, 0x0E);
    RestoreIndexRegisters();
    EXPECT_EQ(host::TheMachine().adapter.trace.back(), (Access{Op::Out, VGA_CRT_IC, 0x00, false}));
}

// A data-port read is made only right after the write of its own index: not as the first access,
// not after another pair's index, not a second time after one index write, not after a store.
// One that is not made answers 0xFF and leaves the adapter untouched.
TEST(Diagnostic, MakesNoReadThatNoIndexWriteJustPreceded) {
    struct Step {
        VgaAccessKind kind;
        WORD where;
        BYTE value; // written; for a read, what it must answer
        bool made;
    };
    const BYTE kCrtc11 = 0x8E; // what the adapter holds, so a made read tells itself apart
    struct Case {
        const char* name;
        std::vector<Step> steps;
        size_t adapterAccesses; // the index register's first read, then an index write and read each
    } cases[] = {
        {"data read first", {{kVgaAccessIn, VGA_CRT_DC, 0xFF, false}}, 0},
        {"after the other pair's index",
         {{kVgaAccessOut, EXT_IC, VGA_CRTC_V_SYNC_END, false}, {kVgaAccessIn, VGA_CRT_DC, 0xFF, false}},
         0},
        {"after an index write, another port",
         {{kVgaAccessOut, VGA_CRT_IC, VGA_CRTC_V_SYNC_END, false}, {kVgaAccessIn, VGA_MIS_W, 0xFF, false}},
         0},
        {"twice after one index write",
         {{kVgaAccessOut, VGA_CRT_IC, VGA_CRTC_V_SYNC_END, true},
          {kVgaAccessIn, VGA_CRT_DC, kCrtc11, true},
          {kVgaAccessIn, VGA_CRT_DC, 0xFF, false}},
         3},
        {"after a window store",
         {{kVgaAccessOut, VGA_CRT_IC, VGA_CRTC_V_SYNC_END, false},
          {kVgaAccessStore, 0, 0x12, false},
          {kVgaAccessIn, VGA_CRT_DC, 0xFF, false}},
         0},
    };
    for (const Case& c : cases) {
        sim::PrepareMachine(sim::SimulatedMachine{});
        host::TheMachine().adapter.crtc[VGA_CRTC_V_SYNC_END] = kCrtc11;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            if (step.kind == kVgaAccessIn) {
                EXPECT_EQ(ReadPort(step.where), step.value) << c.name << ", access " << i;
            } else if (step.kind == kVgaAccessOut) {
                WritePort(step.where, step.value);
            } else {
                StoreWindowByte(host::TheMachine().adapter.windowBase, step.value);
            }
        }
        ASSERT_EQ(plannedAccessCount, static_cast<int>(c.steps.size())) << c.name;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            EXPECT_EQ(plannedAccesses[i].made, c.steps[i].made) << c.name << ", access " << i;
        }
        EXPECT_EQ(host::TheMachine().adapter.trace.size(), c.adapterAccesses) << c.name;
        RestoreIndexRegisters();
    }
}

// The access list keeps as many accesses as it has room for, and counts the rest: a run longer than
// the room, up to the room's last place and one beyond it, writes nothing outside the list.
TEST(Diagnostic, KeepsAccessesUpToItsRoomAndCountsTheRest) {
    sim::PrepareMachine(sim::SimulatedMachine{});
    for (int i = 0; i < kPlannedAccessRoom; ++i) {
        WritePort(VGA_MIS_W, static_cast<BYTE>(i));
    }
    ASSERT_EQ(plannedAccessCount, kPlannedAccessRoom);
    EXPECT_EQ(plannedAccesses[kPlannedAccessRoom - 1].value, kPlannedAccessRoom - 1);
    // One beyond the room: an index write and the made read of its data port.
    EXPECT_EQ(ReadIndexed(VGA_CRT_IC, VGA_CRTC_V_SYNC_END),
              host::TheMachine().adapter.crtc[VGA_CRTC_V_SYNC_END]);
    EXPECT_EQ(plannedAccessCount, kPlannedAccessRoom + 2);
    for (int i = 0; i < kPlannedAccessRoom; ++i) {
        EXPECT_EQ(plannedAccesses[i].value, i) << i;
        EXPECT_EQ(plannedAccesses[i].where, VGA_MIS_W) << i;
        EXPECT_EQ(plannedAccesses[i].made, 0) << i;
    }
    RestoreIndexRegisters();
}

} // namespace
