#include "timing/timing.h"

DisplayState displayState;
TimingSelection timingSelection;
