// Adapter access: byte-wide port I/O, the skip-bit probe, the memory-mapped register window, and
// the programming sequence that writes one timing set into the adapter. Nothing here decides or
// tells the user anything: each asking reports what it found, and the program that asked says it.
#pragma once

#include <windows.h>

#include "hw/sequence.h"
#include "timing/timing.h"

// Linear address of the adapter's register window, as the mapping VxD hands it out; 0 when no
// window could be had.
typedef UINT32 RegisterWindow;

// Port access: ReadPort, WritePort, StoreWindowByte and LoadWindowByte (hw/primitives.h), each
// program's own, and the indexed access over them.
BYTE ReadIndexed(WORD port, BYTE index);
void WriteIndexed(WORD port, BYTE index, BYTE value);
// Reads extended CRTC 0x75 (its value into *extCrtc75); not 0 when its skip bit is set: the
// adapter's timing is not to be touched.
int IsSkipBitSet(BYTE* extCrtc75);

// What the mapping VxD answered when asked for the register window.
enum VxdAnswer {
    kVxdNotAsked,
    kVxdWindow,      // a window, at a linear address other than 0
    kVxdAddressZero, // the control call succeeded, but with address 0 (or without writing its answer)
    kVxdCallFails,   // the VxD opened, but its control call failed
    kVxdDoesNotOpen, // the open failed; GetLastError's code (ERROR_NOT_SUPPORTED: no DeviceIoControl)
};
// Asks the mapping VxD for the register window, once: the address it answers into *registers where
// its control call succeeds (kVxdWindow, kVxdAddressZero), the open's error code into *error where it
// does not open; what the other leaves untouched is not to be read.
VxdAnswer AskMappingVxd(RegisterWindow* registers, DWORD* error);

// The programming sequence (hw/sequence.h) with the selection's values: the port steps, then the
// register window's bytes, which are left out where registers is 0.
void ProgramTiming(const TimingSelection* selection, RegisterWindow registers);
// The same in two halves, for a program that asks for the window only after the port steps.
void ProgramTimingPorts(const TimingSelection* selection);
void ProgramMappedWord(const TimingSelection* selection, RegisterWindow registers);
// One step of the sequence with `value` (the unlock reads CRTC 0x11 and writes it with its lock bit
// clear, whatever the value), a window byte against registers.
void WriteStep(const SequenceStep& step, BYTE value, RegisterWindow registers);

// Every register the programming sequence writes, as found before a trial, and the two index
// latches, so that a trial can be undone.
struct AdapterRegisters {
    BYTE crtcIndex;                    // the CRTC index latch, read at VGA_CRT_IC
    BYTE extIndex;                     // the extended index latch, read at EXT_IC
    BYTE found[kTimingSequenceLength]; // the register of each step of the sequence (none for the unlock)
};
// Reads them all, the index latches first, before anything moves them. registers is never 0.
void ReadAdapterRegisters(RegisterWindow registers, AdapterRegisters* saved);
// Writes them all back in the sequence's order, extended 0x09 with its bit 0 set at its step and as
// found after the last register, the CRTC lock handled as the sequence handles it, and the index
// latches last, as found.
void WriteAdapterRegisters(RegisterWindow registers, const AdapterRegisters* saved);
