// What the numeric tests share: a fault handler that records instead of ending the run, the 20-digit
// hexadecimal form of an extended value for messages, and equality of encodings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "numeric/extended.hpp"

namespace m2s::testing {

struct FaultRecord {
    std::uint32_t last = 0;
    int count = 0;
};

inline FaultRecord& faultRecord() {
    static FaultRecord record;
    return record;
}

inline void recordFault(std::uint32_t number, const void*) {
    faultRecord().last = number;
    ++faultRecord().count;
}

// Installs the recording handler for one test and clears what an earlier operation left.
inline void startRecordingFaults() {
    setExtendedFaultHandler(recordFault);
    faultRecord() = FaultRecord{};
}

// The fault of the operation just done (0 when none), clearing it for the next one.
inline std::uint32_t takeFault() {
    const std::uint32_t number = faultRecord().last;
    faultRecord() = FaultRecord{};
    return number;
}

inline std::string hex(Extended value) {
    char text[24];
    std::snprintf(text, sizeof text, "%04X%016llX", static_cast<unsigned>(value.signExponent),
                  static_cast<unsigned long long>(value.significand));
    return text;
}

inline bool sameBits(Extended a, Extended b) {
    return a.signExponent == b.signExponent && a.significand == b.significand;
}

}  // namespace m2s::testing
