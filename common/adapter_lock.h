// One writer on the adapter at a time, for the whole package: a named mutex that whoever writes to
// the adapter holds while it writes. The watcher holds it from before it starts a run of the utility
// until that run has ended; the chooser from before it reads the skip bit until the trial is over;
// the diagnostic while it reads; the removal while the setup deletes the programs. Nobody waits for
// it in a message handler: a window program that finds it busy looks again later.
//
// A holder that ends without letting go (a program ended with End Task, or one that faulted) leaves
// the lock abandoned, and Windows hands it to the next taker as such: whatever the holder wrote may
// still stand. The watcher then runs the utility at once, which puts a known timing back; any other
// taker that finds it so asks the watcher to (kWatchRunNow).
#pragma once

#include <windows.h>

enum LockTaken {
    kLockBusy,      // another process holds it
    kLockTaken,     // this process holds it now
    kLockAbandoned, // this process holds it now; its last holder ended without letting go
};

// The lock's handle, opened on first use and kept for the life of the process (process-wide, zero at
// start); 0 when it cannot be had.
extern HANDLE adapterLock;
HANDLE AdapterLock();
// Takes the lock within `milliseconds` (0: only if it is free now).
LockTaken TakeAdapterLock(DWORD milliseconds);
void ReleaseAdapterLock();

// What WaitForSingleObject or MsgWaitForMultipleObjects answered for the lock, `first` being the
// answer that stands for it.
LockTaken LockAnswer(DWORD woke, DWORD first);

// Asks the session's watcher to run the utility now, where one runs; 0 where none does.
int AskWatcherToRun();
