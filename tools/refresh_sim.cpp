// refresh-sim: shows what the utility would do on a machine, before it is run there. It builds a
// simulated machine from the options, runs the real WinMain against it, and reports the outcome
// and every adapter access in order.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

// Each error line begins so, and fits a terminal of 80 columns with the cursor's column to spare.
const char kLineStart[]     = "refresh-sim: ";
constexpr size_t kLineWidth = 79;

// A run that cannot be served or reported: one line on standard error.
int Fail(const std::string& message) {
    std::cerr << kLineStart << message << "\n";
    return 2;
}

// A command line that makes no machine: the line, and where to read how it goes.
int BadUsage(const std::string& message) {
    std::cerr << kLineStart << message << "\n"
              << "Try 'refresh-sim --help' for more information.\n";
    return 2;
}

// The bytes of the UTF-8 character that begins at text[at], or 0 where none begins there.
size_t Utf8Length(const std::string& text, size_t at) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length      = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// A value as an error line quotes it: in single quotes, so that an empty one shows; a control
// character, or a byte that begins no UTF-8 character, as \xNN, so that the line stays one line
// of text; and where it takes more than `room` columns, quotes included, its middle gives way to
// "...", as its two ends tell most (a path's first folders and its file name). A byte is counted
// as a column, which for UTF-8 is never too few.
std::string Shown(const std::string& value, size_t room = SIZE_MAX) {
    std::vector<std::string> characters;
    size_t columns = 2;
    for (size_t at = 0; at < value.size();) {
        unsigned char c = static_cast<unsigned char>(value[at]);
        size_t length   = c >= 0x80 ? Utf8Length(value, at) : c >= 0x20 && c != 0x7F ? 1 : 0;
        if (length == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            characters.push_back(escaped);
            length = 1;
        } else {
            characters.push_back(value.substr(at, length));
        }
        columns += characters.back().size();
        at += length;
    }
    std::string head, tail;
    if (columns <= room) {
        for (const std::string& character : characters) {
            head += character;
        }
        return "'" + head + "'";
    }
    // Both ends by turns, as far as they fit beside the quotes and the "...".
    size_t budget = room > 5 ? room - 5 : 0;
    size_t front = 0, back = characters.size();
    for (bool fromFront = true; front < back; fromFront = !fromFront) {
        const std::string& next = characters[fromFront ? front : back - 1];
        if (head.size() + tail.size() + next.size() > budget) {
            break;
        }
        if (fromFront) {
            head += characters[front++];
        } else {
            tail.insert(0, characters[--back]);
        }
    }
    return "'" + head + "..." + tail + "'";
}

// An error line's text after kLineStart: the value, shown between `before` and `after`, and
// shortened so that the line fits.
std::string Told(const std::string& before, const std::string& value, const std::string& after) {
    size_t fixed = sizeof kLineStart - 1 + before.size() + after.size();
    return before + Shown(value, fixed < kLineWidth ? kLineWidth - fixed : 0) + after;
}

// Whether a shell takes the text as it stands, with no quotes.
bool IsPlain(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_.,/:=+%@", c) != nullptr;
    });
}

const char kUsage[] = "Usage: refresh-sim [--screen WxH] [--bpp N]\n"
                      "                   [--rate TEXT | --no-rate | --no-settings-key]\n"
                      "                   [--system-ini FILE | --no-system-ini]\n"
                      "                   [--windows-directory DIR] [--crtc75 N] [--driver NAME]\n"
                      "                   [--monitor-mode TEXT] [--monitor-max WxH]\n"
                      "                   [--json] [--version] [-h | --help]\n";

// CLI11's help, but with the usage above, which shows the options that exclude each other, one
// line per option, and "-h, --help" as the GNU tools list a short and a long name.
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App*, std::string) const override { return kUsage; }
    std::string make_option_name(const CLI::Option* option, bool) const override {
        std::string names = option->get_name(false, true);
        size_t comma      = names.find(',');
        return comma == std::string::npos ? names : names.replace(comma, 1, ", ");
    }
    std::string make_option_opts(const CLI::Option* option) const override {
        return option->get_type_name().empty() ? "" : " " + option->get_type_name();
    }
};

const char kFooter[] =
    "The default system.ini names the served driver under [boot.description].\n"
    "--system-ini serves a file of the host instead: a regular file (no directory,\n"
    "device or FIFO) of at most 16 MiB, a limit of the simulator only; LUMRATE\n"
    "itself reads a system.ini of any size. The Windows directory, where system.ini\n"
    "lies, is C:\\WINDOWS unless --windows-directory says. Extended CRTC 0x75 with\n"
    "bit 5 set makes LUMRATE stop after reading it. Mapping drivers: ok hands out\n"
    "the register window at 0x60000000; missing and unsupported refuse the open\n"
    "(errors 2 and 50); ioctl-fails fails the control call; null-window answers\n"
    "address 0; no-output answers without writing its answer. By default Windows\n"
    "lists no monitor, as under Wine, so its limits are not known; --monitor-mode\n"
    "and --monitor-max list one, whose setup information gives that Mode1 for the\n"
    "screen's size (\"31.0-64.0,50.0-100.0,+,+\": kHz, then Hz) and that\n"
    "MaxResolution, each as given.\n"
    "\n"
    "Numbers are decimal (040 is forty), or hexadecimal after 0x, with no blanks\n"
    "around them. An option with a value also takes the --opt=value form; a value\n"
    "that begins with -- must be given so (--rate=--5), and --rate= is the empty\n"
    "text. A flag takes no value. Of an option given twice the last holds, but\n"
    "every value given is checked. -- ends the options; refresh-sim takes no\n"
    "other arguments.\n"
    "\n"
    "Output, as text: first the report LUMCHECK.EXE prints on a real machine.\n"
    "One line per decision of LUMRATE's run as far as it goes (\"system.ini:\",\n"
    "\"skip bit:\", \"refresh rate:\", \"screen:\", \"selection:\", \"register window:\").\n"
    "Where system.ini does not name the served driver, indented lines say why:\n"
    "\"no line ...\" with the line LUMRATE looks for; where a line comes close,\n"
    "\"line N comes close, but\" and a rule it fails, and \"and\" with each further\n"
    "one; \"line N holds a Ctrl+Z:\" where LUMRATE stops reading the file.\n"
    "Under \"selection:\", an indented \"fallback:\" line for each fallback on the\n"
    "way: a screen without a rate list of its own uses 640 x 480's; a rate text in\n"
    "no entry of the list takes the list's first; a screen without timings of its\n"
    "own takes those of its width's row, at the rate's place in the list.\n"
    "\"rate rule:\" where a rate text's first two characters alone decide (\"600\"\n"
    "as 60 Hz); \"empty rate:\" where an empty rate text matches an empty place of\n"
    "the list. Under \"register window:\", \"LUMRATE then ...\" with the box or the\n"
    "standard-output line LUMRATE shows of a mapping driver that fails. A \"stop:\"\n"
    "line where the run stops. \"escapes:\" after the first line that shows a byte\n"
    "as \\xNN, or a quote or backslash as \\\" or \\\\ within quotes.\n"
    "Then \"adapter accesses: N\" and one indented line per access in order\n"
    "(indexed accesses with the register's name; \"made\" where LUMCHECK makes it\n"
    "to read, \"planned\" where LUMRATE would make it and LUMCHECK does not), and\n"
    "\"also made:\" for the index register LUMCHECK reads first and writes back last.\n"
    "\"verdict:\": LUMRATE would set the timing it names, would set the timing\n"
    "registers but not the memory-mapped one, or would leave the adapter as it is,\n"
    "with a \"why:\" line for the last two. \"monitor:\" with the monitor's limits;\n"
    "\"line frequency:\" of the timing LUMRATE sets; \"LUMWATCH:\", whether LUMWATCH\n"
    "starts LUMRATE here, with a \"why:\" line where it does not. No report line is\n"
    "wider than 79 columns.\n"
    "Then \"message boxes: none\" or one \"message box:\" line per box (text,\n"
    "caption, type); \"standard output:\" (\"none\" or the quoted text);\n"
    "\"exit code: N\" (LUMRATE's).\n"
    "Output with --json: one object with exitCode, messageBoxes (text, caption,\n"
    "type), stdout, accesses (op \"in\" or \"out\" with port, or \"store\" with\n"
    "address; value), summary (what was chosen, or why the run stopped), report\n"
    "(the text report's first part, line by line), and the final registers (crtc,\n"
    "extended, miscOutput, windowBase, window).\n"
    "\n"
    "Exit codes: 0 LUMRATE ran on the simulated machine (its own exit code is in\n"
    "the output); 2 bad options, a --system-ini that is not a readable regular\n"
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
    {"monitor-mode", Takes::kValue, "TEXT", "a monitor's Mode1 at this screen (default: none)"},
    {"monitor-max", Takes::kValue, "WxH", "a monitor's MaxResolution (default: none)"},
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
    CLI::App app{"Runs LUMRATE, the refresh-rate utility, on a simulated machine and shows what\nit does.",
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
// it returns, or at --help or --version, which answer at once, whatever follows them: so a
// mistyped option is told before anything its value would seem to be. Unlike getopt_long, a value option
// never takes an argument that begins with -- as its value (only --opt=value gives one), as that is far more
// often a value left out than one meant; and no long option is abbreviated.
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
                return Told("invalid option -- ", argument.substr(1, 1), "");
            }
            line->answer = FindOption("help");
            return "";
        }
        size_t equals            = argument.find('=');
        std::string name         = argument.substr(2, equals - 2);
        const OptionInfo* option = FindOption(name);
        if (option == nullptr) {
            return Told("unrecognized option ", argument, "");
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
            std::string next  = argv[i + 1];
            std::string fault = Told("option '--" + name + "' needs a value, not ", next, "");
            // How to give it as the value after all, where the line holds that and a shell takes
            // it as it stands; "--" more likely ends the options than is the value.
            std::string hint = "; or --" + name + "=" + next;
            if (next != "--" && IsPlain(next) &&
                sizeof kLineStart - 1 + fault.size() + hint.size() <= kLineWidth) {
                fault += hint;
            }
            return fault;
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

// What refresh-sim did not expect, in the order given: as many as the line holds, the rest
// counted.
std::string Unexpected(const CommandLine& line) {
    const std::vector<std::string>& operands = line.operands;
    if (operands.size() == 1) {
        const OptionInfo* flag = line.flagBeforeOperand;
        return Told("unexpected argument ", operands[0],
                    flag == nullptr ? "" : std::string(": --") + flag->name + " takes no value");
    }
    std::string text = "unexpected arguments";
    for (size_t i = 0; i < operands.size(); ++i) {
        std::string rest = " and " + std::to_string(operands.size() - i) + " more";
        // Room for this one, and for the count of those from it on, should the next not fit.
        long room = static_cast<long>(kLineWidth - (sizeof kLineStart - 1) - text.size() - 1) -
                    (i + 1 < operands.size() ? static_cast<long>(rest.size()) : 0);
        // One too long for the room is shortened, where the room holds a few of its characters.
        if (room < static_cast<long>(Shown(operands[i]).size()) && room < 12) {
            return text + rest;
        }
        text += " " + Shown(operands[i], static_cast<size_t>(room));
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
            return Told("--screen ", value,
                        verdict == Number::kOutOfRange ? " is out of range: 32-bit signed sides"
                                                       : " is not WxH, for example 1024x768");
        }
    } else if (name == "bpp") {
        verdict = ParseNumber(value, INT32_MIN, INT32_MAX, &number);
        if (verdict != Number::kOk) {
            return Told("--bpp ", value,
                        verdict == Number::kOutOfRange ? " is out of range: -2147483648 to 2147483647"
                                                       : " is not a number");
        }
        machine->bitsPerPixel = static_cast<int>(number);
    } else if (name == "crtc75") {
        verdict = ParseNumber(value, 0, 0xFF, &number);
        if (verdict != Number::kOk) {
            return Told("--crtc75 ", value,
                        verdict == Number::kOutOfRange ? " is out of range: a byte, 0 to 255 (0xFF)"
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
            return Told("--driver ", value, " names no mapping driver; --help lists them");
        }
        machine->driver = found->behaviour;
    } else if (name == "monitor-mode" || name == "monitor-max") {
        if (!machine->monitor) {
            machine->monitor.emplace();
        }
        int width = 0, height = 0;
        if (name == "monitor-mode") {
            machine->monitor->mode1 = value;
        } else if ((verdict = ParseScreen(value, &width, &height)) != Number::kOk) {
            return Told("--monitor-max ", value,
                        verdict == Number::kOutOfRange ? " is out of range: 32-bit signed sides"
                                                       : " is not WxH, for example 1280x1024");
        } else {
            // As setup information writes it.
            machine->monitor->maxResolution = std::to_string(width) + "," + std::to_string(height);
        }
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
            return Fail(Told("--system-ini ", *systemIni, ": " + error));
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
