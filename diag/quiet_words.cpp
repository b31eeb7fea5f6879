// The utility's words in the diagnostic: not said. The diagnostic shows no box of the utility's and
// writes none of its lines; its report says what the utility would show, from the run's decisions.
#include "app/words.h"

void SayOpenSystemIniError() {}

void SayMappingVxdAnswer(VxdAnswer, DWORD) {}
