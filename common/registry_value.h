// Whether a registry key or value is there, for the programs that act on the package's own entries
// (the watcher's Run value, the Add/Remove Programs entry).
#pragma once

#include <windows.h>

enum RegistryPresence {
    kRegistryAbsent, // Windows says there is no such key or value
    kRegistryPresent,
    kRegistryUnknown, // it could not be told (access refused, a broken registry)
};

// The key `key` under `root`, and with `value` not 0, that value of it.
RegistryPresence FindRegistryEntry(HKEY root, const char* key, const char* value);
