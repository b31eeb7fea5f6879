// refresh-sim: shows what the utility would do on a machine, before it is run there. It builds a
// simulated machine from the options, runs the real WinMain against it, and reports the outcome
// and every adapter access in order.
#include <CLI/CLI.hpp>

#include <charconv>
#include <climits>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "simulator.h"

namespace {

const char kVersion[] = "refresh-sim " REFRESH_VERSION;

// The product reads a system.ini of any size; the simulator holds the whole file in memory.
constexpr size_t kSystemIniLimit = 16 << 20;

// Decimal, or hexadecimal after 0x, with an optional minus sign: the whole text, within
// [low, high]. A leading zero does not make it octal, and blanks on either side are refused.
bool ParseNumber(const std::string& text, long long low, long long high, long long* value) {
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
    if (first == last || end != last || error != std::errc() || magnitude > 1ULL << 32) {
        return false;
    }
    long long number = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (number < low || number > high) {
        return false;
    }
    *value = number;
    return true;
}

// WxH, each side as ParseNumber takes it.
bool ParseScreen(const std::string& text, int* width, int* height) {
    for (size_t x = 1; x + 1 < text.size(); ++x) {
        long long w, h;
        if ((text[x] == 'x' || text[x] == 'X') && ParseNumber(text.substr(0, x), INT32_MIN, INT32_MAX, &w) &&
            ParseNumber(text.substr(x + 1), INT32_MIN, INT32_MAX, &h)) {
            *width  = static_cast<int>(w);
            *height = static_cast<int>(h);
            return true;
        }
    }
    return false;
}

int Fail(const std::string& message) {
    std::cerr << "refresh-sim: " << message << "\n";
    return 2;
}

const char kFooter[] =
    "The default system.ini names the served driver under [boot.description]. --system-ini serves\n"
    "a file of the host instead: a regular file (no directory, device or FIFO) of at most 16 MiB,\n"
    "a limit of the simulator only; the utility itself reads a system.ini of any size.\n"
    "The Windows directory, where system.ini lies, is C:\\WINDOWS unless --windows-directory says.\n"
    "Extended CRTC 0x75 with bit 5 set makes the utility stop after reading it.\n"
    "Mapping drivers: ok hands out the register window at 0x60000000; missing and unsupported\n"
    "refuse the open (errors 2 and 50); ioctl-fails fails the control call; null-window answers\n"
    "address 0; no-output answers without writing its answer.\n"
    "\n"
    "Numbers are decimal (040 is forty), or hexadecimal after 0x, with no blanks around them.\n"
    "Every option also takes the --opt=value form; a value that begins with -- must be given so\n"
    "(--rate=--5), and --rate= is the empty text.\n"
    "\n"
    "Output, as text: first the report LUMCHECK.EXE prints on a real machine: one line per\n"
    "decision of the run as far as it goes (\"system.ini:\", \"skip bit:\", \"refresh rate:\",\n"
    "\"screen:\", \"selection:\", \"register window:\"), a \"stop: ...\" line where it stops,\n"
    "\"adapter accesses: N\" and one indented line per access in order (indexed accesses with the\n"
    "register's name; \"made\" where the diagnostic makes it to read, \"planned\" where it only\n"
    "writes it down), and \"verdict: ...\": the utility would set the rate, would set the timing\n"
    "registers but not the mapped word, or would leave the adapter as it is, with a \"why:\" line\n"
    "for the last two. No report line is wider than 79 columns. Then \"message boxes:\n"
    "none\" or one \"message box: text ..., caption ..., type ...\" line per box; \"standard output:\n"
    "...\" (\"none\" or the quoted text); \"exit code: N\" (the utility's).\n"
    "Output with --json: one object with exitCode, messageBoxes (text, caption, type), stdout,\n"
    "accesses (op \"in\" or \"out\" with port, or \"store\" with address; value), summary (what was\n"
    "chosen, or why the run stopped), report (the text report's first part, line by line), and\n"
    "the final registers (crtc, extended, miscOutput, windowBase, window).\n"
    "\n"
    "Exit codes: 0 the utility ran on the simulated machine (its own exit code is in the output);\n"
    "2 bad options, a --system-ini that is not a readable regular file of at most 16 MiB, or a run\n"
    "that could not be set up or reported; one line on standard error says which.";

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Runs the refresh-rate utility on a simulated machine and shows what it would write.",
                 "refresh-sim"};
    std::string screen = "1024x768", bpp = "16", crtc75 = "0", driver = "ok";
    std::string rate, systemIni, windowsDirectory = "C:\\WINDOWS";
    bool noRate = false, noSettingsKey = false, noSystemIni = false, json = false;

    app.set_version_flag("--version", kVersion, "print the version and exit");
    app.add_option("--screen", screen, "screen size (default 1024x768)")->type_name("WxH");
    app.add_option("--bpp", bpp, "bits per pixel of the display (default 16)")->type_name("N");
    CLI::Option* rateOption =
        app.add_option("--rate", rate, "RefreshRate text in the registry (default \"85\")")
            ->type_name("TEXT");
    CLI::Option* noRateFlag = app.add_flag("--no-rate", noRate, "no RefreshRate value (default: \"85\")");
    CLI::Option* noKeyFlag =
        app.add_flag("--no-settings-key", noSettingsKey, "no Display\\Settings key (default: there is one)");
    CLI::Option* iniOption =
        app.add_option("--system-ini", systemIni, "regular file, at most 16 MiB (default: see below)")
            ->type_name("FILE");
    app.add_option("--windows-directory", windowsDirectory,
                   "what GetWindowsDirectoryA answers (default C:\\WINDOWS)")
        ->type_name("DIR");
    CLI::Option* noIniFlag =
        app.add_flag("--no-system-ini", noSystemIni, "no system.ini (default: there is one)");
    app.add_option("--crtc75", crtc75, "extended CRTC 0x75, 0 to 0xFF (default 0)")->type_name("N");
    app.add_option("--driver", driver, "mapping driver, see below (default ok)")->type_name("NAME");
    app.add_flag("--json", json, "one JSON object instead of text (default: text)");
    app.footer(kFooter);
    rateOption->excludes(noRateFlag)->excludes(noKeyFlag);
    noRateFlag->excludes(noKeyFlag);
    iniOption->excludes(noIniFlag);
    rateOption->expected(1);

    // A value option followed by an option: the value is missing, however CLI11 would read it.
    for (int i = 1; i + 1 < argc; ++i) {
        std::string argument = argv[i], next = argv[i + 1];
        if (argument.compare(0, 2, "--") != 0 || next.compare(0, 2, "--") != 0) {
            continue;
        }
        for (const CLI::Option* option : app.get_options()) {
            if (option->get_items_expected_min() > 0 && option->check_lname(argument.substr(2))) {
                return Fail(argument + " needs a value; one that begins with -- is given as " + argument +
                            "=" + next);
            }
        }
    }

    // CLI11 takes "--opt=value" but reads an empty value after the equals sign as a missing one;
    // hand it "--opt" and "" instead, so "--rate=" is the empty rate text.
    std::vector<std::string> arguments;
    for (int i = argc - 1; i >= 1; --i) {
        std::string argument = argv[i];
        if (argument.size() > 3 && argument.compare(0, 2, "--") == 0 && argument.back() == '=' &&
            argument.find('=') == argument.size() - 1) {
            arguments.push_back("");
            argument.pop_back();
        }
        arguments.push_back(argument);
    }

    try {
        app.parse(arguments); // CLI11 wants the arguments in reverse order
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << kVersion << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        return Fail(e.what());
    }

    sim::SimulatedMachine machine;
    machine.windowsDirectory = windowsDirectory;
    long long number;
    if (!ParseScreen(screen, &machine.width, &machine.height)) {
        return Fail("--screen takes WxH, for example 1024x768: " + screen);
    }
    if (!ParseNumber(bpp, INT32_MIN, INT32_MAX, &number)) {
        return Fail("--bpp takes a number: " + bpp);
    }
    machine.bitsPerPixel = static_cast<int>(number);
    if (!ParseNumber(crtc75, 0, 0xFF, &number)) {
        return Fail("--crtc75 takes a byte, 0 to 255 or 0x00 to 0xFF: " + crtc75);
    }
    machine.crtc75 = static_cast<uint8_t>(number);

    const host::DriverBehaviourName* found = nullptr;
    std::string names;
    for (const host::DriverBehaviourName& b : host::kDriverBehaviours) {
        found = driver == b.name ? &b : found;
        names += std::string(names.empty() ? "" : ", ") + b.name;
    }
    if (found == nullptr) {
        return Fail("--driver takes " + names + ": " + driver);
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
