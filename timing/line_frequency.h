// How fast a timing of the tables sweeps its lines: what a monitor's horizontal range is measured
// against. A rate kept at one screen size drives another size's timing at another line frequency.
#pragma once

#include <windows.h>

#include "timing/timing.h"

// The lines of one frame of a record, blanking included: the vertical total. 0 when the record
// holds no timing or does not tell its total with certainty.
int TotalLines(const TimingRecord record);

// The rate a RateTable entry stands for, in Hz: its leading digits. 0 for an entry without any
// ("", and the "0  " of the 720-pixel rows).
int RateOfEntry(const char entry[kRateEntrySize]);

// The line frequency, in Hz, of the timing TimingTable[row][rate]: the rate its row's entry names
// times its total lines. 0 when either is unknown.
DWORD LineFrequency(TableRow row, RateIndex rate);
