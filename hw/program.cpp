// The programming sequence: one timing set from the tables into the adapter, in the fixed order of
// the register table, with no blanking, retrace wait or read-back in between.
#include <windows.h>

#include "hw/hw.h"
#include "hw/primitives.h"
#include "hw/vga.h"
#include "timing/timing.h"

// The register files the sequence reaches, on top of WriteIndexed. Always inline: they name the
// file and cost no byte.
__attribute__((always_inline)) static inline void WriteCrtc(BYTE index, BYTE value) {
    WriteIndexed(VGA_CRT_IC, index, value);
}

__attribute__((always_inline)) static inline void WriteExt(BYTE index, BYTE value) {
    WriteIndexed(EXT_IC, index, value);
}

void ProgramTiming(const TimingSelection* selection) {
    const BYTE* record = selection->record;

    WriteExt(EXT_09, EXT_09_BIT0);

    // CRTC 0x00-0x07 ignore writes while the lock bit of 0x11 is set.
    BYTE verticalSyncEnd = ReadIndexed(VGA_CRT_IC, VGA_CRTC_V_SYNC_END);
    WriteCrtc(VGA_CRTC_V_SYNC_END, verticalSyncEnd & ~VGA_CR11_LOCK_CR0_CR7);

    // clang-format off
    WriteCrtc(VGA_CRTC_H_TOTAL,       record[kRecordCrtc00 + 0]);
    WriteCrtc(VGA_CRTC_H_DISP,        record[kRecordCrtc00 + 1]);
    WriteCrtc(VGA_CRTC_H_BLANK_START, record[kRecordCrtc00 + 2]);
    WriteCrtc(VGA_CRTC_H_BLANK_END,   record[kRecordCrtc00 + 3]);
    WriteCrtc(VGA_CRTC_H_SYNC_START,  record[kRecordCrtc00 + 4]);
    WriteCrtc(VGA_CRTC_H_SYNC_END,    record[kRecordCrtc00 + 5]);
    WriteCrtc(VGA_CRTC_V_TOTAL,       record[kRecordCrtc00 + 6]);
    WriteCrtc(VGA_CRTC_OVERFLOW,      record[kRecordCrtc00 + 7]);
    WriteCrtc(VGA_CRTC_V_SYNC_START,  record[kRecordCrtc10]);
    WriteCrtc(VGA_CRTC_V_SYNC_END,    record[kRecordCrtc11]); // lock bit as the table has it
    WriteCrtc(VGA_CRTC_V_DISP_END,    record[kRecordCrtc12]);
    WriteCrtc(VGA_CRTC_OFFSET,        selection->offset); // by depth, not from the record
    WriteCrtc(VGA_CRTC_V_BLANK_START, record[kRecordCrtc15]);
    WriteCrtc(VGA_CRTC_V_BLANK_END,   record[kRecordCrtc16]);
    WriteCrtc(EXT_CRTC_30,            record[kRecordCrtc30 + 0]);
    WriteCrtc(EXT_CRTC_31,            record[kRecordCrtc30 + 1]);
    WriteCrtc(EXT_CRTC_32,            record[kRecordCrtc30 + 2]);
    WriteCrtc(EXT_CRTC_33,            record[kRecordCrtc30 + 3]);

    WritePort(VGA_MIS_W, VGA_MIS_TIMING);

    WriteExt(EXT_C8, record[kRecordExtC8 + 0]);
    WriteExt(EXT_C9, record[kRecordExtC8 + 1]);
    WriteExt(EXT_CA, record[kRecordExtC8 + 2]);
    WriteExt(EXT_CB, record[kRecordExtC8 + 3]);

    // Once more, now that 0xC8-0xCB hold their new values.
    WritePort(VGA_MIS_W, VGA_MIS_TIMING);
    // clang-format on

    // Without a register window the port writes above stay in effect.
    RegisterWindow registers = MapRegisterWindow();
    if (registers == 0) {
        return;
    }
    // The table holds the word most significant byte first; one byte store each, from the top down.
    StoreWindowByte(registers + 3, selection->word[0]);
    StoreWindowByte(registers + 2, selection->word[1]);
    StoreWindowByte(registers + 1, selection->word[2]);
    StoreWindowByte(registers + 0, selection->word[3]);
}
