// Addition and subtraction. Both come down to adding or subtracting two magnitudes aligned on the
// larger exponent; the smaller operand's lost bits are kept as a sticky bit for the one rounding.
#include "numeric/extended_internal.hpp"

namespace m2s {

using namespace numeric_detail;

namespace {

Extended addMagnitudes(Unpacked a, Unpacked b) {  // same sign, a.exponent >= b.exponent
    std::uint64_t sigB = b.sig;
    std::uint64_t extra = 0;
    shiftRightJam(&sigB, &extra, a.exponent - b.exponent);
    std::uint64_t sig = a.sig + sigB;
    std::int32_t exponent = a.exponent;
    if (sig < a.sig) {  // carry out of bit 63
        extra = (sig << 63) | (extra >> 1) | (extra & 1u);
        sig = (sig >> 1) | integerBit;
        ++exponent;
    }
    return roundPack(a.negative, exponent, sig, extra);
}

Extended subtractMagnitudes(Unpacked a, Unpacked b) {  // opposite signs, |a| >= |b|
    std::uint64_t sigB = b.sig;
    std::uint64_t extraB = 0;
    shiftRightJam(&sigB, &extraB, a.exponent - b.exponent);
    std::uint64_t extra = 0 - extraB;
    std::uint64_t sig = a.sig - sigB - (extraB != 0 ? 1u : 0u);
    std::int32_t exponent = a.exponent;
    if (sig == 0) {
        if (extra == 0) return signedZero(false);  // x + (-x) is +0 when rounding to nearest
        sig = extra;
        extra = 0;
        exponent -= 64;
    }
    const int shift = leadingZeros(sig);
    if (shift != 0) {
        sig = (sig << shift) | (extra >> (64 - shift));
        extra <<= shift;
        exponent -= shift;
    }
    return roundPack(a.negative, exponent, sig, extra);
}

bool magnitudeBelow(Unpacked a, Unpacked b) {
    return a.exponent < b.exponent || (a.exponent == b.exponent && a.sig < b.sig);
}

// a + b, with b's sign already flipped for a subtraction; bNegative is b's effective sign.
Extended addSigned(Extended a, Kind kindA, Extended b, Kind kindB, bool bNegative) {
    const bool aNegative = (a.signExponent & signBit) != 0;
    if (kindA == Kind::infinity) {
        if (kindB == Kind::infinity && aNegative != bNegative) return invalidResult();
        return a;
    }
    if (kindB == Kind::infinity) return signedInfinity(bNegative);
    if (kindA == Kind::zero) {
        if (kindB == Kind::zero) return signedZero(aNegative && bNegative);
        // b alone: normalised again, so that a pseudo-denormal comes out in its canonical form.
        Unpacked ub = unpackFinite(b);
        return roundPack(bNegative, ub.exponent, ub.sig, 0);
    }
    Unpacked ua = unpackFinite(a);
    if (kindB == Kind::zero) return roundPack(ua.negative, ua.exponent, ua.sig, 0);
    Unpacked ub = unpackFinite(b);
    ub.negative = bNegative;
    if (ua.negative == ub.negative) {
        return magnitudeBelow(ua, ub) ? addMagnitudes(ub, ua) : addMagnitudes(ua, ub);
    }
    return magnitudeBelow(ua, ub) ? subtractMagnitudes(ub, ua) : subtractMagnitudes(ua, ub);
}

}  // namespace

Extended add(Extended a, Extended b) {
    const Kind kindA = kindOf(a);
    const Kind kindB = kindOf(b);
    if (kindA >= Kind::quietNaN || kindB >= Kind::quietNaN) return propagateNaN(a, kindA, b, kindB);
    return addSigned(a, kindA, b, kindB, (b.signExponent & signBit) != 0);
}

Extended subtract(Extended a, Extended b) {
    const Kind kindA = kindOf(a);
    const Kind kindB = kindOf(b);
    if (kindA >= Kind::quietNaN || kindB >= Kind::quietNaN) return propagateNaN(a, kindA, b, kindB);
    return addSigned(a, kindA, b, kindB, (b.signExponent & signBit) == 0);
}

}  // namespace m2s
