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
//   mutex NAME          whether a named mutex exists (OpenMutexA), and whether a thread holds it (a
//                       wait of no time does not get it; where it does, it is let go at once)
//   read-rate           RefreshRate under HKCC\Display\Settings as text, or null where there is none
//   rate TEXT           writes RefreshRate under HKCC\Display\Settings, as Display Properties does
//                       before it sets a mode
//   mode WxH            sets the mode (ChangeDisplaySettingsA, the depth as it is): the tick
//                       before the call, its result, the screen after
//   power EVENT         broadcasts WM_POWERBROADCAST with EVENT to every top-level window
//   query-suspend       asks the watcher's window PBT_APMQUERYSUSPEND: its answer, and
//                       DefWindowProcA's to the same message
//   count               how many watcher windows there are
//   wait-processes MS N NAME  waits at most MS until exactly N processes of the file name NAME
//                       run (a run of the utility begun: 1, over: 0)
//   kill NAME           ends every process of the file name NAME (TerminateProcess), as End Task
//                       does to one that does not answer: how many there were
//   env NAME VALUE      sets an environment variable for the programs started after it
//   memory              the watcher's process memory counters (GetProcessMemoryInfo), and this
//                       program's working set
//   end-session [TITLE] asks the watcher's window (or the window titled TITLE) WM_QUERYENDSESSION,
//                       then broadcasts WM_ENDSESSION
// Steps for a dialog of another program, found by its title (TITLE|... where more follows):
//   wait-title MS TITLE waits at most MS for a top-level window of that title
//   wait-no-title MS TITLE  waits at most MS until there is none
//   wait-class MS CLASS waits at most MS for a top-level window of that class (#32770: a dialog, a
//                       message box among them)
//   sync MS TITLE       waits at most MS until its thread answers a message sent to it: what came
//                       before a message it was sent (its dialog's start, a question's end) is done
//   texts TITLE         the texts of its child windows, in order, and the items of its list box
//   select TITLE|ITEM   selects ITEM in its list box (LB_SELECTSTRING) and tells the dialog, as the list
//                       box tells it of a click (LBN_SELCHANGE, sent): what the dialog shows for the
//                       new selection is there when the step ends
//   click TITLE|BUTTON  clicks its button of that text (BN_CLICKED posted to the dialog); ok whether
//                       the button was enabled, as only then a user's click reaches the dialog: the
//                       notification goes all the same, so that a dialog that acts on it shows
//   key TITLE VK        the key VK (13 Enter, 27 Esc) pressed and let go in the dialog
//   close TITLE         WM_CLOSE to it, as its close box sends
//   snap TITLE FILE     a picture of it, as the screen shows it, into a 24-bit BMP file
//   wait-exit MS        waits at most MS for the process of "start" to end: its exit code
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kWatcherClass[] = "LumarelWatch";
// How long a dialog may take to deal with what a step sends it.
const UINT kAnswerMs = 60000;

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

// How many processes of that file name run, the name compared without regard to case; -1 when
// there is no list.
// The processes of a file name: how many run, each ended first where kill is set (as the Close
// Program box's End Task ends a program that does not answer: no message, no clean-up of its own).
int CountProcesses(const std::string& name, bool kill = false) {
    HANDLE list = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (list == INVALID_HANDLE_VALUE) {
        return -1;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize         = sizeof entry;
    int count            = 0;
    for (BOOL more = Process32First(list, &entry); more; more = Process32Next(list, &entry)) {
        const char* file = std::strrchr(entry.szExeFile, '\\');
        if (_stricmp(file ? file + 1 : entry.szExeFile, name.c_str()) != 0) {
            continue;
        }
        ++count;
        if (kill) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
            if (process) {
                TerminateProcess(process, 1);
                CloseHandle(process);
            }
        }
    }
    CloseHandle(list);
    return count;
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

// A JSON string of text, bytes above 0x7E as \u00XX.
std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        char escaped[8];
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20 || *p > 0x7E) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", *p);
            out += escaped;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

// "TITLE|REST": the window of that title and REST.
HWND Titled(const std::string& rest, std::string* more) {
    size_t bar = rest.find('|');
    if (more) {
        *more = bar == std::string::npos ? "" : rest.substr(bar + 1);
    }
    return FindWindowA(nullptr, rest.substr(0, bar).c_str());
}

BOOL CALLBACK AddText(HWND child, LPARAM texts) {
    char text[512] = "", cls[32] = "";
    GetWindowTextA(child, text, sizeof text);
    GetClassNameA(child, cls, sizeof cls);
    std::string& list = *reinterpret_cast<std::string*>(texts);
    list += (list.size() > 1 ? ", " : "") + Quoted(text);
    if (_stricmp(cls, "ListBox") == 0) {
        // Asked in UTF-16: Wine hands a list box item to another process's LB_GETTEXT in UTF-16 even
        // where it was asked in ANSI, so that the text seems to end after its first character.
        LRESULT count = SendMessageW(child, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            WCHAR item[512] = L"";
            if (SendMessageW(child, LB_GETTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof item / sizeof *item)) {
                SendMessageW(child, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
            }
            WideCharToMultiByte(CP_ACP, 0, item, -1, text, sizeof text, nullptr, nullptr);
            list += ", " + Quoted((std::string("item: ") + text).c_str());
        }
    }
    return TRUE;
}

bool WaitWindow(const char* cls, const char* title, DWORD ms, bool present) {
    DWORD t0 = GetTickCount();
    while ((FindWindowA(cls, title) != nullptr) != present && GetTickCount() - t0 < ms) {
        Sleep(50);
    }
    return (FindWindowA(cls, title) != nullptr) == present;
}

// The window as the screen shows it, bottom-up 24-bit rows.
bool Snap(HWND window, const char* file) {
    RECT r;
    if (!window || !GetWindowRect(window, &r)) {
        return false;
    }
    int w = r.right - r.left, h = r.bottom - r.top, stride = (w * 3 + 3) & ~3;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old    = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize           = sizeof info;
    info.biWidth          = w;
    info.biHeight         = h;
    info.biPlanes         = 1;
    info.biBitCount       = 24;
    std::string pixels(static_cast<size_t>(stride) * h, '\0');
    bool ok = GetDIBits(memory, bitmap, 0, h, &pixels[0], reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS) == h;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER head = {};
    head.bfType           = 0x4D42;
    head.bfOffBits        = sizeof head + sizeof info;
    head.bfSize           = head.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* f               = std::fopen(file, "wb");
    if (!ok || !f) {
        if (f) {
            std::fclose(f);
        }
        return false;
    }
    std::fwrite(&head, sizeof head, 1, f);
    std::fwrite(&info, sizeof info, 1, f);
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
    return true;
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
        } else if (step == "mutex") {
            // A program that waits on the mutex keeps it in existence: only a wait tells whether
            // it is held. One whose holder ended is not: the wait then gets it (WAIT_ABANDONED).
            HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, rest.c_str());
            DWORD wait   = mutex ? WaitForSingleObject(mutex, 0) : WAIT_FAILED;
            if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
                ReleaseMutex(mutex);
            }
            if (mutex) {
                CloseHandle(mutex);
            }
            Log("mutex", Member("exists", mutex != nullptr) + Member("held", wait == WAIT_TIMEOUT));
        } else if (step == "read-rate") {
            HKEY key;
            char value[256] = "";
            DWORD size = sizeof value - 1, type = 0;
            bool found = RegOpenKeyExA(HKEY_CURRENT_CONFIG, "Display\\Settings", 0, KEY_QUERY_VALUE, &key) ==
                         ERROR_SUCCESS;
            if (found) {
                found = RegQueryValueExA(key, "RefreshRate", nullptr, &type, reinterpret_cast<BYTE*>(value),
                                         &size) == ERROR_SUCCESS;
                RegCloseKey(key);
            }
            Log("read-rate", std::string(", \"value\": ") + (found ? Quoted(value) : "null"));
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
        } else if (step == "wait-title" || step == "wait-no-title") {
            Log(step.c_str(), Member("found", WaitWindow(nullptr, rest.substr(rest.find(' ') + 1).c_str(), n,
                                                         step == "wait-title")));
        } else if (step == "wait-class") {
            Log(step.c_str(),
                Member("found", WaitWindow(rest.substr(rest.find(' ') + 1).c_str(), nullptr, n, true)));
        } else if (step == "kill") {
            Log("kill", Member("killed", CountProcesses(rest, true)));
        } else if (step == "env") {
            // "NAME VALUE": for the programs started after it
            size_t blank = rest.find(' ');
            bool ok      = SetEnvironmentVariableA(rest.substr(0, blank).c_str(),
                                              blank == std::string::npos ? "" : rest.c_str() + blank + 1);
            Log("env", Member("ok", ok));
        } else if (step == "wait-processes") {
            // "MS N NAME"
            std::string countAndName = rest.substr(rest.find(' ') + 1);
            int want                 = std::atoi(countAndName.c_str());
            std::string name         = countAndName.substr(countAndName.find(' ') + 1);
            DWORD t0                 = GetTickCount();
            int count                = CountProcesses(name);
            while (count != want && GetTickCount() - t0 < n) {
                Sleep(50);
                count = CountProcesses(name);
            }
            Log("wait-processes", Member("count", count) + Member("matched", count == want));
        } else if (step == "sync") {
            DWORD_PTR answer = 0;
            HWND window      = FindWindowA(nullptr, rest.substr(rest.find(' ') + 1).c_str());
            LRESULT sent = window ? SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, n, &answer) : 0;
            Log("sync", Member("answered", sent != 0));
        } else if (step == "texts") {
            std::string texts = "[";
            HWND window       = Titled(rest, nullptr);
            if (window) {
                EnumChildWindows(window, AddText, reinterpret_cast<LPARAM>(&texts));
            }
            Log("texts", Member("found", window != nullptr) + ", \"texts\": " + texts + "]");
        } else if (step == "select") {
            std::string item;
            HWND dialog = Titled(rest, &item);
            HWND list   = dialog ? FindWindowExA(dialog, nullptr, "ListBox", nullptr) : nullptr;
            LRESULT at  = list ? SendMessageA(list, LB_SELECTSTRING, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(item.c_str()))
                               : LB_ERR;
            // A user's click tells the dialog of the new selection; LB_SELECTSTRING does not. The
            // list box sends its notification, so the dialog has dealt with it when the send returns.
            DWORD_PTR answer = 0;
            LRESULT told =
                at != LB_ERR
                    ? SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                                          reinterpret_cast<LPARAM>(list), SMTO_NORMAL, kAnswerMs, &answer)
                    : 0;
            Log("select", Member("ok", at != LB_ERR && told != 0));
        } else if (step == "click") {
            std::string text;
            HWND dialog = Titled(rest, &text);
            HWND button = dialog ? FindWindowExA(dialog, nullptr, "Button", text.c_str()) : nullptr;
            if (button) {
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
            }
            Log("click", Member("ok", button != nullptr && IsWindowEnabled(button)));
        } else if (step == "key") {
            size_t blank = rest.rfind(' ');
            HWND dialog  = FindWindowA(nullptr, rest.substr(0, blank).c_str());
            UINT vk      = std::strtoul(rest.c_str() + blank + 1, nullptr, 10);
            if (dialog) {
                PostMessageA(dialog, WM_KEYDOWN, vk, 1);
                PostMessageA(dialog, WM_KEYUP, vk, 0xC0000001);
            }
            Log("key", Member("ok", dialog != nullptr));
        } else if (step == "close") {
            HWND window = Titled(rest, nullptr);
            if (window) {
                PostMessageA(window, WM_CLOSE, 0, 0);
            }
            Log("close", Member("ok", window != nullptr));
        } else if (step == "snap") {
            size_t blank = rest.rfind(' ');
            Log("snap", Member("ok", Snap(FindWindowA(nullptr, rest.substr(0, blank).c_str()),
                                          rest.substr(blank + 1).c_str())));
        } else if (step == "end-session") {
            DWORD_PTR answer = 0;
            HWND watcher =
                rest.empty() ? FindWindowA(kWatcherClass, nullptr) : FindWindowA(nullptr, rest.c_str());
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
