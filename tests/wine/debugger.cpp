// Runs a program as its debugger and stands in for the display adapter.
//
//   debugger.exe [--out FILE] [--timeout MS] [--command-line TEXT] [--follow]
//                [--set KIND[:INDEX]=VALUE]... -- PROGRAM.exe [ARGS...]
//
// With --follow every process the program starts, and every process those start, is debugged as
// well, each on an adapter model of its own that starts as the program's did; the result then
// names each process and lists the started ones under "children". The run ends when all have
// ended. --timeout limits the whole run.
//
// This file holds the command line and the debug-event loop. The program's port accesses, and its
// stores into and loads from the register window, run on the adapter model (emulation.h,
// x86_decode.h); its message boxes are recorded and dismissed (message_boxes.h); each process's
// bookkeeping, its stdout and stderr, which go to files, and its result are processes.h's. The
// result is one JSON object (result.h), written to --out or to stdout.
//
// Exit status: 0 when the program ran to its end (whatever its exit code), 1 when the run was cut
// short (timeout, an instruction that cannot be emulated), 2 for bad arguments or a program that
// could not start.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "adapter/adapter.h"
#include "debuggee.h"
#include "emulation.h"
#include "message_boxes.h"
#include "processes.h"
#include "result.h"

namespace {

struct Options {
    std::string out;
    DWORD timeoutMs        = 30000;
    adapter::Adapter model = adapter::MakeAdapter(); // power-on state and --set
    std::vector<std::string> target;
    std::string commandLine; // handed to the program as it stands; empty: the target's words, quoted
    bool follow = false;     // debug the processes the program starts as well
};

// ------------------------------------------------------------ command line ----

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "debugger: %s\n"
                 "usage: debugger.exe [--out FILE] [--timeout MS] [--command-line TEXT] [--follow] "
                 "[--set KIND[:INDEX]=VALUE]... -- PROGRAM.exe [ARGS...]\n"
                 "  KIND is crtc or ext (INDEX = register), window (INDEX = byte 0-3), misc,\n"
                 "  crtc-index or ext-index,\n"
                 "  e.g. crtc:0x75=0x20\n",
                 why);
    std::exit(2);
}

bool ParseU32(const char* s, uint32_t* v) {
    char* end;
    unsigned long long x = std::strtoull(s, &end, 0);
    if (!*s || *end || x > 0xFFFFFFFFull) {
        return false;
    }
    *v = static_cast<uint32_t>(x);
    return true;
}

// Sets a register of the model before the program starts (adapter::SetRegister's settings).
void ApplyPreset(adapter::Adapter& model, const std::string& s) {
    std::string error;
    if (!adapter::SetRegister(model, s, &error)) {
        Usage(("--set: " + error).c_str());
    }
}

Options ParseArgs(int argc, char** argv) {
    Options o;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--follow") {
            o.follow = true;
            continue;
        }
        if (i + 1 >= argc) {
            Usage(("missing value after " + a).c_str());
        }
        if (a == "--out") {
            o.out = argv[++i];
        } else if (a == "--timeout") {
            uint32_t t;
            if (!ParseU32(argv[++i], &t)) {
                Usage("bad --timeout");
            }
            o.timeoutMs = t;
        } else if (a == "--set") {
            ApplyPreset(o.model, argv[++i]);
        } else if (a == "--command-line") {
            o.commandLine = argv[++i];
        } else {
            Usage(("unknown option " + a).c_str());
        }
    }
    for (; i < argc; ++i) {
        o.target.push_back(argv[i]);
    }
    if (o.target.empty()) {
        Usage("no program given");
    }
    return o;
}

// Quotes one argument the way the C runtime's argv parser undoes it.
std::string Quote(const std::string& a) {
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) {
        return a;
    }
    std::string q  = "\"";
    size_t slashes = 0;
    for (char c : a) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        q.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        q += c;
    }
    q.append(slashes * 2, '\\');
    return q + "\"";
}

// -------------------------------------------------------------- debug loop ----

DWORD OnException(Run& r, const DEBUG_EVENT& ev) {
    Debuggee& d               = r.debuggee;
    const EXCEPTION_RECORD& e = ev.u.Exception.ExceptionRecord;
    uint32_t at               = reinterpret_cast<uint32_t>(e.ExceptionAddress);
    DWORD tid                 = ev.dwThreadId;
    if (ev.u.Exception.dwFirstChance) {
        switch (e.ExceptionCode) {
        case EXCEPTION_BREAKPOINT:
            if (OnMessageBoxHook(d, r.hooks, tid, at)) {
                return DBG_CONTINUE;
            }
            if (!r.sawLoaderBreak) { // the loader's break for debuggers
                r.sawLoaderBreak = true;
                return DBG_CONTINUE;
            }
            break;
        case EXCEPTION_SINGLE_STEP: {
            auto it = d.pending.find(tid);
            if (it == d.pending.end() || it->second.kind == Pending::kNone) {
                break;
            }
            Pending p       = it->second;
            it->second.kind = Pending::kNone;
            if (p.kind == Pending::kStore) {
                FinishStore(d, r.emulation, p);
            } else if (p.kind == Pending::kLoad) {
                FinishLoad(d, r.emulation, p);
            } else {
                WriteCode(d, p.address, 0xCC);
            }
            Ctx x;
            if (GetCtx(d, tid, &x)) {
                x.c.EFlags &= ~kTrapFlag;
                SetCtx(&x);
            }
            return DBG_CONTINUE;
        }
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_ACCESS_VIOLATION: {
            Emu m = EmulatePortIo(d, r.emulation, tid);
            if (m != Emu::kNotIo) {
                return DBG_CONTINUE;
            }
            if (e.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && e.NumberParameters >= 2) {
                uint32_t addr    = static_cast<uint32_t>(e.ExceptionInformation[1]);
                ULONG_PTR access = e.ExceptionInformation[0]; // 0: a read, 1: a write
                if ((access == 1 && BeginStore(d, r.emulation, tid, addr)) ||
                    (access == 0 && BeginLoad(d, r.emulation, tid, addr))) {
                    return DBG_CONTINUE;
                }
            }
            break;
        }
        }
        return DBG_EXCEPTION_NOT_HANDLED;
    }
    // Second chance: nothing in the program handled it, so it dies of it.
    if (!r.crashed) {
        r.crashed      = true;
        r.crashCode    = e.ExceptionCode;
        r.crashAddress = at;
    }
    return DBG_EXCEPTION_NOT_HANDLED;
}

bool RunTarget(Session& s, const Options& o, HANDLE out, HANDLE err) {
    std::string cmd = o.commandLine;
    for (size_t i = 0; o.commandLine.empty() && i < o.target.size(); ++i) {
        cmd += (cmd.empty() ? "" : " ") + Quote(o.target[i]);
    }
    char full[MAX_PATH], *file = nullptr;
    if (!GetFullPathNameA(o.target[0].c_str(), sizeof full, full, &file) || !file) {
        return false;
    }
    std::string dir(full, file - full);

    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE nul =
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb           = sizeof si;
    si.dwFlags      = STARTF_USESTDHANDLES;
    si.hStdInput    = nul;
    si.hStdOutput   = out;
    si.hStdError    = err;
    PROCESS_INFORMATION pi;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    BOOL ok =
        CreateProcessA(full, line.data(), nullptr, nullptr, TRUE,
                       o.follow ? DEBUG_PROCESS : DEBUG_ONLY_THIS_PROCESS, nullptr, dir.c_str(), &si, &pi);
    if (nul != INVALID_HANDLE_VALUE) {
        CloseHandle(nul);
    }
    if (!ok) {
        return false;
    }
    Begin(s, o.model, pi.dwProcessId, pi.hProcess);
    HANDLE watcher = StartBoxWatcher(pi.dwProcessId);

    DWORD start   = GetTickCount();
    bool timedOut = false;
    while (!AllEnded(s)) {
        DEBUG_EVENT ev;
        if (!WaitForDebugEvent(&ev, 100)) {
            if (!timedOut && GetTickCount() - start > o.timeoutMs) {
                timedOut = true;
                for (auto& [pid, r] : s.runs) {
                    if (!r.exited) {
                        Fail(r.debuggee, "timeout after " + std::to_string(o.timeoutMs) + " ms");
                    }
                }
            }
            continue;
        }
        if (ev.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            OnProcessCreated(s, o.model, o.follow, ev);
            if (ev.u.CreateProcessInfo.hFile) {
                CloseHandle(ev.u.CreateProcessInfo.hFile);
            }
        }
        auto found = s.runs.find(ev.dwProcessId);
        if (found == s.runs.end()) {
            ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, DBG_CONTINUE);
            continue;
        }
        Run& r       = found->second;
        Debuggee& d  = r.debuggee;
        DWORD status = DBG_CONTINUE;
        switch (ev.dwDebugEventCode) {
        case CREATE_THREAD_DEBUG_EVENT: d.threads[ev.dwThreadId] = ev.u.CreateThread.hThread; break;
        case EXIT_THREAD_DEBUG_EVENT:
            d.threads.erase(ev.dwThreadId);
            d.pending.erase(ev.dwThreadId);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            HookMessageBoxes(d, r.hooks, reinterpret_cast<uint32_t>(ev.u.LoadDll.lpBaseOfDll));
            if (ev.u.LoadDll.hFile) {
                CloseHandle(ev.u.LoadDll.hFile);
            }
            break;
        case OUTPUT_DEBUG_STRING_EVENT: OnDebugString(d, r.emulation, ev.u.DebugString); break;
        case EXCEPTION_DEBUG_EVENT: status = OnException(r, ev); break;
        case EXIT_PROCESS_DEBUG_EVENT:
            r.exitCode      = ev.u.ExitProcess.dwExitCode;
            r.exited        = true;
            r.info.exitTick = GetTickCount();
            break;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
    }
    StopBoxWatcher(watcher);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options o = ParseArgs(argc, argv);

    char tmp[MAX_PATH];
    if (!GetTempPathA(sizeof tmp, tmp)) {
        std::strcpy(tmp, ".\\");
    }
    std::string stem    = std::string(tmp) + "dbg" + std::to_string(GetCurrentProcessId());
    std::string outPath = stem + ".out", errPath = stem + ".err";
    HANDLE out = CreateCapture(outPath), err = CreateCapture(errPath);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "debugger: cannot create capture files in %s\n", tmp);
        return 2;
    }

    Session s;
    s.stem           = stem;
    bool started     = RunTarget(s, o, out, err);
    DWORD startError = GetLastError();
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        std::fprintf(stderr, "debugger: cannot start %s (error %lu)\n", o.target[0].c_str(), startError);
        DeleteFileA(outPath.c_str());
        DeleteFileA(errPath.c_str());
        return 2;
    }
    const Run& program = s.runs.at(s.order[0]);
    RunResult result   = Collect(program, outPath, errPath, o.follow);
    result.followed    = o.follow;
    bool clean         = program.debuggee.error.empty();
    for (size_t k = 1; k < s.order.size(); ++k) {
        const Run& child = s.runs.at(s.order[k]);
        result.children.push_back(Collect(child, child.outPath, child.errPath, true));
        clean = clean && child.debuggee.error.empty();
    }
    std::string json = ResultJson(result);

    FILE* f = o.out.empty() ? stdout : std::fopen(o.out.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "debugger: cannot write %s\n", o.out.c_str());
        return 2;
    }
    std::fputs(json.c_str(), f);
    if (f != stdout) {
        std::fclose(f);
    }
    return clean ? 0 : 1;
}
