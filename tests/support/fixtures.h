// The fixtures the host tests share with the Wine proofs (tests/fixtures/).
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "adapter/adapter.h"

namespace support {

// The settings of a register fixture, KIND[:INDEX]=VALUE each, in the file's order.
inline std::vector<std::string> RegisterSettings(const std::string& name) {
    std::ifstream file(std::string(REFRESH_FIXTURES_DIR) + "/" + name);
    if (!file) {
        throw std::runtime_error("no fixture " + name);
    }
    std::vector<std::string> settings;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#') {
            settings.push_back(line);
        }
    }
    return settings;
}

// The adapter as a trial finds it: every register the programming sequence writes, both index
// latches, the miscellaneous output and the window's bytes at values no table holds, extended 0x09
// with its bit 0 clear and CRTC 0x11 with its protect bit set
// (tests/fixtures/registers_unlike_every_table.txt).
inline void SetUnlikeEveryTable(adapter::Adapter& a) {
    for (const std::string& setting : RegisterSettings("registers_unlike_every_table.txt")) {
        std::string error;
        if (!adapter::SetRegister(a, setting, &error)) {
            throw std::runtime_error("registers_unlike_every_table.txt: " + setting + ": " + error);
        }
    }
}

} // namespace support
