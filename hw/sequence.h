// The programming sequence's registers, in the order of the hardware table: one list that drives
// the programming (hw/program.cpp), the read-back before a trial and the writing back after it
// (hw/restore.cpp), and sizes what they keep and what a run's record holds.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "hw/vga.h"
#include "timing/timing.h"

// Where a step of the sequence writes.
enum SequenceStepKind {
    kStepCrtc,       // a CRTC register, behind VGA_CRT_IC
    kStepExt,        // an extended register, behind EXT_IC
    kStepMiscOutput, // the miscellaneous output register
    kStepWindowByte, // a byte of the register window
};

// What a step writes: a byte of the selection (the record's at their own places, then the offset,
// then the mapped word in table order), or one of the sequence's own values.
enum {
    kSelectionOffset = kTimingRecordSize,
    kSelectionWord   = kTimingRecordSize + 1,
    kSelectionBytes  = kSelectionWord + kMappedWordSize,
    kValueExt09      = kSelectionBytes, // EXT_09_BIT0: the timing registers take writes from here on
    kValueUnlocked,                     // CRTC 0x11 as read, with its lock bit clear
    kValueMiscTiming,                   // VGA_MIS_TIMING
};
static_assert(offsetof(TimingSelection, offset) == kSelectionOffset, "the offset follows the record");
static_assert(offsetof(TimingSelection, word) == kSelectionWord, "the word follows the offset");

struct SequenceStep {
    BYTE kind;   // SequenceStepKind
    BYTE index;  // the register's index, or the byte's place in the register window
    BYTE source; // what it writes
};

// clang-format off
inline constexpr SequenceStep kTimingSequence[] = {
    // register file   register                 value
    {kStepExt,         EXT_09,                  kValueExt09},
    // CRTC 0x00-0x07 ignore writes while the lock bit of 0x11 is set.
    {kStepCrtc,        VGA_CRTC_V_SYNC_END,     kValueUnlocked},
    {kStepCrtc,        VGA_CRTC_H_TOTAL,        kRecordCrtc00 + 0},
    {kStepCrtc,        VGA_CRTC_H_DISP,         kRecordCrtc00 + 1},
    {kStepCrtc,        VGA_CRTC_H_BLANK_START,  kRecordCrtc00 + 2},
    {kStepCrtc,        VGA_CRTC_H_BLANK_END,    kRecordCrtc00 + 3},
    {kStepCrtc,        VGA_CRTC_H_SYNC_START,   kRecordCrtc00 + 4},
    {kStepCrtc,        VGA_CRTC_H_SYNC_END,     kRecordCrtc00 + 5},
    {kStepCrtc,        VGA_CRTC_V_TOTAL,        kRecordCrtc00 + 6},
    {kStepCrtc,        VGA_CRTC_OVERFLOW,       kRecordCrtc00 + 7},
    {kStepCrtc,        VGA_CRTC_V_SYNC_START,   kRecordCrtc10},
    {kStepCrtc,        VGA_CRTC_V_SYNC_END,     kRecordCrtc11},    // lock bit as the table has it
    {kStepCrtc,        VGA_CRTC_V_DISP_END,     kRecordCrtc12},
    {kStepCrtc,        VGA_CRTC_OFFSET,         kSelectionOffset}, // by depth, not from the record
    {kStepCrtc,        VGA_CRTC_V_BLANK_START,  kRecordCrtc15},
    {kStepCrtc,        VGA_CRTC_V_BLANK_END,    kRecordCrtc16},
    {kStepCrtc,        EXT_CRTC_30,             kRecordCrtc30 + 0},
    {kStepCrtc,        EXT_CRTC_31,             kRecordCrtc30 + 1},
    {kStepCrtc,        EXT_CRTC_32,             kRecordCrtc30 + 2},
    {kStepCrtc,        EXT_CRTC_33,             kRecordCrtc30 + 3},
    {kStepMiscOutput,  0,                       kValueMiscTiming},
    {kStepExt,         EXT_C8,                  kRecordExtC8 + 0},
    {kStepExt,         EXT_C9,                  kRecordExtC8 + 1},
    {kStepExt,         EXT_CA,                  kRecordExtC8 + 2},
    {kStepExt,         EXT_CB,                  kRecordExtC8 + 3},
    // Once more, now that 0xC8-0xCB hold their new values.
    {kStepMiscOutput,  0,                       kValueMiscTiming},
    // The table holds the word most significant byte first; one byte store each, from the top down.
    {kStepWindowByte,  3,                       kSelectionWord + 0},
    {kStepWindowByte,  2,                       kSelectionWord + 1},
    {kStepWindowByte,  1,                       kSelectionWord + 2},
    {kStepWindowByte,  0,                       kSelectionWord + 3},
};
// clang-format on

enum { kTimingSequenceLength = sizeof kTimingSequence / sizeof kTimingSequence[0] };

// Where the register window's steps begin: everything before them goes through the ports.
constexpr int FirstWindowStep() {
    int i = 0;
    while (i < kTimingSequenceLength && kTimingSequence[i].kind != kStepWindowByte) {
        ++i;
    }
    return i;
}

// The adapter accesses of a step: an indexed write is two, the unlock a read and a write of two each,
// the miscellaneous output and a window byte one.
constexpr int StepAccesses(const SequenceStep& step) {
    return step.source == kValueUnlocked                                  ? 4
           : step.kind == kStepMiscOutput || step.kind == kStepWindowByte ? 1
                                                                          : 2;
}

constexpr int SequenceAccesses(int first, int end) {
    int n = 0;
    for (int i = first; i < end; ++i) {
        n += StepAccesses(kTimingSequence[i]);
    }
    return n;
}
