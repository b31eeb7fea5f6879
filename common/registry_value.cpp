#include "common/registry_value.h"

static RegistryPresence PresenceOf(LONG result) {
    return result == ERROR_SUCCESS          ? kRegistryPresent
           : result == ERROR_FILE_NOT_FOUND ? kRegistryAbsent
                                            : kRegistryUnknown;
}

RegistryPresence FindRegistryEntry(HKEY root, const char* key, const char* value) {
    HKEY open;
    LONG result = RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &open);
    if (result != ERROR_SUCCESS) {
        return PresenceOf(result);
    }
    if (value != 0) {
        result = RegQueryValueExA(open, value, NULL, NULL, NULL, NULL);
    }
    RegCloseKey(open);
    return PresenceOf(result);
}
