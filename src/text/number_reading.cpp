// Reading a real: passing over separators, collecting one number token, and converting its decimal text
// to an extended real. Every step of the value goes through the Extended operations; the powers of ten
// come from their one table, at most three factors for any exponent.
#include <bit>
#include <cstring>

#include "numeric/powers_of_ten.hpp"
#include "text/io_error.hpp"
#include "text/reader_bytes.hpp"
#include "text/remembered_texts.hpp"
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

// A token that already is the text its value is written with at its number of decimals: an optional
// "-", then "0" or digits that do not start with 0, then "." and 1 or more decimals, at most 15
// digits in all. Its value lies within 2^-64 of it relative, far closer than half a unit of its last
// decimal, so the digit string of the value rounds back to exactly these digits.
constexpr std::size_t mostTextDigits = 15;

// A plain token: an optional sign, digits, optionally "." and digits, 1 to 19 digits in all, then a
// byte that is not a digit, "." or a sign, which the caller checks. Returns where the token ends, or
// nullptr when it is no plain token; value is then unchanged. At most 19 digits: the integer is exact,
// and so is every extended step that would have built it. textDecimals is set to the token's number
// of decimals when it is its value's own text (above), to 0 otherwise.
const std::uint8_t* convertPlainToken(const std::uint8_t* p, Extended& value, std::uint32_t& textDecimals) {
    textDecimals = 0;
    const bool negative = *p == '-';
    const bool plus = *p == '+';
    if (negative || plus) {
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
    if (!plus && integerDigits >= 1 && (integerDigits == 1 || *digits != '0') && fractionDigits >= 1 &&
        digitCount <= mostTextDigits) {
        textDecimals = static_cast<std::uint32_t>(fractionDigits);
    }
    return p;
}

// convertPlainToken, and a token that is its value's own text is kept as that text, so writing the
// value needs no digit string. Where the token ends is the caller's to check.
const std::uint8_t* convertPlainTokenAt(const std::uint8_t* start, Extended& value) {
    std::uint32_t textDecimals = 0;
    const std::uint8_t* const end = convertPlainToken(start, value, textDecimals);
    if (textDecimals != 0) {
        rememberText(value, textDecimals, start, static_cast<std::size_t>(end - start));
    }
    return end;
}

// The token from the reader's position on, through as many blocks as it spans: its bytes go to token
// (at most 64 of them; a 65th makes it too long and stays unread), the byte that ends it stays unread.
// Returns the number of bytes, or longestToken + 1 when the token is too long.
std::size_t gatherToken(TextLineReader& reader, std::uint8_t* token) {
    std::size_t length = 0;
    for (;;) {
        const std::uint8_t* const bytes = reader.readAhead;
        std::uint32_t end = reader.position;
        while (bytes[end] > 32) {  // the CR after the filled bytes stops it
            ++end;
        }
        const std::size_t run = end - reader.position;
        const std::size_t part = run < longestToken - length ? run : longestToken - length;
        std::memcpy(token + length, bytes + reader.position, part);
        reader.position += static_cast<std::uint32_t>(part);
        length += part;
        if (part < run) {
            return longestToken + 1;
        }
        if (end < reader.filled) {
            return length;
        }
        if (readerBytes::take(reader) == readerBytes::endOfInput) {  // the next block
            return length;
        }
        readerBytes::putBack(reader);
    }
}

// The value of a whole token of at most 64 bytes, copied to token (which has room for 17 more bytes);
// 106 when it is no number.
Extended valueOfToken(std::uint8_t* token, std::size_t length) {
    std::memset(token + length, ' ', TextLineReader::lookBeyond + 1);
    TokenKey key;
    RememberedValue* place = nullptr;
    if (tokenKeyAt(token, key)) {
        place = &rememberedValues[key.place()];
        if (place->key.low == key.low && place->key.high == key.high) {
            return place->value;
        }
    }
    Extended value = positiveZero;
    if (convertPlainTokenAt(token, value) == token + length) {
        if (place != nullptr) {
            *place = RememberedValue{key, value};
        }
        return value;
    }
    if (!convertNumberToken(token, length, value)) {
        ioErrorCode = errorInvalidNumber;
        return positiveZero;
    }
    return value;
}

// readReal for all that the inline way leaves: separators first, a token that reaches past the
// read-ahead or is not seen before, any kind of token, the end of input.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((noinline))  // keeps readReal's usual way short
#endif
Extended readRealAcrossBlocks(TextLineReader& reader, bool* metEnd) {
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
    readerBytes::putBack(reader);

    // And room for one blank after the token's bytes and for its key's 16 bytes.
    std::uint8_t token[longestToken + TextLineReader::lookBeyond + 1];
    const std::size_t length = gatherToken(reader, token);
    if (length > longestToken) {
        ioErrorCode = errorInvalidNumber;
        return positiveZero;
    }
    return valueOfToken(token, length);
}

}  // namespace

RememberedValue rememberedValues[rememberedValueCount];

Extended readRealInFull(TextLineReader& reader, bool* metEnd) {
    if (metEnd != nullptr) {
        *metEnd = false;
    }
    // Almost always the separators and the whole token, up to the byte after it, lie in the
    // read-ahead, and the token is plain digits with perhaps a sign and a point: it is converted where
    // it is, in one pass. The byte after it stays unread. A token cut by the end of a block has its
    // first bytes kept in front of the next one, and is then converted the same way. Anything else
    // takes the way across blocks.
    for (;;) {
        const std::uint8_t* const bytes = reader.readAhead;
        std::uint32_t position = reader.position;
        const std::uint32_t filled = reader.filled;
        while (position < filled && isSeparator(bytes[position])) {
            ++position;
        }
        reader.position = position;
        if (position == filled || bytes[position] == readerBytes::endOfInput) {
            return readRealAcrossBlocks(reader, metEnd);
        }
        const std::uint8_t* const start = bytes + position;
        const std::uint8_t* const limit = bytes + filled;
        TokenKey key;
        const bool keyed = tokenKeyAt(start, key);
        const bool cut = keyed && start + key.length() >= limit;
        if (!cut) {
            RememberedValue* place = nullptr;
            if (keyed) {
                place = &rememberedValues[key.place()];
                if (place->key.low == key.low && place->key.high == key.high) {
                    reader.position = position + key.length();
                    return place->value;
                }
            }
            Extended value = positiveZero;
            const std::uint8_t* const end = convertPlainTokenAt(start, value);
            if (end != nullptr && end < limit && *end <= 32) {
                reader.position = static_cast<std::uint32_t>(end - bytes);
                if (place != nullptr) {
                    *place = RememberedValue{key, value};
                }
                return value;
            }
        }
        const std::uint8_t* tokenEnd = cut ? limit : start;
        while (*tokenEnd > 32) {  // the CR after the filled bytes stops it
            ++tokenEnd;
        }
        if (tokenEnd != limit || filled - position > TextLineReader::keptMost) {
            return readRealAcrossBlocks(reader, metEnd);
        }
        if (readerBytes::refillKeeping(reader) != 0) {
            // The token ends where the read failed; nothing stays read ahead.
            std::uint8_t token[longestToken + TextLineReader::lookBeyond + 1];
            const std::size_t length = reader.filled;
            std::memcpy(token, reader.readAhead, length);
            reader.position = 0;
            reader.filled = 0;
            reader.readAhead[0] = readerBytes::carriageReturn;
            return valueOfToken(token, length);
        }
    }
}

Extended readNewTokenLine(TextLineReader& reader, const TokenKey& key, RememberedValue& place, bool* metEnd) {
    const std::uint8_t* const start = reader.readAhead + reader.position;
    Extended value = positiveZero;
    if (convertPlainTokenAt(start, value) == start + key.length()) {
        if (metEnd != nullptr) {
            *metEnd = false;
        }
        place = RememberedValue{key, value};
        reader.position += key.length() + 2;
        return value;
    }
    value = readRealInFull(reader, metEnd);
    skipLine(reader);
    return value;
}

}  // namespace m2s
