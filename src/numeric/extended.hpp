// The 80-bit extended real: sign bit, 15-bit biased exponent, 64-bit significand with an explicit integer
// bit. Modelled in software, bit for bit as the x87 unit computes under control word 0x1332 (round to
// nearest, ties to even, 64-bit precision; overflow, invalid operation and division by zero fault;
// underflow, denormal operands and inexact results pass), so every build on every processor gives the
// same bits. The host's floating point is never used.
#pragma once

#include <cstdint>

namespace m2s {

struct Extended {
    std::uint16_t signExponent;  // bit 15: sign; bits 0-14: biased exponent
    std::uint64_t significand;   // bit 63: the explicit integer bit
};

inline constexpr std::uint16_t extendedExponentBias = 16383;
inline constexpr std::uint16_t extendedExponentMax = 0x7FFF;  // infinities and NaNs

constexpr Extended extendedFromBits(std::uint16_t signExponent, std::uint64_t significand) {
    return Extended{signExponent, significand};
}

// Exact: every 32-bit integer fits the 64-bit significand.
Extended extendedFromInt(std::int32_t value);

// Arithmetic, each one rounding once to nearest, ties to even.
Extended add(Extended a, Extended b);
Extended subtract(Extended a, Extended b);
Extended multiply(Extended a, Extended b);
Extended divide(Extended a, Extended b);

// Comparisons: -0 equals 0. isLess and isGreater are signalling (a NaN operand is an invalid
// operation, as the x87 FCOM); isEqual is quiet (only a signalling NaN faults).
bool isLess(Extended a, Extended b);
bool isGreater(Extended a, Extended b);
bool isEqual(Extended a, Extended b);

Extended negate(Extended a);    // flips the sign bit, never faults
Extended absolute(Extended a);  // clears the sign bit, never faults

bool isNegative(Extended a);  // the sign bit: also set for -0 and for a NaN with its sign set
bool isZero(Extended a);
bool isInfinity(Extended a);
bool isNaN(Extended a);

// e with 2^e <= |a| < 2^(e+1); a finite and not zero (subnormals included).
int binaryExponent(Extended a);

// To an integral value, ties to even (FRNDINT).
Extended roundToIntegral(Extended a);
// To an unsigned integer, ties to even; for 0 <= a < 2^64.
std::uint64_t roundToUnsigned64(Extended a);

// Faults. An operation that overflows, is invalid or divides by zero calls the installed handler with
// the run-time error number and the place in this library that found the fault. The run's handler
// never returns; a test's handler may, and the operation then delivers what the x87 delivers with the
// fault masked (an infinity, the default NaN).
inline constexpr std::uint32_t faultDivisionByZero = 200;
inline constexpr std::uint32_t faultOverflow = 205;
inline constexpr std::uint32_t faultInvalidOperation = 207;

using ExtendedFaultHandler = void (*)(std::uint32_t number, const void* where);
void setExtendedFaultHandler(ExtendedFaultHandler handler);

}  // namespace m2s
