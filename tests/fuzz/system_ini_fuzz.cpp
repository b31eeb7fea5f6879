// CheckDisplayDriver on the host stand-in against the plain model of the reading rules: the same
// system.ini bytes, split into reads of a size the input chooses and maybe cut short by a failing
// read, must give the same answer. Any difference aborts.
//
// Input: byte 0 is the most ReadFile delivers at a time (0: all it is asked for); when bit 7 of
// byte 1 is set, bits 0-6 of byte 1 and byte 2 are the offset at which a read fails; the rest is
// the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "host/machine.h"
#include "probe/probe.h"
#include "tests/support/system_ini_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const size_t readChunk = data[0];
    std::optional<size_t> failReadAt;
    if ((data[1] & 0x80) != 0) {
        failReadAt = static_cast<size_t>(data[1] & 0x7F) << 8 | data[2];
    }
    const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);

    host::ResetMachine();
    host::Machine& m               = host::TheMachine();
    m.files[host::SystemIniPath()] = host::HostFile{bytes, failReadAt};
    m.readChunk                    = readChunk;

    const int real     = CheckDisplayDriver() == kDriverNamed ? 1 : 0;
    const int expected = support::ModelCheck(bytes, failReadAt.value_or(std::string::npos));
    if (real != expected) {
        std::fprintf(stderr,
                     "CheckDisplayDriver gave %d, the model %d (reads of %zu bytes, failing at %lld)\n", real,
                     expected, readChunk, failReadAt ? static_cast<long long>(*failReadAt) : -1LL);
        std::abort();
    }
    // A file that opened is closed again and no message is shown, whatever it holds.
    if (!m.openObjects.empty() || !m.messageBoxes.empty()) {
        std::fprintf(stderr, "system.ini left open or a message shown\n");
        std::abort();
    }
    return 0;
}
