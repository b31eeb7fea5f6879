#include "common/one_instance.h"

#include <windows.h>

// The handle stays open until the process ends: Windows removes the mutex with its last handle.
int IsFirstInstance(const char* mutexName) {
    CreateMutexA(NULL, FALSE, mutexName);
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

int MutexExists(const char* mutexName) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, mutexName);
    if (mutex == NULL) {
        return 0;
    }
    CloseHandle(mutex);
    return 1;
}
