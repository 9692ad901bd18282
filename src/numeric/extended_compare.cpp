// Comparisons, as the x87 compares: the ordered ones (FCOM) refuse any NaN, equality (FUCOM) refuses
// only a signalling one; every refused encoding is an invalid operation. -0 equals +0.
#include "numeric/extended_internal.hpp"

namespace m2s {

using namespace numeric_detail;

namespace {

enum class Order : std::uint8_t { below, equal, above, unordered };

Order compare(Extended a, Extended b, bool quiet) {
    const Kind kindA = kindOf(a);
    const Kind kindB = kindOf(b);
    if (kindA >= Kind::quietNaN || kindB >= Kind::quietNaN) {
        const bool refused = !quiet || kindA >= Kind::signallingNaN || kindB >= Kind::signallingNaN;
        if (refused) raiseFault(faultInvalidOperation);
        return Order::unordered;
    }
    if (kindA == Kind::zero && kindB == Kind::zero) return Order::equal;
    const bool aNegative = kindA != Kind::zero && (a.signExponent & signBit) != 0;
    const bool bNegative = kindB != Kind::zero && (b.signExponent & signBit) != 0;
    if (aNegative != bNegative) return aNegative ? Order::below : Order::above;
    // Same sign: order the magnitudes, reading exponent field 0 as 1 (subnormals and pseudo-denormals
    // share that scale, and every other accepted finite value has its integer bit set).
    std::int32_t exponentA = a.signExponent & 0x7FFF;
    std::int32_t exponentB = b.signExponent & 0x7FFF;
    if (kindA == Kind::zero) exponentA = 0;
    else if (exponentA == 0) exponentA = 1;
    if (kindB == Kind::zero) exponentB = 0;
    else if (exponentB == 0) exponentB = 1;
    Order magnitude = Order::equal;
    if (exponentA != exponentB) {
        magnitude = exponentA < exponentB ? Order::below : Order::above;
    } else if (a.significand != b.significand) {
        magnitude = a.significand < b.significand ? Order::below : Order::above;
    }
    if (!aNegative || magnitude == Order::equal) return magnitude;
    return magnitude == Order::below ? Order::above : Order::below;
}

}  // namespace

bool isLess(Extended a, Extended b) { return compare(a, b, false) == Order::below; }
bool isGreater(Extended a, Extended b) { return compare(a, b, false) == Order::above; }
bool isEqual(Extended a, Extended b) { return compare(a, b, true) == Order::equal; }

}  // namespace m2s
