// The read-back before a trial and the writing back after it: every register the programming
// sequence writes (hw/sequence.h), step by step in the sequence's order, and the two index latches
// around them. A file of its own, so that the utility, which never undoes a timing, links none of
// it.
#include <windows.h>

#include "hw/hw.h"
#include "hw/primitives.h"
#include "hw/sequence.h"
#include "hw/vga.h"

static WORD IndexPort(const SequenceStep& step) {
    return step.kind == kStepCrtc ? VGA_CRT_IC : EXT_IC;
}

void ReadAdapterRegisters(RegisterWindow registers, AdapterRegisters* saved) {
    // The latches first: every read below moves them.
    saved->crtcIndex = ReadPort(VGA_CRT_IC);
    saved->extIndex  = ReadPort(EXT_IC);

    int miscRead = -1; // the step whose read holds the miscellaneous output register
    for (int i = 0; i < kTimingSequenceLength; ++i) {
        const SequenceStep& step = kTimingSequence[i];
        BYTE* found              = &saved->found[i];
        if (step.source == kValueUnlocked) {
            *found = 0; // CRTC 0x11 is read at its own step
        } else if (step.kind == kStepWindowByte) {
            *found = LoadWindowByte(registers + step.index);
        } else if (step.kind != kStepMiscOutput) {
            *found = ReadIndexed(IndexPort(step), step.index);
        } else if (miscRead < 0) {
            // One register, written twice by the sequence: read once.
            miscRead = i;
            *found   = ReadPort(VGA_MIS_R);
        } else {
            *found = saved->found[miscRead];
        }
    }
}

// In the order that makes every write count: extended 0x09 with its bit 0 set first, as the sequence
// sets it, so that the timing registers take what follows whatever 0x09 held; then every register
// as found; 0x09 as found last of all; then the index latches.
void WriteAdapterRegisters(RegisterWindow registers, const AdapterRegisters* saved) {
    BYTE ext09 = 0;
    for (int i = 0; i < kTimingSequenceLength; ++i) {
        const SequenceStep& step = kTimingSequence[i];
        BYTE value               = saved->found[i];
        if (step.source == kValueExt09) {
            ext09 = value;
            value |= EXT_09_BIT0;
        }
        // As the sequence writes it: the trial may have set CRTC 0x11's lock bit, so the unlock
        // reads it anew, and the found 0x11 goes back at its own step; the second write of the
        // miscellaneous output makes the clock take 0xC8-0xCB as found.
        WriteStep(step, value, registers);
    }

    WriteIndexed(EXT_IC, EXT_09, ext09);
    // Last: another program's next data access must find the register it selected.
    WritePort(VGA_CRT_IC, saved->crtcIndex);
    WritePort(EXT_IC, saved->extIndex);
}
