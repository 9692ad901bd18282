// The 56 powers of ten by which decimal text is scaled: 10^k for k = 0..31, 32..480 in steps of 32 and
// 512..4608 in steps of 512, each rounded once to the nearest extended value, ties to even.
#pragma once

#include <cstdint>

#include "numeric/extended.hpp"

namespace m2s {

inline constexpr int powerOfTenCount = 56;

// The table in the order above: index 0-31 is 10^0..10^31, 32-46 is 10^32..10^480, 47-55 is
// 10^512..10^4608.
extern const Extended powersOfTen[powerOfTenCount];

// 10^k for one of the 56 exponents k of the table.
Extended powerOfTen(std::uint32_t k);

// whole / 10^k for 1 <= k <= 19, rounded once to nearest, ties to even: exactly
// divide(whole as an extended value, powersOfTen[k]), only faster.
Extended divideByPowerOfTen(std::uint64_t whole, std::uint32_t k);

}  // namespace m2s
