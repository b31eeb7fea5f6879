// The generic registry of the ADVAPI32 stand-in: HKEY_LOCAL_MACHINE and HKEY_DYN_DATA as trees.
#include "registry.h"

#include <cstring>
#include <strings.h>

#include "machine.h"

namespace host {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The names of a path; false when one of them is empty (a doubled, leading or trailing backslash),
// which names no key.
bool SplitPath(const std::string& path, std::vector<std::string>* names) {
    names->clear();
    if (path.empty()) {
        return true;
    }
    size_t start = 0;
    for (;;) {
        size_t end       = path.find('\\', start);
        std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (name.empty()) {
            return false;
        }
        names->push_back(name);
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

RegistryKey* RootOf(HKEY key) {
    Registry& r = TheMachine().registry;
    if (key == HKEY_LOCAL_MACHINE) {
        return &r.localMachine;
    }
    if (key == HKEY_DYN_DATA) {
        return &r.dynData;
    }
    return nullptr;
}

bool IsPredefined(HKEY key) {
    return reinterpret_cast<uintptr_t>(key) >= 0x80000000u && reinterpret_cast<uintptr_t>(key) <= 0x80000006u;
}

// What a handle stands for: its root and path. False for a handle that is not open.
bool Resolve(HKEY key, HKEY* root, std::string* path) {
    if (IsPredefined(key)) {
        *root = key;
        path->clear();
        return true;
    }
    const auto& open = TheMachine().registry.openKeys;
    auto it          = open.find(key);
    if (it == open.end()) {
        return false;
    }
    *root = it->second.first;
    *path = it->second.second;
    return true;
}

const RegistryKey* KeyOf(HKEY root, const std::string& path) {
    const RegistryKey* base = RootOf(root);
    return base == nullptr ? nullptr : base->Find(path);
}

} // namespace

RegistryKey& RegistryKey::Key(const std::string& path) {
    std::vector<std::string> names;
    SplitPath(path, &names);
    RegistryKey* key = this;
    for (const std::string& name : names) {
        RegistryKey* next = nullptr;
        for (Subkey& s : key->subkeys) {
            if (SameName(s.name, name)) {
                next = &s.key;
                break;
            }
        }
        if (next == nullptr) {
            key->subkeys.push_back(Subkey{name, RegistryKey{}});
            next = &key->subkeys.back().key;
        }
        key = next;
    }
    return *key;
}

const RegistryKey* RegistryKey::Find(const std::string& path) const {
    std::vector<std::string> names;
    if (!SplitPath(path, &names)) {
        return nullptr;
    }
    const RegistryKey* key = this;
    for (const std::string& name : names) {
        const RegistryKey* next = nullptr;
        for (const Subkey& s : key->subkeys) {
            if (SameName(s.name, name)) {
                next = &s.key;
                break;
            }
        }
        if (next == nullptr) {
            return nullptr;
        }
        key = next;
    }
    return key;
}

RegistryKey& RegistryKey::Set(const std::string& name, const RegistryValue& value) {
    for (auto& v : values) {
        if (SameName(v.first, name)) {
            v.second = value;
            return *this;
        }
    }
    values.emplace_back(name, value);
    return *this;
}

RegistryKey& RegistryKey::SetString(const std::string& name, const std::string& text) {
    return Set(name, RegistryValue{REG_SZ, text + std::string(1, '\0')});
}

RegistryKey& RegistryKey::SetBinary(const std::string& name, const std::string& bytes) {
    return Set(name, RegistryValue{REG_BINARY, bytes});
}

const RegistryValue* RegistryKey::Value(const std::string& name) const {
    for (const auto& v : values) {
        if (SameName(v.first, name)) {
            return &v.second;
        }
    }
    return nullptr;
}

LONG OpenRegistryKey(HKEY key, LPCSTR subKey, PHKEY result) {
    HKEY root;
    std::string path;
    if (!Resolve(key, &root, &path)) {
        return ERROR_INVALID_HANDLE;
    }
    if (subKey != nullptr && *subKey != '\0') {
        path = path.empty() ? std::string(subKey) : path + "\\" + subKey;
    }
    if (KeyOf(root, path) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    Registry& r        = TheMachine().registry;
    HKEY handle        = reinterpret_cast<HKEY>(r.nextHandle++);
    r.openKeys[handle] = {root, path};
    *result            = handle;
    return ERROR_SUCCESS;
}

LONG QueryRegistryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD size) {
    HKEY root;
    std::string path;
    if (!Resolve(key, &root, &path)) {
        return ERROR_INVALID_HANDLE;
    }
    const RegistryKey* found   = KeyOf(root, path);
    const RegistryValue* value = found == nullptr ? nullptr : found->Value(name == nullptr ? "" : name);
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    return CopyValueData(value->data, data, size);
}

LONG CopyValueData(const std::string& stored, LPBYTE data, LPDWORD size) {
    if (size == nullptr) {
        return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
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

LONG CloseRegistryKey(HKEY key) {
    return TheMachine().registry.openKeys.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace host

// Subkeys in the order they were made; a name that does not fit, with its zero, is ERROR_MORE_DATA
// and nothing written. No class names and no times are kept.
LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR className,
                          LPDWORD classSize, PFILETIME lastWrite) {
    host::Machine& m = host::TheMachine();
    m.calls.push_back("RegEnumKeyExA");
    HKEY root;
    std::string path;
    if (!host::Resolve(key, &root, &path)) {
        return ERROR_INVALID_HANDLE;
    }
    const host::RegistryKey* found = host::KeyOf(root, path);
    if (found == nullptr || name == nullptr || nameSize == nullptr) {
        return found == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER;
    }
    if (index >= found->subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const std::string& subkey = found->subkeys[index].name;
    if (subkey.size() >= *nameSize) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, subkey.c_str(), subkey.size() + 1);
    *nameSize = static_cast<DWORD>(subkey.size());
    if (className != nullptr && classSize != nullptr && *classSize > 0) {
        *className = '\0';
        *classSize = 0;
    }
    if (lastWrite != nullptr) {
        *lastWrite = FILETIME{0, 0};
    }
    return ERROR_SUCCESS;
}
