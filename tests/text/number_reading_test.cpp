// Number reading: the token, its conversion to an extended real bit for bit, malformed tokens, and the
// scaling by powers of ten at the edges of the extended range.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numeric/powers_of_ten.hpp"
#include "text/remembered_texts.hpp"
#include "text_test_support.hpp"

namespace m2s::testing {
namespace {

struct FaultLog {
    static inline std::vector<std::uint32_t> faults;
    static void record(std::uint32_t number, const void*) { faults.push_back(number); }
};

class NumberTest : public StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        FaultLog::faults.clear();
        setExtendedFaultHandler(FaultLog::record);
    }

    // The value readReal gives for a line holding the token; checks that nothing was recorded.
    Extended readToken(const std::string& token) {
        TextLineReader reader;
        openOnBytes(reader, dir, " \t" + token + " tail\r\n");
        const Extended value = readReal(reader);
        close(reader);
        return value;
    }
};

constexpr Extended bits(std::uint16_t signExponent, std::uint64_t significand) {
    return extendedFromBits(signExponent, significand);
}

// A small deterministic generator of 64-bit numbers (xorshift).
struct XorShift {
    std::uint64_t state;
    std::uint64_t operator()() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

struct TokenCase {
    const char* token;
    Extended value;
};

TEST_F(NumberTest, TokensGiveTheirValues) {
    const TokenCase cases[] = {
        {"12.5", bits(0x4002, 0xC800000000000000u)},
        {"-3", bits(0xC000, 0xC000000000000000u)},
        {"+7.", bits(0x4001, 0xE000000000000000u)},
        {".5", bits(0x3FFE, 0x8000000000000000u)},
        {".", bits(0, 0)},
        {"0", bits(0, 0)},
        {"-.", bits(0x8000, 0)},
        {"-0", bits(0x8000, 0)},
        {"-0.000e7", bits(0x8000, 0)},
        {"1e3", bits(0x4008, 0xFA00000000000000u)},
        {"1E+3", bits(0x4008, 0xFA00000000000000u)},
        {"1.e3", bits(0x4008, 0xFA00000000000000u)},
        {"1000e-0", bits(0x4008, 0xFA00000000000000u)},
        {"e5", bits(0, 0)},
        {".E2", bits(0, 0)},
        {"2.5e-3", bits(0x3FF6, 0xA3D70A3D70A3D70Au)},  // 0.0025 rounded to nearest
        {"0.1", bits(0x3FFB, 0xCCCCCCCCCCCCCCCDu)},
        // Both one unit below the correctly rounded value, as the three factors give them.
        {"3.14159265358979323846", bits(0x4000, 0xC90FDAA22168C234u)},
        {"1e400", bits(0x452F, 0xDA763FC8CB9FF9E5u)},
        {"512345.1234", bits(0x4011, 0xFA2B23F2E48E8A72u)},
        {"-4612345.5678", bits(0xC015, 0x8CC1F322B6AE7D56u)},
        {"152.25", bits(0x4006, 0x9840000000000000u)},
        {"18446744073709551615", bits(0x403E, 0xFFFFFFFFFFFFFFFFu)},  // 2^64 - 1, still exact
        {"1e6000", bits(0x7FFF, 0x8000000000000000u)},
        {"0e6000", bits(0x7FFF, 0x8000000000000000u)},
        {"-1e6000", bits(0xFFFF, 0x8000000000000000u)},
        {"1e99999999999999", bits(0x7FFF, 0x8000000000000000u)},
        {"1e-5000", bits(0, 0)},
        {"1e-6000", bits(0, 0)},
        {"-1e-99999999999999", bits(0x8000, 0)},
    };
    for (const TokenCase& c : cases) {
        ioErrorCode = 0;
        const Extended value = readToken(c.token);
        EXPECT_TRUE(sameBits(value, c.value)) << c.token << ": " << describe(value) << ", want "
                                              << describe(c.value);
        EXPECT_EQ(ioErrorCode, 0u) << c.token;
    }
    EXPECT_TRUE(FaultLog::faults.empty());
}

// Past 19 digits the significand is built by rounding extended steps, M := M x 10 + d.
TEST_F(NumberTest, LongDigitStringsFollowTheExtendedSteps) {
    for (const char* digits : {"18446744073709551616", "99999999999999999999", "123456789012345678901234567890",
                               "100000000000000000000000000000000000001", "36893488147419103231"}) {
        Extended expected = bits(0, 0);
        for (const char* d = digits; *d != 0; ++d) {
            expected = add(multiply(expected, extendedFromInt(10)), extendedFromInt(*d - '0'));
        }
        const Extended value = readToken(digits);
        EXPECT_TRUE(sameBits(value, expected)) << digits << ": " << describe(value);
    }
}

TEST_F(NumberTest, MalformedTokensRecord106AndLeaveTheRestOfTheLine) {
    for (const char* token : {"1,5", "1.5x", "1e", "1e+", "-", "+", "e", "E", "0x1A", "INF", "NAN", "1.2.3", "--1",
                              "1d3", "+-1", "1e5.0", "1e-", ".e", "5-"}) {
        ioErrorCode = 0;
        TextLineReader reader;
        openOnBytes(reader, dir, std::string("  ") + token + " rest\r\n7\r\n");
        readReal(reader);
        EXPECT_EQ(ioErrorCode, 106u) << token;
        ioErrorCode = 0;
        skipLine(reader);
        const Extended next = readReal(reader);
        EXPECT_TRUE(sameBits(next, bits(0x4001, 0xE000000000000000u))) << token << ": " << describe(next);
        EXPECT_EQ(ioErrorCode, 0u);
        close(reader);
    }
}

TEST_F(NumberTest, TokensOfUpTo64BytesOnly) {
    const std::string sixtyFour = "1" + std::string(63, '0');
    for (const std::string& after : {std::string(" x\r\n"), std::string("\r\n"), std::string("\x1a")}) {
        ioErrorCode = 0;
        TextLineReader reader;
        openOnBytes(reader, dir, sixtyFour + after);
        const Extended value = readReal(reader);
        EXPECT_EQ(ioErrorCode, 0u);
        Extended expected = bits(0, 0);  // 10^63 as the digit steps build it
        for (const char d : sixtyFour) {
            expected = add(multiply(expected, extendedFromInt(10)), extendedFromInt(d - '0'));
        }
        EXPECT_TRUE(sameBits(value, expected)) << describe(value);
        close(reader);
    }
    for (std::size_t length : {65u, 70u, 200u}) {
        ioErrorCode = 0;
        TextLineReader reader;
        openOnBytes(reader, dir, "1" + std::string(length - 1, '0') + "\r\n5\r\n");
        readReal(reader);
        EXPECT_EQ(ioErrorCode, 106u) << length;
        ioErrorCode = 0;
        skipLine(reader);
        EXPECT_FALSE(isZero(readReal(reader)));
        EXPECT_EQ(ioErrorCode, 0u);
        close(reader);
    }
}

// The usual tokens are converted where they lie in the read-ahead, several bytes at a time; every
// token must give the same value, failure and following byte wherever it falls in the 128-byte blocks,
// also when it, or the byte after it, crosses into the next block.
TEST_F(NumberTest, TokensGiveTheSameWhereverTheyLieInTheBlocks) {
    const std::string tokens[] = {"512345.1216", "4612345.6043", "152.25", "12345678.12345678", "123456789.1",
                                  "1.123456789", "12345678.123456789", "-0.5", "+42", "7", "0.0", "5.", ".5",
                                  ".", "-.", "-", "+", "99999999", "999999999999999999", "9999999999999999999",
                                  "18446744073709551616", "0000000000000000000001.5", "1e3", "-2.5E-2", "1.5x",
                                  "1.2.3", "12a", "1..", "-12345678.", std::string(64, '1'),
                                  std::string(65, '1')};
    for (const std::string& token : tokens) {
        Extended expected = bits(0, 0);
        const bool wellFormed =
            token.size() <= 64 && convertNumberToken(asBytes(token), token.size(), expected);
        // One line per place in the block: the token starts at byte j of a block, for every j, after
        // blanks and line ends.
        std::string input;
        for (std::size_t j = 0; j < TextLineReader::blockSize; ++j) {
            std::size_t pad = (j + TextLineReader::blockSize - input.size() % TextLineReader::blockSize) %
                              TextLineReader::blockSize;
            for (std::size_t i = 0; i < pad; ++i) input += i % 9 == 5 ? '\n' : ' ';
            input.append(token).append("\r\n");
        }
        input.append("7\r\n");
        // readReal then skipLine, and readRealLine, which does both at once.
        for (const bool wholeLine : {false, true}) {
            ioErrorCode = 0;
            TextLineReader reader;
            openOnBytes(reader, dir, input);
            for (std::size_t j = 0; j < TextLineReader::blockSize; ++j) {
                const Extended value = wholeLine ? readRealLine(reader) : readReal(reader);
                if (wellFormed) {
                    EXPECT_EQ(ioErrorCode, 0u) << token << " at " << j;
                    EXPECT_TRUE(sameBits(value, expected)) << token << " at " << j << ": " << describe(value);
                } else {
                    EXPECT_EQ(ioErrorCode, 106u) << token << " at " << j;
                }
                ioErrorCode = 0;
                if (!wholeLine) {
                    skipLine(reader);
                }
            }
            EXPECT_TRUE(sameBits(readReal(reader), bits(0x4001, 0xE000000000000000u))) << token;
            EXPECT_EQ(ioErrorCode, 0u);
            close(reader);
        }
    }
}

// Values of tokens read before are remembered by their bytes: many different tokens, read again in
// another order, tokens that differ only in a last byte or in length, must each keep their own value.
TEST_F(NumberTest, TokensReadAgainKeepTheirOwnValues) {
    XorShift next{88172645463325252u};
    std::vector<std::string> tokens = {"1.5", "1.50", "1.51", "-1.5", "15", "1.5000000000000", "1.500000000000000",
                                       "0", "-0", "00", "123456789012345", "1234567890123456"};
    for (int i = 0; i < 3000; ++i) {
        const std::uint64_t r = next();
        std::string token = (r & 1) != 0 ? "-" : "";
        token += std::to_string(r % 100000000u);
        if ((r >> 40) % 4 != 0) token.append(".").append(std::to_string((r >> 8) % 10000u));
        tokens.push_back(token);
    }
    // A thousand tokens alike in their first eight bytes: some must meet at one remembered place.
    for (int i = 0; i < 1000; ++i) {
        tokens.push_back("12345678." + std::to_string(1000 + i));
    }
    for (int pass = 0; pass < 2; ++pass) {
        std::string input;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            input.append(tokens[pass == 0 ? i : tokens.size() - 1 - i]).append("\r\n");
        }
        TextLineReader reader;
        openOnBytes(reader, dir, input);
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const std::string& token = tokens[pass == 0 ? i : tokens.size() - 1 - i];
            Extended expected{};
            ASSERT_TRUE(convertNumberToken(asBytes(token), token.size(), expected)) << token;
            const Extended value = readReal(reader);
            ASSERT_TRUE(sameBits(value, expected)) << token << ": " << describe(value);
            skipLine(reader);
        }
        EXPECT_EQ(ioErrorCode, 0u);
        close(reader);
    }
}

// A token's key is made eight bytes at a time, or from one 16-byte vector where the processor has
// them; both ways must give the same key for any bytes, including bytes above 127 and at 32 and 33.
TEST(TokenKey, BothWaysGiveTheSameKey) {
    XorShift next{0x2545F4914F6CDD1Du};
    const std::uint8_t choices[] = {0, 9, 10, 13, 26, 31, 32, 33, '-', '.', '0', '9', 'e', 127, 128, 160, 255};
    std::uint8_t bytes[16];
    for (int round = 0; round < 200000; ++round) {
        const std::uint64_t state = next();
        std::uint64_t bitsLeft = state;
        // Mostly token bytes, so every length from 0 to 16 comes up.
        const auto length = static_cast<std::size_t>(state % 17);
        for (std::size_t i = 0; i < sizeof bytes; ++i) {
            const auto pick = static_cast<std::size_t>(bitsLeft % sizeof choices);
            bitsLeft = bitsLeft / sizeof choices + (state >> 40);
            bytes[i] = i < length ? static_cast<std::uint8_t>(choices[pick] > 32 ? choices[pick] : '5') : choices[pick];
        }
        TokenKey byWords;
        const bool wordsFound = tokenKeyByWords(bytes, byWords);
        TokenKey key;
        const bool found = tokenKeyAt(bytes, key);
        ASSERT_EQ(found, wordsFound) << round;
        if (found) {
            ASSERT_EQ(key.low, byWords.low) << round;
            ASSERT_EQ(key.high, byWords.high) << round;
            std::size_t expectedLength = 0;
            while (bytes[expectedLength] > 32) ++expectedLength;
            ASSERT_EQ(key.length(), expectedLength) << round;
        }
    }
}

// A number read from a token that already is its value's text ("-12.5", "0.0040") keeps that text for
// writing; every other token leaves the text to be made from the digit string. Whatever was kept,
// the text written must be the digit string's, at the token's decimals and at 4.
TEST_F(NumberTest, ATokenThatIsItsValuesTextIsWrittenAsItStands) {
    std::vector<std::string> tokens = {"512345.1216", "4612345.6043", "-0.0000", "0.0000", "0.5", "-0.00005",
                                       "9.99995", "99999999999999.9", "0.000000001", "152.25", "1.0",
                                       // not their own texts: sign, leading zero, no integer digit, too long
                                       "+5.1234", "05.1234", "-.5", ".25", "5.", "7", "1234567890123456.1",
                                       "0.1234567890123456", "00.5"};
    XorShift next{0x9E3779B97F4A7C15u};
    for (int i = 0; i < 30000; ++i) {
        // Up to 15 digits in all, and a third of them up to 19, beyond what a kept text may have.
        const int mostDigits = i % 3 == 2 ? 19 : 15;
        const auto decimals = static_cast<int>(1 + next() % 9);
        const auto integerDigits = static_cast<int>(next() % static_cast<std::uint64_t>(mostDigits + 1 - decimals));
        std::string token = next() % 3 == 0 ? "-" : "";
        if (integerDigits == 0) {
            token += '0';
        } else {
            token += static_cast<char>('1' + next() % 9);
            for (int d = 1; d < integerDigits; ++d) token += static_cast<char>('0' + next() % 10);
        }
        token += '.';
        // Runs of 9 and 0, and a last 5, bring the text's rounding close to its edges.
        const std::uint64_t style = next() % 4;
        for (int d = 0; d < decimals; ++d) {
            token += style == 0 ? '9' : style == 1 ? (d + 1 == decimals ? '5' : '0') : static_cast<char>('0' + next() % 10);
        }
        tokens.push_back(token);
    }
    std::string input;
    for (const std::string& token : tokens) input += token + "\r\n";
    TextLineReader reader;
    openOnBytes(reader, dir, input);
    std::size_t keptAsTheyStand = 0;
    for (const std::string& token : tokens) {
        const Extended value = readRealLine(reader);
        ASSERT_EQ(ioErrorCode, 0u) << token;
        const std::size_t point = token.find('.');
        const auto decimals = static_cast<std::uint32_t>(point == std::string::npos ? 0 : token.size() - point - 1);
        if (const RememberedText* kept = decimals == 0 ? nullptr : rememberedText(value, 3, decimals)) {
            keptAsTheyStand += std::string(kept->text, kept->length) == token;
        }
        for (const std::uint32_t d : {decimals, 4u}) {
            char text[256];
            char reference[256];
            const std::string written(text, formatReal(value, 3, d, text));
            const std::string expected(reference, formatRealByDigitString(value, 3, d, reference));
            ASSERT_EQ(written, expected) << token << " at " << d << " decimals";
        }
    }
    EXPECT_GT(keptAsTheyStand, tokens.size() / 2);  // the texts were kept, not made again
    close(reader);
}

TEST_F(NumberTest, SeparatorsAndLineEndsBeforeTheToken) {
    TextLineReader reader;
    // Blanks and tabs, an empty line, a line of blanks, a 0 byte: all passed over; the token's line
    // is the one that skipLine then discards.
    openOnBytes(reader, dir, std::string("\r\n   \r\n\t\0 12.5 more text\r\n-3\n\n  +7.\x1a", 35));
    EXPECT_TRUE(sameBits(readReal(reader), bits(0x4002, 0xC800000000000000u)));
    skipLine(reader);
    EXPECT_TRUE(sameBits(readReal(reader), bits(0xC000, 0xC000000000000000u)));
    skipLine(reader);
    bool metEnd = true;
    EXPECT_TRUE(sameBits(readReal(reader, &metEnd), bits(0x4001, 0xE000000000000000u)));
    EXPECT_FALSE(metEnd);
    EXPECT_TRUE(atEnd(reader));
    readReal(reader, &metEnd);
    EXPECT_TRUE(metEnd);
    EXPECT_EQ(ioErrorCode, 0u);
    close(reader);
}

TEST_F(NumberTest, OverflowFaultsAtTheTopOfTheRange) {
    struct Case {
        const char* token;
        bool faults;
    };
    for (const Case& c : {Case{"1e4932", false}, Case{"1.18e4932", false}, Case{"2e4932", true},
                          Case{"1e4940", true}, Case{"1e5000", true}, Case{"1e5119", true},
                          Case{"1e5120", false}}) {
        FaultLog::faults.clear();
        const Extended value = readToken(c.token);
        if (c.faults) {
            EXPECT_EQ(FaultLog::faults, std::vector<std::uint32_t>{faultOverflow}) << c.token;
        } else {
            EXPECT_TRUE(FaultLog::faults.empty()) << c.token;
            EXPECT_TRUE(isInfinity(value) || value.signExponent == 0x7FFE) << c.token << describe(value);
        }
    }
}

TEST_F(NumberTest, UnderflowIsSilent) {
    const Extended tiny = readToken("1e-4940");
    EXPECT_EQ(tiny.signExponent, 0u) << describe(tiny);
    EXPECT_NE(tiny.significand, 0u);
    EXPECT_TRUE(sameBits(readToken("1e-5000"), bits(0, 0)));
    EXPECT_TRUE(FaultLog::faults.empty());
}

// The factors: n mod 32 always, then the multiple of 32 and of 512 when they are not 0.
TEST_F(NumberTest, ScaleByPowerOfTenTakesAtMostThreeFactors) {
    const Extended three = extendedFromInt(3);
    struct Case {
        std::int32_t n;
        std::uint32_t units, thirtyTwos, fiveTwelves;
    };
    for (const Case& c : {Case{5, 5, 0, 0}, Case{32, 0, 32, 0}, Case{37, 5, 32, 0}, Case{544, 0, 32, 512},
                          Case{4931, 3, 320, 4608}, Case{5119, 31, 480, 4608}}) {
        for (const bool down : {false, true}) {
            auto step = [down](Extended x, std::uint32_t k) {
                return down ? divide(x, powerOfTen(k)) : multiply(x, powerOfTen(k));
            };
            Extended expected = step(three, c.units);
            if (c.thirtyTwos != 0) expected = step(expected, c.thirtyTwos);
            if (c.fiveTwelves != 0) expected = step(expected, c.fiveTwelves);
            FaultLog::faults.clear();
            const Extended got = scaleByPowerOfTen(three, down ? -c.n : c.n);
            EXPECT_TRUE(sameBits(got, expected)) << (down ? -c.n : c.n) << ": " << describe(got);
        }
    }
    EXPECT_TRUE(sameBits(scaleByPowerOfTen(three, 0), three));
    EXPECT_TRUE(isInfinity(scaleByPowerOfTen(bits(0, 0), 5120)));
    EXPECT_TRUE(isZero(scaleByPowerOfTen(three, -5120)));
}

}  // namespace
}  // namespace m2s::testing
