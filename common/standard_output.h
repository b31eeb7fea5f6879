// The process's standard output, for the programs that write to it: the utility's line about the
// mapping VxD, the diagnostic's report.
#pragma once

// Writes text to the process's standard output at once; dropped when it has none.
void WriteStandardOutput(const char* text, int length);
