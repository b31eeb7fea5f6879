// Host stand-in for the few Win32 declarations the product uses. The product is written against
// the real <windows.h>; on Linux this header comes first on the include path and host/*.cpp
// answers the calls from a simulated machine (host/machine.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define WINAPIV
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD; // kept as wide as the C type Windows uses, so "%lx" stays right
typedef long LONG;
typedef unsigned int UINT;
typedef uint32_t UINT32;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef WORD ATOM;
typedef uintptr_t UINT_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void* HANDLE;
typedef intptr_t(WINAPI* FARPROC)();

// Distinct handle types, as with STRICT, so a handle of one kind cannot stand in for another.
#define DECLARE_HANDLE(name)                                                                                 \
    struct name##__ {                                                                                        \
        int unused;                                                                                          \
    };                                                                                                       \
    typedef struct name##__* name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HKEY);
DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HBRUSH);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef HKEY* PHKEY;
typedef LONG REGSAM;

#define TRUE 1
#define FALSE 0

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

#define MAKEINTRESOURCEA(i) ((LPSTR)(uintptr_t)(WORD)(i))
#define LOWORD(l) ((WORD)((uintptr_t)(l)&0xFFFF))
#define HIWORD(l) ((WORD)(((uintptr_t)(l) >> 16) & 0xFFFF))

// KERNEL32
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define CREATE_NEW 1
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_BEGIN 0
#define SYNCHRONIZE 0x00100000UL
#define INFINITE 0xFFFFFFFFUL
#define WAIT_OBJECT_0 0UL
#define WAIT_TIMEOUT 258UL
#define WAIT_ABANDONED 0x80UL
#define WAIT_ABANDONED_0 0x80UL
#define WAIT_FAILED 0xFFFFFFFFUL
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFUL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000UL
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_MORE_DATA 234L
#define ERROR_GEN_FAILURE 31L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NOT_OWNER 288L
#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0
#define MAX_PATH 260
#define STD_OUTPUT_HANDLE ((DWORD)-11)

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved, lpDesktop, lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow, cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};
typedef STARTUPINFOA* LPSTARTUPINFOA;
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size);
HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
HANDLE WINAPI GetStdHandle(DWORD which);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                            LPDWORD returned, LPOVERLAPPED overlapped);
BOOL WINAPI CloseHandle(HANDLE handle);
DWORD WINAPI GetLastError(void);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR name, DWORD size);
BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                           LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                           LPCSTR directory, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION information);
DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL owner, LPCSTR name);
HANDLE WINAPI OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
BOOL WINAPI ReleaseMutex(HANDLE mutex);
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                           LPCSTR name);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL WINAPI SetEndOfFile(HANDLE file);
struct EXCEPTION_POINTERS;
typedef LONG(WINAPI* LPTOP_LEVEL_EXCEPTION_FILTER)(EXCEPTION_POINTERS* exception);
LPTOP_LEVEL_EXCEPTION_FILTER WINAPI SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);
BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

// ADVAPI32
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002UL)
#define HKEY_CURRENT_CONFIG ((HKEY)(uintptr_t)0x80000005UL)
#define HKEY_DYN_DATA ((HKEY)(uintptr_t)0x80000006UL)
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_NOTIFY 0x0010
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define REG_NOTIFY_CHANGE_LAST_SET 0x00000004L
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD size);
LONG WINAPI RegCloseKey(HKEY key);
LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                            REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name);
LONG WINAPI RegNotifyChangeKeyValue(HKEY key, BOOL subtree, DWORD filter, HANDLE event, BOOL async);
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;
LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                          LPSTR className, LPDWORD classSize, PFILETIME lastWrite);

// GDI32
#define BITSPIXEL 12
#define PLANES 14

HDC WINAPI CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR output, const void* initData);
int WINAPI GetDeviceCaps(HDC dc, int index);
BOOL WINAPI DeleteDC(HDC dc);

// USER32
#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IMAGE_ICON 1
#define LR_DEFAULTCOLOR 0x0000
#define COLOR_WINDOW 5
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define CW_USEDEFAULT ((int)0x80000000)
#define SW_SHOWDEFAULT 10
#define WM_DESTROY 0x0002
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_COMMAND 0x0111
#define WM_QUIT 0x0012
#define WM_ENDSESSION 0x0016
#define WM_DISPLAYCHANGE 0x007E
#define WM_TIMER 0x0113
#define WM_POWERBROADCAST 0x0218
#define WM_APP 0x8000
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_TABSTOP 0x00010000L
#define DS_SETFONT 0x0040L
#define DS_MODALFRAME 0x0080L
#define DS_SETFOREGROUND 0x0200L
#define DS_CENTER 0x0800L
#define SS_LEFT 0x0000L
#define BS_PUSHBUTTON 0x0000L
#define BS_DEFPUSHBUTTON 0x0001L
#define LBS_NOTIFY 0x0001L
#define IDCANCEL 2
#define PM_REMOVE 0x0001
#define QS_ALLINPUT 0x04FF

typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
// The host compiler checks the format as it would for printf; wsprintfA knows a subset of it.
int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
int WINAPI GetSystemMetrics(int index);
int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);
HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass);
ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass);
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL WINAPI ShowWindow(HWND window, int command);
BOOL WINAPI UpdateWindow(HWND window);
BOOL WINAPI DestroyWindow(HWND window);
void WINAPI PostQuitMessage(int exitCode);
BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT first, UINT last);
BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove);
DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL all, DWORD milliseconds,
                                       DWORD wake);
BOOL WINAPI TranslateMessage(const MSG* message);
LRESULT WINAPI DispatchMessageA(const MSG* message);
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND WINAPI FindWindowA(LPCSTR className, LPCSTR title);
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL WINAPI KillTimer(HWND window, UINT_PTR id);

// The program's entry, called by the host tools as Windows would call it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
