// The application shell: process entry, a hidden main window and its message loop, and the one
// refresh-rate run.
#pragma once

#include <windows.h>

#include "hw/hw.h"

enum {
    kClassNameSize = 9, // "Simple" and room to spare, with the terminating zero
    kTitleSize     = 40,
};

extern char className[kClassNameSize];
extern char title[kTitleSize];
extern HINSTANCE instanceHandle;
extern HWND mainWindow;

// The refresh-rate run, the program's one piece of work.
void RunRefreshSetup();
// Asks the mapping VxD for the register window, as the utility does: what it answered goes to the
// run's decisions, and a failure is told in the utility's words (a line on standard output, or a
// message box). 0 where there is no window.
RegisterWindow MapRegisterWindow();
int RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
