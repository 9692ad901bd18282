// The text of a real: every worked value with width 3 and 4 decimals, then the other widths and
// numbers of decimals, the exponent form and the limits.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "text_test_support.hpp"

namespace m2s::testing {
namespace {

std::string format(Extended x, std::uint32_t width, std::uint32_t decimals) {
    char text[255];
    const std::size_t length = formatReal(x, width, decimals, text);
    return std::string(text, length);
}

struct FormatCase {
    Extended x;  // the extended value nearest to what `number` says
    const char* number;
    const char* text;
};

constexpr Extended bits(std::uint16_t signExponent, std::uint64_t significand) {
    return extendedFromBits(signExponent, significand);
}

const FormatCase workedValues[] = {
    {bits(0, 0), "0", "0.0000"},
    {bits(0x8000, 0), "-0", "-0.0000"},
    {bits(0x3FFF, 0x8000000000000000u), "1", "1.0000"},
    {bits(0xBFFF, 0x8000000000000000u), "-1", "-1.0000"},
    {bits(0x3FFE, 0x8000000000000000u), "0.5", "0.5000"},
    {bits(0x3FFB, 0xCCCCCCCCCCCCCCCDu), "0.1", "0.1000"},
    {bits(0x3FFF, 0x9E05BC01A36E2EB2u), "1.23455", "1.2346"},
    {bits(0x4000, 0x8000D1B71758E219u), "2.00005", "2.0001"},
    {bits(0xC000, 0x8000D1B71758E219u), "-2.00005", "-2.0001"},
    {bits(0x3FF0, 0xD1B71758E219652Cu), "0.00005", "0.0001"},
    {bits(0xBFF0, 0xD1B71758E219652Cu), "-0.00005", "-0.0001"},
    {bits(0xBFF0, 0xA7C5AC471B478423u), "-0.00004", "-0.0000"},
    {bits(0xBFDD, 0xDBE6FECEBDEDD5BFu), "-1e-10", "-0.0000"},
    {bits(0x3FF0, 0xD1B71758E214C894u), "0.000049999999999999", "0.0001"},
    {bits(0x3FFF, 0x8001A36E2EB1C3D7u), "1.00004999999999999", "1.0000"},
    {bits(0x4002, 0x9FFFCB923A29C77Au), "9.99995", "10.0000"},
    {bits(0x4005, 0xC7FFF972474538EFu), "99.99995", "100.0000"},
    {bits(0x400F, 0xF12064FDF3B645A2u), "123456.789", "123456.7890"},
    {bits(0xC00F, 0xF12064FDF3B645A2u), "-123456.789", "-123456.7890"},
    {bits(0x4027, 0x8FB8FD8265BA77C4u), "1234567890123.45678", "1234567890123.4568"},
    {bits(0x4030, 0xE35FA931A0000000u), "1e15", "1000000000000000.0000"},
    {bits(0x403A, 0xDE0B6B3A76400000u), "1e18", "1000000000000000000.0000"},
    {bits(0x4041, 0xAD78EBC5AC620000u), "1e20", "100000000000000000000.0000"},
    {bits(0x4041, 0xD629D3F025E6CD87u), "123456789012345678901", "123456789012345678900.0000"},
    {bits(0x4076, 0xE71C916157A21A0Au), "1.2e36", "1200000000000000000000000000000000000.0000"},
    {bits(0x4077, 0x8000000000000000u), "2^120", " 1.3E+0036"},
    {bits(0x4077, 0xC097CE7BC90715B3u), "2e36", " 2.0E+0036"},
    {bits(0x407A, 0x96769950B50D88F4u), "1.25e37", " 1.3E+0037"},
    {bits(0x4079, 0xFCC73F0277D94C7Bu), "1.05e37", " 1.0E+0037"},
    {bits(0xC083, 0xEB194F8E1AE525FDu), "-1e40", "-1.0E+0040"},
    {bits(0x7FFF, 0x8000000000000000u), "+inf", "+Inf"},
    {bits(0xFFFF, 0x8000000000000000u), "-inf", "-Inf"},
    {bits(0x7FFF, 0xC000000000000000u), "quiet NaN", "Nan"},
    {bits(0xFFFF, 0xC000000000000000u), "negative NaN", "Nan"},
    {bits(0x7FFF, 0x8000000000000001u), "signalling NaN", "Nan"},
    {bits(0x7FFF, 0), "pseudo-infinity", "Nan"},
};

TEST(FormatReal, WorkedValuesWithWidth3AndFourDecimals) {
    for (const FormatCase& c : workedValues) {
        EXPECT_EQ(format(c.x, 3, 4), c.text) << c.number << " (" << describe(c.x) << ")";
    }
}

TEST(FormatReal, WidthsAndDecimals) {
    const Extended oneAndHalf = bits(0x3FFF, 0xC000000000000000u);
    const Extended twoAndHalf = bits(0x4000, 0xA000000000000000u);
    const Extended twoTo120 = bits(0x4077, 0x8000000000000000u);
    struct Case {
        Extended x;
        std::uint32_t width, decimals;
        std::string text;
    };
    const Case cases[] = {
        {oneAndHalf, 10, 2, "      1.50"},
        {oneAndHalf, 0, 0, "2"},       // half-up on the digit string
        {twoAndHalf, 0, 0, "3"},       // not ties-to-even
        {bits(0xBFFD, 0xCCCCCCCCCCCCCCCDu), 1, 0, "-0"},  // -0.4 keeps its sign
        {bits(0x3FFE, 0x8000000000000000u), 0, 0, "1"},
        {oneAndHalf, 4, 1, " 1.5"},
        {bits(0x7FFF, 0x8000000000000000u), 6, 4, "  +Inf"},
        {bits(0x7FFF, 0xC000000000000000u), 5, 4, "  Nan"},
        {twoTo120, 12, 4, " 1.329E+0036"},
        {twoTo120, 10, 0, " 1.3E+0036"},
        {twoTo120, 26, 4, " 1.32922799578491587E+0036"},
        {twoTo120, 200, 4, std::string(174, ' ') + " 1.32922799578491587E+0036"},
        // Scaled to 11.89..., so the carry digit is shown and the rounding digit c3 lies beyond the
        // two digits shown: they are cut, not rounded.
        {bits(0x7FFE, 0xFFFFFFFFFFFFFFFFu), 3, 4, " 1.1E+4932"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(format(c.x, c.width, c.decimals), c.text) << describe(c.x) << " w=" << c.width
                                                            << " d=" << c.decimals;
    }
}

TEST(FormatReal, JustBelow2To120IsFixedWith19SignificantDigits) {
    const std::string text = format(bits(0x4076, 0xFFFFFFFFFFFFFFFFu), 3, 4);
    ASSERT_EQ(text.size(), 37u + 5u) << text;
    EXPECT_EQ(text.substr(0, 17), "13292279957849158");
    EXPECT_EQ(text.substr(19), std::string(18, '0') + ".0000") << text;
}

TEST(FormatReal, LimitsOfWidthAndDecimals) {
    const Extended one = bits(0x3FFF, 0x8000000000000000u);
    EXPECT_EQ(format(one, 1000, 0).size(), 255u);
    const std::string manyDecimals = format(one, 0, 1000);
    EXPECT_EQ(manyDecimals, "1." + std::string(216, '0'));
    // The longest fixed text: a "-", 37 integer digits, "." and 216 decimals.
    const std::string longest = format(bits(0xC076, 0xFFFFFFFFFFFFFFFFu), 255, 216);
    EXPECT_EQ(longest.size(), 255u);
    EXPECT_EQ(longest[0], '-');
}

TEST(FormatReal, WriteRealAppendsTheSameText) {
    ioErrorCode = 0;
    TempDir dir;
    ScriptTextWriter writer;
    createWriteName(writer, dir.file("out.scr"));
    for (const FormatCase& c : workedValues) {
        writeReal(writer, c.x, 3, 4);
        writeChar(writer, ',');
    }
    close(writer);
    EXPECT_EQ(ioErrorCode, 0u);
    std::string expected;
    for (const FormatCase& c : workedValues) {
        expected.append(c.text).append(",");
    }
    EXPECT_EQ(readFile(dir.file("out.scr")), expected);
}

// Texts are remembered only for widths up to 255 and up to 127 decimals, packed with the sign and the
// exponent into one word; a layout beyond those must never be taken for one within them (132 decimals
// share their low seven bits with 4, and each layout is asked right after its partner).
TEST(FormatReal, LayoutsBeyondTheRememberedOnesKeepTheirOwnTexts) {
    const struct {
        std::uint32_t width;
        std::uint32_t decimals;
    } layouts[] = {{3, 4}, {3, 132}, {3, 4}, {0, 0}, {256, 0}, {0, 0}, {3, 200}, {3, 72}, {300, 4}, {44, 4},
                   {255, 127}, {255, 128}};
    const Extended values[] = {bits(0x4002, 0x9FFFCB923A29C77Au), bits(0xC00F, 0xF12064FDF3B645A2u),
                               bits(0x3FFF, 0x8000000000000000u)};
    for (int round = 0; round < 3; ++round) {
        for (const Extended x : values) {
            for (std::size_t i = 0; i < std::size(layouts); ++i) {
                const auto& layout = layouts[round == 1 ? std::size(layouts) - 1 - i : i];
                char reference[255];
                const std::string expected(
                    reference, formatRealByDigitString(x, layout.width, layout.decimals, reference));
                EXPECT_EQ(format(x, layout.width, layout.decimals), expected)
                    << describe(x) << " w=" << layout.width << " d=" << layout.decimals;
            }
        }
    }
}

// The exact shortcut for short fixed texts must give the digit string's text for every value, also
// those whose exact value lies at or next to a rounding boundary, where only the digit string decides.
class ShortcutAgreement : public ::testing::Test {
protected:
    std::uint64_t state_ = 0x9E3779B97F4A7C15u;
    std::uint64_t next() {  // splitmix64: the same sequence on every host
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    int mismatches_ = 0;
    void check(Extended x, std::uint32_t decimals) {
        char fast[255];
        char reference[255];
        const std::string shortcut(fast, formatReal(x, 3, decimals, fast));
        const std::string digitString(reference, formatRealByDigitString(x, 3, decimals, reference));
        if (shortcut != digitString && ++mismatches_ <= 10) {
            ADD_FAILURE() << std::hex << x.signExponent << ":" << x.significand << std::dec << " with "
                          << decimals << " decimals: " << shortcut << " instead of " << digitString;
        }
    }
    // The extended value of a decimal token.
    static Extended valueOf(const std::string& token) {
        Extended v{};
        EXPECT_TRUE(convertNumberToken(reinterpret_cast<const std::uint8_t*>(token.data()), token.size(), v))
            << token;
        return v;
    }
};

TEST_F(ShortcutAgreement, RandomValuesOfEveryMagnitudeTheShortcutTakes) {
    for (int i = 0; i < 400000; ++i) {
        const std::uint64_t r = next();
        // Binary exponents from 2^-70 to 2^45, both signs, random significands with the integer bit.
        const auto exponent = static_cast<std::uint16_t>(extendedExponentBias - 70 + (r % 116));
        const auto sign = static_cast<std::uint16_t>((r >> 8) & 1 ? 0x8000 : 0);
        check(extendedFromBits(static_cast<std::uint16_t>(sign | exponent), next() | 0x8000000000000000u),
              static_cast<std::uint32_t>((r >> 16) % 11));
    }
}

TEST_F(ShortcutAgreement, ValuesAtAndNextToHalfWayPoints) {
    // q + 1/2 units of the last decimal, and the neighbours a few units of the last bit away.
    for (int i = 0; i < 60000; ++i) {
        const std::uint64_t r = next();
        const auto decimals = static_cast<std::uint32_t>(r % 10);
        const std::uint64_t q = next() % 1000000000000000u >> ((r >> 8) % 50);
        const Extended half = valueOf(std::to_string(q) + "5e-" + std::to_string(decimals + 1));
        for (int step = -3; step <= 3; ++step) {
            Extended x = half;
            x.significand += static_cast<std::uint64_t>(static_cast<std::int64_t>(step));
            if ((x.significand >> 63) == 0) {
                continue;
            }
            check(x, decimals);
            check(negate(x), decimals);
        }
    }
}

TEST_F(ShortcutAgreement, SurveyCoordinatesWithUpToFiveDecimals) {
    for (int i = 0; i < 100000; ++i) {
        const std::uint64_t r = next();
        const std::string token = std::to_string(r % 10000000000000u) + "e-" + std::to_string(r >> 60 & 7);
        check(valueOf(token), 4);
    }
}

TEST_F(ShortcutAgreement, EdgesOfTheShortcutsRange) {
    const Extended edges[] = {
        bits(0x4026, 0xFFFFFFFFFFFFFFFFu),  // just below 2^40
        bits(0x4027, 0x8000000000000000u),  // 2^40: past the shortcut
        bits(0x3FC3, 0x8000000000000000u),  // 2^-60
        bits(0x3FC2, 0xFFFFFFFFFFFFFFFFu),  // just below 2^-60
        bits(0x0000, 0x0000000000000001u),  // the smallest subnormal
        bits(0x4002, 0x9FFFCB923A29C77Au),  // 9.99995
        bits(0x4005, 0xC7FFF972474538EFu),  // 99.99995
    };
    for (const Extended x : edges) {
        for (std::uint32_t decimals = 0; decimals <= 10; ++decimals) {
            check(x, decimals);
            check(negate(x), decimals);
        }
    }
    // Every power of ten the shortcut reaches, and its neighbours.
    for (int k = -20; k <= 13; ++k) {
        const Extended power = valueOf("1e" + std::to_string(k));
        for (int step = -2; step <= 2; ++step) {
            Extended x = power;
            x.significand += static_cast<std::uint64_t>(static_cast<std::int64_t>(step));
            if ((x.significand >> 63) != 0) {
                check(x, 4);
            }
        }
    }
}

// Texts are remembered by value, width and decimals: asking again, with another layout, for the other
// sign, or after a value that lands on the same place, must still give each one's own text.
TEST_F(ShortcutAgreement, TextsAskedAgainInAnyOrderAndLayout) {
    std::vector<Extended> values;
    for (const FormatCase& c : workedValues) {
        values.push_back(c.x);
    }
    for (int i = 0; i < 3000; ++i) {
        values.push_back(valueOf(std::to_string(next() % 100000000000u) + "e-4"));
    }
    const struct {
        std::uint32_t width;
        std::uint32_t decimals;
    } layouts[] = {{3, 4}, {3, 2}, {12, 4}, {0, 0}, {3, 9}};
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const Extended x = values[round == 0 ? i : values.size() - 1 - i];
            for (const auto& layout : layouts) {
                char fast[255];
                char reference[255];
                const std::string text(fast, formatReal(x, layout.width, layout.decimals, fast));
                const std::string expected(
                    reference, formatRealByDigitString(x, layout.width, layout.decimals, reference));
                ASSERT_EQ(text, expected) << layout.width << "/" << layout.decimals;
                const std::string negated(fast, formatReal(negate(x), layout.width, layout.decimals, fast));
                ASSERT_EQ(negated, std::string(reference, formatRealByDigitString(negate(x), layout.width,
                                                                                  layout.decimals, reference)));
            }
        }
    }
}

}  // namespace
}  // namespace m2s::testing
