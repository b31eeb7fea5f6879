// The one rule for what follows a program's own name on its command line, for every program of the
// package that takes a switch (the utility itself takes no command line).
#pragma once

// What follows the program's own name on the command line, blanks skipped. The name is its
// module's file name, without folder and extension, standing after a folder, a quote, a blank or
// nothing, with its extension and closing quote if any, and then nothing, a blank or a switch: as
// COMMAND.COM reads it, a switch may follow the name with no blank between ("LUMSET/FORGET"), and a
// path that holds blanks or slashes without quotes around it is no switch. Where the module's name
// is not found, the first word (up to a blank or a slash after its first character, or a quoted
// part) counts as the name.
const char* ProgramArguments(const char* commandLine);

// Whether the arguments are `word` (in capitals) alone, in any letters' case, blanks after it
// allowed.
int IsOnlySwitch(const char* arguments, const char* word);
