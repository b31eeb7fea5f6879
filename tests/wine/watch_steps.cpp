// Plays the user and Windows around the watcher, in one Wine session: reads steps from a file, one
// a line, runs them in order and writes one JSON object a line to the log, with GetTickCount at
// each step (the clock the debugger stamps processes with).
//
//   watchsteps.exe STEPS.TXT LOG.TXT
//
// Steps:
//   start LINE          starts the command line LINE (the debugger with the watcher) and goes on
//   start-two LINE      starts LINE twice, one right after the other, and goes on
//   run MS LINE         starts LINE and waits at most MS for its end: exit code and time taken
//   wait-window MS      waits at most MS for the watcher's window
//   close-watcher MS    posts WM_CLOSE to each watcher window, as End Task does first, and waits
//                       at most MS until there is none
//   wait-gone MS        waits at most MS until there is no watcher window
//   sleep MS
//   copy FROM TO        copies a file (CopyFileA), as another program writes one during the session
//   rate TEXT           writes RefreshRate under HKCC\Display\Settings, as Display Properties does
//                       before it sets a mode
//   mode WxH            sets the mode (ChangeDisplaySettingsA, the depth as it is): the tick
//                       before the call, its result, the screen after
//   power EVENT         broadcasts WM_POWERBROADCAST with EVENT to every top-level window
//   query-suspend       asks the watcher's window PBT_APMQUERYSUSPEND: its answer, and
//                       DefWindowProcA's to the same message
//   count               how many watcher windows there are
//   memory              the watcher's process memory counters (GetProcessMemoryInfo), and this
//                       program's working set
//   end-session         asks the watcher's window WM_QUERYENDSESSION, then broadcasts WM_ENDSESSION
//   wait-exit MS        waits at most MS for the process of "start" to end: its exit code
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kWatcherClass[] = "LumarelWatch";

FILE* g_log;

// One log line: the step, its tick, and the JSON members `more` (starting with a comma, or empty).
void Log(const char* step, const std::string& more) {
    std::fprintf(g_log, "{\"step\": \"%s\", \"tick\": %lu%s}\n", step, GetTickCount(), more.c_str());
    std::fflush(g_log);
}

std::string Member(const char* name, unsigned long value) {
    return std::string(", \"") + name + "\": " + std::to_string(value);
}

std::string ScreenMembers() {
    HDC dc        = GetDC(nullptr);
    std::string s = Member("width", GetDeviceCaps(dc, HORZRES)) +
                    Member("height", GetDeviceCaps(dc, VERTRES)) +
                    Member("bitsPerPixel", GetDeviceCaps(dc, BITSPIXEL));
    ReleaseDC(nullptr, dc);
    return s;
}

BOOL CALLBACK CountWatcher(HWND hwnd, LPARAM count) {
    char cls[32];
    if (GetClassNameA(hwnd, cls, sizeof cls) && std::strcmp(cls, kWatcherClass) == 0) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

int CountWatchers() {
    int count = 0;
    EnumWindows(CountWatcher, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Waits at most ms until no watcher window is left; whether none is.
bool WaitGone(DWORD ms) {
    DWORD t0 = GetTickCount();
    while (CountWatchers() != 0 && GetTickCount() - t0 < ms) {
        Sleep(50);
    }
    return CountWatchers() == 0;
}

bool Start(std::string line, PROCESS_INFORMATION* pi) {
    STARTUPINFOA si = {};
    si.cb           = sizeof si;
    return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi) != 0;
}

std::string ExitMembers(HANDLE process, DWORD waitMs, DWORD started) {
    if (WaitForSingleObject(process, waitMs) != WAIT_OBJECT_0) {
        return Member("ended", 0);
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return Member("ended", 1) + Member("exitCode", code) + Member("took", GetTickCount() - started);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: watchsteps.exe STEPS.TXT LOG.TXT\n");
        return 2;
    }
    FILE* steps = std::fopen(argv[1], "r");
    g_log       = std::fopen(argv[2], "w");
    if (!steps || !g_log) {
        std::fprintf(stderr, "watchsteps: cannot open %s or %s\n", argv[1], argv[2]);
        return 2;
    }
    PROCESS_INFORMATION started = {};
    char text[1024];
    while (std::fgets(text, sizeof text, steps)) {
        std::string line = text;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        std::string step = line.substr(0, line.find(' '));
        std::string rest = line.size() > step.size() ? line.substr(step.size() + 1) : "";
        unsigned long n  = std::strtoul(rest.c_str(), nullptr, 0);
        if (step.empty()) {
            continue;
        } else if (step == "start") {
            Log("start", Member("ok", Start(rest, &started)));
        } else if (step == "start-two") {
            PROCESS_INFORMATION first = {}, second = {};
            bool ok = Start(rest, &first) && Start(rest, &second);
            Log("start-two", Member("ok", ok));
        } else if (step == "close-watcher") {
            for (HWND w = FindWindowA(kWatcherClass, nullptr); w;
                 w      = FindWindowExA(nullptr, w, kWatcherClass, nullptr)) {
                PostMessageA(w, WM_CLOSE, 0, 0);
            }
            Log("close-watcher", Member("gone", WaitGone(n)));
        } else if (step == "wait-gone") {
            Log("wait-gone", Member("gone", WaitGone(n)));
        } else if (step == "run") {
            PROCESS_INFORMATION pi;
            DWORD t0 = GetTickCount();
            if (!Start(rest.substr(rest.find(' ') + 1), &pi)) {
                Log("run", Member("ok", 0));
                continue;
            }
            Log("run", Member("ok", 1) + ExitMembers(pi.hProcess, n, t0));
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        } else if (step == "wait-window") {
            DWORD t0 = GetTickCount();
            while (!FindWindowA(kWatcherClass, nullptr) && GetTickCount() - t0 < n) {
                Sleep(50);
            }
            Log("wait-window", Member("found", FindWindowA(kWatcherClass, nullptr) != nullptr));
        } else if (step == "copy") {
            std::string to = rest.substr(rest.find(' ') + 1);
            Log("copy",
                Member("ok", CopyFileA(rest.substr(0, rest.find(' ')).c_str(), to.c_str(), FALSE) != 0));
        } else if (step == "sleep") {
            Sleep(n);
        } else if (step == "rate") {
            HKEY key;
            LONG status = RegCreateKeyExA(HKEY_CURRENT_CONFIG, "Display\\Settings", 0, nullptr, 0,
                                          KEY_SET_VALUE, nullptr, &key, nullptr);
            if (status == ERROR_SUCCESS) {
                status =
                    RegSetValueExA(key, "RefreshRate", 0, REG_SZ, reinterpret_cast<const BYTE*>(rest.c_str()),
                                   static_cast<DWORD>(rest.size() + 1));
                RegCloseKey(key);
            }
            Log("rate", Member("status", status));
        } else if (step == "mode") {
            HDC dc            = GetDC(nullptr);
            DEVMODEA mode     = {};
            mode.dmSize       = sizeof mode;
            mode.dmFields     = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
            mode.dmBitsPerPel = GetDeviceCaps(dc, BITSPIXEL); // the depth as it is
            mode.dmPelsWidth  = std::strtoul(rest.c_str(), nullptr, 10);
            mode.dmPelsHeight = std::strtoul(rest.c_str() + rest.find('x') + 1, nullptr, 10);
            ReleaseDC(nullptr, dc);
            DWORD t0    = GetTickCount();
            LONG result = ChangeDisplaySettingsA(&mode, 0);
            Log("mode", Member("before", t0) + Member("result", static_cast<unsigned long>(result)) +
                            ScreenMembers());
        } else if (step == "power") {
            DWORD_PTR answer = 0;
            LRESULT sent     = SendMessageTimeoutA(HWND_BROADCAST, WM_POWERBROADCAST, n, 0, SMTO_ABORTIFHUNG,
                                                   10000, &answer);
            Log("power", Member("event", n) + Member("sent", sent != 0));
        } else if (step == "query-suspend") {
            // The answer of the watcher's window, and what DefWindowProcA answers in this session.
            DWORD_PTR answer = 0;
            HWND watcher     = FindWindowA(kWatcherClass, nullptr);
            LRESULT sent     = watcher
                                   ? SendMessageTimeoutA(watcher, WM_POWERBROADCAST, 0 /* PBT_APMQUERYSUSPEND */,
                                                         0, SMTO_ABORTIFHUNG, 10000, &answer)
                                   : 0;
            HWND own =
                CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
            LRESULT fallback = DefWindowProcA(own, WM_POWERBROADCAST, 0, 0);
            DestroyWindow(own);
            Log("query-suspend", Member("sent", sent != 0) + Member("answer", answer) +
                                     Member("defaultAnswer", static_cast<unsigned long>(fallback)));
        } else if (step == "count") {
            Log("count", Member("watchers", CountWatchers()));
        } else if (step == "memory") {
            // The watcher's counters, and this console program's own beside them for scale.
            DWORD pid    = 0;
            HWND watcher = FindWindowA(kWatcherClass, nullptr);
            if (watcher) {
                GetWindowThreadProcessId(watcher, &pid);
            }
            HANDLE process =
                pid ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid) : nullptr;
            PROCESS_MEMORY_COUNTERS counters = {}, own = {};
            counters.cb = own.cb = sizeof counters;
            if (!process || !GetProcessMemoryInfo(process, &counters, sizeof counters) ||
                !GetProcessMemoryInfo(GetCurrentProcess(), &own, sizeof own)) {
                Log("memory", Member("ok", 0));
            } else {
                Log("memory", Member("ok", 1) + Member("workingSet", counters.WorkingSetSize) +
                                  Member("peakWorkingSet", counters.PeakWorkingSetSize) +
                                  Member("pagefileUsage", counters.PagefileUsage) +
                                  Member("ownWorkingSet", own.WorkingSetSize));
            }
            if (process) {
                CloseHandle(process);
            }
        } else if (step == "end-session") {
            DWORD_PTR answer = 0;
            HWND watcher     = FindWindowA(kWatcherClass, nullptr);
            LRESULT sent = watcher ? SendMessageTimeoutA(watcher, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG,
                                                         10000, &answer)
                                   : 0;
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(HWND_BROADCAST, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
            Log("end-session", Member("sent", sent != 0) + Member("queryAnswer", answer));
        } else if (step == "wait-exit") {
            Log("wait-exit",
                started.hProcess ? ExitMembers(started.hProcess, n, GetTickCount()) : Member("ended", 0));
        } else {
            Log("unknown", "");
        }
    }
    std::fclose(g_log);
    return 0;
}
