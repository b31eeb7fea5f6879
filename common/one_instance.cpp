#include "common/one_instance.h"

#include <windows.h>

// The first process takes the mutex and holds it until it ends (its handle stays open); a second
// finds it held. One that ended without letting go leaves it abandoned, and the next is the first.
int IsFirstInstance(const char* mutexName) {
    HANDLE mutex = CreateMutexA(NULL, FALSE, mutexName);
    return mutex != NULL && WaitForSingleObject(mutex, 0) != WAIT_TIMEOUT;
}
