// The diagnostic on the host: the utility's own run, reading the simulated adapter through the
// diagnostic's primitives. On every machine of one table its report equals refresh-sim's for the
// same machine, and the adapter sees nothing but the index writes its two reads need.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "diag/diagnostic.h"
#include "diag/dry_ports.h"
#include "hw/primitives.h"
#include "hw/vga.h"
#include "machine.h"
#include "simulator.h"
#include "tests/support/refresh_sim.h"

namespace {

using adapter::Access;
using adapter::Op;
using host::DriverBehaviour;

struct MachineRow {
    const char* name;
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
    static const char* const kDrivers[] = {"ok",          "missing",     "unsupported",
                                           "ioctl-fails", "null-window", "no-output"};
    char text[160];
    std::snprintf(text, sizeof text, "--json --screen %dx%d --bpp %d --crtc75 0x%02X --driver %s", m.width,
                  m.height, m.bitsPerPixel, m.crtc75, kDrivers[static_cast<int>(m.driver)]);
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

std::vector<std::string> RunDiagnosticOn(const sim::SimulatedMachine& machine) {
    sim::PrepareMachine(machine);
    plannedAccessCount = 0;
    std::vector<std::string> lines;
    sim::StdoutCapture capture; // the mapping driver's texts, which the diagnostic leaves to the product
    RunDiagnostic(
        [](const char* line, void* out) { static_cast<std::vector<std::string>*>(out)->push_back(line); },
        &lines);
    return lines;
}

TEST(Diagnostic, ReportsWhatRefreshSimReportsForTheSameMachine) {
    const std::string iniFile = testing::TempDir() + "diagnostic_test_system.ini";
    for (const MachineRow& row : kMachines) {
        support::SimOutcome sim = support::RunRefreshSim(Options(row.machine, iniFile));
        ASSERT_EQ(sim.exitCode, 0) << row.name << ": " << sim.out;
        std::vector<std::string> want = nlohmann::json::parse(sim.out)["report"];

        std::vector<std::string> got = RunDiagnosticOn(row.machine);
        EXPECT_EQ(got, want) << row.name;
    }
    std::remove(iniFile.c_str());
}

// The real accesses: an index write and the read of its data port, never more; no window store, no
// register changed.
TEST(Diagnostic, TouchesTheAdapterOnlyToReadIt) {
    for (const MachineRow& row : kMachines) {
        std::vector<std::string> report = RunDiagnosticOn(row.machine);
        const adapter::Adapter& a       = host::TheMachine().adapter;
        adapter::Adapter before         = adapter::MakeAdapter();
        before.crtc[EXT_CRTC_75]        = row.machine.crtc75;
        ASSERT_EQ(a.trace.size() % 2, 0u) << row.name;
        for (size_t i = 0; i < a.trace.size(); i += 2) {
            const Access& index = a.trace[i];
            const Access& data  = a.trace[i + 1];
            EXPECT_TRUE(index.op == Op::Out && (index.where == VGA_CRT_IC || index.where == EXT_IC))
                << row.name;
            EXPECT_TRUE(data.op == Op::In && data.where == index.where + 1) << row.name;
        }
        EXPECT_EQ(adapter::CountUnexpected(a), 0u) << row.name;
        EXPECT_EQ(a.crtc, before.crtc) << row.name;
        EXPECT_EQ(a.ext, before.ext) << row.name;
        EXPECT_EQ(a.miscOutput, before.miscOutput) << row.name;
        EXPECT_EQ(a.window, before.window) << row.name;
        // What it would have written is in the report instead, and the verdict says so.
        bool programs = plannedAccessCount > 2;
        EXPECT_EQ(report.back(),
                  programs ? "verdict: the utility would change the adapter on this machine"
                           : "verdict: the utility would leave the adapter as it is on this machine")
            << row.name;
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
    EXPECT_EQ(ReadPortByte(VGA_CRT_DC), 0xFF);
    EXPECT_EQ(host::TheMachine().adapter.trace.size(), 2u);
    EXPECT_EQ(host::TheMachine().adapter.crtc[VGA_CRTC_V_SYNC_END], 0x8E);
    ASSERT_EQ(plannedAccessCount, 5);
    EXPECT_EQ(plannedAccesses[3].value, 0x0E);
}

} // namespace
