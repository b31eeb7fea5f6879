#include "common/program_folder.h"

#include <string.h>

int ProgramPath(char path[MAX_PATH]) {
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    return length != 0 && length < MAX_PATH;
}

int PathBesideProgram(char path[MAX_PATH], const char* fileName) {
    if (!ProgramPath(path)) {
        return 0;
    }
    char* name = path;
    for (char* p = path; *p != 0; ++p) {
        if (*p == '\\') {
            name = p + 1;
        }
    }
    size_t size = strlen(fileName) + 1;
    if (static_cast<size_t>(name - path) + size > MAX_PATH) {
        return 0;
    }
    memcpy(name, fileName, size);
    return 1;
}

HANDLE StartProgram(char* path, char* commandLine) {
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(path, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        return 0;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}
