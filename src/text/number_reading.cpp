// Reading a real: passing over separators, collecting one number token, and converting its decimal text
// to an extended real. Every step of the value goes through the Extended operations; the powers of ten
// come from their one table, at most three factors for any exponent.
#include <bit>
#include <cstring>

#include "numeric/powers_of_ten.hpp"
#include "text/io_error.hpp"
#include "text/reader_bytes.hpp"
#include "text/text_line_reader.hpp"

namespace m2s {

namespace {

constexpr std::size_t longestToken = 64;
constexpr std::size_t maxExactDigits = 19;  // 10^19 - 1 < 2^64
constexpr std::int32_t infiniteExponent = 5120;
// An exponent part keeps growing only up to here: anything beyond already gives infinity or zero, and
// its digits can then never overflow an integer.
constexpr std::int32_t exponentCeiling = 100000;

constexpr Extended positiveZero = extendedFromBits(0, 0);
constexpr Extended positiveInfinity = extendedFromBits(extendedExponentMax, 0x8000000000000000u);

bool isSeparator(std::uint8_t byte) { return byte <= 32 && byte != readerBytes::endOfInput; }
bool isDigit(std::uint8_t byte) { return byte >= '0' && byte <= '9'; }

// An integer of up to 64 bits as the extended real of the same value (always exact).
Extended extendedFromUnsigned(std::uint64_t value) {
    if (value == 0) {
        return positiveZero;
    }
    const int shift = std::countl_zero(value);
    return extendedFromBits(static_cast<std::uint16_t>(extendedExponentBias + 63 - shift), value << shift);
}

// Passes over the digits from p in the read-ahead (the CR after its filled bytes stops it), folding
// them into whole as whole x 10 + d, which wraps around beyond 64 bits; returns where they end.
inline const std::uint8_t* takeDigits(const std::uint8_t* p, std::uint64_t& whole) {
    std::uint32_t digit = 0;
    while ((digit = static_cast<std::uint32_t>(*p) - '0') <= 9) {
        whole = whole * 10 + digit;
        ++p;
    }
    return p;
}

}  // namespace

Extended scaleByPowerOfTen(Extended x, std::int32_t n) {
    if (n == 0) {
        return x;
    }
    if (n >= infiniteExponent) {
        return positiveInfinity;
    }
    if (n <= -infiniteExponent) {
        return positiveZero;
    }
    const bool up = n > 0;
    const auto m = static_cast<std::uint32_t>(up ? n : -n);
    // The table holds 10^0..10^31 at 0-31, 10^32..10^480 at 32-46 and 10^512..10^4608 at 47-55.
    const std::uint32_t units = m % 32;
    const std::uint32_t thirtyTwos = (m / 32) % 16;
    const std::uint32_t fiveTwelves = m / 512;
    x = up ? multiply(x, powersOfTen[units]) : divide(x, powersOfTen[units]);
    if (thirtyTwos != 0) {
        const Extended factor = powersOfTen[31 + thirtyTwos];
        x = up ? multiply(x, factor) : divide(x, factor);
    }
    if (fiveTwelves != 0) {
        const Extended factor = powersOfTen[46 + fiveTwelves];
        x = up ? multiply(x, factor) : divide(x, factor);
    }
    return x;
}

bool convertNumberToken(const std::uint8_t* token, std::size_t length, Extended& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < length && (token[i] == '-' || token[i] == '+')) {
        negative = token[i] == '-';
        ++i;
        if (i == length) {
            return false;
        }
    }

    // The significand: M := M x 10 + d for every digit. While M x 10 + d fits 64 bits each of those
    // extended steps is exact, so the integer gives the same bits; past that the extended steps round.
    constexpr std::uint64_t wholeLimit = (UINT64_MAX - 9) / 10;
    constexpr std::uint64_t inExtended = UINT64_MAX;  // whole from then on: never below the limit again
    std::uint64_t whole = 0;
    Extended significand = positiveZero;
    std::int32_t fractionDigits = 0;
    const auto takeDigits = [&](std::int32_t countsAsFraction) {
        for (; i < length; ++i) {
            const std::uint32_t digit = static_cast<std::uint32_t>(token[i]) - '0';
            if (digit > 9) {
                break;
            }
            if (whole <= wholeLimit) {
                whole = whole * 10 + digit;
            } else {
                if (whole != inExtended) {
                    significand = extendedFromUnsigned(whole);
                    whole = inExtended;
                }
                significand = add(multiply(significand, powersOfTen[1]),
                                  extendedFromInt(static_cast<std::int32_t>(digit)));
            }
            fractionDigits += countsAsFraction;
        }
    };
    takeDigits(0);
    if (i < length && token[i] == '.') {
        ++i;
        takeDigits(1);
    }
    if (whole != inExtended) {
        significand = extendedFromUnsigned(whole);
    }

    std::int32_t exponent = 0;
    if (i < length && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        bool exponentNegative = false;
        if (i < length && (token[i] == '-' || token[i] == '+')) {
            exponentNegative = token[i] == '-';
            ++i;
        }
        if (i == length) {
            return false;
        }
        for (; i < length; ++i) {
            if (!isDigit(token[i])) {
                return false;
            }
            if (exponent < exponentCeiling) {
                exponent = exponent * 10 + (token[i] - '0');
            }
        }
        if (exponentNegative) {
            exponent = -exponent;
        }
    }
    if (i != length) {
        return false;
    }

    value = scaleByPowerOfTen(significand, exponent - fractionDigits);
    if (negative) {
        value = negate(value);
    }
    return true;
}

namespace {

// The values of the short plain tokens read last. A mesh names each corner in several faces, and a
// triangle's fourth corner repeats its third, so the same token comes back again and again; its value
// depends on its bytes alone.
struct RememberedValue {
    std::uint64_t low = 0;     // the token's bytes 0 to 7, zeros beyond its end
    std::uint64_t high = 0;    // its bytes 8 to 15
    std::uint32_t length = 0;  // 0: empty
    Extended value{};
};
constexpr std::size_t rememberedValueCount = 256;
RememberedValue rememberedValues[rememberedValueCount];

struct TokenKey {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::uint32_t length = 0;
    std::size_t place() const {
        return static_cast<std::size_t>(((low * 0x9E3779B97F4A7C15u) ^ (high * 0xC2B2AE3D27D4EB4Fu)) >> 56);
    }
};

// The key of a token of at most 15 bytes that starts at start and ends, at a byte of 32 or less, inside
// the filled read-ahead; false for any other. Sixteen bytes are looked at together where the host
// keeps the first byte lowest in a 64-bit word.
bool makeTokenKey(const std::uint8_t* start, const std::uint8_t* limit, const std::uint8_t* blockEnd,
                  TokenKey& key) {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    }
    if (start + 16 > blockEnd) {
        return false;
    }
    constexpr std::uint64_t eachByte = 0x0101010101010101u;
    std::uint64_t words[2];
    std::memcpy(words, start, sizeof words);
    // Bit 7 of each byte below 33; the lowest one found is exact.
    const std::uint64_t lowEnds = (words[0] - eachByte * 33) & ~words[0] & (eachByte * 0x80);
    const std::uint64_t highEnds = (words[1] - eachByte * 33) & ~words[1] & (eachByte * 0x80);
    std::uint32_t length = 16;
    if (lowEnds != 0) {
        length = static_cast<std::uint32_t>(std::countr_zero(lowEnds)) / 8;
    } else if (highEnds != 0) {
        length = 8 + static_cast<std::uint32_t>(std::countr_zero(highEnds)) / 8;
    }
    if (length >= 16 || start + length >= limit) {
        return false;
    }
    key.length = length;
    key.low = length >= 8 ? words[0] : words[0] & ((std::uint64_t{1} << (8 * length)) - 1);
    key.high = length <= 8 ? 0 : words[1] & ((std::uint64_t{1} << (8 * (length - 8))) - 1);
    return true;
}

// A plain token: an optional sign, digits, optionally "." and digits, 1 to 19 digits in all, then a
// byte that is not a digit, "." or a sign, which the caller checks. Returns where the token ends, or
// nullptr when it is no plain token; value is then unchanged. At most 19 digits: the integer is exact,
// and so is every extended step that would have built it.
const std::uint8_t* convertPlainToken(const std::uint8_t* p, Extended& value) {
    const bool negative = *p == '-';
    if (negative || *p == '+') {
        ++p;
    }
    std::uint64_t whole = 0;  // only used when it cannot have overflowed
    const std::uint8_t* const digits = p;
    p = takeDigits(p, whole);
    const auto integerDigits = static_cast<std::size_t>(p - digits);
    std::size_t fractionDigits = 0;
    if (*p == '.') {
        const std::uint8_t* const fraction = ++p;
        p = takeDigits(p, whole);
        fractionDigits = static_cast<std::size_t>(p - fraction);
    }
    const std::size_t digitCount = integerDigits + fractionDigits;
    if (digitCount < 1 || digitCount > maxExactDigits) {
        return nullptr;
    }
    value = fractionDigits == 0 ? extendedFromUnsigned(whole)
                                : divideByPowerOfTen(whole, static_cast<std::uint32_t>(fractionDigits));
    if (negative) {
        value = negate(value);
    }
    return p;
}

// readReal the general way: byte by byte, across blocks, any token.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((noinline))  // keeps readReal's usual way short
#endif
Extended readRealByteByByte(TextLineReader& reader, bool* metEnd) {
    std::uint8_t byte = readerBytes::take(reader);
    while (isSeparator(byte)) {
        byte = readerBytes::take(reader);
    }
    if (byte == readerBytes::endOfInput) {
        if (metEnd != nullptr) {
            *metEnd = true;
        }
        return positiveZero;
    }

    std::uint8_t token[longestToken + 1];  // and a blank after the token's bytes
    std::size_t length = 0;
    token[length++] = byte;
    for (;;) {
        byte = readerBytes::take(reader);
        if (byte <= 32) {
            break;
        }
        if (length == longestToken) {
            break;  // a 65th token byte: the token is too long to be a number
        }
        token[length++] = byte;
    }
    const bool tooLong = byte > 32;
    if (byte != readerBytes::endOfInput) {
        readerBytes::putBack(reader);
    }

    Extended value = positiveZero;
    if (!tooLong) {
        token[length] = ' ';
        if (convertPlainToken(token, value) == token + length) {
            return value;
        }
    }
    if (tooLong || !convertNumberToken(token, length, value)) {
        ioErrorCode = errorInvalidNumber;
        return positiveZero;
    }
    return value;
}

}  // namespace

Extended readReal(TextLineReader& reader, bool* metEnd) {
    if (metEnd != nullptr) {
        *metEnd = false;
    }
    // Almost always the separators and the whole token, up to the byte after it, lie in the
    // read-ahead, and the token is plain digits with perhaps a sign and a point: it is converted where
    // it is, in one pass. The byte after it stays unread. Anything else takes the general way below.
    const std::uint8_t* const bytes = reader.readAhead;
    std::uint32_t position = reader.position;
    const std::uint32_t filled = reader.filled;
    while (position < filled && isSeparator(bytes[position])) {
        ++position;
    }
    reader.position = position;
    if (position < filled && bytes[position] > 32) {
        const std::uint8_t* const start = bytes + position;
        const std::uint8_t* const limit = bytes + filled;
        TokenKey key;
        RememberedValue* place = nullptr;
        if (makeTokenKey(start, limit, bytes + TextLineReader::blockSize, key)) {
            place = &rememberedValues[key.place()];
            if (place->length == key.length && place->low == key.low && place->high == key.high) {
                reader.position = position + key.length;
                return place->value;
            }
        }
        Extended value = positiveZero;
        const std::uint8_t* const end = convertPlainToken(start, value);
        if (end != nullptr && end < limit && *end <= 32 && static_cast<std::size_t>(end - start) <= longestToken) {
            reader.position = static_cast<std::uint32_t>(end - bytes);
            if (place != nullptr) {
                *place = RememberedValue{key.low, key.high, key.length, value};
            }
            return value;
        }
    }

    return readRealByteByByte(reader, metEnd);
}

}  // namespace m2s
