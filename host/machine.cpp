#include "machine.h"

#include "common/names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

std::optional<std::string> ReadHostFile(const std::string& hostPath, size_t limit, std::string* error) {
    auto refuse = [error](const std::string& reason) -> std::optional<std::string> {
        if (error != nullptr) {
            *error = reason;
        }
        return std::nullopt;
    };
    // Without O_NONBLOCK the open of a FIFO waits for a writer.
    int fd = open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return refuse(std::strerror(errno));
    }
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat status;
    if (fstat(fd, &status) != 0) {
        return refuse(std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return refuse("not a regular file");
    }
    // The size fstat gives is not trusted: files under /proc say 0 and have more.
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return refuse(std::strerror(errno));
        }
        if (n == 0) {
            return bytes;
        }
        if (static_cast<size_t>(n) > limit - bytes.size()) {
            return refuse("more than " + std::to_string(limit) + " bytes");
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
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
    // The package installed: its entry in Add/Remove Programs, beside the watcher's Run value.
    m.registry.localMachine.Key(UNINSTALL_KEY).SetString("DisplayName", "Lumarel Refresh Rate Utility");
}

size_t CountCalls(const std::string& name) {
    const auto& calls = TheMachine().calls;
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

} // namespace host
