#include "emulation.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "physwin_window.h"
#include "x86_decode.h"

// The double's window and the model's must be one and the same, or every store would be recorded
// as outside the window.
static_assert(PHYSWIN_WINDOW_BASE == adapter::kDefaultWindowBase,
              "the mapping-driver double and the adapter model disagree on the window");

namespace {

const Window* WindowAt(const Emulation& e, uint32_t addr) {
    for (const Window& w : e.windows) {
        if (addr - w.base < w.size) {
            return &w;
        }
    }
    return nullptr;
}

bool SetWindowProtection(Debuggee& d, const Window& w, DWORD prot) {
    DWORD old;
    return VirtualProtectEx(d.process, reinterpret_cast<void*>(w.base), w.size, prot, &old) != 0;
}

// The faulting instruction at EIP and the width of its access by `width`; false when the run
// stops, with the reason kept.
bool DecodeAccess(Debuggee& d, DWORD tid, uint32_t addr, unsigned (*width)(const uint8_t*), const char* what,
                  Ctx* x, unsigned* bytes) {
    uint8_t code[x86::kMaxInstruction];
    if (!GetCtx(d, tid, x) || !Read(d, x->c.Eip, code, sizeof code)) {
        Fail(d, std::string("cannot read the ") + what + " instruction");
        return false;
    }
    *bytes = width(code);
    if (!*bytes) {
        Fail(d, std::string("unknown ") + what + " instruction at " + Hex(x->c.Eip) + ", window address " +
                    Hex(addr));
        return false;
    }
    return true;
}

// Single-steps the faulting instruction, which then completes `kind`.
void StepOver(Debuggee& d, DWORD tid, Ctx* x, Pending::Kind kind, uint32_t addr, unsigned width) {
    x->c.EFlags |= kTrapFlag;
    SetCtx(x);
    Pending& p = d.pending[tid];
    p.kind     = kind;
    p.address  = addr;
    p.width    = width;
}

} // namespace

Emu EmulatePortIo(Debuggee& d, Emulation& e, DWORD tid) {
    Ctx x;
    if (!GetCtx(d, tid, &x)) {
        return Emu::kNotIo;
    }
    uint8_t code[x86::kMaxInstruction];
    if (!Read(d, x.c.Eip, code, sizeof code)) {
        return Emu::kNotIo;
    }
    x86::PortInstruction insn = x86::DecodePort(code);
    if (insn.form == x86::PortForm::kString) {
        Fail(d, "INS/OUTS at " + Hex(x.c.Eip) + " is not emulated");
        return Emu::kFailed;
    }
    if (insn.form == x86::PortForm::kNone) {
        return Emu::kNotIo;
    }
    x.c.Eax = x86::RunPortInstruction(e.model, insn, x.c.Eax, x.c.Edx);
    x.c.Eip += static_cast<DWORD>(insn.length);
    if (!SetCtx(&x)) {
        Fail(d, "cannot set the thread context after a port access");
        return Emu::kFailed;
    }
    return Emu::kDone;
}

bool BeginStore(Debuggee& d, Emulation& e, DWORD tid, uint32_t addr) {
    const Window* w = WindowAt(e, addr);
    if (!w) {
        return false;
    }
    Ctx x;
    unsigned width;
    if (!DecodeAccess(d, tid, addr, x86::StoreWidth, "storing", &x, &width)) {
        return true;
    }
    // An instruction that also reads (an ALU store) finds the model's bytes, not stale ones.
    if (!SetWindowProtection(d, *w, PAGE_READWRITE) ||
        !Write(d, e.model.windowBase, e.model.window.data(), e.model.window.size())) {
        Fail(d, "cannot open the register window for writing");
        return true;
    }
    StepOver(d, tid, &x, Pending::kStore, addr, width);
    return true;
}

void FinishStore(Debuggee& d, Emulation& e, const Pending& p) {
    uint8_t bytes[4] = {};
    if (!Read(d, p.address, bytes, p.width)) {
        Fail(d, "cannot read back a store at " + Hex(p.address));
        return;
    }
    for (unsigned k = 0; k < p.width; ++k) {
        adapter::Store(e.model, p.address + k, bytes[k]);
    }
    if (const Window* w = WindowAt(e, p.address)) {
        SetWindowProtection(d, *w, PAGE_NOACCESS);
    }
}

bool BeginLoad(Debuggee& d, Emulation& e, DWORD tid, uint32_t addr) {
    const Window* w = WindowAt(e, addr);
    if (!w) {
        return false;
    }
    Ctx x;
    unsigned width;
    if (!DecodeAccess(d, tid, addr, x86::LoadWidth, "loading", &x, &width)) {
        return true;
    }
    uint8_t bytes[4];
    for (unsigned k = 0; k < width; ++k) {
        bytes[k] = adapter::Load(e.model, addr + k);
    }
    if (!SetWindowProtection(d, *w, PAGE_READWRITE) || !Write(d, addr, bytes, width) ||
        !SetWindowProtection(d, *w, PAGE_READONLY)) {
        Fail(d, "cannot put the model's bytes into the register window at " + Hex(addr));
        return true;
    }
    StepOver(d, tid, &x, Pending::kLoad, addr, width);
    return true;
}

void FinishLoad(Debuggee& d, Emulation& e, const Pending& p) {
    if (const Window* w = WindowAt(e, p.address)) {
        SetWindowProtection(d, *w, PAGE_NOACCESS);
    }
}

void OnDebugString(Debuggee& d, Emulation& e, const OUTPUT_DEBUG_STRING_INFO& info) {
    if (info.fUnicode || info.nDebugStringLength < 2) {
        return;
    }
    std::string s(info.nDebugStringLength, '\0');
    if (!Read(d, reinterpret_cast<uint32_t>(info.lpDebugStringData), &s[0], s.size())) {
        return;
    }
    s.resize(std::strlen(s.c_str()));
    if (s.compare(0, std::strlen(PHYSWIN_TAG), PHYSWIN_TAG) != 0) {
        return;
    }
    DriverCall c{};
    unsigned long v[7];
    if (std::sscanf(s.c_str() + std::strlen(PHYSWIN_TAG),
                    " code=%lx in=%lx out=%lx ok=%lu error=%lx base=%lx size=%lx", &v[0], &v[1], &v[2], &v[3],
                    &v[4], &v[5], &v[6]) != 7) {
        Fail(d, "mapping driver says: " + s);
        return;
    }
    c.code    = v[0];
    c.inSize  = v[1];
    c.outSize = v[2];
    c.ok      = v[3] != 0;
    c.error   = v[4];
    c.base    = v[5];
    c.size    = v[6];
    e.driverCalls.push_back(c);
    if (!c.ok || !c.base) {
        return;
    }
    if (c.base != e.model.windowBase) {
        Fail(d, "the mapping driver handed out " + Hex(c.base) + ", the model's window is at " +
                    Hex(e.model.windowBase));
        return;
    }
    if (c.size && !WindowAt(e, c.base)) {
        e.windows.push_back({c.base, c.size});
    }
}
