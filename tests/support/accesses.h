// Building expected adapter accesses, and comparing traces so that a mismatch names the access.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "adapter/adapter.h"

namespace adapter {

inline void PrintTo(const Access& a, std::ostream* os) {
    static const char* const kOps[] = {"in", "out", "store", "load"};
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%X = %02X%s", kOps[static_cast<int>(a.op)],
                  static_cast<unsigned>(a.where), a.value, a.undecoded ? " (not decoded)" : "");
    *os << text;
}

} // namespace adapter

namespace support {

inline adapter::Access In(uint16_t port, uint8_t value) {
    return {adapter::Op::In, port, value, false};
}
inline adapter::Access Out(uint16_t port, uint8_t value) {
    return {adapter::Op::Out, port, value, false};
}
inline adapter::Access Store(uint32_t address, uint8_t value) {
    return {adapter::Op::Store, address, value, false};
}
inline adapter::Access Load(uint32_t address, uint8_t value) {
    return {adapter::Op::Load, address, value, false};
}

// Access by access; on a mismatch, the first access that differs, with the register it reaches.
inline testing::AssertionResult SameTrace(const std::vector<adapter::Access>& actual,
                                          const std::vector<adapter::Access>& expected) {
    if (actual == expected) {
        return testing::AssertionSuccess();
    }
    size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) {
        ++i;
    }
    const std::vector<std::string> got  = adapter::DescribeTrace(actual);
    const std::vector<std::string> want = adapter::DescribeTrace(expected);
    return testing::AssertionFailure()
           << actual.size() << " accesses, expected " << expected.size() << "; first difference at access "
           << i << ": got "
           << (i < actual.size() ? testing::PrintToString(actual[i]) + ", " + got[i] : std::string("nothing"))
           << "; expected "
           << (i < expected.size() ? testing::PrintToString(expected[i]) + ", " + want[i]
                                   : std::string("nothing"));
}

} // namespace support
