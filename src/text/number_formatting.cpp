// The text of a real as writeReal writes it: fixed notation below 2^120, a short exponent form from
// there up, "+Inf", "-Inf" and "Nan". The decimal digits come from one 19-digit string made of the
// value scaled into [1, 16) and multiplied by 10^17, then rounded half-up at the last digit shown; every
// step on the value is an Extended operation.
#include <cstring>

#include "numeric/powers_of_ten.hpp"
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

}  // namespace

std::size_t formatReal(Extended x, std::uint32_t width, std::uint32_t decimals, char* out) {
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
