// What the package's small programs (the watcher, the rate chooser) share: their command line, one
// switch after the program's own name (the utility itself takes no command line), and the named
// mutex by which a trial of a rate keeps the watcher from starting the utility meanwhile.
#pragma once

#define TRIAL_MUTEX_NAME "LumarelTrial"

// Whether the command line is the program's name (quoted where it holds blanks) and then `word`
// alone, in any letters' case, blanks around it allowed. `word` is in capitals.
int HasOnlySwitch(const char* commandLine, const char* word);
