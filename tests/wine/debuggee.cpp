#include "debuggee.h"

#include <cstdio>
#include <cstring>

bool Read(Debuggee& d, uint32_t addr, void* buf, size_t n) {
    SIZE_T got = 0;
    return ReadProcessMemory(d.process, reinterpret_cast<void*>(addr), buf, n, &got) && got == n;
}

uint32_t ReadU32(Debuggee& d, uint32_t addr) {
    uint32_t v = 0;
    Read(d, addr, &v, 4);
    return v;
}

bool Write(Debuggee& d, uint32_t addr, const void* buf, size_t n) {
    SIZE_T put = 0;
    return WriteProcessMemory(d.process, reinterpret_cast<void*>(addr), buf, n, &put) && put == n;
}

bool WriteCode(Debuggee& d, uint32_t addr, uint8_t byte) {
    void* p = reinterpret_cast<void*>(addr);
    DWORD old;
    if (!VirtualProtectEx(d.process, p, 1, PAGE_EXECUTE_READWRITE, &old)) {
        return false;
    }
    SIZE_T n = 0;
    BOOL ok  = WriteProcessMemory(d.process, p, &byte, 1, &n);
    VirtualProtectEx(d.process, p, 1, old, &old);
    FlushInstructionCache(d.process, p, 1);
    return ok && n == 1;
}

bool GetCtx(Debuggee& d, DWORD tid, Ctx* x) {
    auto it = d.threads.find(tid);
    if (it == d.threads.end()) {
        return false;
    }
    x->thread = it->second;
    std::memset(&x->c, 0, sizeof x->c);
    x->c.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    return GetThreadContext(x->thread, &x->c) != 0;
}

bool SetCtx(Ctx* x) {
    return SetThreadContext(x->thread, &x->c) != 0;
}

void Fail(Debuggee& d, const std::string& why) {
    if (d.error.empty()) {
        d.error = why;
    }
    TerminateProcess(d.process, 0xDEB6FA11);
}

std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08lx", static_cast<unsigned long>(v));
    return b;
}
