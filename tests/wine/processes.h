// Every process of a debugged run: the program, and with --follow each one started after it. For
// each, its debuggee, adapter model and message-box hooks, how it ended, and for one the program
// started, files of its own for standard output and error; at the end, each one's result.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "adapter/adapter.h"
#include "debuggee.h"
#include "emulation.h"
#include "message_boxes.h"
#include "result.h"

// One process under the debugger: the program, or with --follow one started after it.
struct Run {
    Debuggee debuggee;
    Emulation emulation;
    adapter::Adapter initialModel; // the model as the program finds it
    BoxHooks hooks;
    bool sawLoaderBreak = false;
    bool crashed        = false;
    uint32_t crashCode = 0, crashAddress = 0;
    DWORD exitCode = 0;
    bool exited    = false;
    ProcessInfo info;             // --follow
    bool startedLater = false;    // started by the program or by one it started
    Screen screen{};              // a started process: the display as it found it
    std::string outPath, errPath; // a started process: its own standard output and error
};

// Every process of the run, by id, and the order in which they were created: the program first.
struct Session {
    std::map<DWORD, Run> runs;
    std::vector<DWORD> order;
    std::string stem; // of the capture files' paths
};

// The display as it is now.
Screen CurrentScreen();

// A file for a process's standard output or error: inherited, and readable while it is written.
HANDLE CreateCapture(const std::string& path);

// A process the debugger answers for from now on, in the order of creation, on an adapter model
// that starts as model (the power-on state as --set left it).
Run& Begin(Session& s, const adapter::Adapter& model, DWORD pid, HANDLE process);

// At a process's creation: who it is, and for one the program started, its own model and captures.
void OnProcessCreated(Session& s, const adapter::Adapter& model, bool follow, const DEBUG_EVENT& ev);

bool AllEnded(const Session& s);

// One process's result; its standard output and error are read from their capture files, which are
// then removed.
RunResult Collect(const Run& r, const std::string& outPath, const std::string& errPath, bool follow);
