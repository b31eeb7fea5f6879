#include "machine.h"

#include <algorithm>

namespace host {

Machine& TheMachine() {
    static Machine machine;
    return machine;
}

std::string DefaultSystemIni() {
    return "[boot]\r\n"
           "display.drv=pnpdrvr.drv\r\n"
           "[boot.description]\r\n"
           "keyboard.typ=Standard 101/102-Key or Microsoft Natural Keyboard\r\n"
           "display.drv=Lumarel series\r\n"
           "[386Enh]\r\n"
           "display=*vdd\r\n";
}

std::string SystemIniPath() { return TheMachine().windowsDirectory + "\\system.ini"; }

void ResetMachine() {
    Machine& m = TheMachine();
    m          = Machine{};
    m.files[SystemIniPath()] = HostFile{DefaultSystemIni(), std::nullopt};
}

size_t CountCalls(const std::string& name) {
    const auto& calls = TheMachine().calls;
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

} // namespace host
