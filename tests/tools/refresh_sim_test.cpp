// refresh-sim's command line is an interface other checks rely on: its options, its JSON shape,
// and its refusal of bad input.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "diag/run_record.h"
#include "tests/support/refresh_sim.h"

namespace {

// A refresh-sim that reads without end or waits for ever must fail the test, not take the
// machine's memory or the test run with it. The sanitizers reserve more address space than any
// such limit allows, so there the time limit alone holds.
#ifdef __SANITIZE_ADDRESS__
const char kLimits[] = "timeout 20 ";
#else
const char kLimits[] = "ulimit -v 4000000; timeout 20 ";
#endif

using Outcome = support::SimOutcome;
using support::RunShell;

// Standard error joins standard output unless `redirect` says otherwise.
Outcome RunSim(const std::string& arguments, const std::string& redirect = "2>&1") {
    return RunShell(kLimits + std::string(REFRESH_SIM_PATH) + " " + arguments + " " + redirect);
}

nlohmann::json RunJson(const std::string& arguments) {
    Outcome o = RunSim("--json " + arguments);
    EXPECT_EQ(o.exitCode, 0) << o.out;
    return nlohmann::json::parse(o.out);
}

TEST(RefreshSim, DefaultMachineIsTheTypicalRun) {
    Outcome o = RunSim("");
    ASSERT_EQ(o.exitCode, 0);
    EXPECT_NE(o.out.find("message boxes: none"), std::string::npos);
    EXPECT_NE(o.out.find("exit code: 0"), std::string::npos);
    EXPECT_NE(o.out.find("CRTC 0x00 (horizontal total) <- A7"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("CRTC 0x13 (offset) <- 00"), std::string::npos);
    EXPECT_NE(o.out.find("window 0x60000003 <- 1C"), std::string::npos);
    EXPECT_NE(o.out.find("\nselection: 1024x768, 85 Hz, High Color\n"), std::string::npos);
    EXPECT_NE(o.out.find("\nverdict: the utility would set the rate on this machine\n"), std::string::npos);
}

// No line of the text output is wider than an MS-DOS Prompt window, the message box's and the
// standard output's among them; a longer one goes on indented.
TEST(RefreshSim, TextLinesFitAPromptWindow) {
    for (const char* arguments : {"--no-system-ini", "--driver missing", "--driver unsupported",
                                  "--rate="
                                  "0123456789012345678901234567890123456789012345678901234567890123456789"}) {
        Outcome o = RunSim(arguments);
        ASSERT_EQ(o.exitCode, 0) << arguments;
        std::istringstream lines(o.out);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 79u) << arguments << ": " << line;
        }
    }
    EXPECT_NE(RunSim("--no-system-ini")
                  .out.find("\nmessage box: text \"Open System.ini error!\", caption \"\", "
                            "type 0x10 (MB_ICONERROR\n    | MB_OK)\n"),
              std::string::npos);
}

TEST(RefreshSim, JsonShape) {
    nlohmann::json j = RunJson("--screen 640x480 --bpp 8 --rate 120");
    EXPECT_EQ(j["exitCode"], 0);
    EXPECT_TRUE(j["messageBoxes"].is_array());
    EXPECT_EQ(j["stdout"], "");
    ASSERT_TRUE(j["accesses"].is_array());
    const nlohmann::json& first = j["accesses"][0];
    EXPECT_EQ(first, (nlohmann::json{{"op", "out"}, {"port", 0x3D4}, {"value", 0x75}}));
    const nlohmann::json& last = j["accesses"].back();
    EXPECT_EQ(last, (nlohmann::json{{"op", "store"}, {"address", 0x60000000}, {"value", 0x00}}));
    EXPECT_EQ(j["registers"]["crtc"]["0x13"], 0x50);
}

// A run that programs the adapter without a register window: every access but the stores.
constexpr size_t kNoWindow = kSkipBitAccesses + kSequenceAccesses;

TEST(RefreshSim, OptionsReachTheMachine) {
    struct Case {
        const char* arguments;
        const char* expectStdout;
        const char* expectBoxText;
        size_t accessCount;
    } cases[] = {
        {"--driver missing", "Unable to open VxD, Error code: 2\r\n", nullptr, kNoWindow},
        {"--driver=unsupported", "Unable to open VxD, \r\n device does not support DeviceIOCTL\r\n", nullptr,
         kNoWindow},
        {"--driver ioctl-fails", "", "Can not map physical to linear address", kNoWindow},
        {"--driver null-window", "", nullptr, kNoWindow},
        {"--driver no-output", "", nullptr, kNoWindow},
        {"--no-system-ini", "", "Open System.ini error!", 0},
        {"--crtc75 0x20", "", nullptr, 2},
        {"--crtc75=32", "", nullptr, 2},
        {"--bpp 4", "", nullptr, 2},
        {"--screen 1920x1080", "", nullptr, 2},
        {"--screen 0x400x0x300 --no-rate", "", nullptr, kLongestRun},
    };
    for (const Case& c : cases) {
        nlohmann::json j = RunJson(c.arguments);
        EXPECT_EQ(j["stdout"], c.expectStdout) << c.arguments;
        if (c.expectBoxText == nullptr) {
            EXPECT_TRUE(j["messageBoxes"].empty()) << c.arguments;
        } else {
            ASSERT_EQ(j["messageBoxes"].size(), 1u) << c.arguments;
            EXPECT_EQ(j["messageBoxes"][0]["text"], c.expectBoxText);
            EXPECT_EQ(j["messageBoxes"][0]["caption"], "");
        }
        EXPECT_EQ(j["accesses"].size(), c.accessCount) << c.arguments;
    }
}

// The rate text goes to the registry as given, even empty or starting with a minus or two.
TEST(RefreshSim, RateTextsAsGiven) {
    EXPECT_NE(RunJson("--screen 1152x864 --rate=").dump().find("selection: 1152x864, an empty rate entry"),
              std::string::npos);
    EXPECT_NE(RunJson("--rate=-1").dump().find("refresh rate: \\\"-1\\\" from the registry"),
              std::string::npos);
    EXPECT_NE(
        RunJson("--rate=--json --screen 1152x864").dump().find("fallback: \\\"--json\\\" is in no entry"),
        std::string::npos);
    EXPECT_NE(RunJson("--no-settings-key --screen 1600x1200")
                  .dump()
                  .find("selection: 1600x1200, an empty rate entry"),
              std::string::npos);
}

// Leading zeros are no octal: 040 is forty, 0640x0400 is 640 by 400, 010 bits are ten.
TEST(RefreshSim, NumbersAreDecimalOrHex) {
    struct Case {
        const char* arguments;
        const char* crtc; // a CRTC register the machine's number decides
        int value;
    } cases[] = {
        {"--crtc75 040", "0x75", 40},
        {"--crtc75 0x28", "0x75", 0x28},
        {"--crtc75=0X1f", "0x75", 0x1F},
        {"--bpp 010", "0x13", 0x00},          // the offset of 1024 at 9 to 16 bits, not at 8
        {"--bpp 0x8", "0x13", 0x80},          // and at 8 bits
        {"--screen 0640x0400", "0x01", 0x4F}, // the horizontal display end of the 640 row
        {"--screen 0x280x0x1E0", "0x01", 0x4F},
    };
    for (const Case& c : cases) {
        nlohmann::json j = RunJson(c.arguments);
        EXPECT_EQ(j["registers"]["crtc"][c.crtc], c.value) << c.arguments;
    }
}

// Inputs that used to crash refresh-sim, hang it or make it read without end, and plain mistakes:
// each is one line on standard error and exit code 2, and nothing on standard output.
class RefreshSimBadInput : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = ::testing::TempDir() + "refresh_sim_bad_input/";
        mkdir(folder_.c_str(), 0700);
        fifo_ = folder_ + "fifo";
        unlink(fifo_.c_str());
        ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
        tooLarge_  = folder_ + "too_large.ini";
        FILE* file = std::fopen(tooLarge_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
        ASSERT_EQ(truncate(tooLarge_.c_str(), (16 << 20) + 1), 0); // sparse: costs no disk
    }
    void TearDown() override {
        unlink(fifo_.c_str());
        unlink(tooLarge_.c_str());
        rmdir(folder_.c_str());
    }

    std::string folder_, fifo_, tooLarge_;
};

TEST_F(RefreshSimBadInput, OneLineOnStderrAndExitTwo) {
    struct Case {
        std::string arguments;
        std::string redirect = "2>&1";
    };
    const std::vector<Case> cases = {
        {"--bpp many"},
        {"--screen 1024"},
        {"--crtc75 256"},
        {"--crtc75 0x"},
        {"--crtc75 0x-5"},
        {"--driver gone"},
        {"--no-rate --rate 60"},
        {"--frobnicate"},
        {"--no-system-ini --system-ini x"},
        // Blanks around a number, on either side.
        {"--bpp ' 8'"},
        {"--bpp '8 '"},
        {"--crtc75 ' 0x20'"},
        {"--screen '640x480 '"},
        // A value option never takes the next option as its value.
        {"--rate --json"},
        {"--rate --no-settings-key"},
        {"--system-ini --json"},
        {"--screen --bpp 8"},
        // What --system-ini names: only a readable regular file of at most 16 MiB.
        {"--system-ini /nonexistent/system.ini"},
        {"--system-ini " + folder_},
        {"--system-ini /proc/self/mem"},
        {"--system-ini /dev/zero"},
        {"--system-ini " + fifo_},
        {"--system-ini " + tooLarge_},
        // The report that cannot be written.
        {"--json", "2>&1 >/dev/full"},
    };
    for (const Case& c : cases) {
        Outcome o = RunSim(c.arguments, c.redirect);
        EXPECT_EQ(o.exitCode, 2) << c.arguments << ": " << o.out;
        EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 1) << c.arguments << ": " << o.out;
        EXPECT_EQ(o.out.rfind("refresh-sim: ", 0), 0u) << c.arguments << ": " << o.out;
    }
}

// The limit is the simulator's: a file of exactly 16 MiB is served whole.
TEST_F(RefreshSimBadInput, FileOfTheLimitIsServed) {
    ASSERT_EQ(truncate(tooLarge_.c_str(), 16 << 20), 0);
    nlohmann::json j = RunJson("--system-ini " + tooLarge_);
    EXPECT_TRUE(j["accesses"].empty()); // sixteen MiB of zero bytes name no driver
    EXPECT_TRUE(j["messageBoxes"].empty());
}

// The capture of the utility's standard output needs no temporary folder: a read-only /tmp, in a
// mount namespace of its own, changes nothing. /tmp stays as it is but for the write bit, since
// the build folder itself may lie below it.
TEST(RefreshSim, RunsWithoutAWritableTemporaryFolder) {
    const std::string readOnlyTmp =
        "unshare -m sh -c 'mount --bind /tmp /tmp && mount -o remount,bind,ro /tmp && ";
    if (std::system((readOnlyTmp + "! touch /tmp/probe 2>/dev/null' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "no mount namespace for a read-only /tmp here";
    }
    Outcome o = RunShell(kLimits + readOnlyTmp + "exec " + REFRESH_SIM_PATH + " --json' 2>&1");
    ASSERT_EQ(o.exitCode, 0) << o.out;
    EXPECT_EQ(nlohmann::json::parse(o.out)["accesses"].size(), size_t{kLongestRun});
}

TEST(RefreshSim, VersionAndHelp) {
    Outcome version = RunSim("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "refresh-sim 1.0.0\n");

    Outcome help = RunSim("--help");
    ASSERT_EQ(help.exitCode, 0);
    // Every option names its default. CLI11 writes an option's entry on one line, or, when it
    // lists exclusions, on two: the second indented further.
    std::istringstream lines(help.out);
    std::vector<std::string> entries;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  -", 0) == 0) {
            entries.push_back(line);
        } else if (line.rfind("      ", 0) == 0 && !entries.empty()) {
            entries.back() += line;
        }
    }
    ASSERT_FALSE(entries.empty()) << help.out;
    for (const std::string& entry : entries) {
        if (entry.find("--help") == std::string::npos && entry.find("--version") == std::string::npos) {
            EXPECT_NE(entry.find("(default"), std::string::npos) << entry;
        }
    }
    // What the JSON holds, as a run shows it, and the exit codes.
    nlohmann::json j = RunJson("");
    for (const auto& [key, value] : j.items()) {
        EXPECT_NE(help.out.find(key), std::string::npos) << key;
    }
    for (const auto& [key, value] : j["registers"].items()) {
        EXPECT_NE(help.out.find(key), std::string::npos) << key;
    }
    EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
}

} // namespace
