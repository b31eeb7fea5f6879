// A register model of the adapter, in plain portable C++: the host build drives it through the
// four hardware primitives, and the Win32 test debugger that runs the shipped executable under
// Wine drives it from the port, store and load faults it catches. Every access is recorded in order;
// nothing is dropped, and anything the model does not know is flagged.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace adapter {

// A linear address the simulated mapping driver hands out for the register window, the same on
// every run so that traces compare.
constexpr uint32_t kDefaultWindowBase = 0x60000000;
constexpr uint32_t kWindowSize        = 4;

enum class Op { In, Out, Store, Load };

struct Access {
    Op op;
    uint32_t where; // port for In/Out, linear address for Store/Load
    uint8_t value;
    bool undecoded; // a port or address the adapter does not decode
    bool operator==(const Access& other) const {
        return op == other.op && where == other.where && value == other.value && undecoded == other.undecoded;
    }
};

struct Adapter {
    std::array<uint8_t, 256> crtc{};
    std::array<uint8_t, 256> ext{};
    uint8_t crtcLatch   = 0;
    uint8_t extLatch    = 0;
    uint8_t miscOutput  = 0x67; // colour addressing, as the BIOS leaves a text mode
    uint32_t windowBase = kDefaultWindowBase;
    std::array<uint8_t, kWindowSize> window{};
    std::vector<Access> trace;
};

// Writes are as the adapter takes them: while bit 0 of extended 0x09 is clear, the timing registers
// (CRTC 0x00-0x07 and 0x10-0x16, extended CRTC 0x30-0x33, extended 0xC8-0xCB) ignore writes; while
// bit 7 of CRTC 0x11 is set, CRTC 0x00-0x07 do too, but for bit 4 of 0x07. Every write is recorded
// in the trace all the same.
//
// Power-on state the tests and tools start from: all registers zero except CRTC 0x11 = 0x8E (the
// BIOS text-mode value, write protection on) and miscellaneous output 0x67; CRTC 0x75 = 0x00
// (skip bit clear); both index latches 0x00; window bytes zero at kDefaultWindowBase. Every field
// of Adapter may be set before the program runs.
Adapter MakeAdapter();

uint8_t In(Adapter& adapter, uint16_t port);
void Out(Adapter& adapter, uint16_t port, uint8_t value);
void Store(Adapter& adapter, uint32_t address, uint8_t value);
// A byte read from the window; outside it the address floats high (0xFF) and is flagged.
uint8_t Load(Adapter& adapter, uint32_t address);

// Sets one register of the model before a program runs, from a setting written as
// KIND[:INDEX]=VALUE: "crtc:0x75=0x20", "ext:0x09=0x01", "misc=0x67", a byte of the register window
// "window:3=0x6F", or an index latch "crtc-index=0x5A", "ext-index=0xA5"; numbers in C notation,
// each one byte. False, with the model unchanged and what is wrong in *error, for anything else.
bool SetRegister(Adapter& adapter, const std::string& setting, std::string* error);

// Counts of the trace, for property checks.
size_t CountUndecoded(const Adapter& adapter);

// Every register, index latch and window byte that differs between two states of the adapter, by
// name ("CRTC index", "CRTC 0x11", "extended 0x09", "miscellaneous output", "window 0"), in that
// order; empty when they are alike. The trace is no register.
std::vector<std::string> ChangedRegisters(const Adapter& before, const Adapter& after);

// Human-readable lines for a trace, with the register each indexed write reaches, for example
// "CRTC 0x00 (horizontal total) <- A7". Latches are followed from the trace itself, starting at
// the given latch values.
std::vector<std::string> DescribeTrace(const std::vector<Access>& trace, uint8_t crtcLatch = 0,
                                       uint8_t extLatch = 0);

} // namespace adapter
