// Adapter access: byte-wide port I/O, the skip-bit probe, the memory-mapped register window, and
// the programming sequence that writes one timing set into the adapter.
#pragma once

#include <windows.h>

#include "timing/timing.h"

// Linear address of the adapter's register window, as the mapping driver hands it out; 0 when
// no window could be had.
typedef UINT32 RegisterWindow;

// Port access: ReadPort, WritePort, StoreWindowByte and LoadWindowByte (hw/primitives.h), each
// program's own, and the indexed access over them.
BYTE ReadIndexed(WORD port, BYTE index);
void WriteIndexed(WORD port, BYTE index, BYTE value);
int IsSkipBitSet();
RegisterWindow MapRegisterWindow();
// Writes one timing set into the adapter, register by register; it decides nothing.
void ProgramTiming(const TimingSelection* selection);

// Every register the programming sequence writes, as found before a trial, and the two index
// latches, so that a trial can be undone.
struct AdapterRegisters {
    BYTE crtcIndex;  // the CRTC index latch, read at VGA_CRT_IC
    BYTE extIndex;   // the extended index latch, read at EXT_IC
    BYTE ext09;      // extended 0x09
    BYTE crtc[18];   // in the sequence's order: 0x00-0x07, 0x10, 0x11, 0x12, 0x13, 0x15, 0x16, 0x30-0x33
    BYTE miscOutput; // read at 0x3CC
    BYTE extC8[4];   // extended 0xC8-0xCB
    BYTE window[4];  // the register window's bytes w+0 .. w+3
};
// Reads them all, the index latches first, before anything moves them. window is never 0.
void ReadAdapterRegisters(RegisterWindow window, AdapterRegisters* saved);
// Writes them all back in the sequence's order, the CRTC lock handled as the sequence handles it,
// and the index latches last, as found.
void WriteAdapterRegisters(RegisterWindow window, const AdapterRegisters* saved);

// Writes text to the process's standard output at once; dropped when it has none.
void WriteStandardOutput(const char* text, int length);
