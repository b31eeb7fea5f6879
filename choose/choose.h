// The rate chooser, LUMSET.EXE: shows what the utility makes of this machine, tries a rate on the
// screen with the utility's own programming sequence, and keeps it only when the user says so.
// Everything else writes back what was read before the trial. The logic is here; the dialogs are
// in window_win32.cpp.
#pragma once

#include <windows.h>

#include "hw/hw.h"
#include "probe/probe.h"
#include "run/decide.h"
#include "timing/timing.h"

// Why no rate can be tried on this machine: where the utility's run stops whatever the rate (its
// decisions say so), or the register window cannot be had.
enum Hindrance {
    kNoHindrance,
    kNoSystemIni,      // system.ini does not open
    kNotServed,        // system.ini does not name the served display driver
    kSkipBitSet,       // the adapter asks to be left alone
    kColoursUnknown,   // the display could not be asked for its depth
    kSixteenColours,   // 4 bits per pixel or fewer
    kTooManyColours,   // more than 24 bits per pixel
    kNoTimingAtScreen, // the tables hold no timing at any rate for this screen
    kNoRegisterWindow, // the mapping driver gives no window: a trial would be partial
};

// What a trial came to.
enum TrialEnd {
    kTrialKept,        // the rate is stored
    kTrialWentBack,    // every register read before was written back
    kTrialModeChanged, // Windows set the display anew: nothing written back, nothing stored
};

enum {
    kTrialSeconds = 15, // the countdown of "Keep this refresh rate?"
};

struct ChooserState {
    // The utility's run on this machine with the stored rate, as far as it goes, and the display
    // settings also where it stops before it reads them.
    RunDecisions decisions;
    DisplayState state;
    TimingSelection selection;
    int ownList;   // the screen has a rate list of its own
    int ownRow;    // the timings are made for this screen's size
    int rateCount; // the rates the tables hold a timing for, as their list has them
    char rates[kRateCount][kRateEntrySize];
    Hindrance hindrance;
    // The mapping VxD's answer, asked once where nothing else stops a trial.
    VxdAnswer vxd;
    DWORD vxdError;
    RegisterWindow registers;
    // The trial.
    int trialOn;
    char trialRate[kRateEntrySize];
    AdapterRegisters saved;
    HANDLE trialMutex;
};
extern ChooserState chooser;

// Learns what the utility makes of this machine: its run's decisions (the skip bit read with the
// CRTC index register put back as found), the display settings, the rates of the screen's list the
// tables hold a timing for, and, where nothing else stops a trial, the register window.
void GatherChooserFacts();

// The rate text of a list entry, without its blanks ("60 " gives "60").
void RateOfEntry(const char entry[kRateEntrySize], char rate[kRateEntrySize]);

// Sentences for the window, each at most kSentenceSize with its zero.
enum { kSentenceSize = 256 }; // a stored rate is shown with at most 40 of its characters
void DescribeScreen(char text[kSentenceSize]);
void DescribeStoredRate(char text[kSentenceSize]);
// The borrowed rate list or row of a screen none of the tables' is, or why no rate can be tried;
// empty when neither.
void DescribeHindrance(char text[kSentenceSize]);

// Reads back every register the programming sequence writes, then programs the rate with the
// utility's own selection and sequence. 0, with nothing written, where the utility would not act
// or the window cannot be had.
int StartTrial(const char* rate);
// Ends the trial: Keep stores the rate, as Display Properties does; anything else writes back what
// was read; a mode change writes nothing back. What it came to, or the same when no trial is on.
TrialEnd EndTrial(TrialEnd how);

// Stores RefreshRate under HKEY_CURRENT_CONFIG\Display\Settings (REG_SZ); 1 on success.
int StoreRate(const char* rate);
// Deletes RefreshRate: the utility then sets 60 Hz, the first rate of every list. The way back from
// a rate the monitor cannot show, also from Safe Mode or typed blind as "LUMSET /FORGET".
int ForgetRate();

// Whether the command line asks to forget the stored rate: "/FORGET" (any case) after the name.
int AsksToForget(const char* commandLine);
