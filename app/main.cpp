// Process entry: a window class and a main window that is never shown, the refresh-rate run while
// the window exists, and an ordinary message loop that ends as soon as the window is destroyed.
//
// The shell keeps the fixed form this program has (and the tests and the executable check hold it
// to): the instance handle kept, the class named by string 1 with the File/Exit menu of the same
// name, the small-icon lookup that finds no icon, the Exit command in the window procedure, and the
// accelerator table in the resources that nothing loads. None of it is a leftover to tidy away.
#include <windows.h>

#include "app/app.h"
#include "res/resource.h"

char className[kClassNameSize];
char title[kTitleSize];
HINSTANCE instanceHandle;
HWND mainWindow;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand) {
    if (previousInstance == NULL && !RegisterMainClass(instance)) {
        return 0;
    }
    if (!CreateMainWindow(instance, showCommand)) {
        return 0;
    }
    RunRefreshSetup();

    // Destroying the window posts the quit message, so the loop below ends at once.
    DestroyWindow(mainWindow);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

int RegisterMainClass(HINSTANCE instance) {
    LoadStringA(instance, IDS_CLASS_NAME, className, kClassNameSize);
    LoadStringA(instance, IDS_TITLE, title, kTitleSize);

    WNDCLASSEXA wcex;
    wcex.cbSize        = sizeof(WNDCLASSEXA);
    wcex.style         = CS_HREDRAW | CS_VREDRAW;
    wcex.lpfnWndProc   = MainWndProc;
    wcex.cbClsExtra    = 0;
    wcex.cbWndExtra    = 0;
    wcex.hInstance     = instance;
    wcex.hIcon         = NULL;
    wcex.hCursor       = LoadCursorA(NULL, IDC_ARROW);
    wcex.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wcex.lpszMenuName  = className;
    wcex.lpszClassName = className;
    wcex.hIconSm       = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    if (RegisterClassExA(&wcex)) {
        return 1;
    }

    // Windows 95 before the extended classes came, or a system that refuses them: the plain form.
    WNDCLASSA wc;
    wc.style         = wcex.style;
    wc.lpfnWndProc   = wcex.lpfnWndProc;
    wc.cbClsExtra    = wcex.cbClsExtra;
    wc.cbWndExtra    = wcex.cbWndExtra;
    wc.hInstance     = wcex.hInstance;
    wc.hIcon         = wcex.hIcon;
    wc.hCursor       = wcex.hCursor;
    wc.hbrBackground = wcex.hbrBackground;
    wc.lpszMenuName  = wcex.lpszMenuName;
    wc.lpszClassName = wcex.lpszClassName;
    return RegisterClassA(&wc) ? 1 : 0;
}

// The window exists only to own the run; it is never shown or updated.
int CreateMainWindow(HINSTANCE instance, int) {
    instanceHandle = instance; // kept for the life of the process, though nothing reads it
    HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT,
                                  0, NULL, NULL, instance, NULL);
    if (window == NULL) {
        return 0;
    }
    mainWindow = window;
    return 1;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDM_EXIT) {
            DestroyWindow(window);
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
