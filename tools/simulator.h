// Runs the real WinMain of the utility against a simulated machine and reports what it did: the
// host-side engine of refresh-sim, also used by the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "machine.h"

namespace sim {

enum class RateSetting { Text, NoValue, NoKey };

// The one monitor Windows lists, as its setup information left it in the registry: Mode1 of its
// MODES key for the screen's size ("31.0-64.0,50.0-100.0,+,+": kHz, then Hz) and MaxResolution
// ("1280,1024"), each stored as given where given.
struct SimulatedMonitor {
    std::optional<std::string> mode1;
    std::optional<std::string> maxResolution;
};

// The machine refresh-sim builds from its options; the defaults are the built-in machine.
struct SimulatedMachine {
    int width                            = 1024;
    int height                           = 768;
    int bitsPerPixel                     = 16;
    RateSetting rate                     = RateSetting::Text;
    std::string rateText                 = "85";
    std::string windowsDirectory         = "C:\\WINDOWS";
    std::optional<std::string> systemIni = host::DefaultSystemIni(); // nullopt: no system.ini
    uint8_t crtc75                       = 0x00;
    host::DriverBehaviour driver         = host::DriverBehaviour::Window;
    std::optional<SimulatedMonitor> monitor; // nullopt: the device list holds none, as Wine keeps it
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
// standard output is given back. Held in memory, so no writable temporary folder is needed;
// std::system_error when standard output cannot be redirected.
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&)            = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    long Written(); // bytes written so far
    std::string Finish();

  private:
    int captured_ = -1; // where file descriptor 1 points meanwhile
    int saved_    = -1; // the standard output given back
};

// Sets up the simulated machine (host::TheMachine()) and the program's process-wide state afresh.
void PrepareMachine(const SimulatedMachine& machine);

// Clears the program's process-wide data, as a new process would find it.
void ResetProcessState();

// Prepares the machine, runs WinMain once, and collects the outcome.
RunResult Run(const SimulatedMachine& machine);

// Runs WinMain once on the machine as it stands (prepared, then changed where a test needs it),
// and collects the outcome.
RunResult RunPrepared();

nlohmann::json ToJson(const RunResult& result);
std::string ToText(const RunResult& result);

} // namespace sim
