// ADVAPI32 stand-in: HKEY_CURRENT_CONFIG\Display\Settings with its RefreshRate value, the Run key,
// and every other key of HKEY_LOCAL_MACHINE and HKEY_DYN_DATA from the machine's registry
// (host/registry.cpp).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "machine.h"
#include "common/names.h"

using host::TheMachine;

namespace {
const HKEY kSettingsKey = reinterpret_cast<HKEY>(0x5E7);
const HKEY kRunKey      = reinterpret_cast<HKEY>(0x5E8);
} // namespace

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegOpenKeyExA");
    if (key == HKEY_LOCAL_MACHINE && subKey != nullptr && strcasecmp(subKey, RUN_KEY) == 0) {
        *result = kRunKey;
        return ERROR_SUCCESS;
    }
    if (key != HKEY_CURRENT_CONFIG) {
        return host::OpenRegistryKey(key, subKey, result);
    }
    if (subKey == nullptr || strcasecmp(subKey, DISPLAY_SETTINGS_KEY) != 0 || !m.settingsKeyExists) {
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
        return host::QueryRegistryValue(key, name, type, data, size);
    }
    if (name == nullptr || strcasecmp(name, REFRESH_RATE_VALUE) != 0 || !m.refreshRate) {
        return ERROR_FILE_NOT_FOUND;
    }
    const std::string& stored = m.refreshRate->data;
    if (type != nullptr) {
        *type = m.refreshRate->type;
    }
    return host::CopyValueData(stored, data, size);
}

LONG WINAPI RegCloseKey(HKEY key) {
    TheMachine().calls.push_back("RegCloseKey");
    return key == kSettingsKey || key == kRunKey ? ERROR_SUCCESS : host::CloseRegistryKey(key);
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

// The settings key made where missing, as Display Properties makes it.
LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                            PHKEY result, LPDWORD disposition) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegCreateKeyExA");
    if (key != HKEY_CURRENT_CONFIG || subKey == nullptr || strcasecmp(subKey, DISPLAY_SETTINGS_KEY) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (!m.settingsKeyExists && m.registryWritesFail) {
        return ERROR_ACCESS_DENIED; // making the key is a write too
    }
    if (disposition != nullptr) {
        *disposition = m.settingsKeyExists ? 2 /* REG_OPENED_EXISTING_KEY */ : 1 /* REG_CREATED_NEW_KEY */;
    }
    m.settingsKeyExists = true;
    *result             = kSettingsKey;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegSetValueExA");
    if (key != kSettingsKey || name == nullptr || strcasecmp(name, REFRESH_RATE_VALUE) != 0 ||
        m.registryWritesFail) {
        return ERROR_ACCESS_DENIED;
    }
    m.refreshRate = host::RegistryValue{type, std::string(reinterpret_cast<const char*>(data), size)};
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegDeleteValueA");
    if (key != kSettingsKey || name == nullptr || strcasecmp(name, REFRESH_RATE_VALUE) != 0 ||
        m.registryWritesFail) {
        return ERROR_ACCESS_DENIED;
    }
    if (!m.refreshRate) {
        return ERROR_FILE_NOT_FOUND;
    }
    m.refreshRate.reset();
    return ERROR_SUCCESS;
}
