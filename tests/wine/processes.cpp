// The processes of a debugged run: their bookkeeping from creation to exit, their own standard
// output and error, and the result of each (processes.h).
#include "processes.h"

namespace {

// Where a 32-bit process keeps its parameters: the TEB points to the PEB, the PEB to the process
// parameters, which hold the standard handles that GetStdHandle answers with, the image path and
// the command line (UNICODE_STRINGs: length in bytes, maximum length, buffer).
constexpr uint32_t kTebPeb               = 0x30;
constexpr uint32_t kPebProcessParameters = 0x10;
constexpr uint32_t kParamsStdHandles     = 0x18; // input, output, error
constexpr uint32_t kParamsImagePathName  = 0x38;
constexpr uint32_t kParamsCommandLine    = 0x40;

std::string ReadUnicodeString(Debuggee& d, uint32_t at) {
    uint16_t length = 0;
    Read(d, at, &length, 2);
    std::u16string units(length / 2, u'\0');
    if (units.empty() || !Read(d, ReadU32(d, at + 4), &units[0], length & ~1u)) {
        return "";
    }
    return TextFromUtf16(units);
}

// A process the program started gets files of its own for standard output and error, and NUL for
// input, in place of whatever handles it was handed: so each run's output is its own. Done before
// it runs a single instruction of its own.
bool GiveOwnCaptures(Run& r, uint32_t params, const std::string& stem) {
    r.outPath          = stem + ".out";
    r.errPath          = stem + ".err";
    HANDLE local[3]    = {CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr),
                          CreateCapture(r.outPath), CreateCapture(r.errPath)};
    uint32_t remote[3] = {};
    bool ok            = true;
    for (int k = 0; k < 3; ++k) {
        HANDLE h = nullptr;
        ok       = ok && local[k] != INVALID_HANDLE_VALUE &&
             DuplicateHandle(GetCurrentProcess(), local[k], r.debuggee.process, &h, 0, FALSE,
                             DUPLICATE_SAME_ACCESS);
        remote[k] = reinterpret_cast<uint32_t>(h);
        if (local[k] != INVALID_HANDLE_VALUE) {
            CloseHandle(local[k]);
        }
    }
    return ok && Write(r.debuggee, params + kParamsStdHandles, remote, sizeof remote);
}

// The whole of a capture file; empty where it cannot be read.
std::string ReadWhole(const std::string& path) {
    std::string s;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return s;
    }
    char buf[4096];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) {
        s.append(buf, n);
    }
    CloseHandle(h);
    return s;
}

} // namespace

Screen CurrentScreen() {
    HDC dc        = GetDC(nullptr);
    Screen screen = {GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, BITSPIXEL),
                     GetDeviceCaps(dc, VREFRESH)};
    ReleaseDC(nullptr, dc);
    return screen;
}

HANDLE CreateCapture(const std::string& path) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

Run& Begin(Session& s, const adapter::Adapter& model, DWORD pid, HANDLE process) {
    s.order.push_back(pid);
    Run& r             = s.runs[pid];
    r.debuggee.process = process;
    r.debuggee.pid     = pid;
    r.emulation.model  = model;
    r.initialModel     = model;
    return r;
}

void OnProcessCreated(Session& s, const adapter::Adapter& model, bool follow, const DEBUG_EVENT& ev) {
    const CREATE_PROCESS_DEBUG_INFO& info = ev.u.CreateProcessInfo;
    bool started                          = s.runs.count(ev.dwProcessId) == 0;
    Run& r                                = s.runs[ev.dwProcessId];
    r.debuggee.threads[ev.dwThreadId]     = info.hThread;
    if (!follow) {
        return;
    }
    r.info.pid       = ev.dwProcessId;
    r.info.startTick = GetTickCount();
    if (started) {
        Begin(s, model, ev.dwProcessId, info.hProcess);
        r.startedLater = true;
        r.screen       = CurrentScreen();
        WatchBoxesOf(ev.dwProcessId);
    }
    uint32_t peb    = ReadU32(r.debuggee, reinterpret_cast<uint32_t>(info.lpThreadLocalBase) + kTebPeb);
    uint32_t params = peb ? ReadU32(r.debuggee, peb + kPebProcessParameters) : 0;
    if (!params) {
        Fail(r.debuggee, "cannot find the process parameters");
        return;
    }
    r.info.program     = ReadUnicodeString(r.debuggee, params + kParamsImagePathName);
    r.info.commandLine = ReadUnicodeString(r.debuggee, params + kParamsCommandLine);
    if (started && !GiveOwnCaptures(r, params, s.stem + "-" + std::to_string(ev.dwProcessId))) {
        Fail(r.debuggee, "cannot give the process its own standard output");
    }
}

bool AllEnded(const Session& s) {
    for (const auto& [pid, r] : s.runs) {
        if (!r.exited) {
            return false;
        }
    }
    return true;
}

RunResult Collect(const Run& r, const std::string& outPath, const std::string& errPath, bool follow) {
    RunResult result;
    result.exitCode       = r.exitCode;
    result.messageBoxes   = RecordedMessageBoxes(r.debuggee.pid);
    result.standardOutput = ReadWhole(outPath);
    result.standardError  = ReadWhole(errPath);
    DeleteFileA(outPath.c_str());
    DeleteFileA(errPath.c_str());
    result.accesses         = r.emulation.model.trace;
    result.driverCalls      = r.emulation.driverCalls;
    result.changedRegisters = adapter::ChangedRegisters(r.initialModel, r.emulation.model);
    result.screen           = r.startedLater ? r.screen : CurrentScreen();
    if (r.crashed) {
        result.crash = Crash{r.crashCode, r.crashAddress};
    }
    result.error = r.debuggee.error;
    if (follow) {
        result.process = r.info;
    }
    return result;
}
