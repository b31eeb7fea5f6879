// refresh-sim as its users run it: a separate process, its standard output and exit code.
#pragma once

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace support {

struct SimOutcome {
    int exitCode;
    std::string out; // standard output and standard error together
};

// Runs a shell command line; its standard output, and its exit code (-1 when it did not exit).
inline SimOutcome RunShell(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Runs refresh-sim (REFRESH_SIM_PATH) with arguments as a shell would split them.
inline SimOutcome RunRefreshSim(const std::string& arguments) {
    return RunShell(std::string(REFRESH_SIM_PATH) + " " + arguments + " 2>&1");
}

} // namespace support
