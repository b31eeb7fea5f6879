// Files beside the program's own: the package's programs start each other by full path from the
// folder they were installed to, never by the current folder or the search path; and the start of a
// program.
#pragma once

#include <windows.h>

// The full path of the running program's own file; 0 when it does not fit MAX_PATH.
int ProgramPath(char path[MAX_PATH]);

// The full path of `fileName` in the folder of the running program's own file; 0 when it would not
// fit MAX_PATH.
int PathBesideProgram(char path[MAX_PATH], const char* fileName);

// Starts a program (by its path, or by a command line) and does not wait; its process handle, or 0.
// CreateProcessA may write into the command line.
HANDLE StartProgram(char* path, char* commandLine);
