// The program under test as its debugger sees it: its process and threads, its memory, its
// threads' registers, what a thread's next single step completes, and the first error that cuts
// the run short.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// Work left for the single step a thread is making.
struct Pending {
    enum Kind { kNone, kStore, kLoad, kRearm } kind = kNone;
    uint32_t address                                = 0; // store or load target, or breakpoint address
    unsigned width                                  = 0; // bytes of the store or load
};

struct Debuggee {
    HANDLE process = nullptr;
    DWORD pid      = 0;
    std::map<DWORD, HANDLE> threads;
    std::map<DWORD, Pending> pending;
    std::string error; // empty while the run goes on
};

bool Read(Debuggee& d, uint32_t addr, void* buf, size_t n);
uint32_t ReadU32(Debuggee& d, uint32_t addr);

bool Write(Debuggee& d, uint32_t addr, const void* buf, size_t n);

// Writes one byte of code (a breakpoint, or the byte it replaced).
bool WriteCode(Debuggee& d, uint32_t addr, uint8_t byte);

// A thread's control and integer registers.
struct Ctx {
    HANDLE thread;
    CONTEXT c;
};

constexpr DWORD kTrapFlag = 0x100; // EFLAGS.TF: single step

bool GetCtx(Debuggee& d, DWORD tid, Ctx* x);
bool SetCtx(Ctx* x);

// Keeps the first reason and ends the program.
void Fail(Debuggee& d, const std::string& why);

std::string Hex(uint32_t v);
