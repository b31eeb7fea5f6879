// The simulated machine behind the host stand-in of the Win32 calls: what Windows, the registry,
// the display, the mapping driver and the adapter look like to the program, and a record of what
// the program did to them. One per process; tests and tools set it up before calling the product.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "adapter/adapter.h"
#include "registry.h"

namespace host {

// What the stand-in's DefWindowProcA answers: no value a window procedure returns for a message it
// handles itself, so a test sees whose answer came back.
inline constexpr LRESULT kDefWindowProcAnswer = 0xDEF;

// The standard output handle of a process started with one: WriteFile on it writes to the host's
// file descriptor 1.
inline const HANDLE kStandardOutputHandle = reinterpret_cast<HANDLE>(0x1C);

enum class DriverBehaviour {
    Window,      // opens and hands out the adapter's register window
    Missing,     // the open fails with openError (ERROR_FILE_NOT_FOUND unless set)
    Unsupported, // the open fails with ERROR_NOT_SUPPORTED
    IoctlFails,  // opens, but the control call fails
    NullWindow,  // opens, and the control call succeeds with address 0
    NoOutput,    // opens, and the control call succeeds without writing its output or the count
};

// The name of each behaviour, the one every tool and test uses for it: refresh-sim's --driver, the
// diagnostic's and the sweep's tables, and the Wine proofs' case table.
struct DriverBehaviourName {
    DriverBehaviour behaviour;
    const char* name;
};
inline constexpr DriverBehaviourName kDriverBehaviours[] = {
    {DriverBehaviour::Window, "ok"},
    {DriverBehaviour::Missing, "missing"},
    {DriverBehaviour::Unsupported, "unsupported"},
    {DriverBehaviour::IoctlFails, "ioctl-fails"},
    {DriverBehaviour::NullWindow, "null-window"},
    {DriverBehaviour::NoOutput, "no-output"},
};

inline const char* NameOf(DriverBehaviour behaviour) {
    for (const DriverBehaviourName& b : kDriverBehaviours) {
        if (b.behaviour == behaviour) {
            return b.name;
        }
    }
    return "?";
}

struct HostFile {
    std::string bytes;
    // When set, a read that would reach this offset fails (the bytes before it are delivered).
    std::optional<size_t> failReadAt;
};

struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

struct CreateFileRecord {
    std::string path;
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
};

struct IoControlRecord {
    HANDLE device;
    DWORD code;
    bool input; // an input buffer or an input size was passed
    DWORD outSize;
    bool returned;   // a place for the count of bytes returned was passed
    bool overlapped; // an overlapped structure was passed
};

struct OpenObject {
    std::string path; // or the name of a mutex or event
    size_t offset = 0;
    bool device   = false; // the mapping driver rather than a file
    int process   = -1;    // a started process: its index in startedProcesses
    bool waitable = false; // a mutex or an event
    bool mutex    = false; // a named mutex
};

struct ClassRecord {
    bool extended; // RegisterClassExA rather than RegisterClassA
    UINT cbSize;
    UINT style;
    WNDPROC proc;
    int clsExtra;
    int wndExtra;
    HINSTANCE instance;
    HICON icon;
    HCURSOR cursor;
    HBRUSH background;
    std::string menuName;
    std::string className;
    HICON iconSmall;
};

struct WindowRecord {
    DWORD exStyle;
    std::string className;
    std::string title;
    DWORD style;
    int x, y, width, height;
    HWND parent;
    HMENU menu;
    HINSTANCE instance;
    LPVOID param;
};

struct Timer {
    UINT elapse;  // milliseconds
    uint64_t due; // on the machine's clock
};

struct ProcessStart {
    std::string application;
    bool commandLine; // a command line was passed
    std::string directory;
    std::string commandLineText;
    bool ended = true; // WaitForSingleObject on its handle answers at once
};

struct Machine {
    // KERNEL32: the Windows directory and the files in it, by full path as the program names it.
    std::string windowsDirectory = "C:\\WINDOWS";
    std::map<std::string, HostFile> files;
    size_t readChunk = 0; // when not 0, ReadFile delivers at most this many bytes per call

    // What GetStdHandle answers for standard output: nullptr or INVALID_HANDLE_VALUE for a windowed
    // process started without one. standardOutputFails: the handle exists but refuses every write.
    HANDLE standardOutput    = kStandardOutputHandle;
    bool standardOutputFails = false;

    // The mapping driver.
    DriverBehaviour driver = DriverBehaviour::Window;
    DWORD openError        = ERROR_FILE_NOT_FOUND; // for DriverBehaviour::Missing

    // ADVAPI32: HKEY_CURRENT_CONFIG\Display\Settings and its RefreshRate value.
    bool settingsKeyExists                   = true;
    std::optional<RegistryValue> refreshRate = RegistryValue{REG_SZ, std::string("85", 3)};
    bool registryWritesFail                  = false;

    // GDI32 and the screen.
    int screenWidth     = 1024;
    int screenHeight    = 768;
    int bitsPerPixel    = 16;
    int planes          = 1;
    bool displayDcFails = false;

    // USER32 window class and window.
    bool registerClassExFails = false;
    bool registerClassFails   = false;
    bool createWindowFails    = false;

    adapter::Adapter adapter = adapter::MakeAdapter();

    // KERNEL32 for the watcher: its own file, and whether starting another program fails; whether
    // a started process runs until a test ends it (ProcessStart::ended) or ends at once.
    std::string moduleFileName = "C:\\WINDOWS\\LUMWATCH.EXE";
    bool createProcessFails    = false;
    bool processesRun          = false;
    // The short (8.3) form of a path, by its long form; a path not listed is its own short form.
    std::map<std::string, std::string> shortPaths;
    // Files the program may write or create (by path as the program names it); all others are
    // read-only to it.
    std::set<std::string> writablePaths;
    // Named mutexes of the session: those of other processes, and those the program made, which
    // go with its last handle of them.
    std::set<std::string> namedMutexes;
    std::set<std::string> ownMutexes;
    // Who holds a named mutex: the program (how often it took it), or another process, which may
    // have ended without letting go (abandoned: the next wait takes it, answering so).
    struct MutexHolder {
        int here       = 0;
        bool elsewhere = false;
        bool abandoned = false;
    };
    std::map<std::string, MutexHolder> mutexHolders;
    // KERNEL32: the unhandled exception filter the program set; WritePrivateProfileStringA calls that
    // flush the profile cache (all four arguments null but the file), by file name.
    LPTOP_LEVEL_EXCEPTION_FILTER exceptionFilter = nullptr;
    std::vector<std::string> profileFlushes;
    // ADVAPI32 of Windows 95: no RegNotifyChangeKeyValue. Otherwise each call is counted.
    bool windows95        = false;
    int rateNotifications = 0;
    bool rateNotifyFails  = false;
    // HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run: its values by name.
    std::map<std::string, RegistryValue> runValues = {
        {"LumarelWatch", {REG_SZ, "C:\\WINDOWS\\LUMWATCH.EXE"}}};
    // HKEY_LOCAL_MACHINE beyond the Run key, and HKEY_DYN_DATA: empty at start.
    Registry registry;
    // USER32 timers, by id, on a clock in milliseconds that only tests move; SetTimer fails when
    // timersFail (Windows has a limited number of them).
    std::map<UINT_PTR, Timer> timers;
    bool timersFail = false;
    uint64_t clock  = 0;

    // What the program did.
    std::vector<std::string> calls; // Win32 calls by name, in order
    std::vector<MessageBoxRecord> messageBoxes;
    std::vector<CreateFileRecord> createFileCalls;
    std::vector<IoControlRecord> ioControlCalls;
    std::vector<HANDLE> closedHandles;
    std::vector<std::string> shownWindows; // ShowWindow / UpdateWindow: never expected
    std::vector<ClassRecord> registeredClasses;
    std::vector<WindowRecord> createdWindows;
    std::vector<UINT> dispatchedMessages; // messages the window procedure received, in order
    // Messages posted to any window, in order; and the top-level windows of other processes, by class.
    struct PostedMessage {
        HWND window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<PostedMessage> postedMessages;
    // Messages sent to the program's window by another thread or a broadcast (WM_ENDSESSION among
    // them): PeekMessageA hands each to the window procedure itself and returns no message for it.
    std::vector<PostedMessage> sentMessages;
    std::map<std::string, HWND> otherWindows;
    std::vector<ProcessStart> startedProcesses;
    bool messageLoopWouldBlock = false; // GetMessageA found no message: a real loop would hang
    DWORD lastError            = 0;

    // Inner state of the stand-in.
    std::map<HANDLE, OpenObject> openObjects;
    uintptr_t nextHandle = 0x100;
    bool quitPending     = false;
    int quitCode         = 0;
    HWND window          = nullptr; // the one window the program may create
    WNDPROC windowProc   = nullptr;
};

Machine& TheMachine();

// Starts over with a default machine: 1024x768 at 16 bits per pixel, RefreshRate "85", a
// system.ini naming the served driver, the adapter at power-on, the mapping driver present, the
// package installed (the watcher's Run value, the Add/Remove Programs entry).
void ResetMachine();

// The default system.ini text with the served driver's line under [boot.description].
std::string DefaultSystemIni();

// Full path of system.ini for the current windowsDirectory.
std::string SystemIniPath();

// The bytes of a regular file of the host, as they are. nullopt, with the reason in *error when
// given, when it cannot be opened or read, is no regular file (nothing is read from a directory, a
// device or a FIFO) or holds more than `limit` bytes.
std::optional<std::string> ReadHostFile(const std::string& hostPath, size_t limit = SIZE_MAX,
                                        std::string* error = nullptr);

// Puts the content of a file of the host into the machine under `path` (as the program names it);
// false, with the machine unchanged, when the host file cannot be read.
bool LoadHostFile(const std::string& path, const std::string& hostPath);

// Whether a call of this name was made, and how often.
size_t CountCalls(const std::string& name);

} // namespace host
