// The rate chooser, LUMSET.EXE: shows what the utility makes of this machine, tries a rate on the
// screen with the utility's own programming sequence, and keeps it only when the user says so.
// Everything else writes back what was read before the trial. The logic is here; the dialogs are
// in window_win32.cpp.
#pragma once

#include <windows.h>

#include "facts/monitor.h"
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
    kNoRegisterWindow, // the mapping VxD gives no window: a trial would be partial
    kAdapterBusy,      // another writer holds the adapter lock: the window looks again shortly
};

// What a trial came to.
enum TrialEnd {
    kTrialOn,          // none yet: the trial goes on
    kTrialKept,        // the rate is stored
    kTrialWentBack,    // every register read before was written back
    kTrialNotStored,   // Keep, but the rate could not be stored: written back all the same
    kTrialModeChanged, // Windows set another mode: nothing written back, nothing stored
};

// How a try began.
enum TrialStart {
    kTrialStarted,
    kTrialBusy,          // another writer holds the adapter: nothing read or written
    kTrialRefused,       // the machine no longer lets a rate be tried (the window says why): nothing written
    kTrialBeyondMonitor, // the rate's timing here is beyond the monitor's known limits: nothing written
};

// What Forget came to.
enum ForgetOutcome {
    kForgotten,       // the RefreshRate value is deleted
    kNothingToForget, // there was none
    kNotForgotten,    // it is there and could not be deleted
};

// A rate of the list the tables hold a timing for: the display state the utility's run has with it
// stored, the row its timing comes from, and that timing against the monitor.
struct ListedRate {
    char rate[kRateEntrySize]; // as stored on Keep: "85"
    DisplayState state;
    TableRow row;
    MonitorVerdict monitor;
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
    MonitorLimits limits; // the monitor's, at this screen
    int rateCount;        // the rates the tables hold a timing for, as their list has them
    ListedRate rates[kRateCount];
    Hindrance hindrance;
    // The mapping VxD's answer, asked once where nothing else stops a trial.
    VxdAnswer vxd;
    DWORD vxdError;
    RegisterWindow registers;
    // The trial, with the adapter lock held from its skip-bit read until it ends.
    int trialOn;
    TrialEnd trialEnd; // what the last trial came to
    ListedRate trial;  // its rate, and the mode its read-back belongs to
    AdapterRegisters saved;
};
extern ChooserState chooser;

// Learns what the utility makes of this machine: its run's decisions (the skip bit read, with the
// adapter lock held, and the CRTC index register put back as found), the display settings, the rates
// of the screen's list the tables hold a timing for, and, where nothing else stops a trial, the
// register window. Where another writer holds the adapter, the hindrance says so. Never during a
// trial.
void GatherChooserFacts();

// The rate text of a list entry, without its blanks ("60 " gives "60").
void RateOfEntry(const char entry[kRateEntrySize], char rate[kRateEntrySize]);

// Sentences for the window, each at most kSentenceSize with its zero; an empty one says nothing.
enum { kSentenceSize = 400 }; // a stored rate is shown with at most 40 of its characters
// The screen and its colors.
void DescribeScreen(char text[kSentenceSize]);
// What is stored, and what LUMRATE's run does with it where it gets that far.
void DescribeStoredRate(char text[kSentenceSize]);
// The borrowed rate list and timings of a screen none of the tables' is, or why no rate can be
// tried.
void DescribeHindrance(char text[kSentenceSize]);
// The monitor's limits, and where they come from.
void DescribeMonitor(char text[kSentenceSize]);
// A rate of the list as the timing it sets here, its line frequency and, where the monitor cannot
// show it, that it is beyond; and the sentence that says why it cannot be tried (empty where it can).
void DescribeListedRate(const ListedRate* rate, char text[kSentenceSize]);
void DescribeBeyond(const ListedRate* rate, char text[kSentenceSize]);
// The question of the trial going on, and the other screen sizes of the tables where the same rate,
// stored, gives a timing beyond the monitor, and what LUMWATCH then does there.
void DescribeQuestion(char text[kSentenceSize]);
void DescribeOtherSizes(char text[kSentenceSize]);
// The start of what the window says while another writer holds the adapter.
extern const char kAnotherAtTheAdapter[];
// What the last trial came to, and what Forget came to.
void DescribeTrialEnd(char text[kSentenceSize]);
void DescribeForget(ForgetOutcome outcome, char text[kSentenceSize]);

// Takes the adapter lock, decides again as the utility's run does, asks the mapping VxD once, reads
// back every register the programming sequence writes, tells the watcher a trial holds the lock,
// then programs the rate with the utility's own selection and sequence; the lock stays held until
// the trial ends. Nothing is written where the adapter is busy, the utility would not act, the
// window cannot be had, or the monitor's known limits exclude the rate's timing here.
TrialStart StartTrial(const char* rate);
// Ends the trial: Keep stores the rate, as Display Properties does; anything else writes back what
// was read; another mode writes nothing back. Lets the adapter lock go. What it came to (also in
// chooser.trialEnd); kTrialOn when no trial is on.
TrialEnd EndTrial(TrialEnd how);
// How a message ends the trial going on: another mode set (WM_DISPLAYCHANGE with another size or
// depth) writes nothing back; the same mode set anew, a resume, a suspend about to come, or the end
// of the Windows session writes back. kTrialOn for a message that does not end it, or when no trial
// is on.
TrialEnd TrialEndFor(UINT message, WPARAM wParam, LPARAM lParam);

// Where the package is installed (its watcher's Run value exists) but no watcher runs in this
// session (the session of the install, or one ended with End Task), starts one.
void StartWatcherWhereMissing();

// Stores RefreshRate under HKEY_CURRENT_CONFIG\Display\Settings (REG_SZ); 1 on success.
int StoreRate(const char* rate);
// Deletes RefreshRate: the utility then takes the first rate of the list, 60 Hz. The way back from a
// rate the monitor cannot show, also from Safe Mode or typed blind as "LUMSET /FORGET".
ForgetOutcome ForgetRate();

// Whether the command line asks to forget the stored rate: "/FORGET" (any case) after the name.
int AsksToForget(const char* commandLine);
