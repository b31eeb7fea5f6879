// A plain model of the way CheckDisplayDriver reads system.ini, one byte at a time, as a text-mode
// fgets(line, 255, file) would see the file. The probe tests and the system.ini fuzz target hold
// the real reading against it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace support {

// What CheckDisplayDriver answers for a system.ini of these bytes. A read that would reach
// failReadAt fails: the scan ends there with what it has found, and the line it had not finished
// is not examined.
inline int ModelCheck(const std::string& raw, size_t failReadAt = std::string::npos) {
    const size_t end = std::min(raw.size(), failReadAt);
    bool readFails   = failReadAt < raw.size();
    std::string text;
    for (size_t i = 0; i < end; ++i) {
        if (raw[i] == '\x1A') {
            readFails = false; // the file ended before the failing read
            break;
        }
        bool crBeforeLf = raw[i] == '\r' && i + 1 < end && raw[i + 1] == '\n';
        if (!crBeforeLf) {
            text += raw[i];
        }
    }
    int inSection = 0;
    int found     = 0;
    std::string line;
    auto examine = [&] {
        char buffer[256] = {};
        std::memcpy(buffer, line.data(), line.size());
        if (buffer[0] == '[' && std::strncmp(buffer, "[boot.description]", 18) == 0) {
            inSection = 1;
        }
        if (std::strncmp(buffer, "display.drv", 11) == 0 && inSection &&
            std::strcmp(buffer, "display.drv=Lumarel series\n") == 0) {
            found = 1;
        }
        line.clear();
    };
    for (char ch : text) {
        line += ch;
        if (ch == '\n' || line.size() == 254) {
            examine();
        }
    }
    if (!line.empty() && !readFails) {
        examine();
    }
    return found;
}

} // namespace support
