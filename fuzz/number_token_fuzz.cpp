// Number tokens on arbitrary bytes: the conversion alone, and readReal taking tokens from a reader over
// the same bytes. Both are held against a small model of the token rules; a converted value must
// format to a well-formed text, the same by the shortcut and by the digit string.
#include <bit>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "text/io_error.hpp"
#include "text/script_text_writer.hpp"
#include "text/text_line_reader.hpp"

namespace m2s::fuzz {
namespace {

constexpr std::size_t longestToken = 64;
constexpr std::uint8_t endOfInput = 26;

// Where an arithmetic fault leaves the conversion: the run would end there.
std::jmp_buf faultPoint;
std::uint32_t faultNumber = 0;

void onFault(std::uint32_t number, const void*) {
    faultNumber = number;
    std::longjmp(faultPoint, 1);
}

bool isDigit(std::uint8_t byte) { return byte >= '0' && byte <= '9'; }

// Where an optional sign and then the digits from i end.
std::size_t passSign(const std::uint8_t* t, std::size_t n, std::size_t i) {
    return i < n && (t[i] == '-' || t[i] == '+') ? i + 1 : i;
}
std::size_t passDigits(const std::uint8_t* t, std::size_t n, std::size_t i) {
    while (i < n && isDigit(t[i])) {
        ++i;
    }
    return i;
}

// The token rules: sign (not alone), digits, optionally "." and digits, optionally an exponent with
// at least one digit, nothing else.
bool wellFormed(const std::uint8_t* t, std::size_t n) {
    std::size_t i = passSign(t, n, 0);
    if (i > 0 && i == n) {
        return false;
    }
    i = passDigits(t, n, i);
    if (i < n && t[i] == '.') {
        i = passDigits(t, n, i + 1);
    }
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        i = passSign(t, n, i + 1);
        if (i == n) {
            return false;
        }
        i = passDigits(t, n, i);
    }
    return i == n;
}

// A token of at most 19 digits and nothing else but a sign: its value exactly, as extended bits.
bool exactInteger(const std::uint8_t* t, std::size_t n, Extended& value) {
    std::size_t i = 0;
    const bool negative = n > 0 && t[0] == '-';
    if (n > 0 && (t[0] == '-' || t[0] == '+')) {
        ++i;
    }
    if (i == n || n - i > 19) {
        return false;
    }
    std::uint64_t whole = 0;
    for (; i < n; ++i) {
        if (!isDigit(t[i])) {
            return false;
        }
        whole = whole * 10 + (t[i] - std::uint64_t{'0'});
    }
    if (whole == 0) {
        value = extendedFromBits(negative ? 0x8000 : 0, 0);
        return true;
    }
    const int shift = std::countl_zero(whole);
    const auto exponent = static_cast<std::uint16_t>(extendedExponentBias + 63 - shift);
    value = extendedFromBits(static_cast<std::uint16_t>(exponent | (negative ? 0x8000 : 0)), whole << shift);
    return true;
}

bool sameBits(Extended a, Extended b) { return a.signExponent == b.signExponent && a.significand == b.significand; }

std::string_view bytesOf(const std::uint8_t* t, std::size_t n) {
    return {reinterpret_cast<const char*>(t), n};
}

// What holds for every value a token converts to.
void checkConverted(const std::uint8_t* t, std::size_t n, Extended value) {
    const std::string_view token = bytesOf(t, n);
    require(!isNaN(value), "a token converts to a NaN", token);
    require(isNegative(value) == (t[0] == '-'), "the sign of the value is not the token's", token);
    Extended exact{};
    if (exactInteger(t, n, exact)) {
        require(sameBits(value, exact), "a short integer token is not converted exactly", token);
    }
    char shortcut[255];
    char longWay[255];
    const std::size_t length = formatReal(value, 3, 4, shortcut);
    const std::size_t longLength = formatRealByDigitString(value, 3, 4, longWay);
    const std::string_view text(shortcut, length);
    require(isRealText(text), "a converted value has a malformed text", text);
    require(text == std::string_view(longWay, longLength), "the shortcut text differs from the digit string's", text);
    if (isInfinity(value)) {
        require(text == (isNegative(value) ? "-Inf" : "+Inf"), "an infinity's text", text);
    }
}

void convertAlone(const std::uint8_t* data, std::size_t size) {
    const std::size_t n = size < longestToken ? size : longestToken;
    if (n == 0) {
        return;  // readReal never converts an empty token
    }
    faultNumber = 0;
    if (setjmp(faultPoint) != 0) {
        require(faultNumber == 205, "a conversion fault other than overflow", bytesOf(data, n));
        require(wellFormed(data, n), "a malformed token reached the arithmetic", bytesOf(data, n));
        return;
    }
    Extended value = extendedFromInt(0);
    const bool accepted = convertNumberToken(data, n, value);
    require(accepted == wellFormed(data, n), "the conversion's verdict differs from the token rules",
            bytesOf(data, n));
    if (accepted) {
        checkConverted(data, n, value);
    }
}

// readReal and skipLine (or readRealLine) over the bytes, token by token, against the same rules applied
// to the bytes.
void readAll(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = bytesOf(data, size);
    useMemoryFiles({}, bytes, 1 + size % 128);
    TextLineReader reader;
    openRead(reader, reinterpret_cast<const std::uint8_t*>(dxfName), std::string_view(dxfName).size());
    require(ioErrorCode == 0 && reader.open, "the in-memory DXF does not open");

    std::size_t at = 0;  // the model's position
    const auto byteAt = [&](std::size_t i) -> std::uint8_t { return i < size ? data[i] : endOfInput; };
    for (int tokens = 0; tokens < 10000; ++tokens) {
        while (byteAt(at) <= 32 && byteAt(at) != endOfInput) {
            ++at;
        }
        const std::size_t start = at;
        std::size_t n = 0;
        while (n < longestToken && byteAt(at) > 32) {
            ++at;
            ++n;
        }
        const bool tooLong = n == longestToken && byteAt(at) > 32;
        const bool atTheEnd = n == 0;

        ioErrorCode = 0;
        bool metEnd = false;
        faultNumber = 0;
        if (setjmp(faultPoint) != 0) {
            require(faultNumber == 205, "readReal: a fault other than overflow", bytes.substr(start, n));
            require(!tooLong && wellFormed(data + start, n), "readReal: a malformed token reached the arithmetic",
                    bytes.substr(start, n));
            break;
        }
        // Every other token as the scanner reads a value: readRealLine, readReal and skipLine in one.
        const bool wholeLine = (static_cast<std::size_t>(tokens) + size) % 2 == 1;
        const Extended value = wholeLine ? readRealLine(reader, &metEnd) : readReal(reader, &metEnd);
        require(metEnd == atTheEnd, "readReal: the end of input met in the wrong place", bytes.substr(start, n));
        if (atTheEnd) {
            require(ioErrorCode == 0 && isZero(value), "readReal at the end: not a quiet 0");
            break;
        }
        const bool malformed = tooLong || !wellFormed(data + start, n);
        require((ioErrorCode == errorInvalidNumber) == malformed, "readReal: the verdict differs from the token rules",
                bytes.substr(start, n));
        if (!malformed) {
            Extended alone = extendedFromInt(0);
            convertNumberToken(data + start, n, alone);
            require(sameBits(value, alone), "readReal and the conversion give different values", bytes.substr(start, n));
            checkConverted(data + start, n, value);
        }
        // The model's skipLine: up to a CR, LF or 26; a CR takes a following LF with it.
        ioErrorCode = 0;
        if (!wholeLine) {
            skipLine(reader);
        }
        require(ioErrorCode == 0, "skipLine records a code on memory input");
        while (byteAt(at) != 13 && byteAt(at) != 10 && byteAt(at) != endOfInput) {
            ++at;
        }
        if (byteAt(at) == 13) {
            ++at;
            if (byteAt(at) == 10) {
                ++at;
            }
        } else if (byteAt(at) == 10) {
            ++at;
        }
    }
    ioErrorCode = 0;
    close(reader);
    useRealFiles();
}

}  // namespace
}  // namespace m2s::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace m2s;
    setExtendedFaultHandler(fuzz::onFault);
    ioErrorCode = 0;
    fuzz::convertAlone(data, size);
    fuzz::readAll(data, size);
    ioErrorCode = 0;
    return 0;
}
