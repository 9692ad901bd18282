// The text of a real as writeReal writes it: fixed notation below 2^120, a short exponent form from
// there up, "+Inf", "-Inf" and "Nan". The decimal digits come from one 19-digit string made of the
// value scaled into [1, 16) and multiplied by 10^17, then rounded half-up at the last digit shown; every
// step on the value is an Extended operation.
//
// Almost every real the program writes is a coordinate: below 10^12, with 4 decimals. For those the
// same text comes from exact integer arithmetic: the value times 10^d plus one half, cut to an integer,
// is the text's digits. The digit string can differ from the exact value by less than one unit of its
// last place, so the two agree unless the exact value lies within that distance of a rounding boundary;
// such values, and everything else, take the digit string.
#include <cstring>

#include "numeric/powers_of_ten.hpp"
#include "text/remembered_texts.hpp"
#include "text/script_text_writer.hpp"
#include "text/text_line_reader.hpp"

namespace m2s {

namespace {

constexpr std::uint32_t widestText = 255;
constexpr std::uint32_t mostDecimals = 216;
constexpr std::int32_t largestFixedExponent = 35;  // beyond it the value is at least 2^120
constexpr std::uint64_t tenToThe18 = 1000000000000000000u;
constexpr std::uint32_t stringDigits = 19;  // c0 (the carry digit) to c18

// Digits c0 .. c(count) of v, each 0-9, rounded half-up at c(count) when count < 18.
void makeDigitString(Extended v, std::uint32_t count, std::uint8_t* digits) {
    std::uint64_t p = roundToUnsigned64(multiply(v, powerOfTen(17)));
    digits[0] = 0;
    if (p >= tenToThe18) {
        p -= tenToThe18;
        digits[0] = 1;
    }
    for (std::uint32_t i = stringDigits - 1; i >= 1; --i) {
        digits[i] = static_cast<std::uint8_t>(p % 10);
        p /= 10;
    }
    if (count >= stringDigits - 1) {
        std::memset(digits + stringDigits, 0, count + 1 - stringDigits);
        return;
    }
    if (digits[count + 1] >= 5) {
        std::uint32_t i = count;
        while (digits[i] == 9 && i > 0) {
            digits[i] = 0;
            --i;
        }
        ++digits[i];
    }
}

char digitChar(std::uint8_t digit) { return static_cast<char>('0' + digit); }

std::size_t copyText(char* out, const char* text, std::size_t length) {
    std::memcpy(out, text, length);
    return length;
}

#if defined(__SIZEOF_INT128__)
#define M2S_TEXT_SHORT_FORM 1
__extension__ typedef unsigned __int128 Uint128;

constexpr std::uint32_t mostShortDecimals = 9;
// The shortcut needs the digit string to reach two places beyond the last decimal shown, with one
// integer digit to spare: integer digits + decimals + 1 <= 16.
constexpr std::uint32_t mostShortDigits = 15;
// The integer digits are counted from the binary exponent, at most one too many: 2^40 has 13 digits.
constexpr std::int32_t largestShortExponent = 39;
// Below 2^-60 even 9 decimals of the value are far below one half: every digit is 0.
constexpr std::int32_t smallestShortExponent = -60;

constexpr std::uint64_t tenTo[10] = {1u,      10u,      100u,      1000u,      10000u,
                                     100000u, 1000000u, 10000000u, 100000000u, 1000000000u};

constexpr char digitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Exactly count decimal digits of value (< 10^count <= 10^9), written backwards from end.
char* writeDigits(std::uint32_t value, std::uint32_t count, char* end) {
    for (; count >= 2; count -= 2) {
        const std::uint32_t pair = (value % 100) * 2;
        value /= 100;
        end -= 2;
        std::memcpy(end, digitPairs + pair, 2);
    }
    if (count != 0) {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

// The decimal digits of value, at least one, written backwards from end; 32-bit steps where they do.
char* writeWhole(std::uint64_t value, char* end) {
    while (value > UINT32_MAX) {
        const auto pair = static_cast<std::uint32_t>(value % 100) * 2;
        value /= 100;
        end -= 2;
        std::memcpy(end, digitPairs + pair, 2);
    }
    auto small = static_cast<std::uint32_t>(value);
    while (small >= 100) {
        const std::uint32_t pair = (small % 100) * 2;
        small /= 100;
        end -= 2;
        std::memcpy(end, digitPairs + pair, 2);
    }
    if (small >= 10) {
        end -= 2;
        std::memcpy(end, digitPairs + small * 2, 2);
    } else {
        *--end = static_cast<char>('0' + small);
    }
    return end;
}

// q / 10^decimals by a constant divisor for each case, which the compiler turns into a multiplication.
template <std::uint32_t d>
std::uint64_t wholePart(std::uint64_t q) {
    return q / tenTo[d];
}

std::uint64_t wholePart(std::uint64_t q, std::uint32_t decimals) {
    switch (decimals) {
        case 0: return q;
        case 1: return wholePart<1>(q);
        case 2: return wholePart<2>(q);
        case 3: return wholePart<3>(q);
        case 4: return wholePart<4>(q);
        case 5: return wholePart<5>(q);
        case 6: return wholePart<6>(q);
        case 7: return wholePart<7>(q);
        case 8: return wholePart<8>(q);
        default: return wholePart<9>(q);
    }
}

// The fixed-form text of a finite x with |x| < 2^40 and at most 9 decimals, when exact arithmetic
// proves it equal to the digit string's; 0 when it cannot (the caller then builds it the long way).
// out must have room for 32 bytes, whatever the text's length.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((always_inline))
#endif
inline std::size_t formatShort(Extended x, std::uint32_t decimals, char* out) {
    const std::int32_t exponentField = x.signExponent & extendedExponentMax;
    const std::uint64_t m = x.significand;
    const std::int32_t e = exponentField - extendedExponentBias;
    if (decimals > mostShortDecimals || e > largestShortExponent) {
        return 0;
    }
    std::uint64_t q = 0;  // the text's digits, as one integer
    if ((m >> 63) == 0) {
        if (m != 0 || exponentField != 0) {
            return 0;  // subnormals and unnormals
        }
    } else if (e >= smallestShortExponent) {
        // |x| = m / 2^s, so |x| 10^d + 1/2 = (m 10^d + 2^(s-1)) / 2^s.
        const auto s = static_cast<std::uint32_t>(63 - e);
        const std::uint32_t integerDigits = e < 0 ? 1 : ((static_cast<std::uint32_t>(e) + 1) * 1233 >> 12) + 1;
        if (integerDigits + decimals > mostShortDigits) {
            return 0;
        }
        const Uint128 scaled = static_cast<Uint128>(m) * tenTo[decimals] + (static_cast<Uint128>(1) << (s - 1));
        q = static_cast<std::uint64_t>(scaled >> s);
        // The digit string lies within 10^(integer digits + decimals - 17) of the exact value, counted
        // in units of the last decimal. Twice that, rounded up to a power of two, 2^marginBits in units
        // of 2^-s, must separate the exact value from the rounding boundary on either side: the bits
        // of the fraction above the margin must be neither all zeros nor all ones.
        const std::uint32_t spare = 17 - integerDigits - decimals;  // at least 2
        const std::uint32_t fractionBits = 3 * spare - 1;          // s - marginBits, at most 44
        if (fractionBits >= s) {
            if ((scaled & ((static_cast<Uint128>(1) << s) - 1)) == 0) {
                return 0;
            }
        } else {
            const auto fraction =
                static_cast<std::uint64_t>(scaled >> (s - fractionBits)) & ((std::uint64_t{1} << fractionBits) - 1);
            if (fraction - 1 >= (std::uint64_t{1} << fractionBits) - 2) {
                return 0;
            }
        }
    }
    // Right to left: the decimals, the point, the integer digits, the sign.
    char text[64];
    char* const end = text + 32;
    char* start = end;
    const std::uint64_t whole = wholePart(q, decimals);
    if (decimals > 0) {
        start = writeDigits(static_cast<std::uint32_t>(q - whole * tenTo[decimals]), decimals, start);
        *--start = '.';
    }
    start = writeWhole(whole, start);
    if ((x.signExponent & 0x8000u) != 0) {
        *--start = '-';
    }
    std::memcpy(out, start, 32);  // a fixed size is a few moves; the text is at most 26 bytes
    return static_cast<std::size_t>(end - start);
}
#endif

}  // namespace

RememberedText rememberedTexts[rememberedTextCount];

namespace {

std::size_t makeText(Extended x, std::uint32_t width, std::uint32_t decimals, char* out);

}  // namespace

std::size_t formatReal(Extended x, std::uint32_t width, std::uint32_t decimals, char* out) {
    if (const RememberedText* remembered = rememberedText(x, width, decimals)) {
        std::memcpy(out, remembered->text, sizeof remembered->text);
        return remembered->length;
    }
    return formatNewReal(x, width, decimals, out);
}

std::size_t formatNewReal(Extended x, std::uint32_t width, std::uint32_t decimals, char* out) {
    const std::size_t length = makeText(x, width, decimals, out);
    RememberedText& place = rememberedPlace(x);
    if (length <= sizeof place.text && width <= widestRememberedWidth && decimals <= mostRememberedDecimals) {
        place.significand = x.significand;
        place.layout = rememberedLayout(x, width, decimals);
        place.length = static_cast<std::uint8_t>(length);
        std::memcpy(place.text, out, sizeof place.text);  // out holds 255 bytes: one fixed-size copy
    }
    return length;
}

namespace {

std::size_t makeText(Extended x, std::uint32_t width, std::uint32_t decimals, char* out) {
#if defined(M2S_TEXT_SHORT_FORM)
    // The shortest fixed text has decimals + 1 characters, so only widths beyond that ever pad.
    if (width <= decimals + 1) {
        // The program's one layout, 4 decimals, gets its own copy with the constants folded in.
        const std::size_t length = decimals == 4 ? formatShort(x, 4, out) : formatShort(x, decimals, out);
        if (length != 0) {
            return length;
        }
    }
#endif
    return formatRealByDigitString(x, width, decimals, out);
}

}  // namespace

#if defined(__GNUC__) || defined(__clang__)
__attribute__((noinline))  // keeps its large frame out of formatReal's short way
#endif
std::size_t formatRealByDigitString(Extended x, std::uint32_t width, std::uint32_t decimals, char* out) {
    if (width > widestText) {
        width = widestText;
    }
    if (decimals > mostDecimals) {
        decimals = mostDecimals;
    }

    char text[widestText];
    std::size_t length = 0;
    const bool negative = (x.signExponent & 0x8000u) != 0;
    if ((x.signExponent & extendedExponentMax) == extendedExponentMax) {
        // Only a significand of the integer bit alone is an infinity; every other pattern is a NaN.
        if (x.significand == 0x8000000000000000u) {
            length = copyText(text, negative ? "-Inf" : "+Inf", 4);
        } else {
            length = copyText(text, "Nan", 3);
        }
    } else {
        const Extended a = absolute(x);
        Extended v = a;
        std::int32_t e10 = 0;
        if (!isLess(a, powerOfTen(1))) {
            for (;;) {
                // k = floor(e log10 2), from below, so v never drops under 1.
                const std::int32_t k = (binaryExponent(v) * 19728) >> 16;
                if (k == 0) {
                    break;
                }
                e10 += k;
                v = scaleByPowerOfTen(v, -k);
            }
        }

        std::uint8_t digits[widestText + 1];
        if (e10 <= largestFixedExponent) {
            const auto integerDigits = static_cast<std::uint32_t>(e10 + 1);
            makeDigitString(v, integerDigits + decimals, digits);
            if (negative) {
                text[length++] = '-';
            }
            std::uint32_t i = 1;
            if (digits[0] != 0) {
                i = 0;
            }
            for (; i <= integerDigits; ++i) {
                text[length++] = digitChar(digits[i]);
            }
            if (decimals > 0) {
                text[length++] = '.';
                for (std::uint32_t j = 0; j < decimals; ++j) {
                    text[length++] = digitChar(digits[integerDigits + 1 + j]);
                }
            }
        } else {
            std::uint32_t shown = width < 10 ? 2 : width - 8;
            if (shown > 18) {
                shown = 18;
            }
            makeDigitString(v, shown, digits);
            std::uint32_t first = 1;
            if (digits[0] != 0) {
                first = 0;
                ++e10;
            }
            text[length++] = negative ? '-' : ' ';
            text[length++] = digitChar(digits[first]);
            text[length++] = '.';
            for (std::uint32_t j = 1; j < shown; ++j) {
                text[length++] = digitChar(digits[first + j]);
            }
            text[length++] = 'E';
            text[length++] = '+';
            for (std::int32_t power = 1000; power >= 1; power /= 10) {
                text[length++] = static_cast<char>('0' + (e10 / power) % 10);
            }
        }
    }

    std::size_t padding = 0;
    if (length < width) {
        padding = width - length;
        std::memset(out, ' ', padding);
    }
    std::memcpy(out + padding, text, length);
    return padding + length;
}

}  // namespace m2s
