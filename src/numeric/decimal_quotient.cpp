// A 64-bit integer divided by a power of ten up to 10^19, as the token conversion needs it for every
// number with a fraction: the same bits as the general division of the two extended values, without
// its general cases. Both operands are exact and normal, and the quotient lies far from overflow and
// underflow, so only the rounding remains.
#include "numeric/extended_internal.hpp"
#include "numeric/powers_of_ten.hpp"

namespace m2s {

using namespace numeric_detail;

Extended divideByPowerOfTen(std::uint64_t whole, std::uint32_t k) {
    if (whole == 0) {
        return signedZero(false);
    }
    const int shift = leadingZeros(whole);
    const std::uint64_t dividend = whole << shift;
    const Extended divisor = powersOfTen[k];
    std::int32_t exponent = (63 - shift) - (divisor.signExponent - bias) + bias;
    // As in the general division: 64 quotient bits from the right place, the remainder for rounding.
    std::uint64_t high = dividend >> 1;
    std::uint64_t low = dividend << 63;
    if (dividend < divisor.significand) {
        high = dividend;
        low = 0;
        --exponent;
    }
    std::uint64_t remainder = 0;
    std::uint64_t quotient = divideWide(high, low, divisor.significand, &remainder);
    const std::uint64_t rest = divisor.significand - remainder;  // compare 2 * remainder with the divisor
    if (remainder > rest || (remainder == rest && (quotient & 1u) != 0)) {
        ++quotient;
        if (quotient == 0) {
            quotient = integerBit;
            ++exponent;
        }
    }
    return packed(false, exponent, quotient);
}

}  // namespace m2s
