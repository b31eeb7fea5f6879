// Runs a program as its debugger and stands in for the display adapter.
//
//   debugger.exe [--out FILE] [--timeout MS] [--set KIND[:INDEX]=VALUE]...
//                -- PROGRAM.exe [ARGS...]
//
// * IN/OUT: a user-mode port access raises EXCEPTION_PRIV_INSTRUCTION, which
//   reaches the debugger first.  The instruction is decoded, run against the
//   adapter model the host build uses (host/adapter/adapter.h) and skipped.
//   16- and 32-bit accesses are split into byte accesses at port, port+1,
//   ..., which is how the ISA bus hands them to an 8-bit device.  INS/OUTS
//   are refused: the run stops with an error rather than emulating them
//   wrongly.
// * Register window: the mapping-driver double commits its window read-only
//   and announces it with a debug string.  A store into it faults; the
//   debugger opens the window for writing, single-steps the instruction,
//   reads the bytes it wrote, hands them to the model and closes the window
//   again.
// * Message boxes: breakpoints on the USER32 MessageBox entry points record
//   text, caption and type of each call made from outside USER32; a watcher
//   thread presses the default button of every dialog box the program shows.
// * stdout and stderr of the program go to files that end up in the result.
//
// The result is one JSON object, written to --out or to stdout; its accesses
// are the model's trace, in the form refresh-sim --json writes them.  Strings
// in it keep the program's exact code units: bytes of ANSI strings and of
// stdout as U+0000..U+00FF, UTF-16 units as they are.
//
// Exit status: 0 when the program ran to its end (whatever its exit code),
// 1 when the run was cut short (timeout, an instruction that cannot be
// emulated), 2 for bad arguments or a program that could not start.

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "adapter/adapter.h"
#include "physwin_window.h"

// The double's window and the model's must be one and the same, or every
// store would be recorded as outside the window.
static_assert(PHYSWIN_WINDOW_BASE == adapter::kDefaultWindowBase,
              "the mapping-driver double and the adapter model disagree on the window");

namespace {

// ---------------------------------------------------------------- JSON ----

// Appends s as a JSON string; units above 0x7E are written as \uXXXX so the
// output is plain ASCII whatever the program produced.
template <typename Unit> void JsonString(std::string& out, const Unit* s, size_t n) {
    out += '"';
    for (size_t i = 0; i < n; ++i) {
        unsigned u = static_cast<unsigned>(s[i]);
        if (sizeof(Unit) == 1)
            u &= 0xFF;
        switch (u) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        }
        if (u < 0x20 || u > 0x7E) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", u & 0xFFFF);
            out += esc;
        } else {
            out += static_cast<char>(u);
        }
    }
    out += '"';
}

void JsonString(std::string& out, const std::string& s) {
    JsonString(out, s.data(), s.size());
}

std::string Num(uint64_t v) {
    char b[24];
    snprintf(b, sizeof b, "%llu", static_cast<unsigned long long>(v));
    return b;
}

// ------------------------------------------------------------ records ----

struct Box {
    bool hasText, hasCaption;
    std::string text, caption; // JSON-ready, quotes included
    uint32_t type;
    bool dismissed;
};

struct DriverCall {
    uint32_t code, inSize, outSize, error, base, size;
    bool ok;
};

struct Window {
    uint32_t base, size;
};

struct Pending {
    enum Kind { kNone, kStore, kRearm } kind = kNone;
    uint32_t address                         = 0; // store target or breakpoint address
    unsigned width                           = 0;
};

struct Breakpoint {
    uint8_t saved;
    enum Call { kA, kW, kExA, kExW, kIndirectA, kIndirectW } call;
};

struct Options {
    std::string out;
    DWORD timeoutMs        = 30000;
    adapter::Adapter model = adapter::MakeAdapter(); // power-on state and --set
    std::vector<std::string> target;
};

// Shared with the watcher thread, which marks boxes as dismissed.
CRITICAL_SECTION g_lock;
std::vector<Box> g_boxes;
DWORD g_childPid;
volatile LONG g_stopWatcher;

struct Run {
    HANDLE process = nullptr;
    std::map<DWORD, HANDLE> threads;
    std::map<DWORD, Pending> pending;
    std::map<uint32_t, Breakpoint> breakpoints;
    uint32_t user32Lo = 0, user32Hi = 0;
    std::vector<Window> windows;
    adapter::Adapter model; // its trace is the result
    std::vector<DriverCall> driverCalls;
    bool sawLoaderBreak = false;
    std::string error;
    bool crashed       = false;
    uint32_t crashCode = 0, crashAddress = 0;
    DWORD exitCode = 0;
    bool exited    = false;
};

[[noreturn]] void Usage(const char* why) {
    fprintf(stderr,
            "debugger: %s\n"
            "usage: debugger.exe [--out FILE] [--timeout MS] "
            "[--set KIND[:INDEX]=VALUE]... -- PROGRAM.exe [ARGS...]\n"
            "  KIND is crtc or ext (INDEX = register) or misc, e.g. crtc:0x75=0x20\n",
            why);
    exit(2);
}

bool ParseU32(const char* s, uint32_t* v) {
    char* end;
    unsigned long long x = strtoull(s, &end, 0);
    if (!*s || *end || x > 0xFFFFFFFFull)
        return false;
    *v = static_cast<uint32_t>(x);
    return true;
}

// Sets a register of the model before the program starts: "crtc:0x75=0x20",
// "ext:0x09=0x01" or "misc=0x67".
void ApplyPreset(adapter::Adapter& model, const std::string& s) {
    size_t eq = s.find('=');
    if (eq == std::string::npos)
        Usage("--set needs KIND[:INDEX]=VALUE");
    std::string left = s.substr(0, eq), kind = left;
    uint32_t index = 0, value;
    size_t colon   = left.find(':');
    if (colon != std::string::npos) {
        kind = left.substr(0, colon);
        if (!ParseU32(left.c_str() + colon + 1, &index) || index > 0xFF)
            Usage("bad --set index (one byte)");
    }
    if (!ParseU32(s.c_str() + eq + 1, &value) || value > 0xFF)
        Usage("bad --set value (one byte)");
    uint8_t v = static_cast<uint8_t>(value);
    if (kind == "crtc" && colon != std::string::npos)
        model.crtc[index] = v;
    else if (kind == "ext" && colon != std::string::npos)
        model.ext[index] = v;
    else if (kind == "misc" && colon == std::string::npos)
        model.miscOutput = v;
    else
        Usage("--set: unknown register");
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
        if (i + 1 >= argc)
            Usage(("missing value after " + a).c_str());
        if (a == "--out")
            o.out = argv[++i];
        else if (a == "--timeout") {
            uint32_t t;
            if (!ParseU32(argv[++i], &t))
                Usage("bad --timeout");
            o.timeoutMs = t;
        } else if (a == "--set")
            ApplyPreset(o.model, argv[++i]);
        else
            Usage(("unknown option " + a).c_str());
    }
    for (; i < argc; ++i)
        o.target.push_back(argv[i]);
    if (o.target.empty())
        Usage("no program given");
    return o;
}

// Quotes one argument the way the C runtime's argv parser undoes it.
std::string Quote(const std::string& a) {
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos)
        return a;
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

// ------------------------------------------------------- target memory ----

bool Read(Run& r, uint32_t addr, void* buf, size_t n) {
    SIZE_T got = 0;
    return ReadProcessMemory(r.process, reinterpret_cast<void*>(addr), buf, n, &got) && got == n;
}

uint32_t ReadU32(Run& r, uint32_t addr) {
    uint32_t v = 0;
    Read(r, addr, &v, 4);
    return v;
}

bool WriteCode(Run& r, uint32_t addr, uint8_t byte) {
    void* p = reinterpret_cast<void*>(addr);
    DWORD old;
    if (!VirtualProtectEx(r.process, p, 1, PAGE_EXECUTE_READWRITE, &old))
        return false;
    SIZE_T n = 0;
    BOOL ok  = WriteProcessMemory(r.process, p, &byte, 1, &n);
    VirtualProtectEx(r.process, p, 1, old, &old);
    FlushInstructionCache(r.process, p, 1);
    return ok && n == 1;
}

// Reads a NUL-terminated string of Unit from the target (at most 64 KiB).
template <typename Unit> std::string ReadJsonString(Run& r, uint32_t addr) {
    std::vector<Unit> s;
    Unit u;
    while (s.size() < 65536 && Read(r, addr + s.size() * sizeof(Unit), &u, sizeof u) && u)
        s.push_back(u);
    std::string out;
    JsonString(out, s.data(), s.size());
    return out;
}

// ------------------------------------------------------------ contexts ----

struct Ctx {
    HANDLE thread;
    CONTEXT c;
};

bool GetCtx(Run& r, DWORD tid, Ctx* x) {
    auto it = r.threads.find(tid);
    if (it == r.threads.end())
        return false;
    x->thread = it->second;
    memset(&x->c, 0, sizeof x->c);
    x->c.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    return GetThreadContext(x->thread, &x->c) != 0;
}

bool SetCtx(Ctx* x) {
    return SetThreadContext(x->thread, &x->c) != 0;
}

const DWORD kTrapFlag = 0x100;

void Fail(Run& r, const std::string& why) {
    if (r.error.empty())
        r.error = why;
    TerminateProcess(r.process, 0xDEB6FA11);
}

std::string Hex(uint32_t v) {
    char b[16];
    snprintf(b, sizeof b, "0x%08lx", static_cast<unsigned long>(v));
    return b;
}

// Skips the prefixes that may stand before IN/OUT or a store.
size_t SkipPrefixes(const uint8_t* code, size_t n, bool* opsize16) {
    size_t i  = 0;
    *opsize16 = false;
    for (; i < n; ++i) {
        switch (code[i]) {
        case 0x66: *opsize16 = true; continue;
        case 0x67:
        case 0xF2:
        case 0xF3:
        case 0x26:
        case 0x2E:
        case 0x36:
        case 0x3E:
        case 0x64:
        case 0x65: continue;
        }
        break;
    }
    return i;
}

// ------------------------------------------------------------ port I/O ----

enum class Emu { kDone, kNotIo, kFailed };

Emu EmulatePortIo(Run& r, DWORD tid) {
    Ctx x;
    if (!GetCtx(r, tid, &x))
        return Emu::kNotIo;
    uint8_t code[16];
    if (!Read(r, x.c.Eip, code, sizeof code))
        return Emu::kNotIo;
    bool op16;
    size_t i   = SkipPrefixes(code, sizeof code - 2, &op16);
    uint8_t op = code[i++];
    if (op >= 0x6C && op <= 0x6F) {
        Fail(r, "INS/OUTS at " + Hex(x.c.Eip) + " is not emulated");
        return Emu::kFailed;
    }
    bool in, viaDx = (op & 0xF8) == 0xE8;
    if (!((op >= 0xE4 && op <= 0xE7) || (op >= 0xEC && op <= 0xEF)))
        return Emu::kNotIo;
    in             = (op & 2) == 0;
    unsigned width = (op & 1) ? (op16 ? 2 : 4) : 1;
    uint16_t port  = viaDx ? static_cast<uint16_t>(x.c.Edx) : code[i++];

    uint32_t value = 0;
    for (unsigned k = 0; k < width; ++k) {
        uint16_t p = static_cast<uint16_t>(port + k);
        if (in)
            value |= static_cast<uint32_t>(adapter::In(r.model, p)) << (8 * k);
        else
            adapter::Out(r.model, p, static_cast<uint8_t>(x.c.Eax >> (8 * k)));
    }
    if (in) {
        uint32_t keep = width == 4 ? 0 : (width == 2 ? 0xFFFF0000u : 0xFFFFFF00u);
        x.c.Eax       = (x.c.Eax & keep) | value;
    }
    x.c.Eip += static_cast<DWORD>(i);
    if (!SetCtx(&x)) {
        Fail(r, "cannot set the thread context after a port access");
        return Emu::kFailed;
    }
    return Emu::kDone;
}

// ------------------------------------------------------ window stores ----

const Window* WindowAt(const Run& r, uint32_t addr) {
    for (const Window& w : r.windows)
        if (addr - w.base < w.size)
            return &w;
    return nullptr;
}

// How many bytes the store at eip writes; 0 for an instruction this tool
// does not know, so that it stops instead of recording a wrong width.
unsigned StoreWidth(const uint8_t* code, size_t n) {
    bool op16;
    size_t i      = SkipPrefixes(code, n - 2, &op16);
    unsigned word = op16 ? 2 : 4;
    uint8_t op    = code[i];
    if (op == 0x0F)
        return (code[i + 1] & 0xF0) == 0x90 ? 1 : 0; // SETcc
    if (op < 0x40 && (op & 7) <= 1)
        return (op & 1) ? word : 1; // ALU r/m, r
    switch (op) {
    case 0x88:
    case 0xC6:
    case 0xAA:
    case 0xA4:
    case 0x86:
    case 0xFE:
    case 0xF6:
    case 0x80:
    case 0x82:
    case 0xC0:
    case 0xD0:
    case 0xD2:
    case 0xA2: return 1;
    case 0x89:
    case 0xC7:
    case 0xAB:
    case 0xA5:
    case 0x87:
    case 0xFF:
    case 0xF7:
    case 0x81:
    case 0x83:
    case 0xC1:
    case 0xD1:
    case 0xD3:
    case 0xA3: return word;
    }
    return 0;
}

bool SetWindowProtection(Run& r, const Window& w, DWORD prot) {
    DWORD old;
    return VirtualProtectEx(r.process, reinterpret_cast<void*>(w.base), w.size, prot, &old) != 0;
}

bool BeginStore(Run& r, DWORD tid, uint32_t addr) {
    const Window* w = WindowAt(r, addr);
    if (!w)
        return false;
    Ctx x;
    uint8_t code[16];
    if (!GetCtx(r, tid, &x) || !Read(r, x.c.Eip, code, sizeof code)) {
        Fail(r, "cannot read the storing instruction");
        return true;
    }
    unsigned width = StoreWidth(code, sizeof code);
    if (!width) {
        Fail(r, "unknown store instruction at " + Hex(x.c.Eip) + " into " + Hex(addr));
        return true;
    }
    if (!SetWindowProtection(r, *w, PAGE_READWRITE)) {
        Fail(r, "cannot open the register window for writing");
        return true;
    }
    x.c.EFlags |= kTrapFlag;
    SetCtx(&x);
    Pending& p = r.pending[tid];
    p.kind     = Pending::kStore;
    p.address  = addr;
    p.width    = width;
    return true;
}

void FinishStore(Run& r, const Pending& p) {
    uint8_t bytes[4] = {};
    if (!Read(r, p.address, bytes, p.width)) {
        Fail(r, "cannot read back a store at " + Hex(p.address));
        return;
    }
    for (unsigned k = 0; k < p.width; ++k)
        adapter::Store(r.model, p.address + k, bytes[k]);
    if (const Window* w = WindowAt(r, p.address))
        SetWindowProtection(r, *w, PAGE_READONLY);
}

// -------------------------------------------------------- message boxes ----

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

// Sets breakpoints on the MessageBox family when USER32 is mapped.
void OnDllLoaded(Run& r, uint32_t base) {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    if (!Read(r, base, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !Read(r, base + dos.e_lfanew, &nt, sizeof nt))
        return;
    const IMAGE_DATA_DIRECTORY& dir = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    IMAGE_EXPORT_DIRECTORY ex;
    if (!dir.VirtualAddress || !Read(r, base + dir.VirtualAddress, &ex, sizeof ex))
        return;
    char name[16] = {};
    Read(r, base + ex.Name, name, sizeof name - 1);
    if (lstrcmpiA(name, "user32.dll") != 0)
        return;
    r.user32Lo = base;
    r.user32Hi = base + nt.OptionalHeader.SizeOfImage;

    for (DWORD i = 0; i < ex.NumberOfNames; ++i) {
        char fn[32] = {};
        Read(r, base + ReadU32(r, base + ex.AddressOfNames + 4 * i), fn, sizeof fn - 1);
        for (const auto& c : kBoxCalls) {
            if (strcmp(fn, c.name) != 0)
                continue;
            WORD ordinal = 0;
            Read(r, base + ex.AddressOfNameOrdinals + 2 * i, &ordinal, 2);
            uint32_t rva = ReadU32(r, base + ex.AddressOfFunctions + 4 * ordinal);
            if (rva - dir.VirtualAddress < dir.Size)
                continue; // forwarder
            uint32_t at = base + rva;
            Breakpoint bp{0, c.call};
            if (Read(r, at, &bp.saved, 1) && WriteCode(r, at, 0xCC))
                r.breakpoints[at] = bp;
        }
    }
}

void RecordBox(Run& r, Breakpoint::Call call, uint32_t esp) {
    uint32_t text, caption, type;
    bool wide;
    if (call == Breakpoint::kIndirectA || call == Breakpoint::kIndirectW) {
        uint32_t params = ReadU32(r, esp + 4); // MSGBOXPARAMS
        text            = ReadU32(r, params + 12);
        caption         = ReadU32(r, params + 16);
        type            = ReadU32(r, params + 20);
        wide            = call == Breakpoint::kIndirectW;
    } else {
        text    = ReadU32(r, esp + 8);
        caption = ReadU32(r, esp + 12);
        type    = ReadU32(r, esp + 16);
        wide    = call == Breakpoint::kW || call == Breakpoint::kExW;
    }
    Box b;
    b.hasText    = text != 0;
    b.hasCaption = caption != 0;
    if (b.hasText)
        b.text = wide ? ReadJsonString<WCHAR>(r, text) : ReadJsonString<char>(r, text);
    if (b.hasCaption)
        b.caption = wide ? ReadJsonString<WCHAR>(r, caption) : ReadJsonString<char>(r, caption);
    b.type      = type;
    b.dismissed = false;
    EnterCriticalSection(&g_lock);
    g_boxes.push_back(b);
    LeaveCriticalSection(&g_lock);
}

// Records the call if it comes from outside USER32 (the A and Ex forms call
// the others), then steps over the original first byte.
void OnBreakpoint(Run& r, DWORD tid, uint32_t at) {
    Breakpoint& bp = r.breakpoints[at];
    Ctx x;
    if (!GetCtx(r, tid, &x)) {
        Fail(r, "cannot read the thread context at a breakpoint");
        return;
    }
    uint32_t ret = ReadU32(r, x.c.Esp);
    if (ret - r.user32Lo >= r.user32Hi - r.user32Lo)
        RecordBox(r, bp.call, x.c.Esp);
    WriteCode(r, at, bp.saved);
    x.c.Eip = at;
    x.c.EFlags |= kTrapFlag;
    SetCtx(&x);
    Pending& p = r.pending[tid];
    p.kind     = Pending::kRearm;
    p.address  = at;
}

// Presses the default button (Enter) of every dialog the program shows.
BOOL CALLBACK PressDialog(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[16];
    if (pid != g_childPid || !IsWindowVisible(hwnd) || !GetClassNameA(hwnd, cls, sizeof cls) ||
        strcmp(cls, "#32770") != 0)
        return TRUE;
    // A press is posted, so the dialog may still be there on the next
    // sweep; press again only if it is still there a second later.
    static std::map<HWND, DWORD> pressed;
    auto seen  = pressed.find(hwnd);
    bool first = seen == pressed.end();
    if (!first && GetTickCount() - seen->second < 1000)
        return TRUE;
    pressed[hwnd] = GetTickCount();
    DWORD_PTR def = 0;
    int id        = IDOK;
    if (SendMessageTimeoutA(hwnd, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 200, &def) &&
        HIWORD(def) == DC_HASDEFID)
        id = LOWORD(def);
    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd, id)));
    if (!first)
        return TRUE;
    EnterCriticalSection(&g_lock);
    for (Box& b : g_boxes)
        if (!b.dismissed) {
            b.dismissed = true;
            break;
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

// ------------------------------------------------------- debug strings ----

// "physwin: code=00000003 in=... out=... ok=1 error=... base=... size=..."
void OnDebugString(Run& r, const OUTPUT_DEBUG_STRING_INFO& info) {
    if (info.fUnicode || info.nDebugStringLength < 2)
        return;
    std::string s(info.nDebugStringLength, '\0');
    if (!Read(r, reinterpret_cast<uint32_t>(info.lpDebugStringData), &s[0], s.size()))
        return;
    s.resize(strlen(s.c_str()));
    if (s.compare(0, strlen(PHYSWIN_TAG), PHYSWIN_TAG) != 0)
        return;
    DriverCall c{};
    unsigned long v[7];
    if (sscanf(s.c_str() + strlen(PHYSWIN_TAG), " code=%lx in=%lx out=%lx ok=%lu error=%lx base=%lx size=%lx",
               &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]) != 7) {
        Fail(r, "mapping driver says: " + s);
        return;
    }
    c.code = v[0], c.inSize = v[1], c.outSize = v[2], c.ok = v[3] != 0;
    c.error = v[4], c.base = v[5], c.size = v[6];
    r.driverCalls.push_back(c);
    if (!c.ok || !c.base)
        return;
    if (c.base != r.model.windowBase) {
        Fail(r, "the mapping driver handed out " + Hex(c.base) + ", the model's window is at " +
                    Hex(r.model.windowBase));
        return;
    }
    if (c.size && !WindowAt(r, c.base))
        r.windows.push_back({c.base, c.size});
}

// ---------------------------------------------------------- debug loop ----

DWORD OnException(Run& r, const DEBUG_EVENT& ev) {
    const EXCEPTION_RECORD& e = ev.u.Exception.ExceptionRecord;
    uint32_t at               = reinterpret_cast<uint32_t>(e.ExceptionAddress);
    DWORD tid                 = ev.dwThreadId;
    if (ev.u.Exception.dwFirstChance) {
        switch (e.ExceptionCode) {
        case EXCEPTION_BREAKPOINT:
            if (r.breakpoints.count(at)) {
                OnBreakpoint(r, tid, at);
                return DBG_CONTINUE;
            }
            if (!r.sawLoaderBreak) { // the loader's break for debuggers
                r.sawLoaderBreak = true;
                return DBG_CONTINUE;
            }
            break;
        case EXCEPTION_SINGLE_STEP: {
            auto it = r.pending.find(tid);
            if (it == r.pending.end() || it->second.kind == Pending::kNone)
                break;
            Pending p       = it->second;
            it->second.kind = Pending::kNone;
            if (p.kind == Pending::kStore)
                FinishStore(r, p);
            else
                WriteCode(r, p.address, 0xCC);
            Ctx x;
            if (GetCtx(r, tid, &x)) {
                x.c.EFlags &= ~kTrapFlag;
                SetCtx(&x);
            }
            return DBG_CONTINUE;
        }
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_ACCESS_VIOLATION: {
            Emu m = EmulatePortIo(r, tid);
            if (m != Emu::kNotIo)
                return DBG_CONTINUE;
            if (e.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && e.NumberParameters >= 2 &&
                e.ExceptionInformation[0] == 1 &&
                BeginStore(r, tid, static_cast<uint32_t>(e.ExceptionInformation[1])))
                return DBG_CONTINUE;
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

bool RunTarget(Run& r, const Options& o, HANDLE out, HANDLE err) {
    std::string cmd;
    for (const std::string& a : o.target)
        cmd += (cmd.empty() ? "" : " ") + Quote(a);
    char full[MAX_PATH], *file = nullptr;
    if (!GetFullPathNameA(o.target[0].c_str(), sizeof full, full, &file) || !file)
        return false;
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
    BOOL ok = CreateProcessA(full, line.data(), nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                             dir.c_str(), &si, &pi);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!ok)
        return false;
    r.process      = pi.hProcess;
    g_childPid     = pi.dwProcessId;
    HANDLE watcher = CreateThread(nullptr, 0, Watcher, nullptr, 0, nullptr);

    DWORD start   = GetTickCount();
    bool timedOut = false;
    while (!r.exited) {
        DEBUG_EVENT ev;
        if (!WaitForDebugEvent(&ev, 100)) {
            if (!timedOut && GetTickCount() - start > o.timeoutMs) {
                timedOut = true;
                Fail(r, "timeout after " + Num(o.timeoutMs) + " ms");
            }
            continue;
        }
        DWORD status = DBG_CONTINUE;
        switch (ev.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            r.threads[ev.dwThreadId] = ev.u.CreateProcessInfo.hThread;
            if (ev.u.CreateProcessInfo.hFile)
                CloseHandle(ev.u.CreateProcessInfo.hFile);
            break;
        case CREATE_THREAD_DEBUG_EVENT: r.threads[ev.dwThreadId] = ev.u.CreateThread.hThread; break;
        case EXIT_THREAD_DEBUG_EVENT:
            r.threads.erase(ev.dwThreadId);
            r.pending.erase(ev.dwThreadId);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            OnDllLoaded(r, reinterpret_cast<uint32_t>(ev.u.LoadDll.lpBaseOfDll));
            if (ev.u.LoadDll.hFile)
                CloseHandle(ev.u.LoadDll.hFile);
            break;
        case OUTPUT_DEBUG_STRING_EVENT: OnDebugString(r, ev.u.DebugString); break;
        case EXCEPTION_DEBUG_EVENT: status = OnException(r, ev); break;
        case EXIT_PROCESS_DEBUG_EVENT:
            r.exitCode = ev.u.ExitProcess.dwExitCode;
            r.exited   = true;
            break;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
    }
    InterlockedExchange(&g_stopWatcher, 1);
    WaitForSingleObject(watcher, 2000);
    CloseHandle(watcher);
    return true;
}

// ------------------------------------------------------------- output ----

std::string ReadWhole(const std::string& path) {
    std::string s;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return s;
    char buf[4096];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n)
        s.append(buf, n);
    CloseHandle(h);
    return s;
}

HANDLE CreateCapture(const std::string& path) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string Result(const Run& r, const std::string& out, const std::string& err) {
    std::string j = "{\"exitCode\": " + Num(r.exitCode) + ",\n \"messageBoxes\": [";
    EnterCriticalSection(&g_lock);
    for (size_t i = 0; i < g_boxes.size(); ++i) {
        const Box& b = g_boxes[i];
        j += i ? ",\n   " : "\n   ";
        j += "{\"text\": " + (b.hasText ? b.text : "null");
        j += ", \"caption\": " + (b.hasCaption ? b.caption : "null");
        j += ", \"type\": " + Num(b.type);
        j += std::string(", \"dismissed\": ") + (b.dismissed ? "true" : "false") + "}";
    }
    LeaveCriticalSection(&g_lock);
    j += "],\n \"stdout\": ";
    JsonString(j, out);
    j += ",\n \"stderr\": ";
    JsonString(j, err);
    j += ",\n \"accesses\": [";
    const std::vector<adapter::Access>& trace = r.model.trace;
    for (size_t i = 0; i < trace.size(); ++i) {
        const adapter::Access& a = trace[i];
        j += i ? ",\n   " : "\n   ";
        if (a.op == adapter::Op::Store)
            j += "{\"op\": \"store\", \"address\": " + Num(a.where);
        else
            j += std::string("{\"op\": \"") + (a.op == adapter::Op::In ? "in" : "out") +
                 "\", \"port\": " + Num(a.where);
        j += ", \"value\": " + Num(a.value) + "}";
    }
    j += "],\n \"driverCalls\": [";
    for (size_t i = 0; i < r.driverCalls.size(); ++i) {
        const DriverCall& c = r.driverCalls[i];
        j += i ? ",\n   " : "\n   ";
        j += "{\"code\": " + Num(c.code) + ", \"inSize\": " + Num(c.inSize) +
             ", \"outSize\": " + Num(c.outSize) + ", \"ok\": " + (c.ok ? "true" : "false") +
             ", \"error\": " + Num(c.error) + ", \"base\": " + Num(c.base) + ", \"size\": " + Num(c.size) +
             "}";
    }
    j += "],\n \"screen\": ";
    HDC dc = GetDC(nullptr);
    j += "{\"width\": " + Num(GetDeviceCaps(dc, HORZRES)) +
         ", \"height\": " + Num(GetDeviceCaps(dc, VERTRES)) +
         ", \"bitsPerPixel\": " + Num(GetDeviceCaps(dc, BITSPIXEL)) +
         ", \"refresh\": " + Num(GetDeviceCaps(dc, VREFRESH)) + "}";
    ReleaseDC(nullptr, dc);
    j += ",\n \"crash\": ";
    if (r.crashed)
        j += "{\"code\": " + Num(r.crashCode) + ", \"address\": " + Num(r.crashAddress) + "}";
    else
        j += "null";
    j += ",\n \"error\": ";
    if (r.error.empty())
        j += "null";
    else
        JsonString(j, r.error);
    return j + "}\n";
}

} // namespace

int main(int argc, char** argv) {
    InitializeCriticalSection(&g_lock);
    Options o = ParseArgs(argc, argv);

    char tmp[MAX_PATH];
    if (!GetTempPathA(sizeof tmp, tmp))
        strcpy(tmp, ".\\");
    std::string stem    = std::string(tmp) + "dbg" + Num(GetCurrentProcessId());
    std::string outPath = stem + ".out", errPath = stem + ".err";
    HANDLE out = CreateCapture(outPath), err = CreateCapture(errPath);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "debugger: cannot create capture files in %s\n", tmp);
        return 2;
    }

    Run r;
    r.model          = o.model;
    bool started     = RunTarget(r, o, out, err);
    DWORD startError = GetLastError();
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        fprintf(stderr, "debugger: cannot start %s (error %lu)\n", o.target[0].c_str(), startError);
        DeleteFileA(outPath.c_str());
        DeleteFileA(errPath.c_str());
        return 2;
    }
    std::string json = Result(r, ReadWhole(outPath), ReadWhole(errPath));
    DeleteFileA(outPath.c_str());
    DeleteFileA(errPath.c_str());

    FILE* f = o.out.empty() ? stdout : fopen(o.out.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "debugger: cannot write %s\n", o.out.c_str());
        return 2;
    }
    fputs(json.c_str(), f);
    if (f != stdout)
        fclose(f);
    return r.error.empty() ? 0 : 1;
}
