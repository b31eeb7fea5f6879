#include "common/adapter_lock.h"

#include "common/names.h"

HANDLE adapterLock;

HANDLE AdapterLock() {
    if (adapterLock == 0) {
        adapterLock = CreateMutexA(NULL, FALSE, ADAPTER_LOCK_NAME);
    }
    return adapterLock;
}

LockTaken LockAnswer(DWORD woke, DWORD first) {
    if (woke == first) {
        return kLockTaken;
    }
    return woke == first - WAIT_OBJECT_0 + WAIT_ABANDONED_0 ? kLockAbandoned : kLockBusy;
}

LockTaken TakeAdapterLock(DWORD milliseconds) {
    HANDLE lock = AdapterLock();
    if (lock == 0) {
        return kLockBusy;
    }
    return LockAnswer(WaitForSingleObject(lock, milliseconds), WAIT_OBJECT_0);
}

void ReleaseAdapterLock() {
    ReleaseMutex(adapterLock);
}

int AskWatcherToRun() {
    HWND watcher = FindWindowA(WATCHER_CLASS_NAME, NULL);
    return watcher != NULL && PostMessageA(watcher, kWatchRunNow, 0, 0);
}
