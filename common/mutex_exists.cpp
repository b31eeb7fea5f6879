#include "common/one_instance.h"

#include <windows.h>

// A file of its own: a program that does not ask (the watcher) then imports no OpenMutexA.
int MutexExists(const char* mutexName) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, mutexName);
    if (mutex == NULL) {
        return 0;
    }
    CloseHandle(mutex);
    return 1;
}
