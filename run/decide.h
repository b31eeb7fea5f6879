// The utility's run up to the point where it programs the adapter: each decision in the order the
// run makes it, kept with its reason where it is made. The utility acts on it (app/run.cpp); the
// diagnostic's report and the rate chooser read the same decisions, so that no program works a
// decision out again.
#pragma once

#include <windows.h>

#include "hw/hw.h"
#include "probe/probe.h"
#include "timing/timing.h"

// Where the run stops, or that it goes on to program the adapter: the first that holds, in the
// order the run meets them.
enum RunStop {
    kRunProgramsAdapter,
    kStopDriverCheck,    // system.ini does not open or does not name the served driver (driver says which)
    kStopSkipBit,        // extended CRTC 0x75 asks to be left alone
    kStopColoursUnknown, // the display could not be asked for its depth: 0 bits per pixel
    kStopSixteenColours, // 4 bits per pixel or fewer: planar modes the tables do not cover
    kStopNoTiming,       // the tables hold no timing for the display state (timing says why)
};

// 16-colour and monochrome displays run in planar modes the tables do not cover.
enum { kMinimumBitsPerPixel = 5 };

// What the run decided, and why; each part as far as the run got. Zero where it did not get there.
struct RunDecisions {
    RunStop stop;
    DriverCheck displayDriver;
    BYTE extCrtc75; // as read for the skip bit
    RateSource rateSource;
    TimingVerdict timing;
    // What the mapping VxD answered, where the run went on to program the adapter: told by the
    // program that asks it.
    VxdAnswer vxd;
    DWORD vxdError;           // the open's error code, for kVxdDoesNotOpen
    RegisterWindow registers; // the window, for kVxdWindow
};

// The process's one run's decisions, zero at start.
extern RunDecisions runDecisions;

// Decides as the utility's run does, in its order: system.ini names the served driver, the skip bit
// is clear (the first adapter access), then the rate text, the screen size, its rate list and the
// colour depth into *state, and the timing into *selection. Says nothing to anybody. The first
// stop that holds, or kRunProgramsAdapter; every decision with its reason in *decisions, which is
// zero at the start of a process and must be emptied by a program that decides again.
RunStop DecideRun(DisplayState* state, TimingSelection* selection, RunDecisions* decisions);
// The same in two halves, for a program that must do something between them: whether system.ini
// names the served driver (no adapter access before it); then every decision after it, from the
// skip bit on. Neither keeps the stop in *decisions: the caller does.
RunStop DecideDriver(RunDecisions* decisions);
RunStop DecideTiming(DisplayState* state, TimingSelection* selection, RunDecisions* decisions);

// The display settings as the run reads them once the skip bit is clear: the rate text, the screen
// size, its rate list and the rate's place in it, the colour depth; and where the rate came from.
// For a program that shows them also where the run stopped before it read them.
RateSource ReadDisplaySettings(DisplayState* state);
