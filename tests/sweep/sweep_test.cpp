// The whole program over a large grid of machines. Each run is checked for what the utility must
// never do, whatever machine it finds: touch a port, register or address that is not its own,
// touch the adapter at all when system.ini does not name the served driver, write when the skip
// bit is set, the display is planar or the tables have nothing for it, show a window, or leave
// with another exit code than 0. And for what it must do on every machine it serves: program the
// whole timing set, and the register window exactly when the mapping driver hands one out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"
#include "hw/vga.h"
#include "hw/vga_names.h"
#include "simulator.h"
#include "tests/support/process.h"
#include "timing/timing.h"

namespace {

using adapter::Access;
using adapter::Op;
using host::DriverBehaviour;

struct Screen {
    int width;
    int height;
};

// The eight resolutions the program knows, and the seven widths its tables have a row for.
const Screen kModes[]    = {{640, 480},  {720, 480},  {720, 576},   {800, 600},
                            {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200}};
const int kTableWidths[] = {640, 720, 800, 1024, 1152, 1280, 1600};

bool HasTableRow(int width) {
    for (int w : kTableWidths) {
        if (w == width) {
            return true;
        }
    }
    return false;
}

std::vector<Screen> Screens() {
    std::vector<Screen> screens(std::begin(kModes), std::end(kModes));
    const int otherHeights[] = {INT_MIN, 0, 1, 480, 576, 768, 1200, 65536};
    for (int width : kTableWidths) {
        for (int height : otherHeights) {
            bool isMode = false;
            for (const Screen& mode : kModes) {
                isMode = isMode || (mode.width == width && mode.height == height);
            }
            if (!isMode) {
                screens.push_back({width, height});
            }
        }
    }
    const int unknownWidths[] = {INT_MIN, -640, -1,   0,    1,    320,  639,  641,  719,  721,   799,    801,
                                 1023,    1025, 1151, 1153, 1279, 1281, 1599, 1601, 1920, 65536, INT_MAX};
    for (int width : unknownWidths) {
        for (int height : {0, 768}) {
            screens.push_back({width, height});
        }
    }
    return screens;
}

// What the registry holds under HKEY_CURRENT_CONFIG\Display\Settings.
struct RateSetting {
    std::string label;
    bool keyExists;
    std::optional<host::RegistryValue> value;
};

RateSetting TextRate(const std::string& text) {
    return {"\"" + text + "\"", true, host::RegistryValue{REG_SZ, text + std::string(1, '\0')}};
}

// Every rate text the tables hold (as stored, and without its padding), the empty and zero texts,
// some numbers of one to three digits (Numbers has them all), texts too long or odd, values of other types or
// without their zero, and no value or no key at all.
std::vector<RateSetting> Rates() {
    std::set<std::string> tableTexts;
    for (TableRow m = 0; m < kRowCount; ++m) {
        for (RateIndex i = 0; i < kRateCount; ++i) {
            std::string entry(RateTable[m][i]);
            tableTexts.insert(entry);
            tableTexts.insert(entry.substr(0, entry.find(' ')));
        }
    }
    std::vector<RateSetting> rates;
    for (const std::string& text : tableTexts) {
        rates.push_back(TextRate(text));
    }
    for (const char* text :
         {"0", "6", "7", "99", "101", "999", " 60", "60Hz", "-1", "6\t0", "\x7F", "\xFF\xFE"}) {
        rates.push_back(TextRate(text));
    }
    for (size_t length : {253, 254, 255, 300}) {
        rates.push_back(TextRate(std::string(length, '8')));
    }
    rates.push_back({"\"75\" without its zero", true, host::RegistryValue{REG_SZ, "75"}});
    rates.push_back(
        {"255 bytes without a zero", true, host::RegistryValue{REG_BINARY, std::string(255, '6')}});
    rates.push_back({"DWORD 0x55", true, host::RegistryValue{REG_DWORD, std::string("\x55\0\0\0", 4)}});
    rates.push_back({"no value", true, std::nullopt});
    rates.push_back({"no key", false, std::nullopt});
    return rates;
}

// All texts of one to three digits, "0" to "999" and "00" to "099" with their leading zeros.
std::vector<RateSetting> Numbers() {
    std::vector<RateSetting> numbers;
    for (int digits = 1; digits <= 3; ++digits) {
        int count = digits == 1 ? 10 : (digits == 2 ? 100 : 1000);
        for (int n = 0; n < count; ++n) {
            std::string text = std::to_string(n);
            numbers.push_back(TextRate(std::string(digits - text.size(), '0') + text));
        }
    }
    return numbers;
}

// A system.ini, read in reads of readChunk bytes (0: whole), failing at failReadAt when set.
struct IniVariant {
    const char* name;
    std::optional<std::string> text; // nullopt: there is no system.ini
    size_t readChunk;
    std::optional<size_t> failReadAt;
    bool namesDriver; // the served driver's line stands after the [boot.description] header
};

const std::string kHeader = "[boot.description]";
const std::string kLine   = "display.drv=Lumarel series";

const IniVariant kIniVariants[] = {
    {"the default system.ini", host::DefaultSystemIni(), 0, std::nullopt, true},
    {"LF line ends, one-byte reads", kHeader + "\n" + kLine + "\n", 1, std::nullopt, true},
    {"line under a later section", kHeader + "\r\n[386Enh]\r\n" + kLine + "\r\n\x1A", 5, std::nullopt, true},
    {"read fails after the line", kHeader + "\r\n" + kLine + "\r\n[386Enh]\r\n", 3, 50, true},
    {"no system.ini", std::nullopt, 0, std::nullopt, false},
    {"empty system.ini", std::string(), 0, std::nullopt, false},
    {"another driver", kHeader + "\r\ndisplay.drv=Other series\r\n", 0, std::nullopt, false},
    {"line before the header", kLine + "\r\n" + kHeader + "\r\n", 0, std::nullopt, false},
    {"Ctrl+Z before the line", kHeader + "\r\n\x1A" + kLine + "\r\n", 2, std::nullopt, false},
    {"last line without LF", kHeader + "\r\n" + kLine, 0, std::nullopt, false},
    {"read fails inside the line", kHeader + "\r\n" + kLine + "\r\n", 4, 30, false},
};

// Extended CRTC 0x75: bit 5 clear or set, with the bits around it in many states.
const uint8_t kSkipClear[] = {0x00, 0x1F, 0xDF, 0x10, 0x40, 0xC0, 0x5F};
const uint8_t kSkipSet[]   = {0x20, 0x3F, 0xFF, 0x30, 0x60, 0xA0, 0xE0};
static_assert(std::size(kSkipClear) == std::size(kSkipSet));

// Every behaviour of the mapping driver, by its one name.
const auto& kDrivers = host::kDriverBehaviours;

struct Config {
    Screen screen;
    int bitsPerPixel;
    const RateSetting* rate;
    const IniVariant* ini;
    uint8_t crtc75;
    size_t driver; // into kDrivers
};

std::string Describe(const Config& c) {
    char text[160];
    std::snprintf(text, sizeof text, "%dx%d, %d bits per pixel, CRTC 0x75 = %02X, mapping driver %s, ",
                  c.screen.width, c.screen.height, c.bitsPerPixel, c.crtc75, kDrivers[c.driver].name);
    std::string rate =
        c.rate->label.size() > 40 ? std::to_string(c.rate->label.size() - 2) + " characters" : c.rate->label;
    return std::string(text) + c.ini->name + ", rate " + rate;
}

// The registers the utility writes: every one it names but the skip register, which it only reads.
bool Written(bool crtc, uint8_t index) {
    return crtc ? CrtcRegisterName(index) != nullptr && index != EXT_CRTC_75
                : ExtRegisterName(index) != nullptr;
}

// Whether the record the run's rate index picks in the width's row is 22 zero bytes, no timing.
// The row and the rate index are the run's own; the zeros are counted here.
bool ZeroRecordChosen(Screen screen) {
    TableRow row;
    RateSlot slot;
    if (!FindTimingRow(screen.width, screen.height, displayState.rateIndex, &row, &slot)) {
        return false;
    }
    const TimingRecord& record = TimingTable[row][displayState.rateIndex];
    return std::all_of(record, record + kTimingRecordSize, [](BYTE b) { return b == 0; });
}

// The properties a run broke, each named once; none when it kept them all.
std::vector<std::string> BrokenProperties(const Config& c, int exitCode, bool printed) {
    std::vector<std::string> broken;
    const host::Machine& m           = host::TheMachine();
    const std::vector<Access>& trace = m.adapter.trace;

    if (exitCode != 0) {
        broken.push_back("exit code 0");
    }
    if (!m.shownWindows.empty()) {
        broken.push_back("no window shown");
    }
    if (m.messageLoopWouldBlock) {
        broken.push_back("the message loop ends by itself");
    }
    if (m.messageBoxes.size() > 1) {
        broken.push_back("at most one message box");
    }
    DriverBehaviour driver = kDrivers[c.driver].behaviour;
    if (printed && driver != DriverBehaviour::Missing && driver != DriverBehaviour::Unsupported) {
        broken.push_back("standard output only when the mapping driver does not open");
    }

    // Ports and registers: every index write is followed by its data access, every data access
    // follows its index write, and the index names a register the program owns.
    size_t reads = 0, indexedWrites = 0, directWrites = 0, stores = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        const Access& a = trace[i];
        if (a.undecoded) {
            broken.push_back("nothing the adapter does not decode");
        }
        if (a.op == Op::Store) {
            ++stores;
            if (driver != DriverBehaviour::Window || a.where - m.adapter.windowBase >= adapter::kWindowSize) {
                broken.push_back("window stores only at w..w+3 of a non-null window");
            }
            continue;
        }
        bool isIndex = a.where == VGA_CRT_IC || a.where == EXT_IC;
        bool isData  = a.where == VGA_CRT_DC || a.where == EXT_DC;
        if (!isIndex && !isData && a.where != VGA_MIS_W) {
            broken.push_back("no port but 0x3C2 and 0x3D4-0x3D7");
            continue;
        }
        if (isIndex && (a.op != Op::Out || i + 1 == trace.size() || trace[i + 1].where != a.where + 1)) {
            broken.push_back("an index write is followed by its data access");
        }
        if (a.where == VGA_MIS_W) {
            ++directWrites;
            if (a.op != Op::Out) {
                broken.push_back("the miscellaneous output register is only written");
            }
        }
        if (!isData) {
            continue;
        }
        const Access* index = i > 0 && trace[i - 1].op == Op::Out && trace[i - 1].where == a.where - 1u
                                  ? &trace[i - 1]
                                  : nullptr;
        if (index == nullptr) {
            broken.push_back("a data access follows its index write");
            continue;
        }
        bool crtc = a.where == VGA_CRT_DC;
        if (a.op == Op::In) {
            ++reads;
            if (!crtc || (index->value != EXT_CRTC_75 && index->value != VGA_CRTC_V_SYNC_END)) {
                broken.push_back("reads only CRTC 0x75 and 0x11");
            }
        } else {
            ++indexedWrites;
            if (!Written(crtc, index->value)) {
                broken.push_back("writes only the registers of the timing set");
            }
        }
    }
    if (reads > 2 || indexedWrites > 24 || directWrites > 2 || stores > 4) {
        broken.push_back("at most 1 + 1 reads, 24 indexed writes, 2 direct writes and 4 stores");
    }

    // When the run must program the adapter: the served driver, the skip bit clear, 5 to 24 bits
    // per pixel, a width with a row, and a record that is not all zero at the rate the run chose.
    bool skipSet     = (c.crtc75 & EXT_CRTC_75_SKIP) != 0;
    bool zeroRecord  = ZeroRecordChosen(c.screen);
    bool mustProgram = c.ini->namesDriver && !skipSet && c.bitsPerPixel >= 5 && c.bitsPerPixel <= 24 &&
                       HasTableRow(c.screen.width) && !zeroRecord;
    bool window = driver == DriverBehaviour::Window && m.adapter.windowBase != 0;
    if (mustProgram &&
        (reads != 2 || indexedWrites != 24 || directWrites != 2 || stores != (window ? 4u : 0u))) {
        broken.push_back("exactly 1 + 1 reads, 24 indexed writes, 2 direct writes, and 4 stores exactly when "
                         "the driver hands out a window");
    }

    // When the run must stop early.
    if (!c.ini->namesDriver && !trace.empty()) {
        broken.push_back("no access at all when the driver check fails");
    }
    if (c.ini->namesDriver && (skipSet || c.bitsPerPixel <= 4) && !support::OnlySkipBitRead(trace)) {
        broken.push_back("only the skip-bit read when the skip bit is set or the depth is 4 or less");
    }
    bool noTableEntry = !HasTableRow(c.screen.width) || c.bitsPerPixel > 24 || zeroRecord;
    if (c.ini->namesDriver && !skipSet && c.bitsPerPixel > 4 && noTableEntry &&
        !support::OnlySkipBitRead(trace)) {
        broken.push_back("nothing written when the tables have no row, column or timing");
    }
    std::sort(broken.begin(), broken.end());
    broken.erase(std::unique(broken.begin(), broken.end()), broken.end());
    return broken;
}

struct Violation {
    size_t machines = 0;
    std::string first;
};

// Runs machine after machine with standard output redirected once, and keeps for each property
// how many machines broke it and the first of them. The driver check and the skip bit let most
// machines through to the programming sequence; the others stop at one of the two. The system.ini
// variant, the skip value and the mapping driver's behaviour of each machine come from a generator
// with a fixed seed, not from a rotation whose period could line up with the grid's and tie one
// rate text to one driver behaviour; so each of them meets every screen, depth and rate text.
class Sweep {
  public:
    Sweep() {
        for (const IniVariant& ini : kIniVariants) {
            (ini.namesDriver ? namingIni_ : otherIni_).push_back(&ini);
        }
    }

    void LetThrough(Screen screen, int bpp, const RateSetting& rate) {
        Run({screen, bpp, &rate, namingIni_[Pick(namingIni_.size())], kSkipClear[Pick(std::size(kSkipClear))],
             Pick(std::size(kDrivers))});
        ++through_;
    }

    // Half of them at the skip bit, the others at system.ini, whatever CRTC 0x75 holds.
    void Stop(Screen screen, int bpp, const RateSetting& rate) {
        if (Pick(2) == 0) {
            Run({screen, bpp, &rate, namingIni_[Pick(namingIni_.size())], kSkipSet[Pick(std::size(kSkipSet))],
                 Pick(std::size(kDrivers))});
        } else {
            const uint8_t* skip = Pick(2) == 0 ? kSkipSet : kSkipClear;
            Run({screen, bpp, &rate, otherIni_[Pick(otherIni_.size())], skip[Pick(std::size(kSkipSet))],
                 Pick(std::size(kDrivers))});
        }
        ++stopped_;
    }

    size_t Machines() const { return through_ + stopped_; }
    size_t Programmed() const { return programmed_; }
    const std::map<std::string, Violation>& Violations() const { return violations_; }

  private:
    size_t Pick(size_t count) { return pick_() % count; }

    void Run(const Config& c) {
        sim::SimulatedMachine machine;
        machine.width        = c.screen.width;
        machine.height       = c.screen.height;
        machine.bitsPerPixel = c.bitsPerPixel;
        machine.systemIni    = c.ini->text;
        machine.crtc75       = c.crtc75;
        machine.driver       = kDrivers[c.driver].behaviour;
        sim::PrepareMachine(machine);
        host::Machine& m    = host::TheMachine();
        m.settingsKeyExists = c.rate->keyExists;
        m.refreshRate       = c.rate->value;
        m.readChunk         = c.ini->readChunk;
        if (c.ini->text) {
            m.files[host::SystemIniPath()].failReadAt = c.ini->failReadAt;
        }

        long before  = output_.Written();
        int exitCode = WinMain(kInstance, nullptr, commandLine_, SW_SHOWDEFAULT);
        bool printed = output_.Written() != before;
        for (const std::string& property : BrokenProperties(c, exitCode, printed)) {
            Violation& v = violations_[property];
            if (v.machines++ == 0) {
                v.first = Describe(c);
            }
        }
        programmed_ += m.adapter.trace.size() > 2 ? 1 : 0;
    }

    static inline const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x00400000);

    // Redirected once around the whole sweep: the program prints when the mapping driver does not
    // open, and the sweep needs to know when it did without a redirection per machine.
    sim::StdoutCapture output_;
    std::minstd_rand pick_{1998};
    std::vector<const IniVariant*> namingIni_;
    std::vector<const IniVariant*> otherIni_;
    char commandLine_[1] = {0};
    size_t through_      = 0;
    size_t stopped_      = 0;
    size_t programmed_   = 0;
    std::map<std::string, Violation> violations_;
};

TEST(Sweep, NoMachineIsTouchedBeyondWhatTheUtilityOwns) {
    const std::vector<Screen> screens      = Screens();
    const std::vector<RateSetting> rates   = Rates();
    const std::vector<RateSetting> numbers = Numbers();
    // Every number as a rate text, at each resolution the program knows and two it does not.
    const Screen numberScreens[] = {{640, 480},  {720, 480},   {720, 576},   {800, 600},  {1024, 768},
                                    {1152, 864}, {1280, 1024}, {1600, 1200}, {1280, 960}, {1920, 1080}};
    const int numberDepths[]     = {8, 16, 24, 32};

    auto started = std::chrono::steady_clock::now();
    size_t machines, programmed;
    std::map<std::string, Violation> violations;
    {
        Sweep sweep;
        size_t n = 0;
        for (const Screen& screen : screens) {
            for (int bpp = 0; bpp <= 40; ++bpp) {
                for (const RateSetting& rate : rates) {
                    sweep.LetThrough(screen, bpp, rate);
                    if (n++ % 3 == 0) {
                        sweep.Stop(screen, bpp, rate);
                    }
                }
            }
        }
        for (size_t i = 0; i < std::size(numberScreens); ++i) {
            for (size_t j = 0; j < numbers.size(); ++j) {
                sweep.LetThrough(numberScreens[i], numberDepths[(i + j) % std::size(numberDepths)],
                                 numbers[j]);
            }
        }
        machines   = sweep.Machines();
        programmed = sweep.Programmed();
        violations = sweep.Violations();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("safety sweep: %zu machines (%zu programmed the adapter) in %.1f s\n", machines, programmed,
                seconds);

    for (const auto& [property, v] : violations) {
        ADD_FAILURE() << "broken: " << property << ", on " << v.machines
                      << " machines; the first: " << v.first;
    }
}

} // namespace
