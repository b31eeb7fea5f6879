#include "simulator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <system_error>

#include "adapter/trace_json.h"
#include "app/app.h"
#include "common/adapter_lock.h"
#include "diag/access_list.h"
#include "diag/report.h"
#include "facts/facts.h"
#include "hw/vga.h"
#include "hw/vga_names.h"
#include "probe/probe.h"
#include "timing/timing.h"

namespace sim {

namespace {

// What the gathering of the report's facts asks of the stand-in (system.ini opened and read again,
// the registry asked again) is no call of the program's: the machine's records are as the run left
// them afterwards.
class KeepRecords {
  public:
    explicit KeepRecords(host::Machine& m) : machine_(m), kept_(m) {}
    ~KeepRecords() {
        adapter::Adapter adapter = machine_.adapter;
        machine_                 = kept_;
        machine_.adapter         = adapter;
    }

  private:
    host::Machine& machine_;
    host::Machine kept_;
};

// The report of the run, in the words the diagnostic uses on a real machine, from what the
// program did and the machine it ran on. A run that never started (no window class or window) has
// no decisions to tell.
void Report(host::Machine& m, RunResult* result) {
    const char* notStarted = nullptr;
    if (m.registeredClasses.empty()) {
        notStarted = "the window class was refused (RegisterClassExA and RegisterClassA failed)";
    } else if (m.createdWindows.empty() || host::CountCalls("DestroyWindow") == 0) {
        notStarted = "the main window was not created";
    }
    char path[kSystemIniPathSize];
    RunFacts facts;
    facts.notStarted = notStarted;
    facts.decisions  = &runDecisions;
    facts.state      = &displayState;
    facts.selection  = &timingSelection;
    WatchFacts watch;
    {
        KeepRecords keep(m);
        GatherSystemFacts(&facts.system, path, runDecisions.displayDriver);
        GatherWatchFacts(&watch);
    }
    facts.watch = &watch;
    // The run's accesses, written down by the host's primitives as the diagnostic writes them.
    facts.accesses    = plannedAccesses;
    facts.accessCount = std::min(plannedAccessCount, static_cast<int>(kPlannedAccessRoom));

    char summary[kReportLineSize] = "";
    WriteRunReport(
        &facts,
        [](const char* line, void* lines) { static_cast<std::vector<std::string>*>(lines)->push_back(line); },
        &result->report, summary);
    result->summary = summary;
}

// The monitor's devnode in the running configuration, its device key naming its class key, and
// there what its setup information wrote.
void AddMonitor(host::Registry& registry, const SimulatedMonitor& monitor, int width, int height) {
    const std::string hardwareKey = "MONITOR\\DEFAULT_MONITOR\\0001";
    const std::string driver      = "Monitor\\0000";
    registry.dynData.Key("Config Manager\\Enum\\C29A5000").SetString("HardWareKey", hardwareKey);
    registry.localMachine.Key("Enum\\" + hardwareKey).SetString("Driver", driver);
    host::RegistryKey& classKey =
        registry.localMachine.Key("System\\CurrentControlSet\\Services\\Class\\" + driver);
    classKey.SetString("DriverDesc", "Default Monitor");
    if (monitor.maxResolution) {
        classKey.SetString("MaxResolution", *monitor.maxResolution);
    }
    if (monitor.mode1) {
        classKey.Key("MODES\\" + std::to_string(width) + "," + std::to_string(height))
            .SetString("Mode1", *monitor.mode1);
    }
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
    std::memset(&runDecisions, 0, sizeof runDecisions);
    adapterLock = nullptr;
    ClearAccessList();
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
    m.windowsDirectory = machine.windowsDirectory;
    if (machine.systemIni) {
        m.files[host::SystemIniPath()] = host::HostFile{*machine.systemIni, std::nullopt};
    }
    m.adapter.crtc[EXT_CRTC_75] = machine.crtc75;
    m.driver                    = machine.driver;
    // The running configuration's device list, which Windows 95/98 and Wine always have.
    m.registry.dynData.Key("Config Manager\\Enum");
    if (machine.monitor) {
        AddMonitor(m.registry, *machine.monitor, machine.width, machine.height);
    }
}

RunResult Run(const SimulatedMachine& machine) {
    PrepareMachine(machine);
    return RunPrepared();
}

RunResult RunPrepared() {
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(0x00400000);
    char commandLine[]       = "";

    StdoutCapture capture;
    int exitCode = WinMain(instance, nullptr, commandLine, SW_SHOWDEFAULT);
    RunResult result;
    result.standardOutput = capture.Finish();

    host::Machine& m    = host::TheMachine();
    result.exitCode     = exitCode;
    result.messageBoxes = m.messageBoxes;
    result.accesses     = m.adapter.trace;
    result.finalAdapter = m.adapter;
    Report(m, &result);
    return result;
}

nlohmann::json ToJson(const RunResult& r) {
    nlohmann::json boxes = nlohmann::json::array();
    for (const host::MessageBoxRecord& box : r.messageBoxes) {
        boxes.push_back({{"text", box.text}, {"caption", box.caption}, {"type", box.type}});
    }
    const adapter::Adapter& f = r.finalAdapter;
    // Every register the utility touches, by its index.
    auto named = [](const std::array<uint8_t, 256>& file, const VgaRegisterName* names, int count) {
        nlohmann::json out = nlohmann::json::object();
        for (int i = 0; i < count; ++i) {
            char key[8];
            std::snprintf(key, sizeof key, "0x%02X", names[i].index);
            out[key] = file[names[i].index];
        }
        return out;
    };
    return {
        {"exitCode", r.exitCode},
        {"messageBoxes", boxes},
        {"stdout", r.standardOutput},
        {"accesses", r.accesses}, // in the form of adapter/trace_json.h
        {"summary", r.summary},
        {"report", r.report},
        {"registers",
         {{"crtc", named(f.crtc, kCrtcRegisterNames, kCrtcRegisterNameCount)},
          {"extended", named(f.ext, kExtRegisterNames, kExtRegisterNameCount)},
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
                  type == (MB_ICONERROR | MB_OK) ? "MB_ICONERROR | MB_OK"
                                                 : (type == MB_OK ? "MB_OK" : "other"));
    return text;
}

// The report the diagnostic would print on such a machine, then what only a simulated run shows:
// the message boxes, standard output and exit code, wrapped as the report's lines are.
std::string ToText(const RunResult& r) {
    std::ostringstream out;
    for (const std::string& line : r.report) {
        out << line << "\n";
    }
    auto put = [&out](const std::string& line) {
        WriteWrapped(
            line.c_str(),
            [](const char* part, void* to) { *static_cast<std::ostringstream*>(to) << part << "\n"; }, &out);
    };
    if (r.messageBoxes.empty()) {
        put("message boxes: none");
    }
    for (const host::MessageBoxRecord& box : r.messageBoxes) {
        put("message box: text " + Quoted(box.text) + ", caption " + Quoted(box.caption) + ", type " +
            BoxType(box.type));
    }
    put("standard output: " + (r.standardOutput.empty() ? std::string("none") : Quoted(r.standardOutput)));
    put("exit code: " + std::to_string(r.exitCode));
    return out.str();
}

} // namespace sim
