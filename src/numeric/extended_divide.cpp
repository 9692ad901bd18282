// Division: one 128 / 64 quotient of the significands gives all 64 result bits; the remainder decides
// the round bit and the sticky bit.
#include "numeric/extended_internal.hpp"

namespace m2s {

using namespace numeric_detail;

Extended divide(Extended a, Extended b) {
    const bool negative = ((a.signExponent ^ b.signExponent) & signBit) != 0;
    // Zeros, infinities, NaNs and refused encodings first; two normal operands go straight on.
    if (!bothNormal(a, b)) {
        const Kind kindA = kindOf(a);
        const Kind kindB = kindOf(b);
        if (kindA >= Kind::quietNaN || kindB >= Kind::quietNaN) return propagateNaN(a, kindA, b, kindB);
        if (kindA == Kind::infinity) {
            if (kindB == Kind::infinity) return invalidResult();
            return signedInfinity(negative);
        }
        if (kindB == Kind::infinity) return signedZero(negative);
        if (kindB == Kind::zero) {
            if (kindA == Kind::zero) return invalidResult();
            raiseFault(faultDivisionByZero);
            return signedInfinity(negative);
        }
        if (kindA == Kind::zero) return signedZero(negative);
    }
    const Unpacked ua = unpackFinite(a);
    const Unpacked ub = unpackFinite(b);
    // The quotient of two values in [1, 2) lies in (1/2, 2): take 64 bits of it from the right place.
    std::int32_t exponent = ua.exponent - ub.exponent + bias;
    std::uint64_t high = ua.sig >> 1;
    std::uint64_t low = ua.sig << 63;
    if (ua.sig < ub.sig) {
        high = ua.sig;
        low = 0;
        --exponent;
    }
    std::uint64_t remainder = 0;
    const std::uint64_t sig = divideWide(high, low, ub.sig, &remainder);
    std::uint64_t extra = 0;
    if (remainder != 0) {
        const std::uint64_t rest = ub.sig - remainder;  // compare 2 * remainder with the divisor
        extra = remainder > rest ? 0xC000000000000000u : remainder == rest ? integerBit : 0x4000000000000000u;
    }
    return roundPack(negative, exponent, sig, extra);
}

}  // namespace m2s
