// What the files of src/numeric share and nobody else sees: the unpacked form of an operand, the wide
// integer steps (a 64 x 64 product, a 128 / 64 quotient, shifts that keep a sticky bit), the one
// routine that rounds and packs every result, and the x87's own choices under control word 0x1332:
// which encodings it refuses, how a NaN travels, what a masked fault delivers.
#pragma once

#include <cstdint>

#include "numeric/extended.hpp"

namespace m2s::numeric_detail {

inline constexpr std::uint64_t integerBit = 0x8000000000000000u;
inline constexpr std::uint64_t quietBit = 0x4000000000000000u;
inline constexpr std::uint16_t signBit = 0x8000u;
inline constexpr std::int32_t bias = extendedExponentBias;
inline constexpr std::int32_t exponentMax = extendedExponentMax;

// The x87's "indefinite": what an invalid operation delivers when the fault is masked.
inline constexpr Extended defaultNaN{0xFFFF, 0xC000000000000000u};

inline int leadingZeros(std::uint64_t x) {  // x != 0
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_clzll(x);
#else
    int count = 0;
    for (std::uint64_t bit = integerBit; (x & bit) == 0; bit >>= 1) ++count;
    return count;
#endif
}

#if defined(__SIZEOF_INT128__) && !defined(M2S_NUMERIC_NO_INT128)
#define M2S_NUMERIC_INT128 1
__extension__ typedef unsigned __int128 Uint128;  // a compiler extension, named once
#endif

struct Wide {
    std::uint64_t high;
    std::uint64_t low;
};

inline Wide multiplyWide(std::uint64_t a, std::uint64_t b) {
#if defined(M2S_NUMERIC_INT128)
    const Uint128 product = static_cast<Uint128>(a) * b;
    return Wide{static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
#else
    const std::uint64_t aLow = a & 0xFFFFFFFFu;
    const std::uint64_t aHigh = a >> 32;
    const std::uint64_t bLow = b & 0xFFFFFFFFu;
    const std::uint64_t bHigh = b >> 32;
    const std::uint64_t lowLow = aLow * bLow;
    const std::uint64_t lowHigh = aLow * bHigh;
    const std::uint64_t highLow = aHigh * bLow;
    const std::uint64_t middle = (lowLow >> 32) + (lowHigh & 0xFFFFFFFFu) + (highLow & 0xFFFFFFFFu);
    return Wide{aHigh * bHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32),
                (middle << 32) | (lowLow & 0xFFFFFFFFu)};
#endif
}

// (high:low) / divisor for high < divisor, so the quotient fits 64 bits.
inline std::uint64_t divideWide(std::uint64_t high, std::uint64_t low, std::uint64_t divisor,
                                std::uint64_t* remainder) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(M2S_NUMERIC_NO_INT128)
    // One hardware division: the processor divides 128 by 64 bits when the quotient fits, which
    // high < divisor guarantees. (The compiler's own 128-bit division is a library call.)
    std::uint64_t quotient;
    __asm__("divq %[divisor]"
            : "=a"(quotient), "=d"(*remainder)
            : [divisor] "rm"(divisor), "a"(low), "d"(high)
            : "cc");
    return quotient;
#elif defined(M2S_NUMERIC_INT128)
    const Uint128 dividend = (static_cast<Uint128>(high) << 64) | low;
    const std::uint64_t quotient = static_cast<std::uint64_t>(dividend / divisor);
    *remainder = low - quotient * divisor;
    return quotient;
#else
    // Two steps of 32-bit digits with a normalised divisor (Knuth's algorithm D, base 2^32).
    const int shift = leadingZeros(divisor);
    divisor <<= shift;
    if (shift != 0) {
        high = (high << shift) | (low >> (64 - shift));
        low <<= shift;
    }
    const std::uint64_t base = 0x100000000u;
    const std::uint64_t dHigh = divisor >> 32;
    const std::uint64_t dLow = divisor & 0xFFFFFFFFu;
    const std::uint64_t nHigh = low >> 32;
    const std::uint64_t nLow = low & 0xFFFFFFFFu;

    std::uint64_t q1 = high / dHigh;
    std::uint64_t r = high - q1 * dHigh;
    while (q1 >= base || q1 * dLow > ((r << 32) | nHigh)) {
        --q1;
        r += dHigh;
        if (r >= base) break;
    }
    const std::uint64_t partial = (high << 32) + nHigh - q1 * divisor;

    std::uint64_t q0 = partial / dHigh;
    r = partial - q0 * dHigh;
    while (q0 >= base || q0 * dLow > ((r << 32) | nLow)) {
        --q0;
        r += dHigh;
        if (r >= base) break;
    }
    *remainder = (((partial << 32) + nLow) - q0 * divisor) >> shift;
    return (q1 << 32) | q0;
#endif
}

// Shifts (sig:extra) right by count, folding every bit shifted out of extra into its lowest bit, so
// that rounding still sees whether anything below the round bit was set.
inline void shiftRightJam(std::uint64_t* sig, std::uint64_t* extra, std::int32_t count) {
    if (count <= 0) return;
    if (count < 64) {
        const auto c = static_cast<unsigned>(count);
        const std::uint64_t lost = *extra << (64 - c);
        *extra = (*sig << (64 - c)) | (*extra >> c) | (lost != 0 ? 1u : 0u);
        *sig >>= c;
    } else if (count == 64) {
        *extra = *sig | (*extra != 0 ? 1u : 0u);
        *sig = 0;
    } else if (count < 128) {
        const auto c = static_cast<unsigned>(count - 64);
        const std::uint64_t lost = (*sig << (64 - c)) | *extra;
        *extra = (*sig >> c) | (lost != 0 ? 1u : 0u);
        *sig = 0;
    } else {
        *extra = (*sig | *extra) != 0 ? 1u : 0u;
        *sig = 0;
    }
}

// What kind of value an encoding stands for, as the 387 and later read it.
enum class Kind : std::uint8_t { zero, finite, infinity, quietNaN, signallingNaN, unsupported };

inline Kind kindOf(Extended a) {
    const std::int32_t exponent = a.signExponent & 0x7FFF;
    const bool integer = (a.significand & integerBit) != 0;
    if (exponent == exponentMax) {
        if (!integer) return Kind::unsupported;  // pseudo-infinity, pseudo-NaN
        if ((a.significand & ~integerBit) == 0) return Kind::infinity;
        return (a.significand & quietBit) != 0 ? Kind::quietNaN : Kind::signallingNaN;
    }
    if (exponent == 0) return a.significand == 0 ? Kind::zero : Kind::finite;  // subnormals, pseudo-denormals
    return integer ? Kind::finite : Kind::unsupported;                           // unnormals
}

// Both operands normal (an exponent field of 1 to 0x7FFE and the integer bit set): the common case,
// which needs no classification.
inline bool bothNormal(Extended a, Extended b) {
    const std::uint32_t exponentA = a.signExponent & 0x7FFFu;
    const std::uint32_t exponentB = b.signExponent & 0x7FFFu;
    return exponentA - 1u < 0x7FFEu && exponentB - 1u < 0x7FFEu && (a.significand & b.significand & integerBit) != 0;
}

inline bool isNaNKind(Kind k) { return k == Kind::quietNaN || k == Kind::signallingNaN; }

// A finite non-zero operand, normalised: value = sig * 2^(exponent - bias - 63) with bit 63 of sig set.
// The exponent may fall below 1 for subnormal operands.
struct Unpacked {
    bool negative;
    std::int32_t exponent;
    std::uint64_t sig;
};

inline Unpacked unpackFinite(Extended a) {
    std::int32_t exponent = a.signExponent & 0x7FFF;
    if (exponent == 0) exponent = 1;  // subnormals and pseudo-denormals share the scale of exponent 1
    const int shift = leadingZeros(a.significand);
    return Unpacked{(a.signExponent & signBit) != 0, exponent - shift, a.significand << shift};
}

inline Extended packed(bool negative, std::int32_t exponent, std::uint64_t sig) {
    return Extended{static_cast<std::uint16_t>((negative ? signBit : 0u) | static_cast<std::uint32_t>(exponent)),
                    sig};
}

inline Extended signedZero(bool negative) { return packed(negative, 0, 0); }
inline Extended signedInfinity(bool negative) { return packed(negative, exponentMax, integerBit); }

// The single seam through which every fault leaves the library; see extended_faults.cpp.
void raiseFault(std::uint32_t number);

// Rounds the value (sig + extra / 2^64) * 2^(exponent - bias - 63), sig normalised, to nearest, ties
// to even, and packs it: subnormal when it is tiny, a fault 205 (masked: an infinity) when it overflows.
Extended roundPack(bool negative, std::int32_t exponent, std::uint64_t sig, std::uint64_t extra);

// The result of a two-operand arithmetic operation when one operand is a NaN or is refused; call only
// when kindOf(a) or kindOf(b) is a NaN or unsupported.
Extended propagateNaN(Extended a, Kind kindA, Extended b, Kind kindB);

// The invalid operation fault, then the masked answer.
inline Extended invalidResult() {
    raiseFault(faultInvalidOperation);
    return defaultNaN;
}

}  // namespace m2s::numeric_detail
