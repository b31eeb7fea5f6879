#include "message_boxes.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Shared with the watcher thread, which marks boxes as dismissed: each box with its process.
CRITICAL_SECTION g_lock;
std::vector<std::pair<DWORD, MessageBoxCall>> g_boxes;
std::set<DWORD> g_pids;
volatile LONG g_stopWatcher;

const struct {
    const char* name;
    Breakpoint::Call call;
} kBoxCalls[] = {
    {"MessageBoxA", Breakpoint::kA},
    {"MessageBoxW", Breakpoint::kW},
    {"MessageBoxExA", Breakpoint::kExA},
    {"MessageBoxExW", Breakpoint::kExW},
    {"MessageBoxIndirectA", Breakpoint::kIndirectA},
    {"MessageBoxIndirectW", Breakpoint::kIndirectW},
};

// Reads a NUL-terminated string of Unit from the program (at most 64 Ki units).
template <typename Unit> std::basic_string<Unit> ReadString(Debuggee& d, uint32_t addr) {
    std::basic_string<Unit> s;
    Unit u;
    while (s.size() < 65536 && Read(d, addr + s.size() * sizeof(Unit), &u, sizeof u) && u) {
        s.push_back(u);
    }
    return s;
}

std::string ReadText(Debuggee& d, uint32_t addr, bool wide) {
    return wide ? TextFromUtf16(ReadString<char16_t>(d, addr)) : TextFromBytes(ReadString<char>(d, addr));
}

void RecordBox(Debuggee& d, Breakpoint::Call call, uint32_t esp) {
    uint32_t text, caption, type;
    bool wide;
    if (call == Breakpoint::kIndirectA || call == Breakpoint::kIndirectW) {
        uint32_t params = ReadU32(d, esp + 4); // MSGBOXPARAMS
        text            = ReadU32(d, params + 12);
        caption         = ReadU32(d, params + 16);
        type            = ReadU32(d, params + 20);
        wide            = call == Breakpoint::kIndirectW;
    } else {
        text    = ReadU32(d, esp + 8);
        caption = ReadU32(d, esp + 12);
        type    = ReadU32(d, esp + 16);
        wide    = call == Breakpoint::kW || call == Breakpoint::kExW;
    }
    MessageBoxCall b;
    if (text) {
        b.text = ReadText(d, text, wide);
    }
    if (caption) {
        b.caption = ReadText(d, caption, wide);
    }
    b.type = type;
    EnterCriticalSection(&g_lock);
    g_boxes.emplace_back(d.pid, b);
    LeaveCriticalSection(&g_lock);
}

// Presses the default button (Enter) of every message box the program shows: a dialog of the
// process while one of its MessageBox calls is recorded and not yet answered. A dialog of the
// program's own (the rate chooser's) is left to the test that drives it.
BOOL CALLBACK PressDialog(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    EnterCriticalSection(&g_lock);
    bool ours    = g_pids.count(pid) != 0;
    bool boxOpen = false;
    for (const auto& [boxPid, b] : g_boxes) {
        boxOpen = boxOpen || (boxPid == pid && !b.dismissed);
    }
    ours = ours && boxOpen;
    LeaveCriticalSection(&g_lock);
    char cls[16];
    if (!ours || !IsWindowVisible(hwnd) || !GetClassNameA(hwnd, cls, sizeof cls) ||
        std::strcmp(cls, "#32770") != 0) {
        return TRUE;
    }
    // A press is posted, so the dialog may still be there on the next sweep; press again only if it
    // is still there a second later.
    // DEBUGGER_BOX_HOLD_MS keeps each box up that long first, as a user who is slow to answer: a
    // program waiting on its box then runs that much longer.
    static std::map<HWND, DWORD> firstSeen;
    char hold[16]   = "";
    DWORD holdMs    = GetEnvironmentVariableA("DEBUGGER_BOX_HOLD_MS", hold, sizeof hold)
                          ? std::strtoul(hold, nullptr, 10)
                          : 0;
    DWORD firstTick = firstSeen.emplace(hwnd, GetTickCount()).first->second;
    if (GetTickCount() - firstTick < holdMs) {
        return TRUE;
    }
    static std::map<HWND, DWORD> pressed;
    auto seen  = pressed.find(hwnd);
    bool first = seen == pressed.end();
    if (!first && GetTickCount() - seen->second < 1000) {
        return TRUE;
    }
    pressed[hwnd] = GetTickCount();
    DWORD_PTR def = 0;
    int id        = IDOK;
    if (SendMessageTimeoutA(hwnd, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 200, &def) &&
        HIWORD(def) == DC_HASDEFID) {
        id = LOWORD(def);
    }
    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd, id)));
    if (!first) {
        return TRUE;
    }
    EnterCriticalSection(&g_lock);
    for (auto& [boxPid, b] : g_boxes) {
        if (boxPid == pid && !b.dismissed) {
            b.dismissed = true;
            break;
        }
    }
    LeaveCriticalSection(&g_lock);
    return TRUE;
}

DWORD WINAPI Watcher(void*) {
    while (!g_stopWatcher) {
        EnumWindows(PressDialog, 0);
        Sleep(20);
    }
    return 0;
}

} // namespace

void HookMessageBoxes(Debuggee& d, BoxHooks& hooks, uint32_t base) {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    if (!Read(d, base, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !Read(d, base + dos.e_lfanew, &nt, sizeof nt)) {
        return;
    }
    const IMAGE_DATA_DIRECTORY& dir = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    IMAGE_EXPORT_DIRECTORY ex;
    if (!dir.VirtualAddress || !Read(d, base + dir.VirtualAddress, &ex, sizeof ex)) {
        return;
    }
    char name[16] = {};
    Read(d, base + ex.Name, name, sizeof name - 1);
    if (lstrcmpiA(name, "user32.dll") != 0) {
        return;
    }
    hooks.user32Lo = base;
    hooks.user32Hi = base + nt.OptionalHeader.SizeOfImage;

    for (DWORD i = 0; i < ex.NumberOfNames; ++i) {
        char fn[32] = {};
        Read(d, base + ReadU32(d, base + ex.AddressOfNames + 4 * i), fn, sizeof fn - 1);
        for (const auto& c : kBoxCalls) {
            if (std::strcmp(fn, c.name) != 0) {
                continue;
            }
            WORD ordinal = 0;
            Read(d, base + ex.AddressOfNameOrdinals + 2 * i, &ordinal, 2);
            uint32_t rva = ReadU32(d, base + ex.AddressOfFunctions + 4 * ordinal);
            if (rva - dir.VirtualAddress < dir.Size) {
                continue; // forwarder
            }
            uint32_t at = base + rva;
            Breakpoint bp{0, c.call};
            if (Read(d, at, &bp.saved, 1) && WriteCode(d, at, 0xCC)) {
                hooks.breakpoints[at] = bp;
            }
        }
    }
}

bool OnMessageBoxHook(Debuggee& d, BoxHooks& hooks, DWORD tid, uint32_t at) {
    auto it = hooks.breakpoints.find(at);
    if (it == hooks.breakpoints.end()) {
        return false;
    }
    const Breakpoint& bp = it->second;
    Ctx x;
    if (!GetCtx(d, tid, &x)) {
        Fail(d, "cannot read the thread context at a breakpoint");
        return true;
    }
    uint32_t ret = ReadU32(d, x.c.Esp);
    if (ret - hooks.user32Lo >= hooks.user32Hi - hooks.user32Lo) {
        RecordBox(d, bp.call, x.c.Esp);
    }
    WriteCode(d, at, bp.saved);
    x.c.Eip = at;
    x.c.EFlags |= kTrapFlag;
    SetCtx(&x);
    Pending& p = d.pending[tid];
    p.kind     = Pending::kRearm;
    p.address  = at;
    return true;
}

HANDLE StartBoxWatcher(DWORD pid) {
    InitializeCriticalSection(&g_lock);
    g_pids.insert(pid);
    return CreateThread(nullptr, 0, Watcher, nullptr, 0, nullptr);
}

void WatchBoxesOf(DWORD pid) {
    EnterCriticalSection(&g_lock);
    g_pids.insert(pid);
    LeaveCriticalSection(&g_lock);
}

void StopBoxWatcher(HANDLE watcher) {
    InterlockedExchange(&g_stopWatcher, 1);
    WaitForSingleObject(watcher, 2000);
    CloseHandle(watcher);
}

std::vector<MessageBoxCall> RecordedMessageBoxes(DWORD pid) {
    std::vector<MessageBoxCall> boxes;
    EnterCriticalSection(&g_lock);
    for (const auto& [boxPid, b] : g_boxes) {
        if (boxPid == pid) {
            boxes.push_back(b);
        }
    }
    LeaveCriticalSection(&g_lock);
    return boxes;
}
