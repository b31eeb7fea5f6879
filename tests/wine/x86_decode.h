// Decoding of the instructions by which the program under test reaches the adapter: IN/OUT, and the
// stores and loads that fault in the register window. Plain portable C++ with no Win32 in it, so that the
// host build tests it; the Win32 debugger reads the bytes at EIP and asks here what they do.
#pragma once

#include <cstddef>
#include <cstdint>

#include "adapter/adapter.h"

namespace x86 {

// Bytes the debugger reads at EIP: the longest x86 instruction.
constexpr size_t kMaxInstruction = 16;

enum class PortForm {
    kNone,   // not a port instruction
    kInOut,  // IN or OUT, with an imm8 or a DX port
    kString, // INS or OUTS, with or without REP: refused, the debugger does not emulate them
};

struct PortInstruction {
    PortForm form;
    bool in;        // IN: port to AL/AX/EAX; OUT: AL/AX/EAX to port
    bool viaDx;     // the port is DX; otherwise the imm8 below
    uint8_t imm8;   // the port of the imm8 forms
    unsigned width; // bytes: 1, 2 (operand-size prefix) or 4
    size_t length;  // bytes, prefixes included
};

// What the instruction at code does to the ports. code holds kMaxInstruction bytes.
PortInstruction DecodePort(const uint8_t* code);

// Runs a decoded IN/OUT on the model as byte accesses at port, port+1, ..., which is how the ISA bus
// hands a 16- or 32-bit access to an 8-bit device. Returns EAX afterwards: an IN replaces AL, AX or
// EAX and keeps the rest.
uint32_t RunPortInstruction(adapter::Adapter& model, const PortInstruction& insn, uint32_t eax, uint32_t edx);

// How many bytes the storing instruction at code writes (one element of a string store); 0 for a
// form not known here, so that the debugger stops instead of recording a wrong width. code holds
// kMaxInstruction bytes.
unsigned StoreWidth(const uint8_t* code);

// How many bytes the instruction at code reads from memory, for the forms that only read it (one
// element of a string load); 0 for any other, so that the debugger stops instead of recording a
// wrong width. code holds kMaxInstruction bytes.
unsigned LoadWidth(const uint8_t* code);

} // namespace x86
