// ADVAPI32 stand-in: HKEY_CURRENT_CONFIG\Display\Settings with its RefreshRate value.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "machine.h"

using host::TheMachine;

namespace {
const HKEY kSettingsKey  = reinterpret_cast<HKEY>(0x5E7);
const HKEY kRunKey       = reinterpret_cast<HKEY>(0x5E8);
const char kRunKeyName[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
} // namespace

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegOpenKeyExA");
    if (key == HKEY_LOCAL_MACHINE && subKey != nullptr && strcasecmp(subKey, kRunKeyName) == 0) {
        *result = kRunKey;
        return ERROR_SUCCESS;
    }
    if (key != HKEY_CURRENT_CONFIG || subKey == nullptr || strcasecmp(subKey, "Display\\Settings") != 0 ||
        !m.settingsKeyExists) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = kSettingsKey;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegQueryValueExA");
    if (key == kRunKey) {
        return name != nullptr && m.runValues.count(name) != 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    if (key != kSettingsKey) {
        return ERROR_INVALID_HANDLE;
    }
    if (name == nullptr || strcasecmp(name, "RefreshRate") != 0 || !m.refreshRate) {
        return ERROR_FILE_NOT_FOUND;
    }
    const std::string& stored = m.refreshRate->data;
    if (type != nullptr) {
        *type = m.refreshRate->type;
    }
    if (data != nullptr && stored.size() > *size) {
        // Too small: Windows leaves the buffer's contents undefined; fill it with what fits so a
        // caller that trusts it anyway is caught.
        std::memcpy(data, stored.data(), *size);
        *size = static_cast<DWORD>(stored.size());
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        std::memcpy(data, stored.data(), stored.size());
    }
    *size = static_cast<DWORD>(stored.size());
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
    TheMachine().calls.push_back("RegCloseKey");
    return key == kSettingsKey || key == kRunKey ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// Counted; the test says when the key changed.
LONG WINAPI RegNotifyChangeKeyValue(HKEY key, BOOL, DWORD, HANDLE event, BOOL) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegNotifyChangeKeyValue");
    if (key != kSettingsKey || event == nullptr || m.rateNotifyFails) {
        return ERROR_INVALID_PARAMETER;
    }
    ++m.rateNotifications;
    return ERROR_SUCCESS;
}
