// The monitor's limits: the readers of Mode1, MaxResolution and EDID against the forms found in
// real setup information and broken ones; the monitor in use found in registries as Windows 95/98
// keep them; the check of a timing against the limits, and with the tables' line frequencies.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "facts/monitor.h"
#include "machine.h"
#include "tests/support/monitor.h"
#include "tests/support/process.h"
#include "timing/line_frequency.h"

namespace {

// What a reader left in the limits, in a form a test compares at once.
struct Ranges {
    unsigned known;
    DWORD hMin, hMax, vMin, vMax;
    bool operator==(const Ranges& o) const {
        return known == o.known && hMin == o.hMin && hMax == o.hMax && vMin == o.vMin && vMax == o.vMax;
    }
};
std::ostream& operator<<(std::ostream& os, const Ranges& r) {
    return os << "known " << r.known << " h " << r.hMin << "-" << r.hMax << " v " << r.vMin << "-" << r.vMax;
}
Ranges RangesOf(const MonitorLimits& l) {
    return {l.known, l.horizontalMinHz, l.horizontalMaxHz, l.verticalMinMilliHz, l.verticalMaxMilliHz};
}

// Limits a refusing reader must leave as they are.
MonitorLimits Untouched() {
    MonitorLimits l{};
    l.known              = 0x80;
    l.horizontalMinHz    = 1;
    l.horizontalMaxHz    = 2;
    l.verticalMinMilliHz = 3;
    l.verticalMaxMilliHz = 4;
    return l;
}

const unsigned kHV = kKnownHorizontal | kKnownVertical;

TEST(ParseModeValue, RealWorldForms) {
    struct Case {
        const char* text;
        Ranges expected;
    } cases[] = {
        {"31.0-64.0,50.0-100.0,+,+", {kHV, 31000, 64000, 50000, 100000}},
        {"30-65,50-120,+,+", {kHV, 30000, 65000, 50000, 120000}},
        {"31-83.0,55.0-76.0,+,+", {kHV, 31000, 83000, 55000, 76000}},
        {"27.0-106.0,55.0-160.0,+,+", {kHV, 27000, 106000, 55000, 160000}},
        {"30.5-45.0,58.0-85.0,-,-", {kHV, 30500, 45000, 58000, 85000}},
        {"31.469-37.861,59.94-72.809,-,+", {kHV, 31469, 37861, 59940, 72809}},
        {"31.5-57.0,50-90", {kHV, 31500, 57000, 50000, 90000}},
        {"31.5-57.0,50-90,+", {kHV, 31500, 57000, 50000, 90000}},
        // Only the maximum horizontal frequency is required; the vertical range may be left out.
        {"64", {kKnownHorizontal, 0, 64000, 0, 0}},
        {"30-64", {kKnownHorizontal, 30000, 64000, 0, 0}},
        {"64,50-100,+,+", {kHV, 0, 64000, 50000, 100000}},
        {" 31.0 - 64.0 , 50.0 - 100.0 , + , + ", {kHV, 31000, 64000, 50000, 100000}},
        {"\t31-64,\t50-100", {kHV, 31000, 64000, 50000, 100000}},
        {"15.0-16.0,50-60", {kHV, 15000, 16000, 50000, 60000}},
        {"64-64,60-60", {kHV, 64000, 64000, 60000, 60000}},
    };
    for (const Case& c : cases) {
        MonitorLimits l{};
        EXPECT_EQ(ParseModeValue(c.text, &l), 1) << "\"" << c.text << "\"";
        EXPECT_EQ(RangesOf(l), c.expected) << "\"" << c.text << "\"";
    }
}

TEST(ParseModeValue, RefusesWhatItDoesNotUnderstand) {
    const std::string overlong = "31.0-64.0,50.0-100.0,+,+" + std::string(40, ' ') + "x";
    const char* broken[]       = {
              "",                           // nothing
              "   ",                        // blanks alone
              "31.0-64.0,",                 // the vertical range missing after its comma
              "31.0-64.0,60",               // one number where the vertical range belongs
              "31.0-64.0,60-",              // a range without its maximum
              "-64.0,50-100",               // a range without its minimum
              "31.0--64.0,50-100",          // two dashes
              "64.0-31.0,50-100",           // minimum above maximum
              "31.0-64.0,100-50",           //
              "31,5-64,0,50,0-100,0,+,+",   // decimal commas
              "31,5-64",                    // decimal comma: 5 Hz is no monitor's
              "31,5-64,+,+",                //
              "0-64,50-100",                // 0 kHz is no limit
              "31-64,0-100",                // nor 0 Hz
              "31.0-64.0;50.0-100.0",       // another separator
              "31.0 64.0,50-100",           // a blank for the dash
              "6 4,50-100",                 // a blank inside a number
              "3100-6400,50-100",           // four digits: kHz written without their point
              "31.0000-64.0,50-100",        // four decimals
              "31.-64,50-100",              // a point without decimals
              ".5-64,50-100",               // decimals without a whole number
              "31.0-64.0,50.0-100.0,+,+,+", // a third polarity
              "31.0-64.0,50.0-100.0,,+",    // an empty polarity
              "31.0-64.0,50.0-100.0,x,+",   // a polarity of another form
              "31.0-64.0,50.0-100.0,+,+x",  // text after the value
              "31.0-64.0,50.0-100.0,+,+,",  // a trailing comma
              "31kHz-64kHz,50Hz-100Hz",     // units
              "abc",                        // garbage
              "\xff\xfe",                   //
              "+31-64,50-100",              // a sign
              overlong.c_str(),             // a valid value with more after it
    };
    for (const char* text : broken) {
        MonitorLimits l = Untouched();
        EXPECT_EQ(ParseModeValue(text, &l), 0) << "\"" << text << "\"";
        EXPECT_EQ(RangesOf(l), RangesOf(Untouched())) << "\"" << text << "\"";
    }
}

TEST(ParseScreenSize, FormsAndRefusals) {
    struct Case {
        const char* text;
        int ok, width, height;
    } cases[] = {
        {"1024,768", 1, 1024, 768},
        {"1280, 1024", 1, 1280, 1024},
        {" 800 , 600 ", 1, 800, 600},
        {"5120,2880", 1, 5120, 2880},
        {"1024x768", 0, 0, 0},
        {"1024,", 0, 0, 0},
        {",768", 0, 0, 0},
        {"1024,768,", 0, 0, 0},
        {"1024,768,60", 0, 0, 0},
        {"0,0", 0, 0, 0},
        {"10240,768", 0, 0, 0},
        {"1024.0,768", 0, 0, 0},
        {"", 0, 0, 0},
        {"-1024,768", 0, 0, 0},
        {"1024;768", 0, 0, 0},
    };
    for (const Case& c : cases) {
        int w = -1, h = -1;
        EXPECT_EQ(ParseScreenSize(c.text, &w, &h), c.ok) << "\"" << c.text << "\"";
        EXPECT_EQ(w, c.ok ? c.width : -1) << "\"" << c.text << "\"";
        EXPECT_EQ(h, c.ok ? c.height : -1) << "\"" << c.text << "\"";
    }
}

// EDID 1.3 of a made-up monitor: its name in descriptor 0, and a range-limits descriptor (56-76 Hz,
// 31-80 kHz) at `slot`, or none where slot is -1; the checksum made right.
std::string Edid(int slot = 3) {
    std::string e(128, '\0');
    const unsigned char header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::memcpy(&e[0], header, sizeof header);
    e[8]                       = 0x31; // manufacturer "LUM"
    e[9]                       = 0xAD;
    e[18]                      = 1;
    e[19]                      = 3;
    const unsigned char name[] = {0,    0,   0,   0xFC, 0,   'T', 'E', 'S', 'T',
                                  '\n', ' ', ' ', ' ',  ' ', ' ', ' ', ' ', ' '};
    std::memcpy(&e[54], name, sizeof name);
    if (slot >= 0) {
        const unsigned char range[] = {0,  0, 0,    0xFD, 0,   56,  76,  31,  80,
                                       14, 0, '\n', ' ',  ' ', ' ', ' ', ' ', ' '};
        std::memcpy(&e[54 + 18 * slot], range, sizeof range);
    }
    unsigned char sum = 0;
    for (int k = 0; k < 127; ++k) {
        sum = static_cast<unsigned char>(sum + e[k]);
    }
    e[127] = static_cast<char>(-sum);
    return e;
}

// The same with one byte changed and the checksum made right again (or left wrong).
std::string EdidWith(int at, unsigned char value, bool fixSum = true, int slot = 3) {
    std::string e = Edid(slot);
    e[at]         = static_cast<char>(value);
    if (fixSum) {
        unsigned char sum = 0;
        for (int k = 0; k < 127; ++k) {
            sum = static_cast<unsigned char>(sum + e[k]);
        }
        e[127] = static_cast<char>(-sum);
    }
    return e;
}

TEST(ParseEdidRangeLimits, DescriptorAndRefusals) {
    const int r = 54 + 18 * 3; // the range-limits descriptor of Edid()
    struct Case {
        const char* name;
        std::string bytes;
        int result;
    } cases[] = {
        {"range limits in the last slot", Edid(3), 1},
        {"range limits in the second slot", Edid(1), 1},
        {"with a 256-byte buffer's tail", Edid(3) + std::string(128, '\x55'), 1},
        {"no range limits", Edid(-1), 0},
        {"a detailed timing whose fourth byte is 0xFD", EdidWith(r, 0x40), 0},
        {"checksum wrong", EdidWith(20, 0x7F, false), -1},
        {"header wrong", EdidWith(1, 0x00), -1},
        {"EDID 2", EdidWith(18, 2), -1},
        {"limits above 255 flagged", EdidWith(r + 4, 0x02), -1},
        {"vertical minimum above maximum", EdidWith(r + 5, 90), -1},
        {"horizontal minimum above maximum", EdidWith(r + 7, 81), -1},
        {"vertical minimum 0", EdidWith(r + 5, 0), -1},
        {"horizontal minimum 0", EdidWith(r + 7, 0), -1},
        {"127 bytes", Edid(3).substr(0, 127), -1},
        {"empty", std::string(), -1},
    };
    for (const Case& c : cases) {
        MonitorLimits l = Untouched();
        EXPECT_EQ(ParseEdidRangeLimits(reinterpret_cast<const BYTE*>(c.bytes.data()),
                                       static_cast<DWORD>(c.bytes.size()), &l),
                  c.result)
            << c.name;
        const Ranges read = {0x80 | kHV, 31000, 80000, 56000, 76000};
        EXPECT_EQ(RangesOf(l), c.result == 1 ? read : RangesOf(Untouched())) << c.name;
    }
}

// A registry as Windows 95/98 keep it, put together by the cases below.
using support::ClassKey;
using support::Device;
using support::Installed;
using support::kDdcMonitor;
using support::kDefaultMonitor;
using support::Mode;
using support::OtherDevices;
using support::Present;
using support::Text;

struct Expected {
    MonitorFinding finding;
    MonitorLimitSource source;
    Ranges ranges;
    unsigned found, refused;
    int maxWidth, maxHeight, modesWidth, modesHeight;
    const char* hardwareKey;
    const char* driver;
};

struct MachineCase {
    const char* name;
    int width, height;
    void (*set)();
    Expected expected;
};

void PrintTo(const MachineCase& c, std::ostream* os) {
    *os << c.name;
}

const Ranges kNone     = {0, 0, 0, 0, 0};
const Ranges kMode1024 = {kHV, 31000, 64000, 50000, 100000}; // "31.0-64.0,50.0-100.0,+,+"
const Ranges kMode1280 = {kHV, 30000, 82000, 50000, 120000}; // "30-82,50-120"
const Ranges kFromEdid = {kHV, 31000, 80000, 56000, 76000};  // Edid()

// A CRT's setup information of Windows 95: MaxResolution and one MODES key per size.
void TwoModes(const std::string& driver) {
    Mode(driver, "1024,768", Text("31.0-64.0,50.0-100.0,+,+"));
    Mode(driver, "1280,1024", Text("30-82,50-120"));
}

// clang-format off
const MachineCase kMachines[] = {
    {"no device list (not Windows 95/98)", 1024, 768, [] {},
     {kNoDeviceList, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, "", ""}},
    {"an empty device list, as Wine keeps it", 1024, 768,
     [] { host::TheMachine().registry.dynData.Key("Config Manager\\Enum"); },
     {kNoMonitorPresent, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, "", ""}},
    {"no monitor among the devices; one installed once", 1024, 768,
     [] { OtherDevices(); Installed(kDefaultMonitor, "Monitor\\0000"); TwoModes("Monitor\\0000"); },
     {kNoMonitorPresent, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, "", ""}},
    {"the standard monitor: no MODES, no MaxResolution", 1024, 768,
     [] { OtherDevices(); Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000"); },
     {kMonitorFound, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, kDefaultMonitor, "Monitor\\0000"}},
    {"MaxResolution alone", 1024, 768,
     [] { Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          ClassKey("Monitor\\0000").SetString("MaxResolution", "1024,768"); },
     {kMonitorFound, kLimitsFromNowhere, {kKnownResolution, 0, 0, 0, 0}, kValueMaxResolution, 0,
      1024, 768, 0, 0, kDefaultMonitor, "Monitor\\0000"}},
    {"MODES at the screen's own size", 1024, 768,
     [] { OtherDevices(); Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          ClassKey("Monitor\\0000").SetString("MaxResolution", "1280,1024"); TwoModes("Monitor\\0000"); },
     {kMonitorFound, kLimitsFromModes, {kMode1024.known | kKnownResolution, 31000, 64000, 50000, 100000},
      kValueMaxResolution | kValueMode1, 0, 1280, 1024, 1024, 768, kDefaultMonitor, "Monitor\\0000"}},
    {"MODES at the next larger size", 800, 600,
     [] { Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          Mode("Monitor\\0000", "1280,1024", Text("30-82,50-120"));
          Mode("Monitor\\0000", "1600,1200", Text("30-95,50-85")); },
     {kMonitorFound, kLimitsFromModes, kMode1280, kValueMode1, 0, 0, 0, 1280, 1024, kDefaultMonitor, "Monitor\\0000"}},
    {"MODES only at smaller sizes", 1280, 1024,
     [] { Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          Mode("Monitor\\0000", "1024,768", Text("31.0-64.0,50.0-100.0,+,+"));
          Mode("Monitor\\0000", "1280,960", Text("30-82,50-120")); },
     {kMonitorFound, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, kDefaultMonitor, "Monitor\\0000"}},
    {"MODES keys named in other forms", 1024, 768,
     [] { Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          Mode("Monitor\\0000", "1024x768", Text("30-95,50-150"));
          Mode("Monitor\\0000", std::string(40, '1'), Text("30-95,50-150"));
          Mode("Monitor\\0000", "1152, 864", Text("31.0-64.0,50.0-100.0,+,+")); },
     {kMonitorFound, kLimitsFromModes, kMode1024, kValueMode1, 0, 0, 0, 1152, 864, kDefaultMonitor, "Monitor\\0000"}},
    {"a broken Mode1, no EDID", 1024, 768,
     [] { Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          ClassKey("Monitor\\0000").SetString("MaxResolution", "1024 x 768");
          Mode("Monitor\\0000", "1024,768", Text("31,5-64,0,50-100")); },
     {kMonitorFound, kLimitsFromNowhere, kNone, kValueMaxResolution | kValueMode1,
      kValueMaxResolution | kValueMode1, 0, 0, 1024, 768, kDefaultMonitor, "Monitor\\0000"}},
    {"Mode1 binary", 1024, 768,
     [] { Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          Mode("Monitor\\0000", "1024,768", {REG_BINARY, "31-64,50-100"}); },
     {kMonitorFound, kLimitsFromNowhere, kNone, kValueMode1, kValueMode1, 0, 0, 1024, 768, kDefaultMonitor,
      "Monitor\\0000"}},
    {"Mode1 overlong", 1024, 768,
     [] { Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          Mode("Monitor\\0000", "1024,768", Text("31.0-64.0,50.0-100.0,+,+" + std::string(100, ' '))); },
     {kMonitorFound, kLimitsFromNowhere, kNone, kValueMode1, kValueMode1, 0, 0, 1024, 768, kDefaultMonitor,
      "Monitor\\0000"}},
    {"Mode1 without its zero", 1024, 768,
     [] { Present("C29A5000", kDefaultMonitor); Installed(kDefaultMonitor, "Monitor\\0000");
          Mode("Monitor\\0000", "1024,768", {REG_SZ, "31.0-64.0,50.0-100.0,+,+"}); },
     {kMonitorFound, kLimitsFromModes, kMode1024, kValueMode1, 0, 0, 0, 1024, 768, kDefaultMonitor, "Monitor\\0000"}},
    {"a DDC monitor: EDID range limits, no MODES", 1024, 768,
     [] { OtherDevices(); Present("C29A6000", kDdcMonitor); Installed(kDdcMonitor, "Monitor\\0001");
          Device(kDdcMonitor).SetBinary("EDID", Edid()); },
     {kMonitorFound, kLimitsFromEdid, kFromEdid, kValueEdid, 0, 0, 0, 0, 0, kDdcMonitor, "Monitor\\0001"}},
    {"MODES wins over EDID", 1024, 768,
     [] { Present("C29A6000", kDdcMonitor); Installed(kDdcMonitor, "Monitor\\0001");
          Device(kDdcMonitor).SetBinary("EDID", Edid()); TwoModes("Monitor\\0001"); },
     {kMonitorFound, kLimitsFromModes, kMode1024, kValueMode1 | kValueEdid, 0, 0, 0, 1024, 768, kDdcMonitor,
      "Monitor\\0001"}},
    {"a broken Mode1 leaves it to EDID", 1024, 768,
     [] { Present("C29A6000", kDdcMonitor); Installed(kDdcMonitor, "Monitor\\0001");
          Device(kDdcMonitor).SetBinary("EDID", Edid()); Mode("Monitor\\0001", "1024,768", Text("64-31")); },
     {kMonitorFound, kLimitsFromEdid, kFromEdid, kValueMode1 | kValueEdid, kValueMode1, 0, 0, 1024, 768,
      kDdcMonitor, "Monitor\\0001"}},
    {"EDID without range limits", 1024, 768,
     [] { Present("C29A6000", kDdcMonitor); Installed(kDdcMonitor, "Monitor\\0001");
          Device(kDdcMonitor).SetBinary("EDID", Edid(-1)); },
     {kMonitorFound, kLimitsFromNowhere, kNone, kValueEdid, 0, 0, 0, 0, 0, kDdcMonitor, "Monitor\\0001"}},
    {"EDID stored as text", 1024, 768,
     [] { Present("C29A6000", kDdcMonitor); Installed(kDdcMonitor, "Monitor\\0001");
          Device(kDdcMonitor).Set("EDID", {REG_SZ, Edid()}); },
     {kMonitorFound, kLimitsFromNowhere, kNone, kValueEdid, kValueEdid, 0, 0, 0, 0, kDdcMonitor, "Monitor\\0001"}},
    {"EDID too long for any EDID 1.x", 1024, 768,
     [] { Present("C29A6000", kDdcMonitor); Installed(kDdcMonitor, "Monitor\\0001");
          Device(kDdcMonitor).SetBinary("EDID", Edid() + std::string(256, '\0')); },
     {kMonitorFound, kLimitsFromNowhere, kNone, kValueEdid, kValueEdid, 0, 0, 0, 0, kDdcMonitor, "Monitor\\0001"}},
    {"a new monitor not yet installed: EDID alone", 1024, 768,
     [] { Present("C29A6000", kDdcMonitor); Device(kDdcMonitor).SetBinary("EDID", Edid()); },
     {kMonitorWithoutClassKey, kLimitsFromEdid, kFromEdid, kValueEdid, 0, 0, 0, 0, 0, kDdcMonitor, ""}},
    {"its Driver names no class key", 1024, 768,
     [] { Present("C29A5000", kDefaultMonitor); Device(kDefaultMonitor).SetString("Driver", "Monitor\\0007"); },
     {kMonitorWithoutClassKey, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, kDefaultMonitor, "Monitor\\0007"}},
    {"the listed devnode has no key below Enum", 1024, 768,
     [] { Present("C29A5000", kDefaultMonitor); },
     {kMonitorWithoutClassKey, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, kDefaultMonitor, ""}},
    {"two monitors installed, the second present", 1024, 768,
     [] { OtherDevices(); Installed(kDefaultMonitor, "Monitor\\0000"); TwoModes("Monitor\\0000");
          Installed(kDdcMonitor, "Monitor\\0001"); Present("C29A6000", kDdcMonitor);
          Mode("Monitor\\0001", "1024,768", Text("30-82,50-120")); },
     {kMonitorFound, kLimitsFromModes, kMode1280, kValueMode1, 0, 0, 0, 1024, 768, kDdcMonitor, "Monitor\\0001"}},
    {"letters' case as Windows 98 may write them", 1024, 768,
     [] { Present("C29A6000", "Monitor\\Lum04d2\\0001"); Installed(kDdcMonitor, "MONITOR\\0001");
          Mode("Monitor\\0001", "1024,768", Text("30-82,50-120")); },
     {kMonitorFound, kLimitsFromModes, kMode1280, kValueMode1, 0, 0, 0, 1024, 768, "Monitor\\Lum04d2\\0001",
      "MONITOR\\0001"}},
    {"two monitors present", 1024, 768,
     [] { Installed(kDefaultMonitor, "Monitor\\0000"); TwoModes("Monitor\\0000"); Present("C29A5000", kDefaultMonitor);
          Installed(kDdcMonitor, "Monitor\\0001"); Present("C29A6000", kDdcMonitor); },
     {kSeveralMonitorsPresent, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, kDefaultMonitor, ""}},
    {"a device list entry with an overlong name", 1024, 768,
     [] { Present(std::string(40, 'C'), "ROOT\\*PNP0303\\0000"); Present("C29A5000", kDefaultMonitor);
          Installed(kDefaultMonitor, "Monitor\\0000"); },
     {kNoDeviceList, kLimitsFromNowhere, kNone, 0, 0, 0, 0, 0, 0, "", ""}},
};
// clang-format on

class ReadMonitorLimitsCases : public ::testing::TestWithParam<MachineCase> {};

TEST_P(ReadMonitorLimitsCases, FindsTheMonitorAndItsLimits) {
    const MachineCase& c = GetParam();
    support::StartFreshProcess();
    c.set();
    MonitorLimits l;
    std::memset(&l, 0x5A, sizeof l);
    ReadMonitorLimits(c.width, c.height, &l);
    const Expected& e = c.expected;
    EXPECT_EQ(l.finding, e.finding);
    EXPECT_EQ(l.source, e.source);
    EXPECT_EQ(RangesOf(l), e.ranges);
    EXPECT_EQ(l.found, e.found);
    EXPECT_EQ(l.refused, e.refused);
    EXPECT_EQ(l.maxWidth, e.maxWidth);
    EXPECT_EQ(l.maxHeight, e.maxHeight);
    EXPECT_EQ(l.modesWidth, e.modesWidth);
    EXPECT_EQ(l.modesHeight, e.modesHeight);
    EXPECT_STREQ(l.hardwareKey, e.hardwareKey);
    EXPECT_STREQ(l.driver, e.driver);
    // The watcher reads them at every mode change, all session long: no key is left open.
    EXPECT_TRUE(host::TheMachine().registry.openKeys.empty());
}

INSTANTIATE_TEST_SUITE_P(Machines, ReadMonitorLimitsCases, ::testing::ValuesIn(kMachines));

TEST(CheckMonitorLimits, Verdicts) {
    MonitorLimits full{};
    full.known                     = kHV | kKnownResolution;
    full.horizontalMinHz           = 31000;
    full.horizontalMaxHz           = 64000;
    full.verticalMinMilliHz        = 50000;
    full.verticalMaxMilliHz        = 100000;
    full.maxWidth                  = 1280;
    full.maxHeight                 = 1024;
    MonitorLimits horizontalOnly   = full;
    horizontalOnly.known           = kKnownHorizontal;
    horizontalOnly.horizontalMinHz = 0;
    MonitorLimits resolutionOnly   = full;
    resolutionOnly.known           = kKnownResolution;
    const MonitorLimits none{};
    struct Case {
        const char* name;
        const MonitorLimits* limits;
        int width, height;
        DWORD line, rate;
        MonitorVerdict verdict;
    } cases[] = {
        {"within", &full, 1024, 768, 48360, 60, kWithinMonitor},
        {"at both maxima", &full, 1280, 1024, 64000, 100, kWithinMonitor},
        {"at both minima", &full, 640, 480, 31000, 50, kWithinMonitor},
        {"1 Hz above the horizontal maximum", &full, 1024, 768, 64001, 60, kBeyondHorizontal},
        {"below the horizontal minimum", &full, 640, 480, 30999, 60, kBeyondHorizontal},
        {"above the vertical maximum", &full, 640, 480, 50880, 101, kBeyondVertical},
        {"below the vertical minimum", &full, 640, 480, 31000, 49, kBeyondVertical},
        {"a rate no monitor has", &full, 640, 480, 31000, 4294968, kBeyondVertical},
        {"wider than MaxResolution", &full, 1600, 1200, 48000, 60, kBeyondResolution},
        {"taller than MaxResolution", &full, 1280, 1200, 48000, 60, kBeyondResolution},
        {"line frequency unknown", &full, 1024, 768, 0, 60, kMonitorUnknown},
        {"line frequency unknown, rate beyond", &full, 1024, 768, 0, 120, kBeyondVertical},
        {"rate unknown", &full, 1024, 768, 48360, 0, kMonitorUnknown},
        {"rate unknown, line frequency beyond", &full, 1024, 768, 70000, 0, kBeyondHorizontal},
        {"a maximum alone", &horizontalOnly, 640, 480, 20000, 160, kWithinMonitor},
        {"a maximum alone, beyond", &horizontalOnly, 1024, 768, 64001, 60, kBeyondHorizontal},
        {"MaxResolution alone, within it", &resolutionOnly, 1024, 768, 48360, 60, kMonitorUnknown},
        {"MaxResolution alone, beyond it", &resolutionOnly, 1600, 1200, 75000, 60, kBeyondResolution},
        {"nothing known", &none, 1024, 768, 48360, 60, kMonitorUnknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckMonitorLimits(c.limits, c.width, c.height, c.line, c.rate), c.verdict) << c.name;
    }
}

// The reason for it all: 85 Hz kept at 1024x768 suits a monitor of 30-70 kHz there, and drives it
// at about 91 kHz at 1280x1024.
TEST(CheckMonitorLimits, OneRateAtTwoScreenSizes) {
    support::StartFreshProcess();
    Present("C29A5000", kDefaultMonitor);
    Installed(kDefaultMonitor, "Monitor\\0000");
    ClassKey("Monitor\\0000").SetString("MaxResolution", "1280,1024");
    Mode("Monitor\\0000", "1280,1024", Text("30.0-70.0,50.0-120.0,+,+"));
    struct Case {
        TableRow row;
        RateIndex rate;
        MonitorVerdict verdict;
    } cases[] = {
        {4, 2, kWithinMonitor}, {6, 2, kBeyondHorizontal}, {6, 0, kWithinMonitor}, {7, 0, kBeyondResolution}};
    for (const Case& c : cases) {
        const int width = ResolutionTable[c.row][0], height = ResolutionTable[c.row][1];
        MonitorLimits l;
        ReadMonitorLimits(width, height, &l);
        EXPECT_EQ(CheckMonitorLimits(&l, width, height, LineFrequency(c.row, c.rate),
                                     static_cast<DWORD>(RateOfEntry(RateTable[c.row][c.rate]))),
                  c.verdict)
            << width << "x" << height << " " << RateTable[c.row][c.rate];
    }
}

} // namespace
