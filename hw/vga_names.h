// Text names of the adapter registers in hw/vga.h, and one adapter access as a line of text, for
// the programs and tools that print what the utility reads and writes: the diagnostic's report,
// refresh-sim's, the adapter model's trace. Not part of the utility itself, which prints no
// register. Plain code with no C runtime: the diagnostic program has none.
#pragma once

struct VgaRegisterName {
    unsigned char index;
    const char* name;
};

// Behind VGA_CRT_IC: the standard and extended CRTC registers the utility touches, in index order.
extern const VgaRegisterName kCrtcRegisterNames[];
extern const int kCrtcRegisterNameCount;

// Behind EXT_IC: the extended registers the utility touches, in index order.
extern const VgaRegisterName kExtRegisterNames[];
extern const int kExtRegisterNameCount;

// The name of one register, or 0 for one the utility does not touch.
const char* CrtcRegisterName(unsigned char index);
const char* ExtRegisterName(unsigned char index);

// The name of an index port, VGA_CRT_IC "CRTC index" or EXT_IC "extended index"; 0 for another.
const char* IndexPortName(unsigned long port);

enum VgaAccessKind {
    kVgaAccessIn,    // a port read
    kVgaAccessOut,   // a port write
    kVgaAccessStore, // a byte store into the register window
    kVgaAccessLoad,  // a byte load from the register window
};

enum { kVgaAccessTextSize = 96 };

// One access as a line, with the register an indexed access reaches, for example
// "CRTC 0x00 (horizontal total) <- A3". The index latches are followed from the accesses
// themselves: an index write updates *crtcLatch or *extLatch. `undecoded` marks a port or address
// the adapter does not answer.
void DescribeVgaAccess(char line[kVgaAccessTextSize], VgaAccessKind kind, unsigned long where,
                       unsigned char value, int undecoded, unsigned char* crtcLatch, unsigned char* extLatch);
