// The read-back before a trial and the writing back after it: every register the programming
// sequence writes (hw/program.cpp), in the sequence's order, and the two index latches around them.
// A file of its own, so that the utility, which never undoes a timing, links none of it.
#include <windows.h>

#include "hw/hw.h"
#include "hw/primitives.h"
#include "hw/vga.h"

// The register files, as in the sequence. Always inline: they name the file and cost no byte.
__attribute__((always_inline)) static inline BYTE ReadCrtc(BYTE index) {
    return ReadIndexed(VGA_CRT_IC, index);
}

__attribute__((always_inline)) static inline BYTE ReadExt(BYTE index) {
    return ReadIndexed(EXT_IC, index);
}

__attribute__((always_inline)) static inline void WriteCrtc(BYTE index, BYTE value) {
    WriteIndexed(VGA_CRT_IC, index, value);
}

__attribute__((always_inline)) static inline void WriteExt(BYTE index, BYTE value) {
    WriteIndexed(EXT_IC, index, value);
}

void ReadAdapterRegisters(RegisterWindow window, AdapterRegisters* saved) {
    // The latches first: every read below moves them.
    saved->crtcIndex = ReadPort(VGA_CRT_IC);
    saved->extIndex  = ReadPort(EXT_IC);

    // clang-format off
    saved->ext09    = ReadExt(EXT_09);

    saved->crtc[0]  = ReadCrtc(VGA_CRTC_H_TOTAL);
    saved->crtc[1]  = ReadCrtc(VGA_CRTC_H_DISP);
    saved->crtc[2]  = ReadCrtc(VGA_CRTC_H_BLANK_START);
    saved->crtc[3]  = ReadCrtc(VGA_CRTC_H_BLANK_END);
    saved->crtc[4]  = ReadCrtc(VGA_CRTC_H_SYNC_START);
    saved->crtc[5]  = ReadCrtc(VGA_CRTC_H_SYNC_END);
    saved->crtc[6]  = ReadCrtc(VGA_CRTC_V_TOTAL);
    saved->crtc[7]  = ReadCrtc(VGA_CRTC_OVERFLOW);
    saved->crtc[8]  = ReadCrtc(VGA_CRTC_V_SYNC_START);
    saved->crtc[9]  = ReadCrtc(VGA_CRTC_V_SYNC_END); // lock bit as found
    saved->crtc[10] = ReadCrtc(VGA_CRTC_V_DISP_END);
    saved->crtc[11] = ReadCrtc(VGA_CRTC_OFFSET);
    saved->crtc[12] = ReadCrtc(VGA_CRTC_V_BLANK_START);
    saved->crtc[13] = ReadCrtc(VGA_CRTC_V_BLANK_END);
    saved->crtc[14] = ReadCrtc(EXT_CRTC_30);
    saved->crtc[15] = ReadCrtc(EXT_CRTC_31);
    saved->crtc[16] = ReadCrtc(EXT_CRTC_32);
    saved->crtc[17] = ReadCrtc(EXT_CRTC_33);

    saved->miscOutput = ReadPort(VGA_MIS_R);

    saved->extC8[0] = ReadExt(EXT_C8);
    saved->extC8[1] = ReadExt(EXT_C9);
    saved->extC8[2] = ReadExt(EXT_CA);
    saved->extC8[3] = ReadExt(EXT_CB);

    saved->window[3] = LoadWindowByte(window + 3);
    saved->window[2] = LoadWindowByte(window + 2);
    saved->window[1] = LoadWindowByte(window + 1);
    saved->window[0] = LoadWindowByte(window + 0);
    // clang-format on
}

void WriteAdapterRegisters(RegisterWindow window, const AdapterRegisters* saved) {
    WriteExt(EXT_09, saved->ext09);

    // CRTC 0x00-0x07 ignore writes while the lock bit of 0x11 is set: the trial may have set it.
    BYTE verticalSyncEnd = ReadIndexed(VGA_CRT_IC, VGA_CRTC_V_SYNC_END);
    WriteCrtc(VGA_CRTC_V_SYNC_END, verticalSyncEnd & ~VGA_CR11_LOCK_CR0_CR7);

    // clang-format off
    WriteCrtc(VGA_CRTC_H_TOTAL,       saved->crtc[0]);
    WriteCrtc(VGA_CRTC_H_DISP,        saved->crtc[1]);
    WriteCrtc(VGA_CRTC_H_BLANK_START, saved->crtc[2]);
    WriteCrtc(VGA_CRTC_H_BLANK_END,   saved->crtc[3]);
    WriteCrtc(VGA_CRTC_H_SYNC_START,  saved->crtc[4]);
    WriteCrtc(VGA_CRTC_H_SYNC_END,    saved->crtc[5]);
    WriteCrtc(VGA_CRTC_V_TOTAL,       saved->crtc[6]);
    WriteCrtc(VGA_CRTC_OVERFLOW,      saved->crtc[7]);
    WriteCrtc(VGA_CRTC_V_SYNC_START,  saved->crtc[8]);
    WriteCrtc(VGA_CRTC_V_SYNC_END,    saved->crtc[9]); // the lock bit as found
    WriteCrtc(VGA_CRTC_V_DISP_END,    saved->crtc[10]);
    WriteCrtc(VGA_CRTC_OFFSET,        saved->crtc[11]);
    WriteCrtc(VGA_CRTC_V_BLANK_START, saved->crtc[12]);
    WriteCrtc(VGA_CRTC_V_BLANK_END,   saved->crtc[13]);
    WriteCrtc(EXT_CRTC_30,            saved->crtc[14]);
    WriteCrtc(EXT_CRTC_31,            saved->crtc[15]);
    WriteCrtc(EXT_CRTC_32,            saved->crtc[16]);
    WriteCrtc(EXT_CRTC_33,            saved->crtc[17]);

    WritePort(VGA_MIS_W, saved->miscOutput);

    WriteExt(EXT_C8, saved->extC8[0]);
    WriteExt(EXT_C9, saved->extC8[1]);
    WriteExt(EXT_CA, saved->extC8[2]);
    WriteExt(EXT_CB, saved->extC8[3]);

    // Once more, as the sequence does, so that the clock takes 0xC8-0xCB as found, not the trial's.
    WritePort(VGA_MIS_W, saved->miscOutput);

    StoreWindowByte(window + 3, saved->window[3]);
    StoreWindowByte(window + 2, saved->window[2]);
    StoreWindowByte(window + 1, saved->window[1]);
    StoreWindowByte(window + 0, saved->window[0]);

    // Last: another program's next data access must find the register it selected.
    WritePort(VGA_CRT_IC, saved->crtcIndex);
    WritePort(EXT_IC,     saved->extIndex);
    // clang-format on
}
