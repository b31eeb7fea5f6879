// KERNEL32 stand-in: the Windows directory, files (read-only but for the writable ones), standard
// output, the mapping driver, started processes, named mutexes, events, handles.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "hw/physwin.h"
#include "machine.h"

using host::TheMachine;

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Windows file names are case-insensitive.
host::HostFile* FindFile(const std::string& path) {
    for (auto& [name, file] : TheMachine().files) {
        if (Lower(name) == Lower(path)) {
            return &file;
        }
    }
    return nullptr;
}

HANDLE NewHandle(const host::OpenObject& object) {
    host::Machine& m = TheMachine();
    HANDLE handle    = reinterpret_cast<HANDLE>(m.nextHandle);
    m.nextHandle += 4;
    m.openObjects[handle] = object;
    return handle;
}

HANDLE Fail(DWORD error) {
    TheMachine().lastError = error;
    return INVALID_HANDLE_VALUE;
}

} // namespace

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    host::Machine& m = TheMachine();
    m.calls.push_back("GetWindowsDirectoryA");
    const std::string& dir = m.windowsDirectory;
    if (dir.size() + 1 > size) {
        return static_cast<UINT>(dir.size() + 1); // too small: the size needed, nothing copied
    }
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<UINT>(dir.size());
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE) {
    host::Machine& m = TheMachine();
    m.calls.push_back("CreateFileA");
    m.createFileCalls.push_back({name, access, share, disposition, flags});
    std::string path = name;

    if (Lower(path) == Lower(PHYSWIN_DEVICE_PATH)) {
        switch (m.driver) {
        case host::DriverBehaviour::Missing: return Fail(m.openError);
        case host::DriverBehaviour::Unsupported: return Fail(ERROR_NOT_SUPPORTED);
        default: return NewHandle({path, 0, true});
        }
    }
    bool writable = false;
    for (const std::string& w : m.writablePaths) {
        writable = writable || Lower(w) == Lower(path);
    }
    if (writable && (disposition == OPEN_ALWAYS || disposition == OPEN_EXISTING)) {
        if (FindFile(path) == nullptr) {
            if (disposition == OPEN_EXISTING) {
                return Fail(ERROR_FILE_NOT_FOUND);
            }
            m.files[path] = {};
        }
        return NewHandle({path, 0, false});
    }
    if ((access & GENERIC_WRITE) != 0 || disposition != OPEN_EXISTING) {
        return Fail(ERROR_ACCESS_DENIED); // the machine's other files are read-only to the program
    }
    if (FindFile(path) == nullptr) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    return NewHandle({path, 0, false});
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    host::Machine& m = TheMachine();
    m.calls.push_back("ReadFile");
    auto it = m.openObjects.find(handle);
    if (it == m.openObjects.end() || it->second.device) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    host::OpenObject& object = it->second;
    host::HostFile* file     = FindFile(object.path);
    size_t end               = file->bytes.size();
    if (file->failReadAt && *file->failReadAt < end) {
        end = *file->failReadAt;
        if (object.offset >= end) {
            *read       = 0;
            m.lastError = ERROR_GEN_FAILURE;
            return FALSE;
        }
    }
    size_t n = std::min<size_t>(toRead, end - std::min(end, object.offset));
    if (m.readChunk != 0) {
        n = std::min(n, m.readChunk);
    }
    std::memcpy(buffer, file->bytes.data() + object.offset, n);
    object.offset += n;
    *read = static_cast<DWORD>(n);
    return TRUE;
}

// Standard output's bytes go to the host's file descriptor 1, as they are; a writable file takes
// them at its file pointer.
BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                      LPOVERLAPPED overlapped) {
    host::Machine& m = TheMachine();
    m.calls.push_back("WriteFile");
    auto file = m.openObjects.find(handle);
    if (file != m.openObjects.end() && !file->second.device && file->second.process < 0 &&
        !file->second.waitable && m.writablePaths.count(file->second.path) != 0) {
        std::string& bytes = FindFile(file->second.path)->bytes;
        size_t at          = file->second.offset;
        if (bytes.size() < at + toWrite) {
            bytes.resize(at + toWrite);
        }
        bytes.replace(at, toWrite, static_cast<const char*>(buffer), toWrite);
        file->second.offset += toWrite;
        *written = toWrite;
        return TRUE;
    }
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || handle != m.standardOutput) {
        m.lastError = m.openObjects.count(handle) != 0 ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE;
        return FALSE;
    }
    // Without an OVERLAPPED structure Windows stores the count written, and faults without a place.
    if (written == nullptr && overlapped == nullptr) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (written != nullptr) {
        *written = 0;
    }
    if (m.standardOutputFails) {
        m.lastError = ERROR_GEN_FAILURE;
        return FALSE;
    }
    const char* bytes = static_cast<const char*>(buffer);
    DWORD done        = 0;
    while (done < toWrite) {
        ssize_t n = write(STDOUT_FILENO, bytes + done, toWrite - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m.lastError = ERROR_GEN_FAILURE;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
        if (written != nullptr) {
            *written = done;
        }
    }
    return TRUE;
}

HANDLE WINAPI GetStdHandle(DWORD which) {
    host::Machine& m = TheMachine();
    m.calls.push_back("GetStdHandle");
    if (which != STD_OUTPUT_HANDLE) {
        m.lastError = ERROR_INVALID_HANDLE;
        return INVALID_HANDLE_VALUE; // standard input and error are not part of the machine
    }
    return m.standardOutput;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                            LPDWORD returned, LPOVERLAPPED overlapped) {
    host::Machine& m = TheMachine();
    m.calls.push_back("DeviceIoControl");
    m.ioControlCalls.push_back(
        {device, code, in != nullptr || inSize != 0, outSize, returned != nullptr, overlapped != nullptr});
    auto it = m.openObjects.find(device);
    if (it == m.openObjects.end() || !it->second.device) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (code != kPhyswinMapRegisterWindow || m.driver == host::DriverBehaviour::IoctlFails ||
        out == nullptr || outSize < kPhyswinAnswerSize) {
        m.lastError = ERROR_GEN_FAILURE;
        return FALSE;
    }
    if (m.driver == host::DriverBehaviour::NoOutput) {
        return TRUE; // says yes and fills in nothing, neither the answer nor the count
    }
    UINT32 address   = m.driver == host::DriverBehaviour::NullWindow ? 0 : m.adapter.windowBase;
    UINT32 answer[2] = {address, 0};
    std::memcpy(out, answer, sizeof answer);
    if (returned != nullptr) {
        *returned = sizeof answer;
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    host::Machine& m = TheMachine();
    m.calls.push_back("CloseHandle");
    auto object = m.openObjects.find(handle);
    if (object != m.openObjects.end() && object->second.waitable && !object->second.path.empty()) {
        // The process's own handle of a named mutex: the name lives as long as a handle does.
        int others = 0;
        for (const auto& [h, o] : m.openObjects) {
            others += h != handle && o.waitable && o.path == object->second.path;
        }
        if (others == 0 && m.ownMutexes.count(object->second.path) != 0) {
            m.ownMutexes.erase(object->second.path);
            m.namedMutexes.erase(object->second.path);
        }
    }
    if (m.openObjects.erase(handle) == 0) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    m.closedHandles.push_back(handle);
    return TRUE;
}

DWORD WINAPI GetLastError(void) {
    return TheMachine().lastError;
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR name, DWORD size) {
    host::Machine& m = TheMachine();
    m.calls.push_back("GetModuleFileNameA");
    const std::string& path = m.moduleFileName;
    if (size == 0) {
        return 0;
    }
    // As Windows: a name that does not fit is cut, and the count is the buffer's size.
    DWORD n = static_cast<DWORD>(std::min<size_t>(path.size(), size - 1));
    std::memcpy(name, path.data(), n);
    name[n] = 0;
    return path.size() < size ? n : size;
}

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR directory,
                           LPSTARTUPINFOA startup, LPPROCESS_INFORMATION information) {
    host::Machine& m = TheMachine();
    m.calls.push_back("CreateProcessA");
    if (startup == nullptr || startup->cb != sizeof *startup || information == nullptr) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m.startedProcesses.push_back({application != nullptr ? application : "", commandLine != nullptr,
                                  directory != nullptr ? directory : "",
                                  commandLine != nullptr ? commandLine : "", !m.processesRun});
    if (m.createProcessFails) {
        m.lastError = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    host::OpenObject process{application != nullptr ? application : "", 0, false};
    process.process          = static_cast<int>(m.startedProcesses.size()) - 1;
    information->hProcess    = NewHandle(process);
    information->hThread     = NewHandle({application != nullptr ? application : "", 0, false});
    information->dwProcessId = 0x1000 + static_cast<DWORD>(m.startedProcesses.size());
    information->dwThreadId  = 0x2000 + static_cast<DWORD>(m.startedProcesses.size());
    return TRUE;
}

namespace host {

// What a wait on a named mutex answers: taken (again) by the program unless another process holds
// it; taken and said so where its holder ended without letting go.
DWORD TakeMutex(const std::string& name) {
    Machine::MutexHolder& holder = TheMachine().mutexHolders[name];
    if (holder.elsewhere) {
        return WAIT_TIMEOUT;
    }
    ++holder.here;
    if (holder.abandoned) {
        holder.abandoned = false;
        return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
}

} // namespace host

// A started process is signalled once it has ended; a named mutex while no other process holds it;
// an event never is (no other thread sets one); anything else is no object to wait for.
DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    host::Machine& m = TheMachine();
    m.calls.push_back("WaitForSingleObject");
    auto it = m.openObjects.find(object);
    if (it == m.openObjects.end() || (it->second.process < 0 && !it->second.waitable)) {
        m.lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if (it->second.process >= 0 && m.startedProcesses[it->second.process].ended) {
        return WAIT_OBJECT_0;
    }
    if (it->second.mutex) {
        DWORD answer = host::TakeMutex(it->second.path);
        if (answer != WAIT_TIMEOUT) {
            return answer;
        }
    }
    if (milliseconds == INFINITE) {
        m.messageLoopWouldBlock = true; // a wait that never ends: recorded, and answered as a failure
        m.lastError             = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    return WAIT_TIMEOUT;
}

// A new named mutex asked for with initialOwner is the program's at once; an existing one is not.
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    host::Machine& m = TheMachine();
    m.calls.push_back("CreateMutexA");
    std::string key = name != nullptr ? name : "";
    bool exists     = name != nullptr && !m.namedMutexes.insert(key).second;
    if (name != nullptr && !exists) {
        m.ownMutexes.insert(key);
        if (initialOwner) {
            m.mutexHolders[key].here = 1;
        }
    }
    host::OpenObject object{key, 0, false};
    object.waitable = true;
    object.mutex    = name != nullptr;
    HANDLE handle   = NewHandle(object);
    m.lastError     = exists ? ERROR_ALREADY_EXISTS : 0;
    return handle;
}

HANDLE WINAPI OpenMutexA(DWORD, BOOL, LPCSTR name) {
    host::Machine& m = TheMachine();
    m.calls.push_back("OpenMutexA");
    if (name == nullptr || m.namedMutexes.count(name) == 0) {
        m.lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    host::OpenObject object{name, 0, false};
    object.waitable = true;
    object.mutex    = true;
    return NewHandle(object);
}

// Only a holder lets go.
BOOL WINAPI ReleaseMutex(HANDLE mutex) {
    host::Machine& m = TheMachine();
    m.calls.push_back("ReleaseMutex");
    auto it = m.openObjects.find(mutex);
    if (it == m.openObjects.end() || !it->second.mutex || m.mutexHolders[it->second.path].here == 0) {
        m.lastError = ERROR_NOT_OWNER;
        return FALSE;
    }
    --m.mutexHolders[it->second.path].here;
    return TRUE;
}

// The file ends where its pointer stands.
BOOL WINAPI SetEndOfFile(HANDLE handle) {
    host::Machine& m = TheMachine();
    m.calls.push_back("SetEndOfFile");
    auto file = m.openObjects.find(handle);
    if (file == m.openObjects.end() || file->second.device || file->second.process >= 0 ||
        file->second.waitable || m.writablePaths.count(file->second.path) == 0) {
        m.lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    FindFile(file->second.path)->bytes.resize(file->second.offset);
    return TRUE;
}

LPTOP_LEVEL_EXCEPTION_FILTER WINAPI SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
    host::Machine& m = TheMachine();
    m.calls.push_back("SetUnhandledExceptionFilter");
    LPTOP_LEVEL_EXCEPTION_FILTER before = m.exceptionFilter;
    m.exceptionFilter                   = filter;
    return before;
}

// Only the flush of the profile cache: the package writes no profile value through it.
BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    host::Machine& m = TheMachine();
    m.calls.push_back("WritePrivateProfileStringA");
    if (section != nullptr || key != nullptr || value != nullptr || file == nullptr) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m.profileFlushes.push_back(file);
    return TRUE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR name) {
    host::Machine& m = TheMachine();
    m.calls.push_back("CreateEventA");
    host::OpenObject object{name != nullptr ? name : "", 0, false};
    object.waitable = true;
    return NewHandle(object);
}

namespace {
const HMODULE kAdvapi32 = reinterpret_cast<HMODULE>(0x77DD0000);
}

// ADVAPI32 alone is known by name, for the calls that not every Windows has.
HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    TheMachine().calls.push_back("GetModuleHandleA");
    return name != nullptr && Lower(name) == "advapi32.dll" ? kAdvapi32 : nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    host::Machine& m = TheMachine();
    m.calls.push_back("GetProcAddress");
    if (module == kAdvapi32 && name != nullptr && std::strcmp(name, "RegNotifyChangeKeyValue") == 0 &&
        !m.windows95) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&RegNotifyChangeKeyValue));
    }
    m.lastError = 127; // ERROR_PROC_NOT_FOUND
    return nullptr;
}

DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
    host::Machine& m = TheMachine();
    m.calls.push_back("GetShortPathNameA");
    auto it                 = m.shortPaths.find(longPath);
    const std::string found = it != m.shortPaths.end() ? it->second : std::string(longPath);
    if (found.size() + 1 > size) {
        return static_cast<DWORD>(found.size() + 1);
    }
    std::memcpy(shortPath, found.c_str(), found.size() + 1);
    return static_cast<DWORD>(found.size());
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG*, DWORD method) {
    host::Machine& m = TheMachine();
    m.calls.push_back("SetFilePointer");
    auto it = m.openObjects.find(file);
    if (it == m.openObjects.end() || it->second.device || method != FILE_BEGIN || distance < 0) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return INVALID_SET_FILE_POINTER;
    }
    it->second.offset = static_cast<size_t>(distance);
    return static_cast<DWORD>(distance);
}
