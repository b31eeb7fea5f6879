// The programming sequence: one timing set from the tables into the adapter, step by step in the
// order of the hardware table (hw/sequence.h), with no blanking, retrace wait or read-back in
// between.
#include <windows.h>

#include "hw/hw.h"
#include "hw/primitives.h"
#include "hw/sequence.h"
#include "hw/vga.h"

// The sequence's own values, after the selection's bytes (hw/sequence.h); the unlocked CRTC 0x11 is
// read at its step.
static const BYTE kOwnValues[] = {EXT_09_BIT0, 0, VGA_MIS_TIMING};

void WriteStep(const SequenceStep& step, BYTE value, RegisterWindow registers) {
    if (step.source == kValueUnlocked) {
        value = ReadIndexed(VGA_CRT_IC, step.index) & ~VGA_CR11_LOCK_CR0_CR7;
    }
    if (step.kind == kStepWindowByte) {
        StoreWindowByte(registers + step.index, value);
    } else if (step.kind == kStepMiscOutput) {
        WritePort(VGA_MIS_W, value);
    } else {
        WriteIndexed(step.kind == kStepCrtc ? VGA_CRT_IC : EXT_IC, step.index, value);
    }
}

// The steps [first, end) with the selection's bytes; the window's against registers.
static void WriteSteps(const TimingSelection* selection, RegisterWindow registers, int first, int end) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(selection);
    for (int i = first; i < end; ++i) {
        const SequenceStep& step = kTimingSequence[i];
        WriteStep(step,
                  step.source < kSelectionBytes ? bytes[step.source]
                                                : kOwnValues[step.source - kSelectionBytes],
                  registers);
    }
}

void ProgramTimingPorts(const TimingSelection* selection) {
    WriteSteps(selection, 0, 0, FirstWindowStep());
}

// Without a register window the port writes stay in effect, and nothing more is written.
void ProgramMappedWord(const TimingSelection* selection, RegisterWindow registers) {
    if (registers != 0) {
        WriteSteps(selection, registers, FirstWindowStep(), kTimingSequenceLength);
    }
}

void ProgramTiming(const TimingSelection* selection, RegisterWindow registers) {
    ProgramTimingPorts(selection);
    ProgramMappedWord(selection, registers);
}
