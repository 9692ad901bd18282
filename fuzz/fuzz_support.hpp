// What the fuzz targets share: an in-memory stand-in for the files and the console behind the POSIX
// call table, the run's end caught where the process would end, and the shape of a real's text.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <string_view>

#include "numeric/extended.hpp"

namespace m2s::fuzz {

// Ends the target with a message when an invariant does not hold; libFuzzer saves the input.
[[noreturn]] inline void violated(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz invariant violated: %s [%.*s]\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

inline void require(bool holds, const char* what, std::string_view detail = {}) {
    if (!holds) {
        violated(what, detail);
    }
}

// ---- The end of the run ----------------------------------------------------------------------------
//
// The fuzz build replaces the process side of the platform layer (fuzz/run_end_seam.cpp stands in for
// posix_faults.cpp): endProcess jumps back to the point armed here instead of ending the process, and
// the fault trap is left to the sanitizers.

struct RunEnd {
    std::jmp_buf point;
    bool armed = false;
    std::uint32_t status = 0;
    bool faultTrapInstalled = false;
};

extern RunEnd runEnd;

// The x87 control word the process started with (the run loads its own); restored after every input so
// that the fuzzer's own code never meets unmasked x87 exceptions.
void restoreDefaultFloatingPoint();

// ---- In-memory files -----------------------------------------------------------------------------
//
// The call table is pointed at these: the console is fds 0 and 1, the DXF and the script are two
// fixed names on two invented descriptors. Reads hand out at most readChunk bytes at a time.

inline constexpr int dxfDescriptor = 900;
inline constexpr int scriptDescriptor = 901;
inline constexpr const char* dxfName = "in.dxf";
inline constexpr const char* scriptName = "out.scr";

struct MemoryFiles {
    std::string_view consoleIn;
    std::string_view dxf;
    std::size_t consoleInAt = 0;
    std::size_t dxfAt = 0;
    std::size_t readChunk = 128;
    std::string consoleOut;
    std::string script;
};

extern MemoryFiles files;

// Starts a fresh set of files and installs the in-memory calls.
void useMemoryFiles(std::string_view consoleIn, std::string_view dxf, std::size_t readChunk = 128);
// Puts the real system calls back.
void useRealFiles();

// ---- Texts ---------------------------------------------------------------------------------------

// The text of a real with width 3 and 4 decimals: "-"? digits "." 4 digits; the exponent form
// (" " or "-") digit "." digit "E+" 4 digits; "+Inf", "-Inf" or "Nan".
bool isRealText(std::string_view text);

// The same for any width and number of decimals, after the limits (255, 216) are applied: blanks up to
// the width, then the fixed form with the decimals, the exponent form with its digits, or a word.
bool isRealText(std::string_view text, std::uint32_t width, std::uint32_t decimals);

inline bool isCanonical(Extended x) {
    const std::uint32_t exponent = x.signExponent & extendedExponentMax;
    const bool integerBit = (x.significand >> 63) != 0;
    if (exponent == 0) {
        return !integerBit;  // zero or a true subnormal
    }
    return integerBit;  // normal, infinity or NaN
}

}  // namespace m2s::fuzz
