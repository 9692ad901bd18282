// The small operations of Extended: construction from an integer, sign and class tests, the binary
// exponent, and rounding to an integer (FRNDINT, and into an unsigned 64-bit integer).
#include "numeric/extended_internal.hpp"

namespace m2s {

using namespace numeric_detail;

Extended extendedFromInt(std::int32_t value) {
    if (value == 0) return signedZero(false);
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? 0u - static_cast<std::uint64_t>(static_cast<std::int64_t>(value)) : static_cast<std::uint64_t>(value);
    const int shift = leadingZeros(magnitude);
    return packed(negative, bias + 63 - shift, magnitude << shift);
}

Extended negate(Extended a) { return Extended{static_cast<std::uint16_t>(a.signExponent ^ signBit), a.significand}; }
Extended absolute(Extended a) { return Extended{static_cast<std::uint16_t>(a.signExponent & 0x7FFF), a.significand}; }

bool isNegative(Extended a) { return (a.signExponent & signBit) != 0; }
bool isZero(Extended a) { return kindOf(a) == Kind::zero; }
bool isInfinity(Extended a) { return kindOf(a) == Kind::infinity; }
bool isNaN(Extended a) { return isNaNKind(kindOf(a)); }

int binaryExponent(Extended a) {
    std::int32_t exponent = a.signExponent & 0x7FFF;
    if (exponent == 0) exponent = 1;
    return exponent - bias - leadingZeros(a.significand);
}

Extended roundToIntegral(Extended a) {
    const Kind kind = kindOf(a);
    if (kind == Kind::unsupported) return invalidResult();
    if (kind == Kind::signallingNaN) {
        raiseFault(faultInvalidOperation);
        return Extended{a.signExponent, a.significand | quietBit};
    }
    if (kind != Kind::finite) return a;
    const Unpacked u = unpackFinite(a);
    const std::int32_t e = u.exponent - bias;  // 2^e <= |a| < 2^(e+1)
    if (e >= 63) return a;
    if (e < -1) return signedZero(u.negative);
    if (e == -1) return u.sig > integerBit ? packed(u.negative, bias, integerBit) : signedZero(u.negative);
    const auto fractionBits = static_cast<unsigned>(63 - e);  // 1 .. 63
    const std::uint64_t half = std::uint64_t{1} << (fractionBits - 1);
    const std::uint64_t fraction = u.sig & ((half << 1) - 1);
    std::uint64_t integer = u.sig >> fractionBits;
    if (fraction > half || (fraction == half && (integer & 1u) != 0)) ++integer;
    std::uint64_t sig = integer << fractionBits;
    std::int32_t exponent = u.exponent;
    if (sig == 0) {  // carried into the next power of two
        sig = integerBit;
        ++exponent;
    }
    return packed(u.negative, exponent, sig);
}

std::uint64_t roundToUnsigned64(Extended a) {
    const Kind kind = kindOf(a);
    if (kind != Kind::finite || (a.signExponent & signBit) != 0) return 0;  // outside the promised range
    const Extended rounded = roundToIntegral(a);
    if (kindOf(rounded) == Kind::zero) return 0;
    const std::int32_t e = binaryExponent(rounded);
    if (e > 63) return ~std::uint64_t{0};
    return rounded.significand >> (63 - e);
}

}  // namespace m2s
