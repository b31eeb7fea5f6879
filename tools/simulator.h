// Runs the real WinMain of the utility against a simulated machine and reports what it did: the
// host-side engine of refresh-sim, also used by the tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "machine.h"

namespace sim {

enum class RateSetting { Text, NoValue, NoKey };

// A machine as refresh-sim's options describe it; the defaults are the built-in machine.
struct MachineSpec {
    int width                            = 1024;
    int height                           = 768;
    int bitsPerPixel                     = 16;
    RateSetting rate                     = RateSetting::Text;
    std::string rateText                 = "85";
    std::optional<std::string> systemIni = host::DefaultSystemIni(); // nullopt: no system.ini
    uint8_t crtc75                       = 0x00;
    host::DriverBehaviour driver         = host::DriverBehaviour::Window;
};

struct RunResult {
    int exitCode = 0;
    std::vector<host::MessageBoxRecord> messageBoxes;
    std::string standardOutput;
    std::vector<adapter::Access> accesses;
    adapter::Adapter finalAdapter;
    std::string summary;             // what was chosen, or why the run stopped
    std::vector<std::string> report; // the diagnostic's report of such a run, line by line
};

// The program writes to its standard output handle, which the host stand-in sends to file
// descriptor 1: collects what reaches it from construction until Finish() (or destruction), when
// standard output is given back.
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&)            = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    long Written(); // bytes written so far
    std::string Finish();

  private:
    FILE* file_;
    int saved_;
};

// Sets up the simulated machine (host::TheMachine()) and the program's process-wide state afresh.
void PrepareMachine(const MachineSpec& spec);

// Clears the program's process-wide data, as a new process would find it.
void ResetProcessState();

// Prepares the machine, runs WinMain once, and collects the outcome.
RunResult Run(const MachineSpec& spec);

nlohmann::json ToJson(const RunResult& result);
std::string ToText(const RunResult& result);

} // namespace sim
