// What the package's small programs (the watcher, the rate chooser) share: their command line, one
// switch after the program's own name (the utility itself takes no command line), the messages by
// which Windows says it set the display anew, and the named mutex by which a trial of a rate keeps
// the watcher from starting the utility meanwhile.
#pragma once

#include <windows.h>

#define TRIAL_MUTEX_NAME "LumarelTrial"

// Whether the command line is the program's name (quoted where it holds blanks) and then `word`
// alone, in any letters' case, blanks around it allowed. `word` is in capitals.
int HasOnlySwitch(const char* commandLine, const char* word);

// Whether a message says that Windows set the display anew: a mode change, or a resume from a
// suspend or standby (normal, critical or automatic). The watcher runs the utility then; the
// chooser's trial ends with nothing written back, since what it read belongs to another mode.
int SetsDisplayAnew(UINT message, WPARAM wParam);
