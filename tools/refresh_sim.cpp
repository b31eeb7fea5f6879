// refresh-sim: shows what the utility would do on a machine, before it is run there. It builds a
// simulated machine from the options, runs the real WinMain against it, and reports the outcome
// and every adapter access in order.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "simulator.h"

namespace {

// Decimal or 0x-hex, the whole text, within [low, high].
bool ParseNumber(const std::string& text, long low, long high, long* value) {
    if (text.empty()) {
        return false;
    }
    errno       = 0;
    char* end   = nullptr;
    long number = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || number < low || number > high) {
        return false;
    }
    *value = number;
    return true;
}

// WxH, each side decimal or 0x-hex.
bool ParseScreen(const std::string& text, int* width, int* height) {
    for (size_t x = 1; x + 1 < text.size(); ++x) {
        long w, h;
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

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Runs the refresh-rate utility on a simulated machine and shows what it would write.",
                 "refresh-sim"};
    std::string screen = "1024x768", bpp = "16", crtc75 = "0", driver = "ok";
    std::string rate, systemIni;
    bool noRate = false, noSettingsKey = false, noSystemIni = false, json = false;

    app.add_option("--screen", screen, "screen size WxH (default 1024x768)");
    app.add_option("--bpp", bpp, "bits per pixel of the display (default 16)");
    CLI::Option* rateOption =
        app.add_option("--rate", rate, "RefreshRate text in the registry (default \"85\")");
    CLI::Option* noRateFlag = app.add_flag("--no-rate", noRate, "the settings key has no RefreshRate value");
    CLI::Option* noKeyFlag =
        app.add_flag("--no-settings-key", noSettingsKey, "no Display\\Settings key at all");
    CLI::Option* iniOption = app.add_option("--system-ini", systemIni, "file to serve as system.ini");
    CLI::Option* noIniFlag =
        app.add_flag("--no-system-ini", noSystemIni, "no system.ini in the Windows directory");
    app.add_option("--crtc75", crtc75, "initial value of extended CRTC register 0x75 (default 0)");
    app.add_option("--driver", driver,
                   "mapping driver: ok|missing|unsupported|ioctl-fails|null-window|no-output");
    app.add_flag("--json", json, "one JSON object instead of text");
    rateOption->excludes(noRateFlag)->excludes(noKeyFlag);
    noRateFlag->excludes(noKeyFlag);
    iniOption->excludes(noIniFlag);
    rateOption->expected(1);

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
    } catch (const CLI::ParseError& e) {
        return Fail(e.what());
    }

    sim::SimulatedMachine machine;
    long number;
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

    static const std::map<std::string, host::DriverBehaviour> drivers = {
        {"ok", host::DriverBehaviour::Window},
        {"missing", host::DriverBehaviour::Missing},
        {"unsupported", host::DriverBehaviour::Unsupported},
        {"ioctl-fails", host::DriverBehaviour::IoctlFails},
        {"null-window", host::DriverBehaviour::NullWindow},
        {"no-output", host::DriverBehaviour::NoOutput},
    };
    auto found = drivers.find(driver);
    if (found == drivers.end()) {
        return Fail("--driver takes ok, missing, unsupported, ioctl-fails, null-window or no-output: " +
                    driver);
    }
    machine.driver = found->second;

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
        machine.systemIni = host::ReadHostFile(systemIni);
        if (!machine.systemIni) {
            return Fail("cannot read --system-ini file: " + systemIni);
        }
    }

    sim::RunResult result = sim::Run(machine);
    if (json) {
        std::cout << sim::ToJson(result).dump() << "\n";
    } else {
        std::cout << sim::ToText(result);
    }
    return 0;
}
