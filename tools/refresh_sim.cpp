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
#include <string>
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

// "'a'" or "'a' 'b' 'c'": arguments as given, each in quotes so that an empty one shows.
std::string Quoted(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) {
        text += (text.empty() ? "'" : " '") + argument + "'";
    }
    return text;
}

const char kUsage[] = "Usage: refresh-sim [--screen WxH] [--bpp N]\n"
                      "                   [--rate TEXT | --no-rate | --no-settings-key]\n"
                      "                   [--system-ini FILE | --no-system-ini]\n"
                      "                   [--windows-directory DIR] [--crtc75 N] [--driver NAME]\n"
                      "                   [--json] [--version] [--help]\n";

// CLI11's help, but with the usage above, which shows the options that exclude each other, and
// one line per option, which then needs no list of exclusions.
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

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Runs the refresh-rate utility on a simulated machine and shows what it does.",
                 "refresh-sim"};
    std::string screen = "1024x768", bpp = "16", crtc75 = "0", driver = "ok";
    std::string rate, systemIni, windowsDirectory = "C:\\WINDOWS";
    bool noRate = false, noSettingsKey = false, noSystemIni = false, json = false;

    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast); // as getopt does
    app.formatter(std::make_shared<HelpFormatter>());
    app.get_formatter()->column_width(28);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", kVersion, "print the version and exit");
    app.add_option("--screen", screen, "screen size (default 1024x768)")->type_name("WxH");
    app.add_option("--bpp", bpp, "bits per pixel of the display (default 16)")->type_name("N");
    CLI::Option* rateOption =
        app.add_option("--rate", rate, "RefreshRate text in the registry (default \"85\")")
            ->type_name("TEXT");
    CLI::Option* noRateFlag =
        app.add_flag("--no-rate", noRate, "no RefreshRate value (default: one, see --rate)");
    CLI::Option* noKeyFlag =
        app.add_flag("--no-settings-key", noSettingsKey, "no Display\\Settings key (default: there is one)");
    CLI::Option* iniOption =
        app.add_option("--system-ini", systemIni, "serve this host file (default: see below)")
            ->type_name("FILE");
    app.add_option("--windows-directory", windowsDirectory,
                   "GetWindowsDirectoryA's answer (default C:\\WINDOWS)")
        ->type_name("DIR");
    CLI::Option* noIniFlag =
        app.add_flag("--no-system-ini", noSystemIni, "no system.ini (default: there is one)");
    app.add_option("--crtc75", crtc75, "extended CRTC 0x75, 0 to 0xFF (default 0)")->type_name("N");
    app.add_option("--driver", driver, "mapping driver, see below (default ok)")->type_name("NAME");
    app.add_flag("--json", json, "one JSON object instead of text (default: text)");
    app.footer(kFooter);
    app.allow_extras(); // listed below in the order given, with the operands after --
    rateOption->excludes(noRateFlag)->excludes(noKeyFlag);
    noRateFlag->excludes(noKeyFlag);
    iniOption->excludes(noIniFlag);
    rateOption->expected(1);

    // A value option followed by an option: the value is missing, however CLI11 would read it. A
    // flag takes no value, not even one CLI11 would read as true or false.
    auto optionNamed = [&app](const std::string& name) -> const CLI::Option* {
        for (const CLI::Option* option : app.get_options()) {
            if (option->check_lname(name)) {
                return option;
            }
        }
        return nullptr;
    };
    int end = 1; // of the options: the first --, or the end
    for (; end < argc && std::string(argv[end]) != "--"; ++end) {
        std::string argument = argv[end];
        if (argument.compare(0, 2, "--") != 0) {
            continue;
        }
        size_t equals             = argument.find('=');
        const CLI::Option* option = optionNamed(argument.substr(2, equals - 2));
        if (option == nullptr) {
            continue;
        }
        if (option->get_items_expected_max() == 0 && equals != std::string::npos) {
            return BadUsage("option '" + argument.substr(0, equals) + "' takes no value");
        }
        if (option->get_items_expected_min() > 0 && equals == std::string::npos) {
            if (end + 1 == argc) {
                return BadUsage("option '" + argument + "' needs a value");
            }
            if (std::string(argv[end + 1]).compare(0, 2, "--") == 0) {
                return BadUsage("option '" + argument +
                                "' needs a value; one that begins with -- is given as " + argument + "=" +
                                argv[end + 1]);
            }
        }
    }

    // CLI11 takes "--opt=value" but reads an empty value after the equals sign as a missing one;
    // hand it "--opt" and "" instead, so "--rate=" is the empty rate text. CLI11 wants the
    // arguments in reverse order.
    std::vector<std::string> arguments;
    for (int i = end - 1; i >= 1; --i) {
        std::string argument = argv[i];
        if (argument.size() > 3 && argument.compare(0, 2, "--") == 0 && argument.back() == '=' &&
            argument.find('=') == argument.size() - 1) {
            arguments.push_back("");
            argument.pop_back();
        }
        arguments.push_back(argument);
    }

    try {
        app.parse(arguments);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << kVersion << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        return BadUsage(e.what());
    }
    // What no option took, and what follows --: refresh-sim takes no operands.
    std::vector<std::string> unexpected = app.remaining();
    unexpected.insert(unexpected.end(), argv + std::min(end + 1, argc), argv + argc);
    if (!unexpected.empty()) {
        return BadUsage(
            std::string(unexpected.size() == 1 ? "unexpected argument " : "unexpected arguments ") +
            Quoted(unexpected));
    }

    sim::SimulatedMachine machine;
    machine.windowsDirectory = windowsDirectory;
    Number verdict           = ParseScreen(screen, &machine.width, &machine.height);
    if (verdict != Number::kOk) {
        return BadUsage("--screen '" + screen +
                        (verdict == Number::kOutOfRange
                             ? "' is out of range: each side -2147483648 to 2147483647"
                             : "' is not WxH, for example 1024x768"));
    }
    long long number = 0;
    verdict          = ParseNumber(bpp, INT32_MIN, INT32_MAX, &number);
    if (verdict != Number::kOk) {
        return BadUsage("--bpp '" + bpp +
                        (verdict == Number::kOutOfRange ? "' is out of range: -2147483648 to 2147483647"
                                                        : "' is not a number"));
    }
    machine.bitsPerPixel = static_cast<int>(number);
    verdict              = ParseNumber(crtc75, 0, 0xFF, &number);
    if (verdict != Number::kOk) {
        return BadUsage("--crtc75 '" + crtc75 +
                        (verdict == Number::kOutOfRange
                             ? "' is out of range: a byte, 0 to 255 or 0x00 to 0xFF"
                             : "' is not a number"));
    }
    machine.crtc75 = static_cast<uint8_t>(number);

    const host::DriverBehaviourName* found = nullptr;
    std::string names;
    for (const host::DriverBehaviourName& b : host::kDriverBehaviours) {
        found = driver == b.name ? &b : found;
        names += std::string(names.empty() ? "" : ", ") + b.name;
    }
    if (found == nullptr) {
        return BadUsage("--driver '" + driver + "' is none of " + names);
    }
    machine.driver = found->behaviour;

    if (rateOption->count() > 0) {
        machine.rateText = rate;
    } else if (noRate) {
        machine.rate = sim::RateSetting::NoValue;
    } else if (noSettingsKey) {
        machine.rate = sim::RateSetting::NoKey;
    }
    if (noSystemIni) {
        machine.systemIni.reset();
    } else if (iniOption->count() > 0) {
        std::string error;
        machine.systemIni = host::ReadHostFile(systemIni, kSystemIniLimit, &error);
        if (!machine.systemIni) {
            return Fail("--system-ini " + systemIni + ": " + error);
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
