// The stand-in's registry, where the monitor tests lean on it behaving as Windows does: nested
// paths without regard to case, enumeration to its end, a name too long for its buffer, values of
// every type, handles that are gone once closed; and the special-cased keys as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "machine.h"
#include "probe/probe.h"
#include "tests/support/process.h"

namespace {

TEST(RegistryStandIn, BehavesAsWindowsDoes) {
    support::StartFreshProcess();
    host::RegistryKey& lm = host::TheMachine().registry.localMachine;
    lm.Key("Enum\\MONITOR\\DEFAULT_MONITOR\\0001").SetString("Driver", "Monitor\\0000");
    lm.Key("Enum\\MONITOR\\LUM04D2\\0001").SetBinary("EDID", std::string("\x00\xFF\x01", 3));

    HKEY monitors, device;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "enum\\Monitor", 0, KEY_READ, &monitors), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\\MONITOR\\NONE", 0, KEY_READ, &device),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\\\\MONITOR", 0, KEY_READ, &device),
              ERROR_FILE_NOT_FOUND);

    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(monitors, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "DEFAULT_MONITOR");
    EXPECT_EQ(size, 15u);
    size = 15; // no room for the zero
    EXPECT_EQ(RegEnumKeyExA(monitors, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(monitors, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "LUM04D2");
    size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(monitors, 2, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    ASSERT_EQ(RegOpenKeyExA(monitors, "lum04d2\\0001", 0, KEY_READ, &device), ERROR_SUCCESS);
    BYTE data[8];
    DWORD type = 0, length = sizeof data;
    EXPECT_EQ(RegQueryValueExA(device, "edid", nullptr, &type, data, &length), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(std::memcmp(data, "\x00\xFF\x01", 3), 0);
    length = 2;
    EXPECT_EQ(RegQueryValueExA(device, "EDID", nullptr, &type, data, &length), ERROR_MORE_DATA);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(RegQueryValueExA(device, "Driver", nullptr, &type, data, &length), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegCloseKey(device), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(device), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(device, "EDID", nullptr, &type, data, &length), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(monitors), ERROR_SUCCESS);
    EXPECT_TRUE(host::TheMachine().registry.openKeys.empty());

    // HKEY_DYN_DATA is its own tree, and HKEY_CURRENT_CONFIG keeps its one special key.
    EXPECT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "Enum", 0, KEY_READ, &device), ERROR_FILE_NOT_FOUND);
    HKEY settings;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_CONFIG, DISPLAY_SETTINGS_KEY, 0, KEY_READ, &settings),
              ERROR_SUCCESS);
    char rate[8];
    length = sizeof rate;
    EXPECT_EQ(RegQueryValueExA(settings, REFRESH_RATE_VALUE, nullptr, &type, reinterpret_cast<LPBYTE>(rate),
                               &length),
              ERROR_SUCCESS);
    EXPECT_STREQ(rate, "85");
    EXPECT_EQ(RegCloseKey(settings), ERROR_SUCCESS);
}

} // namespace
