// Message boxes of the program under test: breakpoints on USER32's MessageBox entry points record
// text, caption and type of each call made from outside USER32 (the A and Ex forms call the others);
// a watcher thread presses the default button of every dialog box the program shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "debuggee.h"
#include "result.h"

struct Breakpoint {
    uint8_t saved; // the code byte the breakpoint replaced
    enum Call { kA, kW, kExA, kExW, kIndirectA, kIndirectW } call;
};

struct BoxHooks {
    std::map<uint32_t, Breakpoint> breakpoints;
    uint32_t user32Lo = 0, user32Hi = 0; // USER32's image
};

// Sets the breakpoints when the module mapped at base is USER32.
void HookMessageBoxes(Debuggee& d, BoxHooks& hooks, uint32_t base);

// At one of the hooks: records the call, puts the saved byte back and single-steps it; the step
// ends in Pending::kRearm, which writes the breakpoint again. False when at is not a hook.
bool OnMessageBoxHook(Debuggee& d, BoxHooks& hooks, DWORD tid, uint32_t at);

// The watcher presses the default button of every dialog box of the process pid, and of each
// process handed to WatchBoxesOf later (the processes a followed program starts).
HANDLE StartBoxWatcher(DWORD pid);
void WatchBoxesOf(DWORD pid);
void StopBoxWatcher(HANDLE watcher);

// The calls of the process pid recorded so far, with what the watcher did to them.
std::vector<MessageBoxCall> RecordedMessageBoxes(DWORD pid);
