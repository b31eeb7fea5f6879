// USER32 stand-in: message boxes, screen metrics, string resources, one window class, one window
// and its message loop. A window is never painted; anything that would show one is recorded.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "machine.h"
#include "res/resource.h"

using host::TheMachine;

namespace {

const HCURSOR kArrowCursor          = reinterpret_cast<HCURSOR>(0xC0);
const HWND kMainWindow              = reinterpret_cast<HWND>(0x3000);
const ATOM kClassAtom               = 0xC001;
const DWORD kErrorClassDoesNotExist = 1411;

// The executable's string table, from the same ids and texts as the resource script.
const char* FindString(UINT id) {
    switch (id) {
    case IDS_CLASS_NAME: return TEXT_CLASS_NAME;
    case IDS_TITLE: return TEXT_TITLE;
    default: return nullptr;
    }
}

std::string Text(LPCSTR text) {
    return text == nullptr ? std::string() : std::string(text);
}

} // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    host::Machine& m = TheMachine();
    m.calls.push_back("MessageBoxA");
    m.messageBoxes.push_back({owner, Text(text), Text(caption), type});
    return 1; // IDOK
}

// wsprintfA writes at most 1024 characters, its terminating zero included, and answers with the
// count stored without the zero.
int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    TheMachine().calls.push_back("wsprintfA");
    const size_t kLimit = 1024;
    va_list arguments;
    va_start(arguments, format);
    int n = std::vsnprintf(buffer, kLimit, format, arguments);
    va_end(arguments);
    if (n < 0) {
        buffer[0] = 0;
        return 0;
    }
    return n < static_cast<int>(kLimit) ? n : static_cast<int>(kLimit) - 1;
}

int WINAPI GetSystemMetrics(int index) {
    host::Machine& m = TheMachine();
    m.calls.push_back("GetSystemMetrics");
    switch (index) {
    case SM_CXSCREEN: return m.screenWidth;
    case SM_CYSCREEN: return m.screenHeight;
    default: return 0;
    }
}

// As Windows does: at most size - 1 characters and a terminating zero; the count copied.
int WINAPI LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size) {
    TheMachine().calls.push_back("LoadStringA");
    const char* text = FindString(id);
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    int n = 0;
    for (; text != nullptr && text[n] != 0 && n < size - 1; ++n) {
        buffer[n] = text[n];
    }
    buffer[n] = 0;
    return n;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    TheMachine().calls.push_back("LoadCursorA");
    return instance == nullptr && name == IDC_ARROW ? kArrowCursor : nullptr;
}

HANDLE WINAPI LoadImageA(HINSTANCE, LPCSTR, UINT, int, int, UINT) {
    TheMachine().calls.push_back("LoadImageA");
    return nullptr; // the executable carries no icon
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* c) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegisterClassExA");
    if (m.registerClassExFails) {
        return 0;
    }
    m.registeredClasses.push_back({true, c->cbSize, c->style, c->lpfnWndProc, c->cbClsExtra, c->cbWndExtra,
                                   c->hInstance, c->hIcon, c->hCursor, c->hbrBackground,
                                   Text(c->lpszMenuName), Text(c->lpszClassName), c->hIconSm});
    return kClassAtom;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* c) {
    host::Machine& m = TheMachine();
    m.calls.push_back("RegisterClassA");
    if (m.registerClassFails) {
        return 0;
    }
    m.registeredClasses.push_back({false, 0, c->style, c->lpfnWndProc, c->cbClsExtra, c->cbWndExtra,
                                   c->hInstance, c->hIcon, c->hCursor, c->hbrBackground,
                                   Text(c->lpszMenuName), Text(c->lpszClassName), nullptr});
    return kClassAtom;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
    host::Machine& m = TheMachine();
    m.calls.push_back("CreateWindowExA");
    m.createdWindows.push_back(
        {exStyle, Text(className), Text(title), style, x, y, width, height, parent, menu, instance, param});
    const host::ClassRecord* found = nullptr;
    for (const host::ClassRecord& c : m.registeredClasses) {
        if (c.className == Text(className)) {
            found = &c;
        }
    }
    if (found == nullptr) {
        m.lastError = kErrorClassDoesNotExist;
        return nullptr;
    }
    if (m.createWindowFails || m.window != nullptr) {
        return nullptr;
    }
    m.window     = kMainWindow;
    m.windowProc = found->proc;
    return m.window;
}

BOOL WINAPI ShowWindow(HWND, int command) {
    TheMachine().calls.push_back("ShowWindow");
    TheMachine().shownWindows.push_back("ShowWindow " + std::to_string(command));
    return FALSE;
}

BOOL WINAPI UpdateWindow(HWND) {
    TheMachine().calls.push_back("UpdateWindow");
    TheMachine().shownWindows.push_back("UpdateWindow");
    return TRUE;
}

// The window procedure gets WM_DESTROY while the window still exists, as on Windows.
BOOL WINAPI DestroyWindow(HWND window) {
    host::Machine& m = TheMachine();
    m.calls.push_back("DestroyWindow");
    if (window == nullptr || window != m.window) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    m.dispatchedMessages.push_back(WM_DESTROY);
    m.windowProc(window, WM_DESTROY, 0, 0);
    m.window = nullptr;
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    host::Machine& m = TheMachine();
    m.calls.push_back("PostQuitMessage");
    m.quitPending = true;
    m.quitCode    = exitCode;
}

// The queue holds nothing but a posted quit. With nothing posted a real loop would wait for ever;
// the stand-in records that and ends the loop with an exit code no program returns.
BOOL WINAPI GetMessageA(LPMSG message, HWND, UINT, UINT) {
    host::Machine& m = TheMachine();
    m.calls.push_back("GetMessageA");
    std::memset(message, 0, sizeof *message);
    message->message = WM_QUIT;
    if (m.quitPending) {
        m.quitPending   = false;
        message->wParam = static_cast<WPARAM>(m.quitCode);
    } else {
        m.messageLoopWouldBlock = true;
        message->wParam         = 0xB10C;
    }
    return FALSE;
}

// As GetMessageA: the queue holds nothing but a posted quit, and a loop that would wait for ever is
// recorded and ended with a quit of its own.
BOOL WINAPI PeekMessageA(LPMSG message, HWND, UINT, UINT, UINT) {
    host::Machine& m = TheMachine();
    m.calls.push_back("PeekMessageA");
    std::memset(message, 0, sizeof *message);
    std::vector<host::Machine::PostedMessage> sent;
    sent.swap(m.sentMessages);
    for (const host::Machine::PostedMessage& s : sent) {
        m.dispatchedMessages.push_back(s.message);
        m.windowProc(m.window, s.message, s.wParam, s.lParam);
    }
    if (!m.quitPending) {
        return FALSE;
    }
    m.quitPending    = false;
    message->message = WM_QUIT;
    message->wParam  = static_cast<WPARAM>(m.quitCode);
    return TRUE;
}

// No handle is ever signalled here (tests hand the watcher its events themselves). With no quit
// posted the wait would last for ever: recorded, and a quit posted with a code no program returns.
DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE*, BOOL, DWORD, DWORD) {
    host::Machine& m = TheMachine();
    m.calls.push_back("MsgWaitForMultipleObjects");
    if (!m.quitPending && m.sentMessages.empty()) {
        m.messageLoopWouldBlock = true;
        m.quitPending           = true;
        m.quitCode              = 0xB10C;
    }
    return WAIT_OBJECT_0 + count;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    TheMachine().calls.push_back("TranslateMessage");
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    host::Machine& m = TheMachine();
    m.calls.push_back("DispatchMessageA");
    if (message->hwnd == nullptr || message->hwnd != m.window) {
        return 0;
    }
    m.dispatchedMessages.push_back(message->message);
    return m.windowProc(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    TheMachine().calls.push_back("DefWindowProcA");
    return host::kDefWindowProcAnswer;
}

// The program's one window, when it is of that class; else another process's of that class.
HWND WINAPI FindWindowA(LPCSTR className, LPCSTR) {
    host::Machine& m = TheMachine();
    m.calls.push_back("FindWindowA");
    if (className == nullptr) {
        return nullptr;
    }
    if (m.window != nullptr && !m.createdWindows.empty() && m.createdWindows.back().className == className) {
        return m.window;
    }
    auto other = m.otherWindows.find(className);
    return other != m.otherWindows.end() ? other->second : nullptr;
}

// Recorded; a test hands a message meant for the program's own window to its procedure itself.
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    host::Machine& m = TheMachine();
    m.calls.push_back("PostMessageA");
    if (window == nullptr) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    m.postedMessages.push_back({window, message, wParam, lParam});
    return TRUE;
}

// A timer of the same id replaces the one it had, as on Windows: its time starts again.
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC) {
    host::Machine& m = TheMachine();
    m.calls.push_back("SetTimer");
    if (window == nullptr || window != m.window || id == 0 || m.timersFail) {
        m.lastError = ERROR_INVALID_HANDLE;
        return 0;
    }
    m.timers[id] = {elapse, m.clock + elapse};
    return id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    host::Machine& m = TheMachine();
    m.calls.push_back("KillTimer");
    return window != nullptr && window == m.window && m.timers.erase(id) != 0 ? TRUE : FALSE;
}
