// Exact results that hold on every host, x87 or not: hand-checked encodings, the faults and their
// numbers, signed zeros, and the conversions to integers.
#include <gtest/gtest.h>

#include <cstdint>

#include "numeric/extended.hpp"
#include "numeric_test_support.hpp"

namespace m2s {
namespace {

using testing::hex;
using testing::startRecordingFaults;
using testing::takeFault;

constexpr Extended one = extendedFromBits(0x3FFF, 0x8000000000000000u);
constexpr Extended two = extendedFromBits(0x4000, 0x8000000000000000u);
constexpr Extended three = extendedFromBits(0x4000, 0xC000000000000000u);
constexpr Extended half = extendedFromBits(0x3FFE, 0x8000000000000000u);
constexpr Extended zero = extendedFromBits(0x0000, 0);
constexpr Extended minusZero = extendedFromBits(0x8000, 0);
constexpr Extended infinity = extendedFromBits(0x7FFF, 0x8000000000000000u);
constexpr Extended minusInfinity = extendedFromBits(0xFFFF, 0x8000000000000000u);
constexpr Extended largest = extendedFromBits(0x7FFE, 0xFFFFFFFFFFFFFFFFu);
constexpr Extended smallestSubnormal = extendedFromBits(0x0000, 1);
constexpr Extended defaultNaN = extendedFromBits(0xFFFF, 0xC000000000000000u);

enum class Op { add, subtract, multiply, divide };

Extended apply(Op op, Extended a, Extended b) {
    switch (op) {
        case Op::add: return add(a, b);
        case Op::subtract: return subtract(a, b);
        case Op::multiply: return multiply(a, b);
        case Op::divide: return divide(a, b);
    }
    return a;
}

struct ExactCase {
    const char* what;
    Op op;
    Extended a, b;
    Extended expected;
    std::uint32_t fault;
};

TEST(ExtendedExact, HandCheckedResultsAndFaults) {
    const ExactCase cases[] = {
        {"1 + 1", Op::add, one, one, two, 0},
        {"3 - 1", Op::subtract, three, one, two, 0},
        {"1 - 1 is +0", Op::subtract, one, one, zero, 0},
        {"-0 + -0 is -0", Op::add, minusZero, minusZero, minusZero, 0},
        {"-0 + 0 is +0", Op::add, minusZero, zero, zero, 0},
        {"3 x 0.5", Op::multiply, three, half, extendedFromBits(0x3FFF, 0xC000000000000000u), 0},
        {"1 / 3 rounds to nearest", Op::divide, one, three, extendedFromBits(0x3FFD, 0xAAAAAAAAAAAAAAABu), 0},
        {"2 / 3 rounds to nearest", Op::divide, two, three, extendedFromBits(0x3FFE, 0xAAAAAAAAAAAAAAABu), 0},
        {"1 + 2^-64 is a tie, to even", Op::add, one, extendedFromBits(0x3FBF, 0x8000000000000000u), one, 0},
        {"1 + 3 x 2^-65 rounds up", Op::add, one, extendedFromBits(0x3FBF, 0xC000000000000000u),
         extendedFromBits(0x3FFF, 0x8000000000000001u), 0},
        {"largest + largest overflows", Op::add, largest, largest, infinity, faultOverflow},
        {"largest x 2 overflows", Op::multiply, largest, two, infinity, faultOverflow},
        {"inf - inf is invalid", Op::subtract, infinity, infinity, defaultNaN, faultInvalidOperation},
        {"inf + -inf is invalid", Op::add, infinity, minusInfinity, defaultNaN, faultInvalidOperation},
        {"0 x inf is invalid", Op::multiply, zero, infinity, defaultNaN, faultInvalidOperation},
        {"0 / 0 is invalid", Op::divide, zero, zero, defaultNaN, faultInvalidOperation},
        {"inf / inf is invalid", Op::divide, infinity, infinity, defaultNaN, faultInvalidOperation},
        {"1 / 0 divides by zero", Op::divide, one, zero, infinity, faultDivisionByZero},
        {"-1 / 0 divides by zero", Op::divide, negate(one), zero, minusInfinity, faultDivisionByZero},
        {"inf + 1 is inf, no fault", Op::add, infinity, one, infinity, 0},
        {"smallest subnormal / 2 is a tie to 0, no fault", Op::divide, smallestSubnormal, two, zero, 0},
        {"smallest subnormal x 1", Op::multiply, smallestSubnormal, one, smallestSubnormal, 0},
    };
    startRecordingFaults();
    for (const ExactCase& c : cases) {
        const Extended result = apply(c.op, c.a, c.b);
        EXPECT_EQ(hex(result), hex(c.expected)) << c.what;
        EXPECT_EQ(takeFault(), c.fault) << c.what;
    }
}

TEST(ExtendedExact, ComparisonsAndTests) {
    startRecordingFaults();
    EXPECT_TRUE(isEqual(zero, minusZero));
    EXPECT_FALSE(isLess(minusZero, zero));
    EXPECT_FALSE(isGreater(zero, minusZero));
    EXPECT_TRUE(isLess(one, two));
    EXPECT_TRUE(isGreater(minusZero, minusInfinity));
    EXPECT_FALSE(isEqual(one, two));
    EXPECT_EQ(takeFault(), 0u);
    EXPECT_FALSE(isLess(defaultNaN, one));
    EXPECT_EQ(takeFault(), faultInvalidOperation);
    EXPECT_FALSE(isEqual(defaultNaN, defaultNaN));
    EXPECT_EQ(takeFault(), 0u);

    EXPECT_TRUE(isNegative(minusZero));
    EXPECT_TRUE(isZero(minusZero));
    EXPECT_TRUE(isInfinity(minusInfinity));
    EXPECT_FALSE(isInfinity(defaultNaN));
    EXPECT_TRUE(isNaN(defaultNaN));
    EXPECT_EQ(hex(negate(zero)), hex(minusZero));
    EXPECT_EQ(hex(absolute(minusInfinity)), hex(infinity));
}

TEST(ExtendedExact, BinaryExponentAndIntegers) {
    EXPECT_EQ(binaryExponent(one), 0);
    EXPECT_EQ(binaryExponent(three), 1);
    EXPECT_EQ(binaryExponent(half), -1);
    EXPECT_EQ(binaryExponent(largest), 16383);
    EXPECT_EQ(binaryExponent(smallestSubnormal), -16445);
    EXPECT_EQ(binaryExponent(extendedFromBits(0x0000, 0x4000000000000000u)), -16383);

    EXPECT_EQ(hex(extendedFromInt(0)), hex(zero));
    EXPECT_EQ(hex(extendedFromInt(1)), hex(one));
    EXPECT_EQ(hex(extendedFromInt(-3)), hex(negate(three)));
    EXPECT_EQ(hex(extendedFromInt(10)), "4002A000000000000000");
    EXPECT_EQ(hex(extendedFromInt(INT32_MIN)), "C01E8000000000000000");

    struct RoundCase {
        Extended value;
        std::uint64_t expected;
    };
    const RoundCase rounds[] = {
        {half, 0},
        {extendedFromBits(0x3FFF, 0xC000000000000000u), 2},  // 1.5
        {extendedFromBits(0x4000, 0xA000000000000000u), 2},  // 2.5
        {extendedFromBits(0x4000, 0xE000000000000000u), 4},  // 3.5
        {extendedFromBits(0x403E, 0xFFFFFFFFFFFFFFFFu), 0xFFFFFFFFFFFFFFFFu},
        {extendedFromBits(0x3FFD, 0xFFFFFFFFFFFFFFFFu), 0},  // just below 0.5
    };
    for (const RoundCase& r : rounds) {
        EXPECT_EQ(roundToUnsigned64(r.value), r.expected) << hex(r.value);
    }
    EXPECT_EQ(hex(roundToIntegral(extendedFromBits(0x4000, 0xA000000000000000u))), hex(two));
    EXPECT_EQ(hex(roundToIntegral(negate(half))), hex(minusZero));
}

}  // namespace
}  // namespace m2s
