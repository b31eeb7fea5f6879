#include "simulator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <system_error>

#include "app/app.h"
#include "timing/timing.h"

namespace sim {

namespace {

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

// What the run decided, read back from the program's own state and from what it touched.
std::string Summarize(const host::Machine& m, const std::vector<adapter::Access>& trace) {
    for (const host::MessageBoxRecord& box : m.messageBoxes) {
        if (box.text == "Open System.ini error!") {
            return "stopped: system.ini did not open";
        }
    }
    if (trace.empty()) {
        return "stopped: system.ini does not name the served display driver";
    }
    if (host::CountCalls("RegOpenKeyExA") == 0) {
        return "stopped: skip bit set (extended CRTC 0x75 = " + Hex2(m.adapter.crtc[0x75]) + ")";
    }
    const DisplayState& s = displayState;
    if (s.bitsPerPixel < kMinimumBitsPerPixel) {
        return "stopped: " + std::to_string(s.bitsPerPixel) + " bits per pixel, 4 or fewer";
    }
    std::ostringstream out;
    out << "mode index " << s.modeIndex << ", rate index " << s.rateIndex;
    DepthClass d = ClassifyDepth(s.bitsPerPixel);
    ModeIndex row;
    RateSlot slot;
    if (d == kNoDepthClass) {
        out << "; nothing written: no depth class for " << s.bitsPerPixel << " bits per pixel";
        return out.str();
    }
    out << ", depth class " << d;
    if (!FindTableRow(s.width, s.height, s.rateIndex, &row, &slot)) {
        out << "; nothing written: no table row for width " << s.width;
        return out.str();
    }
    out << ", rate slot ";
    if (slot == kNoSlot) {
        out << "none (word and offset stay zero)";
    } else {
        out << slot;
    }
    out << ", table row " << row;
    return out.str();
}

} // namespace

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    // Duplicated first: with descriptor 1 closed, the capture would otherwise take its number.
    int saved    = dup(STDOUT_FILENO);
    int captured = saved < 0 ? -1 : memfd_create("standard output", MFD_CLOEXEC);
    if (captured < 0 || dup2(captured, STDOUT_FILENO) < 0) {
        int error = errno;
        for (int fd : {saved, captured}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        throw std::system_error(error, std::generic_category(), "cannot capture standard output");
    }
    captured_ = captured;
    saved_    = saved;
}

StdoutCapture::~StdoutCapture() {
    Finish();
}

long StdoutCapture::Written() {
    std::fflush(stdout);
    return static_cast<long>(lseek(STDOUT_FILENO, 0, SEEK_CUR));
}

std::string StdoutCapture::Finish() {
    std::string text;
    if (captured_ < 0) {
        return text;
    }
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    char buffer[4096];
    ssize_t n;
    for (off_t at = 0; (n = pread(captured_, buffer, sizeof buffer, at)) > 0; at += n) {
        text.append(buffer, static_cast<size_t>(n));
    }
    close(captured_);
    captured_ = -1;
    return text;
}

void ResetProcessState() {
    std::memset(&displayState, 0, sizeof displayState);
    std::memset(&timingSelection, 0, sizeof timingSelection);
    std::memset(className, 0, sizeof className);
    std::memset(title, 0, sizeof title);
    instanceHandle = nullptr;
    mainWindow     = nullptr;
}

void PrepareMachine(const SimulatedMachine& machine) {
    host::ResetMachine();
    ResetProcessState();
    host::Machine& m    = host::TheMachine();
    m.screenWidth       = machine.width;
    m.screenHeight      = machine.height;
    m.bitsPerPixel      = machine.bitsPerPixel;
    m.settingsKeyExists = machine.rate != RateSetting::NoKey;
    if (machine.rate == RateSetting::Text) {
        m.refreshRate = host::RegistryValue{REG_SZ, machine.rateText + std::string(1, '\0')};
    } else {
        m.refreshRate.reset();
    }
    m.files.clear();
    if (machine.systemIni) {
        m.files[host::SystemIniPath()] = host::HostFile{*machine.systemIni, std::nullopt};
    }
    m.adapter.crtc[0x75] = machine.crtc75;
    m.driver             = machine.driver;
}

RunResult Run(const SimulatedMachine& machine) {
    PrepareMachine(machine);
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(0x00400000);
    char commandLine[]       = "";

    StdoutCapture capture;
    int exitCode = WinMain(instance, nullptr, commandLine, 10 /* SW_SHOWDEFAULT */);
    RunResult result;
    result.standardOutput = capture.Finish();

    const host::Machine& m = host::TheMachine();
    result.exitCode        = exitCode;
    result.messageBoxes    = m.messageBoxes;
    result.accesses        = m.adapter.trace;
    result.finalAdapter    = m.adapter;
    result.summary         = Summarize(m, m.adapter.trace);
    return result;
}

nlohmann::json ToJson(const RunResult& r) {
    nlohmann::json boxes = nlohmann::json::array();
    for (const host::MessageBoxRecord& box : r.messageBoxes) {
        boxes.push_back({{"text", box.text}, {"caption", box.caption}, {"type", box.type}});
    }
    nlohmann::json accesses = nlohmann::json::array();
    for (const adapter::Access& a : r.accesses) {
        switch (a.op) {
        case adapter::Op::In:
            accesses.push_back({{"op", "in"}, {"port", a.where}, {"value", a.value}});
            break;
        case adapter::Op::Out:
            accesses.push_back({{"op", "out"}, {"port", a.where}, {"value", a.value}});
            break;
        case adapter::Op::Store:
            accesses.push_back({{"op", "store"}, {"address", a.where}, {"value", a.value}});
            break;
        }
    }
    const adapter::Adapter& f = r.finalAdapter;
    auto named                = [](const std::array<uint8_t, 256>& file, std::initializer_list<int> indexes) {
        nlohmann::json out = nlohmann::json::object();
        for (int i : indexes) {
            char key[8];
            std::snprintf(key, sizeof key, "0x%02X", i);
            out[key] = file[i];
        }
        return out;
    };
    return {
        {"exitCode", r.exitCode},
        {"messageBoxes", boxes},
        {"stdout", r.standardOutput},
        {"accesses", accesses},
        {"summary", r.summary},
        {"registers",
         {{"crtc", named(f.crtc, {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x10, 0x11, 0x12, 0x13,
                                  0x15, 0x16, 0x30, 0x31, 0x32, 0x33, 0x75})},
          {"extended", named(f.ext, {0x09, 0xC8, 0xC9, 0xCA, 0xCB})},
          {"miscOutput", f.miscOutput},
          {"windowBase", f.windowBase},
          {"window", f.window}}},
    };
}

static std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

static std::string BoxType(unsigned type) {
    char text[64];
    std::snprintf(text, sizeof text, "0x%X (%s)", type,
                  type == 0x10 ? "MB_ICONERROR | MB_OK" : (type == 0 ? "MB_OK" : "other"));
    return text;
}

std::string ToText(const RunResult& r) {
    std::ostringstream out;
    if (r.messageBoxes.empty()) {
        out << "message boxes: none\n";
    }
    for (const host::MessageBoxRecord& box : r.messageBoxes) {
        out << "message box: text " << Quoted(box.text) << ", caption " << Quoted(box.caption) << ", type "
            << BoxType(box.type) << "\n";
    }
    out << "standard output: " << (r.standardOutput.empty() ? "none" : Quoted(r.standardOutput)) << "\n";
    out << "exit code: " << r.exitCode << "\n";
    out << "adapter accesses: " << r.accesses.size() << "\n";
    for (const std::string& line : adapter::DescribeTrace(r.accesses)) {
        out << "  " << line << "\n";
    }
    out << "summary: " << r.summary << "\n";
    return out.str();
}

} // namespace sim
