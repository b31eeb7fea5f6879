#include "machine.h"

#include <algorithm>
#include <fstream>
#include <iterator>

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

std::string SystemIniPath() {
    return TheMachine().windowsDirectory + "\\system.ini";
}

std::optional<std::string> ReadHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

bool LoadHostFile(const std::string& path, const std::string& hostPath) {
    std::optional<std::string> bytes = ReadHostFile(hostPath);
    if (!bytes) {
        return false;
    }
    TheMachine().files[path] = HostFile{std::move(*bytes), std::nullopt};
    return true;
}

void ResetMachine() {
    Machine& m               = TheMachine();
    m                        = Machine{};
    m.files[SystemIniPath()] = HostFile{DefaultSystemIni(), std::nullopt};
}

size_t CountCalls(const std::string& name) {
    const auto& calls = TheMachine().calls;
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

} // namespace host
