// Multiplication: the exact 128-bit product of the two significands, rounded once.
#include "numeric/extended_internal.hpp"

namespace m2s {

using namespace numeric_detail;

Extended multiply(Extended a, Extended b) {
    const bool negative = ((a.signExponent ^ b.signExponent) & signBit) != 0;
    // Zeros, infinities, NaNs and refused encodings first; two normal operands go straight on.
    if (!bothNormal(a, b)) {
        const Kind kindA = kindOf(a);
        const Kind kindB = kindOf(b);
        if (kindA >= Kind::quietNaN || kindB >= Kind::quietNaN) return propagateNaN(a, kindA, b, kindB);
        if (kindA == Kind::infinity || kindB == Kind::infinity) {
            if (kindA == Kind::zero || kindB == Kind::zero) return invalidResult();
            return signedInfinity(negative);
        }
        if (kindA == Kind::zero || kindB == Kind::zero) return signedZero(negative);
    }
    const Unpacked ua = unpackFinite(a);
    const Unpacked ub = unpackFinite(b);
    Wide product = multiplyWide(ua.sig, ub.sig);
    std::int32_t exponent = ua.exponent + ub.exponent - bias + 1;
    if ((product.high & integerBit) == 0) {  // the product of two values in [1, 2) lies in [1, 4)
        product.high = (product.high << 1) | (product.low >> 63);
        product.low <<= 1;
        --exponent;
    }
    return roundPack(negative, exponent, product.high, product.low);
}

}  // namespace m2s
