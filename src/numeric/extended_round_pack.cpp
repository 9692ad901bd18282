// The end of every arithmetic operation: one rounding to nearest, ties to even, at the 64th significant
// bit or, for a tiny result, at the subnormal position (the x87 with underflow masked), and the overflow
// fault. Also the NaN rules shared by the two-operand operations.
#include "numeric/extended_internal.hpp"

namespace m2s::numeric_detail {

Extended roundPack(bool negative, std::int32_t exponent, std::uint64_t sig, std::uint64_t extra) {
    if (exponent <= 0) {
        // Tiny: denormalise first, so the one rounding happens at the subnormal position. A carry out of
        // the subnormal range gives bit 63, and with it the exponent field 1, by itself.
        shiftRightJam(&sig, &extra, 1 - exponent);
        exponent = 0;
    }
    if (extra > integerBit || (extra == integerBit && (sig & 1u) != 0)) {
        ++sig;
        if (sig == 0) {
            sig = integerBit;
            ++exponent;
        } else if (exponent == 0 && (sig & integerBit) != 0) {
            exponent = 1;
        }
    }
    if (exponent >= exponentMax) {
        raiseFault(faultOverflow);
        return signedInfinity(negative);
    }
    return packed(negative, exponent, sig);
}

Extended propagateNaN(Extended a, Kind kindA, Extended b, Kind kindB) {
    if (kindA == Kind::unsupported || kindB == Kind::unsupported) return invalidResult();
    if (kindA == Kind::signallingNaN || kindB == Kind::signallingNaN) raiseFault(faultInvalidOperation);
    // A quiet NaN wins over a signalling one; between two of a kind the larger significand wins, and
    // with equal significands the positive one.
    Extended result = a;
    if (!isNaNKind(kindA)) {
        result = b;
    } else if (isNaNKind(kindB)) {
        if (kindA != kindB) {
            result = kindA == Kind::quietNaN ? a : b;
        } else if (a.significand != b.significand) {
            result = a.significand > b.significand ? a : b;
        } else {
            result = (a.signExponent & signBit) == 0 ? a : b;
        }
    }
    result.significand |= quietBit;
    return result;
}

}  // namespace m2s::numeric_detail
