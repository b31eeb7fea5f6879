// ReadRefreshRate and QueryColorDepth against what the registry and the display device may hold.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "host/machine.h"
#include "probe/probe.h"
#include "tests/support/process.h"

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { support::StartFreshProcess(); }
};

struct RateCase {
    const char* name;
    bool keyExists;
    std::optional<host::RegistryValue> value;
    RateSource source;
    std::string rateText;
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << c.name;
}

host::RegistryValue Text(const std::string& text) {
    return {REG_SZ, text + std::string(1, '\0')};
}
host::RegistryValue Raw(DWORD type, const std::string& bytes) {
    return {type, bytes};
}

const std::string k254(254, '7');

// rateText starts as "99" in every case, to show when it is left alone.
const RateCase kRateCases[] = {
    {"Text75", true, Text("75"), kRateFromRegistry, "75"},
    {"Text0", true, Text("0"), kRateFromRegistry, "0"},
    {"EmptyText", true, Text(""), kRateFromRegistry, ""},
    {"NoValue", true, std::nullopt, kRateNoValue, "60"},
    {"NoKey", false, Text("75"), kRateNoKey, "99"},
    {"TextWithoutZero", true, Raw(REG_SZ, "75"), kRateFromRegistry, "75"},
    {"BinaryType", true, Raw(REG_BINARY, "85"), kRateFromRegistry, "85"},
    {"DwordType", true, Raw(REG_DWORD, std::string("\x55\0\0\0", 4)), kRateFromRegistry, "U"},
    {"EmptyBinary", true, Raw(REG_BINARY, ""), kRateFromRegistry, ""},
    // The largest value that fits: 254 characters and the zero fill rateText exactly.
    {"Text254", true, Text(k254), kRateFromRegistry, k254},
    {"Text254WithoutZero", true, Raw(REG_SZ, k254), kRateFromRegistry, k254},
    // 255 characters without a zero: the query succeeds, but the text has no room for its zero in
    // rateText, so it counts like the same text stored with one, which is too long to fetch.
    {"Text255WithoutZero", true, Raw(REG_SZ, k254 + "7"), kRateUnreadable, "60"},
    {"Text255", true, Text(k254 + "7"), kRateUnreadable, "60"},
    {"Bytes300", true, Raw(REG_BINARY, std::string(300, '8')), kRateUnreadable, "60"},
};

class RefreshRateCases : public SettingsTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(RefreshRateCases, RateTextAlwaysTerminatedWithinItsBuffer) {
    const RateCase& c   = GetParam();
    host::Machine& m    = host::TheMachine();
    m.settingsKeyExists = c.keyExists;
    m.refreshRate       = c.value;
    std::strcpy(displayState.rateText, "99");

    EXPECT_EQ(ReadRefreshRate(&displayState), c.source);
    ASSERT_NE(std::memchr(displayState.rateText, 0, sizeof displayState.rateText), nullptr);
    EXPECT_EQ(std::string(displayState.rateText), c.rateText);
    if (c.keyExists) {
        EXPECT_EQ(m.calls, (std::vector<std::string>{"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey"}));
    } else {
        EXPECT_EQ(m.calls, (std::vector<std::string>{"RegOpenKeyExA"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Probe, RefreshRateCases, ::testing::ValuesIn(kRateCases),
                         [](const ::testing::TestParamInfo<RateCase>& info) { return info.param.name; });

// No key: the zero-initialised state keeps its empty text.
TEST_F(SettingsTest, NoKeyLeavesTheRateTextEmpty) {
    host::TheMachine().settingsKeyExists = false;
    EXPECT_EQ(ReadRefreshRate(&displayState), kRateNoKey);
    EXPECT_STREQ(displayState.rateText, "");
}

// A long earlier text is replaced whole, not overwritten at its start.
TEST_F(SettingsTest, ShorterTextReplacesALongerOne) {
    std::memset(displayState.rateText, '9', sizeof displayState.rateText - 1);
    host::TheMachine().refreshRate = Text("72");
    EXPECT_EQ(ReadRefreshRate(&displayState), kRateFromRegistry);
    EXPECT_STREQ(displayState.rateText, "72");
}

TEST_F(SettingsTest, ColorDepthIsBitsPerPixelTimesPlanes) {
    const struct {
        int bitsPerPixel, planes;
        bool dcFails;
        int depth;
    } cases[] = {{8, 1, false, 8},   {16, 1, false, 16}, {24, 1, false, 24},
                 {32, 1, false, 32}, {1, 4, false, 4},   {16, 1, true, 0}};
    for (const auto& c : cases) {
        SetUp();
        host::Machine& m = host::TheMachine();
        m.bitsPerPixel   = c.bitsPerPixel;
        m.planes         = c.planes;
        m.displayDcFails = c.dcFails;
        EXPECT_EQ(QueryColorDepth(), c.depth)
            << c.bitsPerPixel << " x " << c.planes << (c.dcFails ? ", no DC" : "");
        EXPECT_EQ(m.calls,
                  (std::vector<std::string>{"CreateDCA", "GetDeviceCaps", "GetDeviceCaps", "DeleteDC"}));
    }
}

} // namespace
