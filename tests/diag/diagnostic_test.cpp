// The diagnostic on the host: the utility's own run, reading the simulated adapter through the
// diagnostic's primitives. On every machine of one table its report equals refresh-sim's for the
// same machine, and the adapter sees nothing but the index writes its two reads need, between a read
// of the CRTC index register and its writing back.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <tuple>
#include <string>
#include <vector>

#include "diag/diagnostic.h"
#include "diag/dry_ports.h"
#include "diag/access_list.h"
#include "hw/primitives.h"
#include "hw/vga.h"
#include "machine.h"
#include "tests/support/timings_held.h"
#include "timing/line_frequency.h"
#include "timing/tables.h"
#include "watch/watch.h"
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
    if (m.monitor && m.monitor->mode1) {
        options += " '--monitor-mode=" + *m.monitor->mode1 + "'";
    }
    if (m.monitor && m.monitor->maxResolution) {
        std::string size = *m.monitor->maxResolution;
        std::replace(size.begin(), size.end(), ',', 'x');
        options += " --monitor-max " + size;
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

// The verdict tells the three outcomes apart, names what LUMRATE would set, and says why where it
// would not set it all, with the step to take.
TEST(Diagnostic, VerdictSaysWhatWouldHappenAndWhy) {
    const std::string kReinstall = "install the adapter's display driver package again";
    struct Case {
        const char* name;
        void (*change)(sim::SimulatedMachine&);
        std::vector<std::string> verdict;
    } cases[] = {
        {"typical",
         [](sim::SimulatedMachine&) {},
         {"verdict: LUMRATE would set 85 Hz at 1024 x 768, High Color (16 bit)"}},
        {"1152 x 864, 256 colors",
         [](sim::SimulatedMachine& m) {
             m.width        = 1152;
             m.height       = 864;
             m.bitsPerPixel = 8;
             m.rateText     = "60";
         },
         {"verdict: LUMRATE would set 60 Hz at 1152 x 864, 256 Colors"}},
        {"borrowed timing",
         [](sim::SimulatedMachine& m) {
             m.width    = 1280;
             m.height   = 960;
             m.rateText = "120";
         },
         {"verdict: LUMRATE would set 1280 x 1024's 100 Hz timing at 1280 x 960, High Color (16 bit)"}},
        {"driver missing",
         [](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::Missing; },
         {"verdict: LUMRATE would set the timing registers for 85 Hz at 1024 x 768, High Color (16 bit), "
          "but not the memory-mapped one",
          "  why: no register window: PHYSWIN.VXD does not open (error 2: the file is missing): " +
              kReinstall}},
        {"unsupported",
         [](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::Unsupported; },
         {"verdict: LUMRATE would set the timing registers for 85 Hz at 1024 x 768, High Color (16 bit), "
          "but not the memory-mapped one",
          "  why: no register window: PHYSWIN.VXD cannot be asked (error 50): this Windows has no "
          "DeviceIoControl for it; LUMRATE is made for Windows 95 and 98"}},
        {"control call fails",
         [](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::IoctlFails; },
         {"verdict: LUMRATE would set the timing registers for 85 Hz at 1024 x 768, High Color (16 bit), "
          "but not the memory-mapped one",
          "  why: no register window: PHYSWIN.VXD opens but does not map the adapter's registers: restart "
          "Windows; if it stays so, " +
              kReinstall}},
        {"address 0",
         [](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::NullWindow; },
         {"verdict: LUMRATE would set the timing registers for 85 Hz at 1024 x 768, High Color (16 bit), "
          "but not the memory-mapped one",
          "  why: no register window: PHYSWIN.VXD answers with address 0, no register window: " +
              kReinstall}},
        {"skip bit",
         [](sim::SimulatedMachine& m) { m.crtc75 = 0x20; },
         {"verdict: LUMRATE would leave the adapter as it is on this machine", "  why: the skip bit is set"}},
        {"720x576",
         [](sim::SimulatedMachine& m) {
             m.width  = 720;
             m.height = 576;
         },
         {"verdict: LUMRATE would leave the adapter as it is on this machine",
          "  why: the tables hold no timing for a screen 720 pixels wide, at any rate; choose another screen "
          "size in Display Properties"}},
        {"32 bits",
         [](sim::SimulatedMachine& m) { m.bitsPerPixel = 32; },
         {"verdict: LUMRATE would leave the adapter as it is on this machine",
          "  why: the tables hold no timing for True Color (32 bit); choose fewer colors in Display "
          "Properties"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> report = Unwrapped(RunDiagnosticOn(With(c.change)));
        auto verdict                    = std::find_if(report.begin(), report.end(),
                                                       [](const std::string& line) { return line.rfind("verdict: ", 0) == 0; });
        ASSERT_TRUE(verdict != report.end()) << c.name;
        auto end = verdict + std::min(static_cast<long>(c.verdict.size()), report.end() - verdict);
        EXPECT_EQ(std::vector<std::string>(verdict, end), c.verdict) << c.name;
        bool why = verdict + 1 != report.end() && verdict[1].rfind("  why: ", 0) == 0;
        EXPECT_EQ(why, c.verdict.size() == 2) << c.name;
    }
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
         {kNoLine, "  line 2 holds a Ctrl+Z: LUMRATE reads nothing after it",
          "stop: system.ini does not name the served display driver"}, kStopDriverCheck, kDriverNotNamed},
        // The served line, where it counts, has nothing to explain.
        {"served", WithSystemIni("[Boot.Description]\r\n[boot.description]\r\ndisplay.drv=Lumarel series\r\n"),
         {"system.ini: C:\\WINDOWS\\system.ini, names the served display driver"}, kRunProgramsAdapter, kVxdWindow},
        // The Windows folder.
        {"no Windows folder", With([](sim::SimulatedMachine& m) { m.windowsDirectory = ""; }),
         {"system.ini: Windows names no Windows folder",
          "stop: system.ini does not open (LUMRATE shows the box \"Open System.ini error!\")"}, kStopDriverCheck, kSystemIniNoPath},
        {"Windows folder too long", With([](sim::SimulatedMachine& m) { m.windowsDirectory = "C:\\" + std::string(250, 'W'); }),
         {"system.ini: the Windows folder's name is too long for the path"}, kStopDriverCheck, kSystemIniNoPath},
        // A byte of a path outside printable ASCII, and the escape explained after the line.
        {"Windows folder in another code page", With([](sim::SimulatedMachine& m) { m.windowsDirectory = "C:\\WIN\xE9"; }),
         {"system.ini: C:\\WIN\\xE9\\system.ini, names the served display driver",
          "  escapes: \\xNN stands for a byte that is no printable character, NN its value in hexadecimal",
          "skip bit: clear (the register reads 00h); bit 5 of the adapter's extended register 75h, which the "
          "adapter's own setup sets, asks LUMRATE to leave its timing alone"}, kRunProgramsAdapter, kVxdWindow},
        // Where the rate comes from, and the step to take where none fits.
        {"no RefreshRate value", With([](sim::SimulatedMachine& m) { m.rate = sim::RateSetting::NoValue; }),
         {"refresh rate: \"60\", the default: nothing is stored as the value RefreshRate of "
          "HKEY_CURRENT_CONFIG\\Display\\Settings; to have another rate, choose it with LUMSET"}, kRunProgramsAdapter, kVxdWindow},
        {"RefreshRate too long", With([](sim::SimulatedMachine& m) { m.rateText = std::string(255, '7'); }),
         {"refresh rate: \"60\", the default: the value RefreshRate of HKEY_CURRENT_CONFIG\\Display\\Settings is "
          "stored, but it is no text of up to 254 characters that LUMRATE can read; choose a rate with LUMSET, "
          "or delete the value"}, kRunProgramsAdapter, kVxdWindow},
        {"no settings key", With([](sim::SimulatedMachine& m) { m.rate = sim::RateSetting::NoKey; }),
         {"refresh rate: \"\", as Windows keeps no display settings here: HKEY_CURRENT_CONFIG\\Display\\Settings "
          "is missing; choose a rate with LUMSET, which makes the key",
          "screen: 1024 x 768, High Color (16 bit)",
          "selection: none: the 6th timing of 1024 x 768, which is empty",
          "  empty rate: \"\" matches the 6th place of 1024 x 768's list, which holds no rate",
          "stop: the tables hold no timing for an empty rate; choose a rate with LUMSET"}, kStopNoTiming, kNoTimingAtRate},
        {"quote and tab", With([](sim::SimulatedMachine& m) { m.rateText = "8\"5\t"; }),
         {"refresh rate: \"8\\\"5\\x09\", from the value RefreshRate of HKEY_CURRENT_CONFIG\\Display\\Settings",
          "  escapes: \\xNN stands for a byte that is no printable character, NN its value in hexadecimal",
          "  escapes: \\\" and \\\\ stand for a quote and a backslash within the quotes",
          "screen: 1024 x 768, High Color (16 bit)"}, kRunProgramsAdapter, kVxdWindow},
        // Rates and colors in words, not the tables' fillers.
        {"720 pixels wide", With([](sim::SimulatedMachine& m) { m.width = 720; m.height = 480; }),
         {"selection: none: the tables hold no timing for 720 x 480 at any rate",
          "  fallback: \"85\" is in no entry of 720 x 480's list: its first, which holds no rate, is taken",
          "stop: the tables hold no timing for a screen 720 pixels wide, at any rate; choose another screen "
          "size in Display Properties"}, kStopNoTiming, kNoTimingInRow},
        {"720x400", With([](sim::SimulatedMachine& m) { m.width = 720; m.height = 400; m.rateText = "60"; }),
         {"selection: none: the tables hold no timing for 720 x 576 at any rate",
          "  fallback: 720 x 400 has no rate list of its own: 640 x 480's is used",
          "  fallback: 720 x 400 has no timings of its own: for the 1st rate of 640 x 480's list, 60 Hz, it "
          "takes the 1st timing of 720 x 576, which is empty"}, kStopNoTiming, kNoTimingInRow},
        {"\"600\"", With([](sim::SimulatedMachine& m) { m.rateText = "600"; }),
         {"selection: 60 Hz at 1024 x 768, High Color (16 bit)",
          "  rate rule: \"600\" is taken as 60 Hz: only the first two characters of a stored rate count"}, kRunProgramsAdapter, kVxdWindow},
        {"\"12\"", With([](sim::SimulatedMachine& m) { m.rateText = "12"; }),
         {"selection: 120 Hz at 1024 x 768, High Color (16 bit)",
          "  rate rule: \"12\" is taken as 120 Hz: only the first two characters of a stored rate count"}, kRunProgramsAdapter, kVxdWindow},
        {"rate not listed", With([](sim::SimulatedMachine& m) { m.rateText = "70"; }),
         {"selection: 60 Hz at 1024 x 768, High Color (16 bit)",
          "  fallback: \"70\" is in no entry of 1024 x 768's list: its first, 60 Hz, is taken"}, kRunProgramsAdapter, kVxdWindow},
        {"borrowed timing", With([](sim::SimulatedMachine& m) { m.width = 1280; m.height = 960; m.rateText = "120"; }),
         {"selection: 1280 x 1024's 100 Hz timing at 1280 x 960, High Color (16 bit)",
          "  fallback: 1280 x 960 has no rate list of its own: 640 x 480's is used",
          "  fallback: 1280 x 960 has no timings of its own: for the 4th rate of 640 x 480's list, 120 Hz, it "
          "takes the 4th timing of 1280 x 1024, 100 Hz"}, kRunProgramsAdapter, kVxdWindow},
        {"borrowed row without the rate", With([](sim::SimulatedMachine& m) { m.width = 1280; m.height = 960; m.rateText = "160"; }),
         {"selection: none: the 5th timing of 1280 x 1024, which is empty",
          "  fallback: 1280 x 960 has no rate list of its own: 640 x 480's is used",
          "  fallback: 1280 x 960 has no timings of its own: for the 5th rate of 640 x 480's list, 160 Hz, it "
          "takes the 5th timing of 1280 x 1024, which is empty",
          "stop: the tables hold no timing for 160 Hz at 1280 x 960; choose a rate with LUMSET"}, kStopNoTiming, kNoTimingAtRate},
        {"an empty rate", With([](sim::SimulatedMachine& m) { m.width = 1600; m.height = 1200; m.rateText = ""; }),
         {"selection: none: the 3rd timing of 1600 x 1200, which is empty",
          "  empty rate: \"\" matches the 3rd place of 1600 x 1200's list, which holds no rate",
          "stop: the tables hold no timing for an empty rate; choose a rate with LUMSET"}, kStopNoTiming, kNoTimingAtRate},
        {"no row for the width", With([](sim::SimulatedMachine& m) { m.width = 1000; m.height = 700; }),
         {"screen: 1000 x 700, High Color (16 bit)",
          "stop: the tables hold no timing for a screen 1000 pixels wide, at any rate; choose another screen "
          "size in Display Properties"}, kStopNoTiming, kNoWidthRow},
        {"display not asked", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 0; }),
         {"screen: 1024 x 768, colors unknown",
          "stop: the display could not be asked for its colors"}, kStopColoursUnknown, 0},
        {"16 colors", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 4; }),
         {"screen: 1024 x 768, 16 Colors",
          "stop: 16 colors or fewer, which LUMRATE leaves alone"}, kStopSixteenColours, 0},
        {"256 colors", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 8; }),
         {"screen: 1024 x 768, 256 Colors"}, kRunProgramsAdapter, kVxdWindow},
        {"15 bits", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 15; }),
         {"screen: 1024 x 768, 15 bits per pixel",
          "selection: 85 Hz at 1024 x 768, 15 bits per pixel"}, kRunProgramsAdapter, kVxdWindow},
        {"32 bits", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 32; }),
         {"screen: 1024 x 768, True Color (32 bit)",
          "stop: the tables hold no timing for True Color (32 bit); choose fewer colors in Display Properties"},
         kStopNoTiming, kNoDepthColumn},
        {"25 bits", With([](sim::SimulatedMachine& m) { m.bitsPerPixel = 25; }),
         {"screen: 1024 x 768, 25 bits per pixel",
          "stop: the tables hold no timing for 25 bits per pixel; choose fewer colors in Display Properties"},
         kStopNoTiming, kNoDepthColumn},
        // The mapping driver's answer, LUMRATE's own words of it.
        {"no address", With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::NoOutput; }),
         {"register window: none: PHYSWIN.VXD answers with address 0, no register window: install the "
          "adapter's display driver package again"}, kRunProgramsAdapter, kVxdAddressZero},
        {"the window", sim::SimulatedMachine{},
         {"register window: 0x60000000 (PHYSWIN.VXD gives the adapter's register window)"}, kRunProgramsAdapter, kVxdWindow},
        {"driver missing", With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::Missing; }),
         {"register window: none: PHYSWIN.VXD does not open (error 2: the file is missing): install the "
          "adapter's display driver package again",
          "  LUMRATE then writes to standard output, where it has one: \"Unable to open VxD, Error code: 2\""},
         kRunProgramsAdapter, kVxdDoesNotOpen},
        {"control call fails", With([](sim::SimulatedMachine& m) { m.driver = DriverBehaviour::IoctlFails; }),
         {"  LUMRATE then shows the box \"Can not map physical to linear address\""}, kRunProgramsAdapter, kVxdCallFails},
        // What LUMCHECK touches beyond the listed accesses.
        {"index register", sim::SimulatedMachine{},
         {"  also made: the CRTC index register (0x3D4), read before LUMCHECK's first index write to it, and "
          "after the last read written back as it was",
          "verdict: LUMRATE would set 85 Hz at 1024 x 768, High Color (16 bit)"}, kRunProgramsAdapter, kVxdWindow},
        {"skip bit set", With([](sim::SimulatedMachine& m) { m.crtc75 = 0x3F; }),
         {"skip bit: set (the register reads 3Fh); bit 5 of the adapter's extended register 75h, which the "
          "adapter's own setup sets, asks LUMRATE to leave its timing alone",
          "stop: the skip bit is set"}, kStopSkipBit, 0},
        // The monitor, and whether LUMWATCH starts LUMRATE under its limits.
        {"within the monitor", With([](sim::SimulatedMachine& m) { m.monitor = sim::SimulatedMonitor{"30-70,50-100", "1600,1200"}; }),
         {"monitor: The monitor takes 30.0-70.0 kHz and 50-100 Hz at 1024 x 768, says its setup information. "
          "Its largest screen: 1600 x 1200.",
          "line frequency: 85 Hz at 1024 x 768 sweeps 68.7 kHz",
          "LUMWATCH: starts LUMRATE here when Windows starts, after a mode change or a resume, and where "
          "Windows 98 tells it of a new rate"}, kRunProgramsAdapter, kVxdWindow},
        {"beyond the monitor's lines", With([](sim::SimulatedMachine& m) { m.monitor = sim::SimulatedMonitor{"31.0-64.0,50.0-100.0,+,+", std::nullopt}; }),
         {"LUMWATCH: starts no run of LUMRATE here, so Windows' own timing stays",
          "  why: 85 Hz needs 68.7 kHz; the monitor takes 31.0-64.0 kHz, says its setup information; choose a "
          "rate within the monitor's limits with LUMSET"}, kRunProgramsAdapter, kVxdWindow},
        {"beyond the monitor's rates", With([](sim::SimulatedMachine& m) { m.rateText = "60"; m.monitor = sim::SimulatedMonitor{"30-70,70-90", std::nullopt}; }),
         {"  why: 60 Hz is outside the monitor's 70-90 Hz, says its setup information; choose a rate within the "
          "monitor's limits with LUMSET"}, kRunProgramsAdapter, kVxdWindow},
        {"beyond the monitor's screen", With([](sim::SimulatedMachine& m) { m.monitor = sim::SimulatedMonitor{std::nullopt, "800,600"}; }),
         {"monitor: The monitor's limits are not known: its setup information gives none for 1024 x 768. Where "
          "you know it, choose the monitor in Display Properties, Settings, Advanced, Monitor. Its largest "
          "screen: 800 x 600.",
          "line frequency: 85 Hz at 1024 x 768 sweeps 68.7 kHz",
          "LUMWATCH: starts no run of LUMRATE here, so Windows' own timing stays",
          "  why: 1024 x 768 is larger than the monitor's largest screen, 800 x 600, says its setup "
          "information; choose a smaller screen size in Display Properties"}, kRunProgramsAdapter, kVxdWindow},
        {"a borrowed timing beyond the monitor", With([](sim::SimulatedMachine& m) { m.width = 1280; m.height = 960; m.rateText = "120"; m.monitor = sim::SimulatedMonitor{"30-70,50-100", std::nullopt}; }),
         {"line frequency: 1280 x 1024's 100 Hz timing at 1280 x 960 sweeps 106.6 kHz",
          "LUMWATCH: starts no run of LUMRATE here, so Windows' own timing stays",
          "  why: 1280 x 1024's 100 Hz timing needs 106.6 kHz; the monitor takes 30.0-70.0 kHz, says its setup "
          "information; choose a rate within the monitor's limits with LUMSET"}, kRunProgramsAdapter, kVxdWindow},
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
            EXPECT_EQ(line.find(" 0 bits per pixel"), std::string::npos) << c.name << ": " << line;
        }
    }
    for (const MachineRow& row : kMachines) {
        for (const std::string& line : RunDiagnosticOn(row.machine)) {
            EXPECT_LE(line.size(), 79u) << row.name << ": " << line;
        }
    }
}

// What LUMRATE's own run did on a machine, as refresh-sim runs it there (the stand-in's primitives,
// which this program does not link): the registers it wrote, by index, the timings of the tables
// those writes are, its window stores, its message boxes and standard output, its accesses, and
// what the skip-bit read answered (-1 where it made none).
struct RunDone {
    std::map<int, int> crtc, ext;
    std::vector<std::pair<TableRow, RateIndex>> timings;
    int windowStores = 0;
    std::vector<std::string> boxes;
    std::string standardOutput;
    std::vector<nlohmann::json> accesses;
    int skipRead = -1;
};

RunDone RunLumrate(const sim::SimulatedMachine& machine, const std::string& iniFile) {
    support::SimOutcome sim = support::RunRefreshSim(Options(machine, iniFile));
    EXPECT_EQ(sim.exitCode, 0) << sim.out;
    nlohmann::json j = nlohmann::json::parse(sim.out);
    RunDone run;
    run.standardOutput = j["stdout"];
    for (const nlohmann::json& box : j["messageBoxes"]) {
        run.boxes.push_back(box["text"]);
    }
    int crtcIndex = -1, extIndex = -1;
    for (const nlohmann::json& a : j["accesses"]) {
        run.accesses.push_back(a);
        const int value = a["value"];
        if (a["op"] == "store") {
            ++run.windowStores;
            continue;
        }
        const int port = a["port"];
        if (a["op"] == "in") {
            run.skipRead = port == VGA_CRT_DC && crtcIndex == EXT_CRTC_75 ? value : run.skipRead;
        } else if (port == VGA_CRT_IC) {
            crtcIndex = value;
        } else if (port == EXT_IC) {
            extIndex = value;
        } else if (port == VGA_CRT_DC) {
            run.crtc[crtcIndex] = value;
        } else if (port == EXT_DC) {
            run.ext[extIndex] = value;
        }
    }
    // A timing of the tables is every timing register of its record written as the record holds it.
    run.timings = support::TimingsHeld([&run](bool extended, int index) {
        const std::map<int, int>& written = extended ? run.ext : run.crtc;
        auto it                           = written.find(index);
        return it == written.end() ? -1 : it->second;
    });
    return run;
}

// The words a user knows, as Windows 95/98 and the tables have them.
std::string ScreenWords(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}
std::string ColorWords(int bits) {
    switch (bits) {
    case 0: return "colors unknown";
    case 4: return "16 Colors";
    case 8: return "256 Colors";
    case 16: return "High Color (16 bit)";
    case 24: return "True Color (24 bit)";
    case 32: return "True Color (32 bit)";
    }
    return std::to_string(bits) + (bits == 1 ? " bit per pixel" : " bits per pixel");
}
std::string RateWords(TableRow row, RateIndex rate) {
    return std::to_string(RateOfEntry(RateTable[row][rate])) + " Hz";
}
// A timing of the tables at a screen: its rate, and the size it is made for where that is not
// the screen's.
std::string TimingWords(TableRow row, RateIndex rate, int width, int height) {
    const int* size = ResolutionTable[row];
    return size[0] == width && size[1] == height
               ? RateWords(row, rate)
               : ScreenWords(size[0], size[1]) + "'s " + RateWords(row, rate) + " timing";
}
std::string Ordinal(RateIndex index) {
    static const char* const kOrdinals[] = {"1st", "2nd", "3rd", "4th", "5th", "6th"};
    return kOrdinals[index];
}
// A text as the report quotes it: a byte outside printable ASCII as \xNN, a quote or backslash
// after a backslash.
std::string Quoted(const std::string& text) {
    std::string shown = "\"";
    for (unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        shown += c < 0x20 || c > 0x7E    ? std::string(hex)
                 : c == '"' || c == '\\' ? std::string("\\") + char(c)
                                         : std::string(1, char(c));
    }
    return shown + "\"";
}
std::string Squeezed(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}
// Thousandths, rounded to tenths: "68.7 kHz".
std::string Kilohertz(DWORD hertz) {
    DWORD tenths = (hertz + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " kHz";
}

// The first line that begins with `head`, or nullptr.
const std::string* Find(const std::vector<std::string>& lines, const std::string& head) {
    for (const std::string& line : lines) {
        if (line.rfind(head, 0) == 0) {
            return &line;
        }
    }
    return nullptr;
}
size_t CountOf(const std::vector<std::string>& lines, const std::string& head) {
    return static_cast<size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(head, 0) == 0; }));
}
// The line after `line` in `lines`, or "".
std::string After(const std::vector<std::string>& lines, const std::string* line) {
    return line != nullptr && line + 1 != lines.data() + lines.size() ? line[1] : "";
}

// A table of machines for the sentences: every screen kind (its own list and row, a borrowed list
// or row, none, a 720-pixel row) with rate texts of every kind, every depth kind, every mapping
// driver, the skip bit, system.ini, and monitors the timings are within and beyond.
std::vector<MachineRow> SentenceMachines() {
    std::vector<MachineRow> machines;
    auto add = [&](const std::string& name, const sim::SimulatedMachine& m) {
        machines.push_back({name, m});
    };
    const int screens[][2] = {{1024, 768}, {640, 480},  {800, 600}, {1152, 864}, {1280, 1024}, {1600, 1200},
                              {1280, 960}, {1024, 600}, {800, 480}, {720, 480},  {720, 400},   {1000, 700}};
    struct Rate {
        const char* name;
        sim::RateSetting setting;
        std::string text;
    };
    const Rate rates[] = {
        {"85", sim::RateSetting::Text, "85"},
        {"60", sim::RateSetting::Text, "60"},
        {"600", sim::RateSetting::Text, "600"},
        {"12", sim::RateSetting::Text, "12"},
        {"160", sim::RateSetting::Text, "160"},
        {"empty", sim::RateSetting::Text, ""},
        {"blank-led", sim::RateSetting::Text, " 85"},
        {"tab", sim::RateSetting::Text, "7\t5"},
        {"quote", sim::RateSetting::Text, "8\"5\\"},
        {"no value", sim::RateSetting::NoValue, ""},
        {"no key", sim::RateSetting::NoKey, ""},
        {"too long", sim::RateSetting::Text, std::string(255, '7')},
        {"longest, shown as escapes", sim::RateSetting::Text, "60" + std::string(252, '\xFF')},
    };
    for (const auto& screen : screens) {
        for (const Rate& rate : rates) {
            sim::SimulatedMachine m;
            m.width    = screen[0];
            m.height   = screen[1];
            m.rate     = rate.setting;
            m.rateText = rate.text;
            add(ScreenWords(m.width, m.height) + ", " + rate.name, m);
        }
    }
    for (int bits : {0, 1, 4, 5, 8, 15, 16, 24, 25, 32}) {
        for (const auto& screen : {std::pair{1024, 768}, std::pair{1280, 960}}) {
            sim::SimulatedMachine m;
            std::tie(m.width, m.height) = screen;
            m.bitsPerPixel              = bits;
            m.rateText                  = "120";
            add(ScreenWords(m.width, m.height) + ", " + std::to_string(bits) + " bits", m);
        }
    }
    for (const host::DriverBehaviourName& driver : host::kDriverBehaviours) {
        for (const auto& screen : {std::pair{1024, 768}, std::pair{800, 480}}) {
            sim::SimulatedMachine m;
            std::tie(m.width, m.height) = screen;
            m.driver                    = driver.behaviour;
            m.rateText                  = "75";
            add(ScreenWords(m.width, m.height) + ", driver " + driver.name, m);
        }
    }
    for (uint8_t crtc75 : {0x20, 0x3F, 0xDF}) {
        sim::SimulatedMachine m;
        m.crtc75 = crtc75;
        add("CRTC 0x75 = " + std::to_string(crtc75), m);
    }
    add("no system.ini", With([](sim::SimulatedMachine& m) { m.systemIni.reset(); }));
    add("another driver",
        With([](sim::SimulatedMachine& m) { m.systemIni = "[boot.description]\r\ndisplay.drv=VGA\r\n"; }));
    add("Windows folder in another code page",
        With([](sim::SimulatedMachine& m) { m.windowsDirectory = "C:\\WIN\xE9"; }));
    struct Monitor {
        const char* name;
        sim::SimulatedMonitor monitor;
    } monitors[] = {
        {"up to 64 kHz", {"31.0-64.0,50.0-100.0,+,+", std::nullopt}},
        {"70 to 90 Hz", {"30-96,70-90", std::nullopt}},
        {"up to 800 x 600", {std::nullopt, "800,600"}},
        {"an unreadable Mode1", {"fast", "1600,1200"}},
    };
    for (const Monitor& monitor : monitors) {
        for (const auto& [width, height, rate] :
             {std::tuple{1024, 768, "85"}, std::tuple{1024, 768, "60"}, std::tuple{1280, 960, "120"},
              std::tuple{800, 600, "75"}, std::tuple{1152, 864, ""}}) {
            sim::SimulatedMachine m;
            m.width    = width;
            m.height   = height;
            m.rateText = rate;
            m.monitor  = monitor.monitor;
            add(ScreenWords(width, height) + ", \"" + rate + "\", a monitor " + monitor.name, m);
        }
    }
    return machines;
}

// Every sentence of LUMCHECK's report against what LUMRATE's run does on the same machine, and
// what LUMWATCH decides there: the verdict and the selection name the timing the run writes (a
// borrowed one as it is) and the colors as Display Properties names them, only where it writes
// one; the memory-mapped register is said to stay only where the run stores nothing into the
// window; a stop where it writes nothing, for the reason the machine gives; the rate as the run
// reads it and where it comes from; the list's and the row's places of the timing written; LUMRATE's
// own words as it shows them; every access as the run makes it; each escape explained once, right
// after the first line that shows it; the line frequency of the timing written; LUMWATCH's answer as
// LUMWATCH itself gives it.
TEST(Diagnostic, EverySentenceAgainstWhatTheRunDoes) {
    support::ScratchFolder folder;
    const std::string iniFile = folder.File("system.ini");
    const std::regex hexEscape("\\\\x[0-9A-F]{2}");
    const std::set<std::pair<int, int>> kOwnScreens = {{640, 480},  {720, 480},  {720, 576},   {800, 600},
                                                       {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200}};
    for (const MachineRow& row : SentenceMachines()) {
        SCOPED_TRACE(row.name);
        const sim::SimulatedMachine& m        = row.machine;
        const RunDone run                     = RunLumrate(m, iniFile);
        const std::vector<std::string> raw    = RunDiagnosticOn(m);
        const std::vector<std::string> report = Unwrapped(raw);
        sim::PrepareMachine(m);
        const bool watcherStops  = BeyondTheMonitor() != 0;
        const std::string text   = Joined(raw);
        const std::string screen = ScreenWords(m.width, m.height);
        const bool served        = !run.accesses.empty();
        const bool readSettings  = run.skipRead >= 0 && (run.skipRead & EXT_CRTC_75_SKIP) == 0;
        // The rate text the run uses: as stored where it reads one, "60" for a value it cannot
        // read, nothing without the key.
        const bool fits        = m.rate == sim::RateSetting::Text && m.rateText.size() < kRateTextSize;
        const std::string used = fits ? m.rateText : m.rate == sim::RateSetting::NoKey ? "" : "60";
        // A shown text wider than a line is cut within it, where joining the lines puts a blank: such
        // lines are compared without their blanks.
        const bool cut = Quoted(used).size() > 70;
        auto same      = [cut](const std::string& a, const std::string& b) {
            return cut ? Squeezed(a) == Squeezed(b) : a == b;
        };
        auto begins = [cut](const std::string& a, const std::string& b) {
            return cut ? Squeezed(a).rfind(Squeezed(b), 0) == 0 : a.rfind(b, 0) == 0;
        };

        // Where the run stops, or what it sets and how.
        const std::string* verdict   = Find(report, "verdict: ");
        const std::string* stop      = Find(report, "stop: ");
        const std::string* selection = Find(report, "selection: ");
        ASSERT_NE(verdict, nullptr) << text;
        EXPECT_EQ(stop == nullptr, !run.timings.empty()) << text;
        TableRow held      = kRowCount;
        RateIndex heldRate = kRateCount;
        if (run.timings.empty()) {
            EXPECT_EQ(*verdict, "verdict: LUMRATE would leave the adapter as it is on this machine");
            ASSERT_NE(stop, nullptr) << text;
            EXPECT_EQ(After(report, verdict), "  why: " + stop->substr(6));
            EXPECT_EQ(Find(report, "register window: "), nullptr);
            EXPECT_EQ(Find(report, "line frequency: "), nullptr);
        } else {
            std::string setting;
            for (const auto& [r, i] : run.timings) {
                std::string said = TimingWords(r, i, m.width, m.height) + " at " + screen + ", " +
                                   ColorWords(m.bitsPerPixel);
                if (selection != nullptr && *selection == "selection: " + said) {
                    setting  = said;
                    held     = r;
                    heldRate = i;
                }
            }
            ASSERT_FALSE(setting.empty()) << text;
            EXPECT_EQ(*verdict, run.windowStores != 0
                                    ? "verdict: LUMRATE would set " + setting
                                    : "verdict: LUMRATE would set the timing registers for " + setting +
                                          ", but not the memory-mapped one");
            EXPECT_EQ(After(report, verdict).rfind("  why: no register window: PHYSWIN.VXD ", 0) == 0,
                      run.windowStores == 0);
            const std::string* window = Find(report, "register window: ");
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(window->rfind("register window: 0x60000000 (PHYSWIN.VXD gives", 0) == 0,
                      run.windowStores != 0)
                << *window;
            EXPECT_EQ(window->rfind("register window: none: PHYSWIN.VXD ", 0) == 0, run.windowStores == 0)
                << *window;
            EXPECT_EQ(Find(report, "line frequency: ") == nullptr ? "" : *Find(report, "line frequency: "),
                      "line frequency: " + TimingWords(held, heldRate, m.width, m.height) + " at " + screen +
                          " sweeps " + Kilohertz(LineFrequency(held, heldRate)));
        }

        // The stop's reason, from what the machine holds, with the step to take.
        if (stop != nullptr && !served) {
            EXPECT_EQ(stop->rfind("stop: system.ini ", 0), 0u) << *stop;
            for (const std::string& box : run.boxes) {
                EXPECT_NE(stop->find("LUMRATE shows the box \"" + box + "\""), std::string::npos) << *stop;
            }
        } else if (stop != nullptr && !readSettings) {
            EXPECT_EQ(*stop, "stop: the skip bit is set");
        } else if (stop != nullptr) {
            const std::set<int> kWidths = {640, 720, 800, 1024, 1152, 1280, 1600};
            const bool noRow            = kWidths.count(m.width) == 0;
            std::string want;
            if (m.bitsPerPixel == 0) {
                want = "the display could not be asked for its colors";
            } else if (m.bitsPerPixel <= 4) {
                want = "16 colors or fewer, which LUMRATE leaves alone";
            } else if (m.bitsPerPixel > 24) {
                want = "the tables hold no timing for " + ColorWords(m.bitsPerPixel) +
                       "; choose fewer colors in Display Properties";
            } else if (noRow || m.width == 720) {
                want = "the tables hold no timing for a screen " + std::to_string(m.width) +
                       " pixels wide, at any rate; choose another screen size in Display Properties";
            } else {
                want = "the tables hold no timing for " + (used.empty() ? std::string("an empty rate") : "") +
                       "; choose a rate with LUMSET";
                if (!used.empty()) {
                    EXPECT_EQ(stop->find("stop: the tables hold no timing for "), 0u);
                    EXPECT_NE(stop->find(" Hz at " + screen + "; choose a rate with LUMSET"),
                              std::string::npos)
                        << *stop;
                    want = stop->substr(6);
                }
            }
            EXPECT_EQ(*stop, "stop: " + want);
        }

        // What the run read: the skip bit, the rate and where it came from, the screen.
        const std::string* skip = Find(report, "skip bit: ");
        EXPECT_EQ(skip != nullptr, run.skipRead >= 0);
        if (skip != nullptr) {
            char said[64];
            std::snprintf(said, sizeof said, "skip bit: %s (the register reads %02Xh); ",
                          (run.skipRead & EXT_CRTC_75_SKIP) != 0 ? "set" : "clear", run.skipRead);
            EXPECT_EQ(skip->rfind(said, 0), 0u) << *skip;
        }
        const std::string* rate = Find(report, "refresh rate: ");
        EXPECT_EQ(rate != nullptr, readSettings);
        if (rate != nullptr) {
            EXPECT_TRUE(begins(*rate, "refresh rate: " + Quoted(used) + ", ")) << *rate;
            EXPECT_EQ(rate->find(", from the value RefreshRate") != std::string::npos, fits) << *rate;
            EXPECT_EQ(rate->find("the default") != std::string::npos, used == "60" && !fits) << *rate;
            EXPECT_EQ(rate->find("nothing is stored") != std::string::npos,
                      m.rate == sim::RateSetting::NoValue)
                << *rate;
            EXPECT_EQ(rate->find(" is stored, but") != std::string::npos,
                      m.rate == sim::RateSetting::Text && !fits)
                << *rate;
            EXPECT_EQ(rate->find("Windows keeps no display settings here") != std::string::npos,
                      m.rate == sim::RateSetting::NoKey)
                << *rate;
            EXPECT_EQ(text.find("No rate is stored"), std::string::npos);
            EXPECT_EQ(Find(report, "screen: ") == nullptr ? "" : *Find(report, "screen: "),
                      "screen: " + screen + ", " + ColorWords(m.bitsPerPixel));
        }

        // The fallbacks on the way to the timing written: the list, the rate's place in it, the row.
        if (held != kRowCount) {
            const bool ownList       = kOwnScreens.count({m.width, m.height}) != 0;
            const TableRow listRow   = ownList ? held : 0;
            const std::string list   = ownList ? screen : ScreenWords(640, 480);
            const std::string listed = std::to_string(RateOfEntry(RateTable[listRow][heldRate]));
            EXPECT_EQ(CountOf(report,
                              "  fallback: " + screen + " has no rate list of its own: 640 x 480's is used"),
                      ownList ? 0u : 1u);
            const bool matched      = used.substr(0, 2) == listed.substr(0, 2);
            const std::string* none = Find(report, "  fallback: \"");
            EXPECT_EQ(none != nullptr, !matched) << text;
            if (none != nullptr) {
                EXPECT_TRUE(begins(*none, "  fallback: " + Quoted(used) + " is in no entry of " + list +
                                              "'s list: its first, "))
                    << *none;
            }
            EXPECT_TRUE(matched || heldRate == 0);
            EXPECT_TRUE(same(Find(report, "  rate rule: ") == nullptr ? "" : *Find(report, "  rate rule: "),
                             matched && used != listed
                                 ? "  rate rule: " + Quoted(used) + " is taken as " + listed +
                                       " Hz: only the first two characters of a stored rate count"
                                 : ""))
                << text;
            const int* rowSize = ResolutionTable[held];
            const bool ownRow  = rowSize[0] == m.width && rowSize[1] == m.height;
            EXPECT_EQ(Find(report, "  fallback: " + screen + " has no timings of its own: ") == nullptr
                          ? ""
                          : *Find(report, "  fallback: " + screen + " has no timings of its own: "),
                      ownRow ? ""
                             : "  fallback: " + screen + " has no timings of its own: for the " +
                                   Ordinal(heldRate) + " rate of " + list + "'s list, " + listed +
                                   " Hz, it takes the " + Ordinal(heldRate) + " timing of " +
                                   ScreenWords(rowSize[0], rowSize[1]) + ", " + RateWords(held, heldRate));
        }

        // LUMRATE's own words of the mapping driver, as it shows them.
        for (const std::string& box : run.boxes) {
            if (served) {
                EXPECT_NE(Find(report, "  LUMRATE then shows the box \"" + box + "\""), nullptr) << text;
            }
        }
        EXPECT_EQ(CountOf(report, "  LUMRATE then shows the box "), served ? run.boxes.size() : 0u);
        std::string printed;
        for (char c : run.standardOutput) {
            printed += c == '\r' || c == '\n' ? "" : std::string(1, c);
        }
        EXPECT_EQ(Find(report, "  LUMRATE then writes to standard output") == nullptr
                      ? ""
                      : *Find(report, "  LUMRATE then writes to standard output"),
                  printed.empty()
                      ? ""
                      : "  LUMRATE then writes to standard output, where it has one: \"" + printed + "\"");

        // Every access as the run makes it; the index register LUMCHECK goes through to read, named.
        std::vector<std::string> accesses;
        for (const std::string& line : report) {
            if (line.rfind("  made    ", 0) == 0 || line.rfind("  planned ", 0) == 0) {
                accesses.push_back(line);
            }
        }
        ASSERT_EQ(accesses.size(), run.accesses.size()) << text;
        EXPECT_NE(Find(report, "adapter accesses: " + std::to_string(run.accesses.size()) + " (planned: "),
                  nullptr);
        for (size_t i = 0; i < accesses.size(); ++i) {
            char value[16];
            std::snprintf(value, sizeof value, "%s %02X", run.accesses[i]["op"] == "in" ? "->" : "<-",
                          run.accesses[i]["value"].get<int>());
            EXPECT_NE(accesses[i].find(value), std::string::npos) << accesses[i];
        }
        const bool made = CountOf(report, "  made ") != 0;
        EXPECT_EQ(CountOf(report,
                          "  also made: the CRTC index register (0x3D4), read before LUMCHECK's first index "
                          "write to it, and after the last read written back as it was"),
                  made ? 1u : 0u);

        // Each escape explained once, right after the first line that shows it.
        size_t firstHex = report.size(), firstQuoted = report.size();
        for (size_t i = 0; i < report.size(); ++i) {
            if (report[i].rfind("  escapes: ", 0) == 0) {
                continue;
            }
            firstHex    = std::min(firstHex, std::regex_search(report[i], hexEscape) ? i : report.size());
            firstQuoted = std::min(firstQuoted, report[i].find("\\\"") != std::string::npos ||
                                                        report[i].find("\\\\") != std::string::npos
                                                    ? i
                                                    : report.size());
        }
        const std::string hexWords =
            "  escapes: \\xNN stands for a byte that is no printable character, NN its "
            "value in hexadecimal";
        const std::string quoteWords =
            "  escapes: \\\" and \\\\ stand for a quote and a backslash within the quotes";
        EXPECT_EQ(CountOf(report, hexWords), firstHex < report.size() ? 1u : 0u);
        EXPECT_EQ(CountOf(report, quoteWords), firstQuoted < report.size() ? 1u : 0u);
        if (firstHex < report.size()) {
            EXPECT_TRUE(report[firstHex + 1] == hexWords) << text;
        }
        if (firstQuoted < report.size()) {
            EXPECT_TRUE(report[firstQuoted + 1] == quoteWords ||
                        (report[firstQuoted + 1] == hexWords && report[firstQuoted + 2] == quoteWords))
                << text;
        }

        // The monitor, and LUMWATCH's own answer.
        EXPECT_EQ(CountOf(report, "monitor: The monitor"), 1u);
        EXPECT_EQ(CountOf(report, "LUMWATCH: starts no run of LUMRATE here, so Windows' own timing stays"),
                  watcherStops ? 1u : 0u);
        EXPECT_EQ(CountOf(report, "LUMWATCH: starts LUMRATE here when Windows starts"),
                  watcherStops ? 0u : 1u);
        if (watcherStops && held != kRowCount) {
            const std::string why = After(report, Find(report, "LUMWATCH: "));
            EXPECT_TRUE(why.rfind("  why: " + TimingWords(held, heldRate, m.width, m.height) + " ", 0) == 0 ||
                        why.rfind("  why: " + screen + " is larger than", 0) == 0)
                << why;
        }

        // Names and words a user knows; lines an MS-DOS Prompt window shows whole.
        for (const char* never :
             {"the utility", "the diagnostic", "colours", " 0 bits", " 0 Hz", "no rate timing"}) {
            EXPECT_EQ(text.find(never), std::string::npos) << never << "\n" << text;
        }
        for (const std::string& line : raw) {
            EXPECT_LE(line.size(), 79u) << line;
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
