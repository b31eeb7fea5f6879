// Text names of the adapter registers in hw/vga.h, for the tools that print what the utility reads
// and writes. Not part of the utility itself, which prints no register. Plain code with no C
// runtime: the diagnostic program has none.
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
