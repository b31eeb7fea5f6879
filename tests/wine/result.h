// What one run under the debugger found, and the JSON object it is written as (keys in this
// order): exitCode, messageBoxes, stdout, stderr, accesses (as refresh-sim --json writes them),
// driverCalls, changedRegisters, screen, crash, error; a followed run (--follow) adds process and
// children. Plain portable C++, tested on the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "adapter/adapter.h"

// Texts keep the program's exact code units: bytes of ANSI strings and of stdout as
// U+0000..U+00FF, UTF-16 units as they are (an unpaired surrogate, which JSON text in UTF-8 cannot
// carry, becomes U+FFFD). Both return UTF-8; the JSON is written in plain ASCII.
std::string TextFromBytes(const std::string& bytes);
std::string TextFromUtf16(const std::u16string& units);

struct MessageBoxCall {
    std::optional<std::string> text, caption; // UTF-8; none for a null pointer
    uint32_t type  = 0;
    bool dismissed = false; // the watcher pressed its default button
};

// One control call of the mapping-driver double: what it was asked and answered.
struct DriverCall {
    uint32_t code, inSize, outSize;
    bool ok;
    uint32_t error, base, size;
};

// The display as Wine reports it to the program.
struct Screen {
    int width, height, bitsPerPixel, refresh;
};

// A process of a followed run: who it was and when it ran, in GetTickCount milliseconds.
struct ProcessInfo {
    uint32_t pid = 0;
    std::string program, commandLine; // UTF-8
    uint32_t startTick = 0;           // when the debugger saw it created
    uint32_t exitTick  = 0;           // when the debugger saw it end
};

// The exception the program died of.
struct Crash {
    uint32_t code, address;
};

struct RunResult {
    uint32_t exitCode = 0;
    std::vector<MessageBoxCall> messageBoxes;
    std::string standardOutput, standardError; // bytes as the program wrote them
    std::vector<adapter::Access> accesses;
    std::vector<DriverCall> driverCalls;
    std::vector<std::string> changedRegisters; // of the adapter model, from the start to the end
    Screen screen{};
    std::optional<Crash> crash;
    std::string error; // why the debugger cut the run short; empty for a clean run
    // A followed run only: the process, and for the program started every process it started in
    // turn, in the order they were created, each with its own adapter model and its screen as it
    // found it.
    std::optional<ProcessInfo> process;
    bool followed = false;
    std::vector<RunResult> children;
};

// One JSON object, plain ASCII, ending in a newline.
std::string ResultJson(const RunResult& r);
