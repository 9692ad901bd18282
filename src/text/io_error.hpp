// The run's one pending I/O failure: every stream operation that fails stores its number here,
// replacing any earlier one, and returns as usual; only the run's checks read it, and nothing clears it.
#pragma once

#include <cstdint>

namespace m2s {

extern std::uint32_t ioErrorCode;

// The text streams' own numbers, beside the system's error numbers that pass through unchanged.
inline constexpr std::uint32_t errorReadBeyondEnd = 100;     // input ended inside what must be complete
inline constexpr std::uint32_t errorNotOpen = 103;           // flush or close of a stream that is not open
inline constexpr std::uint32_t errorNotOpenForReading = 104;
inline constexpr std::uint32_t errorNotOpenForWriting = 105;  // also: a target whose kind is unknown
inline constexpr std::uint32_t errorInvalidNumber = 106;

}  // namespace m2s
