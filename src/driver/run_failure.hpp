// How a run ends: the check after every I/O step, the run-time error message with its exit status, and
// the end of the process. The first check that finds a number in ioErrorCode ends the run; a processor
// fault ends it the same way through the fault trap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace m2s {

extern std::int32_t exitStatus;
extern std::uintptr_t errorLocation;
extern bool errorLocationSet;

// The start of a run, before anything is written: fault trap, exit status 0, floating-point control
// word, console streams set up unopened.
void startRun();

// Ends the run with ioErrorCode when it is not 0; otherwise changes nothing. Its location is the point
// just after the call, so every check site has a value of its own.
void IoCheck();

[[noreturn]] void RuntimeErrorExit(std::uint32_t number, std::uintptr_t location);
[[noreturn]] void EndRun();

// "Runtime error     at 00000000" with the number ending in column 17 and the location as eight
// uppercase hexadecimal digits; writes exactly runtimeErrorMessageLength bytes.
inline constexpr std::size_t runtimeErrorMessageLength = 29;
void composeRuntimeErrorMessage(std::uint32_t number, std::uintptr_t location, char* out);

}  // namespace m2s
