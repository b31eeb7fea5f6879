// How fast CheckDisplayDriver reads a large system.ini held by the host stand-in, and whether the
// cost grows with the file's size alone. Run it from a RelWithDebInfo build:
//   build/<dir>/tests/probe/probe_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>

#include "host/machine.h"
#include "probe/probe.h"

namespace {

// Sections and lines as Windows 95/98 writes them, with CR LF ends, numbered so that the file
// grows without repeating itself exactly, and the served driver's line as the very last one.
std::string MakeSystemIni(size_t size) {
    static const char* const kSections[][6] = {
        {"[boot]", "shell=Explorer.exe", "system.drv=system.drv", "drivers=mmsystem.dll power.drv",
         "display.drv=pnpdrvr.drv", "386grabber=vgafull.3gr"},
        {"[386Enh]", "device=*vpicd", "device=*vtd", "keyboard=*vkd", "display=*vdd,*vflatd",
         "mouse=*vmouse"},
        {"[drivers]", "wave=mmsndsys.drv", "midi=mmsndsys.drv", "timer=timer.drv", "mci=mci.drv",
         "VIDC.MSVC=msvidc32.dll"},
        {"[mci]", "cdaudio=mcicda.drv", "sequencer=mciseq.drv", "waveaudio=mciwave.drv",
         "avivideo=mciavi.drv", "videodisc=mcipionr.drv"},
        {"[Password Lists]", "USER=C:\\WINDOWS\\USER.PWL", "ADMIN=C:\\WINDOWS\\ADMIN.PWL",
         "GUEST=C:\\WINDOWS\\GUEST.PWL", "SETUP=C:\\WINDOWS\\SETUP.PWL", "BACKUP=C:\\WINDOWS\\BACKUP.PWL"},
    };
    const std::string tail = "[boot.description]\r\n"
                             "keyboard.typ=Standard 101/102-Key or Microsoft Natural Keyboard\r\n"
                             "mouse.drv=Standard mouse\r\n"
                             "display.drv=Lumarel series\r\n";
    std::string text;
    text.reserve(size + 256);
    for (unsigned n = 0; text.size() + tail.size() < size; ++n) {
        for (const auto& section : kSections) {
            text += section[0];
            text += "\r\n";
            for (int k = 1; k < 6; ++k) {
                text += section[k];
                text += ";" + std::to_string(n) + "\r\n";
            }
        }
    }
    return text + tail;
}

void BM_CheckDisplayDriver(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0)) << 20;
    host::ResetMachine();
    host::TheMachine().files[host::SystemIniPath()] = host::HostFile{MakeSystemIni(size), std::nullopt};
    const size_t bytes = host::TheMachine().files[host::SystemIniPath()].bytes.size();

    for (auto _ : state) {
        int found = CheckDisplayDriver() == kDriverNamed ? 1 : 0;
        benchmark::DoNotOptimize(found);
        if (found != 1) {
            state.SkipWithError("the served driver's line was not found");
            break;
        }
        host::TheMachine().calls.clear(); // the stand-in's record would grow with every run
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.SetComplexityN(static_cast<int64_t>(bytes));
}

// File sizes in MiB.
BENCHMARK(BM_CheckDisplayDriver)
    ->Arg(16)
    ->Arg(32)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
