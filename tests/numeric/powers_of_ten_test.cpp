// Every entry of the table of powers of ten against 10^k computed here with exact integers and rounded
// once to 64 bits, ties to even: not read from the table, not built by repeated multiplication.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "numeric/powers_of_ten.hpp"
#include "numeric_test_support.hpp"

namespace m2s {
namespace {

// Base 10^9 would hide the binary rounding; base 2^16 keeps the bit walk simple.
struct Exact {
    std::vector<std::uint16_t> limbs{1};  // least significant first

    void timesTen() {
        std::uint32_t carry = 0;
        for (std::uint16_t& limb : limbs) {
            const std::uint32_t product = limb * 10u + carry;
            limb = static_cast<std::uint16_t>(product & 0xFFFF);
            carry = product >> 16;
        }
        if (carry != 0) limbs.push_back(static_cast<std::uint16_t>(carry));
    }
    int bits() const {
        int top = 16;
        while (top > 0 && ((limbs.back() >> (top - 1)) & 1) == 0) --top;
        return static_cast<int>(limbs.size() - 1) * 16 + top;
    }
    bool bit(int i) const { return i >= 0 && ((limbs[static_cast<std::size_t>(i / 16)] >> (i % 16)) & 1) != 0; }
};

Extended nearest(const Exact& value) {
    const int length = value.bits();
    std::uint64_t significand = 0;
    for (int i = length - 1; i >= length - 64; --i) significand = (significand << 1) | (value.bit(i) ? 1 : 0);
    bool sticky = false;
    for (int i = length - 66; i >= 0 && !sticky; --i) sticky = value.bit(i);
    int exponent = 16383 + length - 1;
    const bool roundBit = value.bit(length - 65);
    if (roundBit && (sticky || (significand & 1) != 0)) {
        if (++significand == 0) {
            significand = 0x8000000000000000u;
            ++exponent;
        }
    }
    return extendedFromBits(static_cast<std::uint16_t>(exponent), significand);
}

TEST(PowersOfTen, EveryEntryIsTenToTheKRoundedOnce) {
    Exact power;
    int reached = 0;
    int checked = 0;
    auto check = [&](std::uint32_t k) {
        while (reached < static_cast<int>(k)) {
            power.timesTen();
            ++reached;
        }
        EXPECT_EQ(testing::hex(powerOfTen(k)), testing::hex(nearest(power))) << "10^" << k;
        ++checked;
    };
    for (std::uint32_t k = 0; k < 32; ++k) check(k);
    for (std::uint32_t k = 32; k <= 480; k += 32) check(k);
    for (std::uint32_t k = 512; k <= 4608; k += 512) check(k);
    EXPECT_EQ(checked, powerOfTenCount);
}

TEST(PowersOfTen, KnownEntries) {
    EXPECT_EQ(testing::hex(powerOfTen(0)), "3FFF8000000000000000");
    EXPECT_EQ(testing::hex(powerOfTen(1)), "4002A000000000000000");
    EXPECT_EQ(testing::hex(powerOfTen(27)), "4058CECB8F27F4200F3A");  // the last exact one
    EXPECT_EQ(testing::hex(powersOfTen[powerOfTenCount - 1]), testing::hex(powerOfTen(4608)));
}

// The quotient of an integer by a power of ten must be the general division's, bit for bit: random
// integers of every length, the integers next to multiples of 10^k (ties and near ties included), and
// the extremes.
TEST(PowersOfTen, DivideByPowerOfTenIsTheGeneralDivision) {
    std::uint64_t state = 0x2545F4914F6CDD1Du;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const auto general = [](std::uint64_t whole, std::uint32_t k) {
        Extended value = extendedFromBits(0, 0);
        if (whole != 0) {
            int shift = 0;
            while ((whole << shift >> 63) == 0) ++shift;
            value = extendedFromBits(static_cast<std::uint16_t>(16383 + 63 - shift), whole << shift);
        }
        return divide(value, powersOfTen[k]);
    };
    int mismatches = 0;
    const auto check = [&](std::uint64_t whole, std::uint32_t k) {
        const Extended fast = divideByPowerOfTen(whole, k);
        const Extended expected = general(whole, k);
        if ((fast.signExponent != expected.signExponent || fast.significand != expected.significand) &&
            ++mismatches <= 10) {
            ADD_FAILURE() << whole << " / 10^" << k;
        }
    };
    for (std::uint32_t k = 1; k <= 19; ++k) {
        for (const std::uint64_t whole : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{5}, UINT64_MAX,
                                          UINT64_MAX - 1, std::uint64_t{1} << 63, (std::uint64_t{1} << 63) - 1}) {
            check(whole, k);
        }
        for (int i = 0; i < 20000; ++i) {
            const std::uint64_t r = next();
            check(r >> (r % 64), k);
            // Near multiples of 10^k and of 10^k / 2.
            std::uint64_t power = 1;
            for (std::uint32_t j = 0; j < k; ++j) power *= 10;
            const std::uint64_t multiple = (next() % (UINT64_MAX / power)) * power;
            check(multiple + power / 2, k);
            check(multiple + power / 2 - 1, k);
            check(multiple + 1, k);
        }
    }
}

}  // namespace
}  // namespace m2s
