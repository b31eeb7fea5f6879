// The report's text: plain helpers with no C runtime (the diagnostic has none), and one adapter
// access as a line of text, for the diagnostic's and refresh-sim's report and the adapter model's
// trace.
#pragma once

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

// Text helpers over a buffer the caller sized: each writes at p and returns the new end, with a
// terminating zero after it.
char* PutText(char* p, const char* text);
char* PutHex(char* p, unsigned long value, int digits);
char* PutDecimal(char* p, long value);
