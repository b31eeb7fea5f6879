// A monitor in the simulated machine's registry as Windows 95/98 keep it: its devnode listed under
// HKEY_DYN_DATA\Config Manager\Enum, its device key below HKEY_LOCAL_MACHINE\Enum naming its class
// key, where its setup information wrote MaxResolution and MODES.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "machine.h"

namespace support {

inline const char kClassRoot[]      = "System\\CurrentControlSet\\Services\\Class\\";
inline const char kDefaultMonitor[] = "MONITOR\\DEFAULT_MONITOR\\0001";
inline const char kDdcMonitor[]     = "MONITOR\\LUM04D2\\0001";

// A devnode of the running configuration, listed under HKEY_DYN_DATA by its handle.
inline void Present(const std::string& handle, const std::string& hardwareKey) {
    host::TheMachine()
        .registry.dynData.Key("Config Manager\\Enum\\" + handle)
        .SetString("HardWareKey", hardwareKey);
}
inline host::RegistryKey& Device(const std::string& hardwareKey) {
    return host::TheMachine().registry.localMachine.Key("Enum\\" + hardwareKey);
}
inline host::RegistryKey& ClassKey(const std::string& driver) {
    return host::TheMachine().registry.localMachine.Key(kClassRoot + driver);
}
inline void Mode(const std::string& driver, const std::string& size, const host::RegistryValue& mode1) {
    ClassKey(driver).Key("MODES\\" + size).Set("Mode1", mode1);
}
inline host::RegistryValue Text(const std::string& text) {
    return {REG_SZ, text + std::string(1, '\0')};
}

// The usual machine around it: a display adapter and a keyboard listed beside the monitor.
inline void OtherDevices() {
    Present("C29A4450", "PCI\\VEN_1023&DEV_9750&SUBSYS_00000000&REV_F3\\BUS_01&DEV_00&FUNC_00");
    Present("C29A3F10", "ROOT\\*PNP0303\\0000");
}

// An installed monitor: its devnode naming its class key.
inline void Installed(const std::string& hardwareKey, const std::string& driver) {
    Device(hardwareKey).SetString("Driver", driver).SetString("DeviceDesc", "Monitor");
    ClassKey(driver).SetString("DriverDesc", "Monitor");
}

// The one monitor of a machine, present and installed, with Mode1 for each screen size given
// ("1024,768" = "31.0-64.0,50.0-100.0,+,+").
inline void OneMonitor(std::initializer_list<std::pair<std::string, std::string>> modes) {
    OtherDevices();
    Present("C29A5000", kDefaultMonitor);
    Installed(kDefaultMonitor, "Monitor\\0000");
    for (const auto& [size, mode1] : modes) {
        Mode("Monitor\\0000", size, Text(mode1));
    }
}

} // namespace support
