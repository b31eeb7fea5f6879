// The application shell: process entry, a hidden main window and its message loop, and the one
// refresh-rate run.
#pragma once

#include <windows.h>

enum {
    kClassNameSize = 9, // "Simple" and room to spare, with the terminating zero
    kTitleSize     = 40,
};

// 16-colour and monochrome displays run in planar modes the tables do not cover.
enum { kMinimumBitsPerPixel = 5 };

extern char className[kClassNameSize];
extern char title[kTitleSize];
extern HINSTANCE instanceHandle;
extern HWND mainWindow;

void RunRefreshSetup();
int RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
