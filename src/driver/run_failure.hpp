// How a run ends: the check after every I/O step, the run-time error message with its exit status, and
// the end of the process. The first check that finds a number in ioErrorCode ends the run; a processor
// fault ends it the same way through the fault trap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/io_error.hpp"

namespace m2s {

extern std::int32_t exitStatus;
extern std::uintptr_t errorLocation;
extern bool errorLocationSet;

// The start of a run, before anything is written: fault trap, exit status 0, floating-point control
// word, console streams set up unopened.
void startRun();

// The failed end of a check: its location is the point just after this call, in the caller.
[[noreturn]] void ioCheckFailed(unsigned site);

// Ends the run with ioErrorCode when it is not 0; otherwise changes nothing. Inline, so the call of
// ioCheckFailed stands at every check site itself and each site shows a location of its own; the
// site's line keeps the compiler from merging two sites into one call.
[[gnu::always_inline]] inline void IoCheck(unsigned site = __builtin_LINE()) {
    if (ioErrorCode != 0) [[unlikely]] {
        ioCheckFailed(site);
    }
}

[[noreturn]] void RuntimeErrorExit(std::uint32_t number, std::uintptr_t location);
[[noreturn]] void EndRun();

// "Runtime error     at 00000000" with the number ending in column 17 and the location as eight
// uppercase hexadecimal digits; writes exactly runtimeErrorMessageLength bytes.
inline constexpr std::size_t runtimeErrorMessageLength = 29;
void composeRuntimeErrorMessage(std::uint32_t number, std::uintptr_t location, char* out);

}  // namespace m2s
