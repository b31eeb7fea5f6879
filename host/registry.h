// The registry of the simulated machine beyond the keys the stand-in special-cases (Display\Settings
// under HKEY_CURRENT_CONFIG, the Run key): HKEY_LOCAL_MACHINE and HKEY_DYN_DATA as trees of keys
// with string and binary values, as Windows 95/98 keep them. Names of keys and values compare
// without regard to letters' case, as Windows compares them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace host {

struct RegistryValue {
    DWORD type = REG_SZ;
    std::string data; // as stored, with its terminating zero if it has one
};

// One key: its subkeys and values in the order they were made, the order RegEnumKeyExA gives.
struct RegistryKey {
    struct Subkey;
    std::vector<Subkey> subkeys;
    std::vector<std::pair<std::string, RegistryValue>> values;

    // The key at a path of names below this one, separated by backslashes; made where missing.
    RegistryKey& Key(const std::string& path);
    // The key at a path below this one; nullptr when a name of the path is missing or empty. The
    // empty path is this key.
    const RegistryKey* Find(const std::string& path) const;
    // A REG_SZ value written as setup programs write it, with its terminating zero; a REG_BINARY
    // value of the bytes given; any value as stored. Each replaces a value of the same name.
    RegistryKey& SetString(const std::string& name, const std::string& text);
    RegistryKey& SetBinary(const std::string& name, const std::string& bytes);
    RegistryKey& Set(const std::string& name, const RegistryValue& value);
    const RegistryValue* Value(const std::string& name) const;
};

struct RegistryKey::Subkey {
    std::string name;
    RegistryKey key;
};

struct Registry {
    RegistryKey localMachine; // HKEY_LOCAL_MACHINE
    RegistryKey dynData;      // HKEY_DYN_DATA
    // The keys the program holds open, by handle: the root and the path below it. A handle names a
    // path, not a key, so a key a test removes meanwhile is simply no longer found.
    std::map<HKEY, std::pair<HKEY, std::string>> openKeys;
    uintptr_t nextHandle = 0x6B000;
};

// The generic part of the ADVAPI32 stand-in, for keys the special cases do not answer. A handle
// that is neither HKEY_LOCAL_MACHINE, HKEY_DYN_DATA nor open is ERROR_INVALID_HANDLE; the other
// predefined keys hold nothing here.
LONG OpenRegistryKey(HKEY key, LPCSTR subKey, PHKEY result);
LONG QueryRegistryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD size);
// A value's data handed out as RegQueryValueExA hands it: its size always, the bytes where they fit.
LONG CopyValueData(const std::string& stored, LPBYTE data, LPDWORD size);
LONG CloseRegistryKey(HKEY key);

} // namespace host
