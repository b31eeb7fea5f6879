// refresh-sim: shows what the utility would do on a machine, before it is run there. It builds a
// simulated machine from the options, runs the real WinMain against it, and reports the outcome
// and every adapter access in order.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simulator.h"

namespace {

const char kVersion[] = "refresh-sim " REFRESH_VERSION;

// The product reads a system.ini of any size; the simulator holds the whole file in memory.
constexpr size_t kSystemIniLimit = 16 << 20;

// What a number option's text is: a number in range, no number at all, or one out of range.
enum class Number { kOk, kNotANumber, kOutOfRange };

// Decimal, or hexadecimal after 0x, with an optional minus sign: the whole text, within
// [low, high]. A leading zero does not make it octal, and blanks on either side are refused.
Number ParseNumber(const std::string& text, long long low, long long high, long long* value) {
    const char* first = text.data();
    const char* last  = text.data() + text.size();
    bool negative     = first != last && *first == '-';
    first += negative ? 1 : 0;
    int base = 10;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        base = 16;
        first += 2;
    }
    unsigned long long magnitude = 0;
    auto [end, error]            = std::from_chars(first, last, magnitude, base); // no sign, no blanks
    if (first == last || end != last) {
        return Number::kNotANumber;
    }
    if (error != std::errc() || magnitude > 1ULL << 32) {
        return Number::kOutOfRange;
    }
    long long number = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (number < low || number > high) {
        return Number::kOutOfRange;
    }
    *value = number;
    return Number::kOk;
}

// WxH, each side as ParseNumber takes it. The x may also be that of a 0x side, so every x is
// tried; out of range where some split gives two numbers but not both in range.
Number ParseScreen(const std::string& text, int* width, int* height) {
    Number verdict = Number::kNotANumber;
    for (size_t x = 1; x + 1 < text.size(); ++x) {
        if (text[x] != 'x' && text[x] != 'X') {
            continue;
        }
        long long w = 0, h = 0;
        Number left  = ParseNumber(text.substr(0, x), INT32_MIN, INT32_MAX, &w);
        Number right = ParseNumber(text.substr(x + 1), INT32_MIN, INT32_MAX, &h);
        if (left == Number::kOk && right == Number::kOk) {
            *width  = static_cast<int>(w);
            *height = static_cast<int>(h);
            return Number::kOk;
        }
        if (left != Number::kNotANumber && right != Number::kNotANumber) {
            verdict = Number::kOutOfRange;
        }
    }
    return verdict;
}

// A run that cannot be served or reported: one line on standard error.
int Fail(const std::string& message) {
    std::cerr << "refresh-sim: " << message << "\n";
    return 2;
}

// A command line that makes no machine: the line, and where to read how it goes.
int BadUsage(const std::string& message) {
    std::cerr << "refresh-sim: " << message << "\n"
              << "Try 'refresh-sim --help' for more information.\n";
    return 2;
}

// A value as an error line quotes it: in single quotes, so that an empty one shows.
std::string Shown(const std::string& value) {
    return "'" + value + "'";
}

const char kUsage[] = "Usage: refresh-sim [--screen WxH] [--bpp N]\n"
                      "                   [--rate TEXT | --no-rate | --no-settings-key]\n"
                      "                   [--system-ini FILE | --no-system-ini]\n"
                      "                   [--windows-directory DIR] [--crtc75 N] [--driver NAME]\n"
                      "                   [--json] [--version] [--help]\n";

// CLI11's help, but with the usage above, which shows the options that exclude each other, and
// one line per option.
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App*, std::string) const override { return kUsage; }
    std::string make_option_opts(const CLI::Option* option) const override {
        return option->get_type_name().empty() ? "" : " " + option->get_type_name();
    }
};

const char kFooter[] =
    "The default system.ini names the served driver under [boot.description].\n"
    "--system-ini serves a file of the host instead: a regular file (no directory,\n"
    "device or FIFO) of at most 16 MiB, a limit of the simulator only; the utility\n"
    "itself reads a system.ini of any size. The Windows directory, where system.ini\n"
    "lies, is C:\\WINDOWS unless --windows-directory says. Extended CRTC 0x75 with\n"
    "bit 5 set makes the utility stop after reading it. Mapping drivers: ok hands\n"
    "out the register window at 0x60000000; missing and unsupported refuse the\n"
    "open (errors 2 and 50); ioctl-fails fails the control call; null-window\n"
    "answers address 0; no-output answers without writing its answer.\n"
    "\n"
    "Numbers are decimal (040 is forty), or hexadecimal after 0x, with no blanks\n"
    "around them. Every option also takes the --opt=value form; a value that\n"
    "begins with -- must be given so (--rate=--5), and --rate= is the empty text.\n"
    "-- ends the options; refresh-sim takes no other arguments.\n"
    "\n"
    "Output, as text: first the report LUMCHECK.EXE prints on a real machine.\n"
    "One line per decision of the run as far as it goes (\"system.ini:\",\n"
    "\"skip bit:\", \"refresh rate:\", \"screen:\", \"selection:\", \"register window:\").\n"
    "Where system.ini does not name the served driver, an indented line names the\n"
    "line of it that comes close, if one does, and the rule that line fails.\n"
    "Under \"selection:\", an indented \"fallback:\" line for each fallback on the\n"
    "way: a screen without a rate list of its own uses 640x480's; a rate text in\n"
    "no entry of the list takes the list's first; a screen without a row of its\n"
    "own takes its width's row. A \"stop:\" line where the run stops. Then\n"
    "\"adapter accesses: N\" and one indented line per access in order (indexed\n"
    "accesses with the register's name; \"made\" where the diagnostic makes it to\n"
    "read, \"planned\" where it only writes it down; \"also made:\" for the index\n"
    "register the diagnostic reads first and writes back last), and \"verdict:\":\n"
    "the utility would set the rate, would set the timing registers but not the\n"
    "mapped word, or would leave the adapter as it is, with a \"why:\" line for the\n"
    "last two.\n"
    "No report line is wider than 79 columns. Then \"message boxes: none\" or one\n"
    "\"message box:\" line per box (text, caption, type); \"standard output:\"\n"
    "(\"none\" or the quoted text); \"exit code: N\" (the utility's).\n"
    "Output with --json: one object with exitCode, messageBoxes (text, caption,\n"
    "type), stdout, accesses (op \"in\" or \"out\" with port, or \"store\" with\n"
    "address; value), summary (what was chosen, or why the run stopped), report\n"
    "(the text report's first part, line by line), and the final registers (crtc,\n"
    "extended, miscOutput, windowBase, window).\n"
    "\n"
    "Exit codes: 0 the utility ran on the simulated machine (its own exit code is\n"
    "in the output); 2 bad options, a --system-ini that is not a readable regular\n"
    "file of at most 16 MiB, or a run that could not be set up or reported. A line\n"
    "on standard error says which; after bad options a second line points here.";

// What an option takes: a value, nothing, or it answers at once in place of a run.
enum class Takes { kValue, kNothing, kHelp, kVersion };

struct OptionInfo {
    const char* name; // without its --
    Takes takes;
    const char* typeName; // of its value, as --help shows it
    const char* description;
};

const OptionInfo kOptions[] = {
    {"help", Takes::kHelp, "", "print this help and exit"},
    {"version", Takes::kVersion, "", "print the version and exit"},
    {"screen", Takes::kValue, "WxH", "screen size (default 1024x768)"},
    {"bpp", Takes::kValue, "N", "bits per pixel of the display (default 16)"},
    {"rate", Takes::kValue, "TEXT", "RefreshRate text in the registry (default \"85\")"},
    {"no-rate", Takes::kNothing, "", "no RefreshRate value (default: one, see --rate)"},
    {"no-settings-key", Takes::kNothing, "", "no Display\\Settings key (default: there is one)"},
    {"system-ini", Takes::kValue, "FILE", "serve this host file (default: see below)"},
    {"windows-directory", Takes::kValue, "DIR", "GetWindowsDirectoryA's answer (default C:\\WINDOWS)"},
    {"no-system-ini", Takes::kNothing, "", "no system.ini (default: there is one)"},
    {"crtc75", Takes::kValue, "N", "extended CRTC 0x75, 0 to 0xFF (default 0)"},
    {"driver", Takes::kValue, "NAME", "mapping driver, see below (default ok)"},
    {"json", Takes::kNothing, "", "one JSON object instead of text (default: text)"},
};

// Options of which at most one may be given: each says how the machine lacks or has a thing.
const std::vector<std::vector<std::string>> kExclusive = {{"rate", "no-rate", "no-settings-key"},
                                                          {"system-ini", "no-system-ini"}};

const OptionInfo* FindOption(const std::string& name) {
    for (const OptionInfo& option : kOptions) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

// CLI11 lays out the help; the command line itself ReadCommandLine reads, in the way getopt_long
// does, which CLI11 does not.
std::string Help() {
    CLI::App app{"Runs the refresh-rate utility on a simulated machine and shows what it does.",
                 "refresh-sim"};
    app.formatter(std::make_shared<HelpFormatter>());
    app.get_formatter()->column_width(28);
    for (const OptionInfo& option : kOptions) {
        std::string name = std::string("--") + option.name;
        switch (option.takes) {
        case Takes::kHelp: app.set_help_flag("-h," + name, option.description); break;
        case Takes::kVersion: app.set_version_flag(name, kVersion, option.description); break;
        case Takes::kNothing: app.add_flag(name, option.description); break;
        case Takes::kValue: app.add_option(name, option.description)->type_name(option.typeName); break;
        }
    }
    app.footer(kFooter);
    return app.help();
}

// The command line as read: the options in the order given, each with its value, and the
// arguments that are no option.
struct CommandLine {
    std::vector<std::pair<const OptionInfo*, std::string>> options;
    std::vector<std::string> operands;
    const OptionInfo* flagBeforeOperand = nullptr; // the flag right before the first operand
    const OptionInfo* answer            = nullptr; // --help or --version, which ends the reading
};

// Reads the command line in order, as getopt_long does, and stops at the first fault, whose line
// it returns, or at --help or --version, which answer whatever follows them: so a mistyped option
// is told before anything its value would seem to be. Unlike getopt_long, a value option never
// takes an argument that begins with -- as its value (only --opt=value gives one), as that is
// far more often a value left out than one meant; and no long option is abbreviated.
std::string ReadCommandLine(int argc, char** argv, CommandLine* line) {
    const OptionInfo* flagBefore = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string argument   = argv[i];
        const OptionInfo* flag = flagBefore;
        flagBefore             = nullptr;
        if (argument == "--") {
            line->operands.insert(line->operands.end(), argv + i + 1, argv + argc);
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            if (line->operands.empty()) {
                line->flagBeforeOperand = flag;
            }
            line->operands.push_back(argument);
            continue;
        }
        if (argument[1] != '-') {
            // The one short option, -h, may lead a cluster: what follows it is not read.
            if (argument[1] != 'h') {
                return "invalid option -- " + Shown(argument.substr(1, 1));
            }
            line->answer = FindOption("help");
            return "";
        }
        size_t equals            = argument.find('=');
        std::string name         = argument.substr(2, equals - 2);
        const OptionInfo* option = FindOption(name);
        if (option == nullptr) {
            return "unrecognized option " + Shown(argument);
        }
        std::string value;
        if (option->takes != Takes::kValue) {
            if (equals != std::string::npos) {
                return "option '--" + name + "' takes no value";
            }
            if (option->takes != Takes::kNothing) {
                line->answer = option;
                return "";
            }
            flagBefore = option;
        } else if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 == argc) {
            return "option '--" + name + "' needs a value";
        } else if (std::string(argv[i + 1]).compare(0, 2, "--") == 0) {
            std::string next = argv[i + 1];
            // "--" more likely ends the options than is the value.
            return "option '--" + name + "' needs a value, not " + Shown(next) +
                   (next == "--" ? "" : "; or --" + name + "=" + next);
        } else {
            value = argv[++i];
        }
        for (const std::vector<std::string>& group : kExclusive) {
            if (std::find(group.begin(), group.end(), name) == group.end()) {
                continue;
            }
            for (const auto& [earlier, ignored] : line->options) {
                if (earlier->name != name &&
                    std::find(group.begin(), group.end(), earlier->name) != group.end()) {
                    return std::string("options '--") + earlier->name + "' and '--" + name +
                           "' exclude each other";
                }
            }
        }
        line->options.push_back({option, value});
    }
    return "";
}

// What refresh-sim did not expect, in the order given.
std::string Unexpected(const CommandLine& line) {
    const std::vector<std::string>& operands = line.operands;
    if (operands.size() == 1 && line.flagBeforeOperand != nullptr) {
        return "unexpected argument " + Shown(operands[0]) + ": --" + line.flagBeforeOperand->name +
               " takes no value";
    }
    std::string text = operands.size() == 1 ? "unexpected argument" : "unexpected arguments";
    for (const std::string& operand : operands) {
        text += " " + Shown(operand);
    }
    return text;
}

// One option's value, on the machine or in the settings that are no part of it; the fault's line
// where the value is none the option takes.
std::string Apply(const OptionInfo& option, const std::string& value, sim::SimulatedMachine* machine,
                  std::optional<std::string>* systemIni, bool* json) {
    const std::string name = option.name;
    long long number       = 0;
    Number verdict         = Number::kOk;
    if (name == "screen") {
        verdict = ParseScreen(value, &machine->width, &machine->height);
        if (verdict != Number::kOk) {
            return "--screen " + Shown(value) +
                   (verdict == Number::kOutOfRange ? " is out of range: each side is 32-bit signed"
                                                   : " is not WxH, for example 1024x768");
        }
    } else if (name == "bpp") {
        verdict = ParseNumber(value, INT32_MIN, INT32_MAX, &number);
        if (verdict != Number::kOk) {
            return "--bpp " + Shown(value) +
                   (verdict == Number::kOutOfRange ? " is out of range: -2147483648 to 2147483647"
                                                   : " is not a number");
        }
        machine->bitsPerPixel = static_cast<int>(number);
    } else if (name == "crtc75") {
        verdict = ParseNumber(value, 0, 0xFF, &number);
        if (verdict != Number::kOk) {
            return "--crtc75 " + Shown(value) +
                   (verdict == Number::kOutOfRange ? " is out of range: a byte, 0 to 255 (0xFF)"
                                                   : " is not a number");
        }
        machine->crtc75 = static_cast<uint8_t>(number);
    } else if (name == "driver") {
        const host::DriverBehaviourName* found = nullptr;
        for (const host::DriverBehaviourName& b : host::kDriverBehaviours) {
            found = value == b.name ? &b : found;
        }
        if (found == nullptr) {
            // The six names and what each does are more than a line holds.
            return "--driver " + Shown(value) + " names no mapping driver; --help lists them";
        }
        machine->driver = found->behaviour;
    } else if (name == "rate") {
        machine->rateText = value;
    } else if (name == "no-rate") {
        machine->rate = sim::RateSetting::NoValue;
    } else if (name == "no-settings-key") {
        machine->rate = sim::RateSetting::NoKey;
    } else if (name == "windows-directory") {
        machine->windowsDirectory = value;
    } else if (name == "system-ini") {
        *systemIni = value; // read once every option is known good
    } else if (name == "no-system-ini") {
        machine->systemIni.reset();
    } else if (name == "json") {
        *json = true;
    }
    return "";
}

} // namespace

int main(int argc, char** argv) {
    CommandLine line;
    std::string fault = ReadCommandLine(argc, argv, &line);
    if (!fault.empty()) {
        return BadUsage(fault);
    }
    if (line.answer != nullptr) {
        std::cout << (line.answer->takes == Takes::kHelp ? Help() : std::string(kVersion) + "\n");
        return 0;
    }
    sim::SimulatedMachine machine;
    std::optional<std::string> systemIni;
    bool json = false;
    for (const auto& [option, value] : line.options) {
        fault = Apply(*option, value, &machine, &systemIni, &json);
        if (!fault.empty()) {
            return BadUsage(fault);
        }
    }
    if (!line.operands.empty()) {
        return BadUsage(Unexpected(line));
    }
    if (systemIni) {
        std::string error;
        machine.systemIni = host::ReadHostFile(*systemIni, kSystemIniLimit, &error);
        if (!machine.systemIni) {
            return Fail("--system-ini " + Shown(*systemIni) + ": " + error);
        }
    }

    try {
        sim::RunResult result = sim::Run(machine);
        std::cout << (json ? sim::ToJson(result).dump() + "\n" : sim::ToText(result)) << std::flush;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    if (!std::cout) {
        return Fail("cannot write standard output");
    }
    return 0;
}
