// refresh-sim's command line is an interface other checks rely on: its options, its JSON shape,
// and its refusal of bad input.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "diag/access_list.h"
#include "machine.h"
#include "tests/support/refresh_sim.h"
#include "tests/support/scratch_folder.h"

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

// Standard error joins standard output unless `redirect` says otherwise; `folder`, where given, is
// the one it runs in.
Outcome RunSim(const std::string& arguments, const std::string& redirect = "2>&1",
               const std::string& folder = "") {
    return RunShell((folder.empty() ? "" : "cd '" + folder + "' && ") + kLimits +
                    std::string(REFRESH_SIM_PATH) + " " + arguments + " " + redirect);
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
    EXPECT_NE(o.out.find("\nselection: 85 Hz at 1024 x 768, High Color (16 bit)\n"), std::string::npos);
    EXPECT_NE(o.out.find("\nverdict: LUMRATE would set 85 Hz at 1024 x 768, High Color (16 bit)\n"),
              std::string::npos);
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
        {"--no-rate --", "", nullptr, kLongestRun},             // -- ends the options
        {"--crtc75 0x20 --crtc75 0", "", nullptr, kLongestRun}, // the last one holds
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

// The report's lines, each wrapped one joined again.
std::string ReportText(const nlohmann::json& j) {
    std::string text;
    for (const std::string line : j["report"]) {
        text += line.rfind("    ", 0) == 0 ? " " + line.substr(4) : "\n" + line;
    }
    return text;
}

// The rate text goes to the registry as given, even empty or starting with a minus or two.
TEST(RefreshSim, RateTextsAsGiven) {
    struct Case {
        const char* arguments;
        const char* says;
    } cases[] = {
        {"--screen 1152x864 --rate=", "\nrefresh rate: \"\", from the value RefreshRate"},
        {"--rate=-1", "\nrefresh rate: \"-1\", from the value RefreshRate"},
        {"--rate=--json --screen 1152x864", "\n  fallback: \"--json\" is in no entry"},
        {"--no-settings-key --screen 1600x1200",
         "\nrefresh rate: \"\", as Windows keeps no display settings"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(ReportText(RunJson(c.arguments)).find(c.says), std::string::npos) << c.arguments;
    }
}

// A monitor is listed where an option gives what its setup information says; the report tells its
// limits and whether LUMWATCH starts LUMRATE under them.
TEST(RefreshSim, MonitorOptionsListOneMonitor) {
    struct Case {
        const char* arguments;
        const char* monitor; // the monitor line
        bool watcherRuns;
    } cases[] = {
        {"", "monitor: The monitor's limits are not known: Windows lists no monitor.", true},
        {"--monitor-mode 30-70,50-100",
         "monitor: The monitor takes 30.0-70.0 kHz and 50-100 Hz at 1024 x 768,", true},
        {"--monitor-mode=31.0-64.0,50.0-100.0,+,+", "monitor: The monitor takes 31.0-64.0 kHz", false},
        {"--screen 800x600 --monitor-mode 31.0-64.0,50.0-100.0", "at 800 x 600, says its setup information.",
         true},
        {"--monitor-max 800x600", "Its largest screen: 800 x 600.", false},
        {"--monitor-max 0x400x0x300", "Its largest screen: 1024 x 768.", true},
        {"--monitor-mode x",
         "monitor: The monitor's limits are not known: what it says of them cannot be read.", true},
    };
    for (const Case& c : cases) {
        std::string text = ReportText(RunJson(c.arguments));
        EXPECT_NE(text.find(c.monitor), std::string::npos) << c.arguments << text;
        EXPECT_EQ(text.find("\nLUMWATCH: starts LUMRATE here") != std::string::npos, c.watcherRuns)
            << c.arguments;
        EXPECT_EQ(text.find("\nLUMWATCH: starts no run of LUMRATE here") != std::string::npos, !c.watcherRuns)
            << c.arguments;
    }
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
// each is one line on standard error, in the manner of the GNU tools, and exit code 2, and nothing
// on standard output. A bad command line gets a second line that points to --help; a file that
// cannot be served or a report that cannot be written do not, as no option was wrong.
class RefreshSimBadInput : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        fifo_ = folder_.File("fifo");
        ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
        tooLarge_  = folder_.File("too_large.ini");
        FILE* file = std::fopen(tooLarge_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
        ASSERT_EQ(truncate(tooLarge_.c_str(), (16 << 20) + 1), 0); // sparse: costs no disk
    }

    support::ScratchFolder folder_; // each test its own: ctest -j runs them side by side
    std::string fifo_, tooLarge_;
};

TEST_F(RefreshSimBadInput, OneLineOnStderrAndExitTwo) {
    const std::string tryHelp = "Try 'refresh-sim --help' for more information.\n";
    struct Case {
        std::string arguments;
        std::string says;            // the whole line, after "refresh-sim: "
        bool usage           = true; // a bad command line: the second line
        std::string redirect = "2>&1";
    };
    const std::vector<Case> cases = {
        {"--bpp many", "--bpp 'many' is not a number"},
        // An empty value shows as '', and a character that would break the line or hide as \xNN.
        {"--bpp=", "--bpp '' is not a number"},
        {"--screen ''", "--screen '' is not WxH, for example 1024x768"},
        {"--driver ''", "--driver '' names no mapping driver; --help lists them"},
        {"--screen \"$(printf 'a\\nb\\033')\"", "--screen 'a\\x0Ab\\x1B' is not WxH, for example 1024x768"},
        {"--screen \"$(printf 'caf\\303\\251 \\377')\"",
         "--screen 'caf\xC3\xA9 \\xFF' is not WxH, for example 1024x768"},
        {"-\"$(printf '\\001')\"", "invalid option -- '\\x01'"},
        {"--screen 1024", "--screen '1024' is not WxH, for example 1024x768"},
        {"--crtc75 0x", "--crtc75 '0x' is not a number"},
        {"--crtc75 0x-5", "--crtc75 '0x-5' is not a number"},
        // A number out of range is a number: the line says which range.
        {"--crtc75 256", "--crtc75 '256' is out of range: a byte, 0 to 255 (0xFF)"},
        {"--crtc75 -1", "--crtc75 '-1' is out of range: a byte, 0 to 255 (0xFF)"},
        {"--bpp 4294967297", "--bpp '4294967297' is out of range: -2147483648 to 2147483647"},
        {"--screen 1024x0x100000000", "--screen '1024x0x100000000' is out of range: 32-bit signed sides"},
        {"--driver gone", "--driver 'gone' names no mapping driver; --help lists them"},
        {"--monitor-max 1024", "--monitor-max '1024' is not WxH, for example 1280x1024"},
        {"--monitor-max 1x0x100000000", "--monitor-max '1x0x100000000' is out of range: 32-bit signed sides"},
        // Every value given is checked, not only the one that holds.
        {"--bpp x --bpp 8", "--bpp 'x' is not a number"},
        // Options that say the machine lacks or has one thing, in the order given.
        {"--no-rate --rate 60", "options '--no-rate' and '--rate' exclude each other"},
        {"--rate=60 --no-settings-key", "options '--rate' and '--no-settings-key' exclude each other"},
        {"--no-system-ini --system-ini x", "options '--no-system-ini' and '--system-ini' exclude each other"},
        // An option refresh-sim does not know, as getopt_long tells it: the option alone takes the
        // blame, before any value or argument after it, and before --help.
        {"--frobnicate", "unrecognized option '--frobnicate'"},
        {"--frobnicate=3", "unrecognized option '--frobnicate=3'"},
        {"--screne 800x600", "unrecognized option '--screne'"},
        {"--scr 800x600", "unrecognized option '--scr'"}, // no abbreviations
        {"--screen 1024 --scren 800x600", "unrecognized option '--scren'"},
        {"a --JSON", "unrecognized option '--JSON'"},
        {"--frobnicate --help", "unrecognized option '--frobnicate'"},
        {"-x", "invalid option -- 'x'"},
        {"-xh", "invalid option -- 'x'"},
        // What no option takes, in the order given, and whatever follows --.
        {"a b c", "unexpected arguments 'a' 'b' 'c'"},
        {"a --json -- b --help", "unexpected arguments 'a' 'b' '--help'"},
        {"-- ''", "unexpected argument ''"},
        {"''", "unexpected argument ''"},
        {"-", "unexpected argument '-'"},
        {"a b c d e f g h i j k l m n o p q r s t u v w x y z",
         "unexpected arguments 'a' 'b' 'c' 'd' 'e' 'f' 'g' 'h' and 18 more"},
        // A flag takes no value, however it is given.
        {"--no-rate 60", "unexpected argument '60': --no-rate takes no value"},
        {"--help=x", "option '--help' takes no value"},
        {"--version=1", "option '--version' takes no value"},
        {"--json=1", "option '--json' takes no value"},
        {"--no-rate=", "option '--no-rate' takes no value"},
        // Blanks around a number, on either side.
        {"--bpp ' 8'", "--bpp ' 8' is not a number"},
        {"--bpp '8 '", "--bpp '8 ' is not a number"},
        {"--crtc75 ' 0x20'", "--crtc75 ' 0x20' is not a number"},
        {"--screen '640x480 '", "--screen '640x480 ' is not WxH, for example 1024x768"},
        // A value option never takes the next option, nor the --, as its value.
        {"--rate --json", "option '--rate' needs a value, not '--json'; or --rate=--json"},
        {"--rate --no-settings-key", "option '--rate' needs a value, not '--no-settings-key'"},
        {"--system-ini --json", "option '--system-ini' needs a value, not '--json'"},
        {"--screen --bpp 8", "option '--screen' needs a value, not '--bpp'; or --screen=--bpp"},
        {"--rate -- 60", "option '--rate' needs a value, not '--'"},
        // The way to give such a value where the line holds it and a shell takes it as it stands.
        {"--rate '--a b'", "option '--rate' needs a value, not '--a b'"},
        {"--windows-directory --json", "option '--windows-directory' needs a value, not '--json'"},
        {"--bpp", "option '--bpp' needs a value"},
        // What --system-ini names: only a readable regular file of at most 16 MiB.
        {"--system-ini /nonexistent/system.ini",
         "--system-ini '/nonexistent/system.ini': No such file or directory", false},
        {"--system-ini ''", "--system-ini '': No such file or directory", false},
        {"--system-ini .", "--system-ini '.': not a regular file", false},
        {"--system-ini /proc/self/mem", "--system-ini '/proc/self/mem': Input/output error", false},
        {"--system-ini /dev/zero", "--system-ini '/dev/zero': not a regular file", false},
        {"--system-ini fifo", "--system-ini 'fifo': not a regular file", false},
        {"--system-ini too_large.ini", "--system-ini 'too_large.ini': more than 16777216 bytes", false},
        // The report that cannot be written.
        {"--json", "cannot write standard output", false, "2>&1 >/dev/full"},
    };
    for (const Case& c : cases) {
        Outcome o = RunSim(c.arguments, c.redirect, folder_.Path()); // where the files' names are short
        EXPECT_EQ(o.exitCode, 2) << c.arguments << ": " << o.out;
        EXPECT_EQ(o.out, "refresh-sim: " + c.says + "\n" + (c.usage ? tryHelp : "")) << c.arguments;
    }
}

// An error line fits 79 columns whatever it quotes: a long value gives up its middle, whole
// characters at a time, its two ends stay, and what the line says of it stays whole.
TEST(RefreshSim, ErrorLinesFitWhateverTheyQuote) {
    const std::string a300(300, 'a'), b200(200, 'b'), nines(25, '9');
    std::string accented;
    for (int i = 0; i < 60; ++i) {
        accented += "\xC3\xA9";
    }
    struct Case {
        std::string arguments, begins, cut, ends; // the line after "refresh-sim: "; cut: where it is
    } cases[] = {
        {"--screen x" + a300, "--screen 'xaa", "a...a", "aa' is not WxH, for example 1024x768"},
        {"--screen " + accented, "--screen '\xC3\xA9", "\xC3\xA9...\xC3\xA9",
         "\xC3\xA9' is not WxH, for example 1024x768"},
        {"--screen 1x" + nines, "--screen '1x99", "9...9", "99' is out of range: 32-bit signed sides"},
        {"--bpp " + nines, "--bpp '99", "9...9", "99' is out of range: -2147483648 to 2147483647"},
        {"--bpp " + a300, "--bpp 'aa", "a...a", "aa' is not a number"},
        {"--crtc75 " + nines, "--crtc75 '99", "9...9", "99' is out of range: a byte, 0 to 255 (0xFF)"},
        {"--driver " + a300, "--driver 'aa", "a...a", "aa' names no mapping driver; --help lists them"},
        {"--system-ini /nonexistent/" + b200 + "/system.ini", "--system-ini '/nonexist", "...",
         "system.ini': No such file or directory"},
        {"--system-ini /nonexistent/" + a300, "--system-ini '/nonexist", "...",
         "aa': No such file or directory"},
        {"--frobnicate" + a300, "unrecognized option '--frobnicateaa", "a...a", "aa'"},
        {"--frobnicate=" + a300, "unrecognized option '--frobnicate=aa", "a...a", "aa'"},
        {"--windows-directory --" + a300, "option '--windows-directory' needs a value, not '--aa", "a...a",
         "aa'"},
        {a300, "unexpected argument 'aa", "a...a", "aa'"},
        {"x " + a300 + " y", "unexpected arguments 'x' 'aa", "a...a", "aa' 'y'"},
        {a300 + " " + a300 + " " + a300, "unexpected arguments 'aa", "a...a", "aa' and 2 more"},
        {"--no-rate " + a300, "unexpected argument 'aa", "a...a", "aa': --no-rate takes no value"},
    };
    for (const Case& c : cases) {
        Outcome o = RunSim(c.arguments, "2>&1 >/dev/null");
        EXPECT_EQ(o.exitCode, 2) << c.arguments;
        std::string line = o.out.substr(0, o.out.find('\n'));
        EXPECT_LE(line.size(), 79u) << line;
        EXPECT_EQ(line.rfind("refresh-sim: " + c.begins, 0), 0u) << line;
        EXPECT_NE(line.find(c.cut), std::string::npos) << line;
        EXPECT_TRUE(line.size() >= c.ends.size() &&
                    line.compare(line.size() - c.ends.size(), std::string::npos, c.ends) == 0)
            << line;
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
    // -h is --help, and it answers where it stands, as getopt_long reads it: nothing after it is
    // read, and a value is only checked once every option is read.
    for (const char* arguments : {"-h", "-hx", "--help --frobnicate", "--bpp x --help"}) {
        Outcome o = RunSim(arguments);
        EXPECT_EQ(o.exitCode, 0) << arguments;
        EXPECT_EQ(o.out, help.out) << arguments;
    }
    // Every option names its default. CLI11 writes an option's entry on one line, or, where its
    // names are too wide, on two: the second indented further.
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
    // The usage names every name of every option, -h among them.
    const std::string usage = help.out.substr(0, help.out.find("\n\n"));
    for (const std::string& entry : entries) {
        std::istringstream words(entry);
        for (std::string name; words >> name && name[0] == '-';) {
            name = name.substr(0, name.find(','));
            EXPECT_TRUE(std::regex_search(usage, std::regex("[\\[ |]" + name + "[\\] |]"))) << name << "\n"
                                                                                            << usage;
        }
    }
    // The help fits an 80-column terminal, with the cursor's column to spare.
    std::istringstream all(help.out);
    for (std::string line; std::getline(all, line);) {
        EXPECT_LE(line.size(), 79u) << line;
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

// The label a report line begins with, as --help quotes it: the words before its first colon, a
// number in them as N ("line N holds a Ctrl+Z:"); or its first word, where it has no colon or the
// words before it hold a value of the run (a comma or quote) or go on with the rules of the line
// before ("and"). A line indented four columns or more goes on the line before: "" (no label).
std::string LabelOf(const std::string& line) {
    size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos || indent >= 4) {
        return "";
    }
    std::string text;
    for (size_t i = indent; i < line.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
        if (!digit) {
            text += line[i];
        } else if (i == indent || !std::isdigit(static_cast<unsigned char>(line[i - 1]))) {
            text += 'N';
        }
    }
    size_t colon     = text.find(':');
    std::string head = text.substr(0, colon);
    if (colon != std::string::npos && head.find_first_of(",\"") == std::string::npos &&
        head.rfind("and ", 0) != 0) {
        return head + ":";
    }
    return text.substr(0, text.find(' '));
}

// Every kind of line the report prints is told in --help, by its label as the report's real
// output shows it, over machines that reach every stop, every fallback, every answer of the
// mapping driver and every near miss of system.ini.
TEST(RefreshSim, HelpNamesEveryLabelTheReportPrints) {
    const std::string help = RunSim("--help").out;
    support::ScratchFolder folder;
    std::vector<std::string> machines = {
        "",
        "--screen 1024x600 --rate 999", // no rate list, no entry, no row of its own
        "--screen 800x480 --rate 75",
        "--rate 600", // only two characters count
        "--screen 1152x864 --rate=",
        "--screen 720x480",
        "--screen 1000x700",
        "--bpp 0",
        "--bpp 4",
        "--bpp 8",
        "--bpp 24 --rate 120",
        "--bpp 32",
        "--crtc75 0x20",
        "--no-rate",
        "--no-settings-key --screen 1600x1200",
        "--rate=\"$(printf '7\\351\\001')\"",
        "--no-system-ini",
        "--windows-directory=",
        "--windows-directory=C:\\\\" + std::string(250, 'W'),
        "--rate='8\"5'",
        "--monitor-mode 31.0-64.0,50.0-100.0",
        "--monitor-max 800x600",
        "--monitor-mode x",
    };
    for (const host::DriverBehaviourName& driver : host::kDriverBehaviours) {
        machines.push_back(std::string("--driver ") + driver.name);
    }
    const char* const systemInis[] = {
        "[boot.description]\r\ndisplay.drv=other\r\n",
        "[boot]\r\ndisplay.drv=Lumarel series\r\n",
        "[boot]\ndisplay.drv=Lumarel series\n[boot.description]\n",
        " [boot.description]\ndisplay.drv=Lumarel series\n",
        "[Boot.Description]\r\ndisplay.drv=Lumarel series\r\n",
        "[BOOT.DESCRIPTION]\r\ndisplay.drv=Lumarel series\r\n[boot.description]\r\n",
        "[boot.description]\ndisplay.drv = Lumarel series\n",
        "[boot.description]\ndisplay.drv=LumarelSeries\n",
        "[boot.description]\ndisplay.drv=LUMAREL SERIES ; x\n",
        "[boot.description]\r\ndisplay.drv=Lumarel series\r\r\n",
        "[boot.description]\r\ndisplay.drv=Lumarel series",
        "[boot.description]\r\ndisplay.drv=Lumarel series\x1A",
        "[boot.description]\r\n\x1A\r\ndisplay.drv=Lumarel series\r\n",
        "[boot]\ndisplay.drv=Lumarel  series\n[Boot.description]\n[boot.description\n",
    };
    for (const char* text : systemInis) {
        std::string file = folder.File(std::to_string(machines.size()) + ".ini");
        std::ofstream(file, std::ios::binary) << text;
        machines.push_back("--system-ini " + file);
    }
    std::set<std::string> labels;
    for (const std::string& machine : machines) {
        Outcome o = RunSim(machine);
        ASSERT_EQ(o.exitCode, 0) << machine << ": " << o.out;
        std::istringstream report(o.out);
        for (std::string line; std::getline(report, line);) {
            std::string label = LabelOf(line);
            if (!label.empty() && labels.insert(label).second) {
                bool told = label.back() == ':' ? help.find("\"" + label) != std::string::npos
                                                : help.find("\"" + label + " ") != std::string::npos ||
                                                      help.find("\"" + label + "\"") != std::string::npos;
                EXPECT_TRUE(told) << "\"" << label << "\", first in: " << line << " (" << machine << ")";
            }
        }
    }
    // What --driver takes, which its error line leaves to --help.
    for (const host::DriverBehaviourName& driver : host::kDriverBehaviours) {
        EXPECT_TRUE(std::regex_search(help, std::regex(std::string("\\s") + driver.name + "\\s")))
            << driver.name;
    }
}

} // namespace
