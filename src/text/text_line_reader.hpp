// TextLineReader: the input text stream on a file or on standard input. Lines end at a CR, a CR LF or a
// lone LF; a byte 26 ends the input and is never consumed; the source is read in blocks of at most 128
// bytes. A failing operation records its number in ioErrorCode and goes on as if the input had ended.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "numeric/extended.hpp"
#include "platform/platform.hpp"
#include "text/remembered_values.hpp"
#include "text/text_line.hpp"

namespace m2s {

struct TextLineReader {
    static constexpr std::size_t blockSize = 128;
    static constexpr std::size_t maxNameLength = 259;

    char name[maxNameLength + 1] = {};  // NUL-terminated; empty: standard input
    bool opensOnFirstUse = false;       // consoleInput: the first read opens it on standard input
    bool open = false;
    bool onStandardInput = false;       // standard input is never released
    platform::Handle source = platform::noHandle;
    // The bytes read ahead, and more: readAhead[filled] is always a CR that was never read, so a scan
    // for a line end or past digits stops there without counting bytes; the bytes after it are never
    // used, but a scan may look at a whole word of them at once. A number whose token reaches the
    // end of a block keeps its first bytes (at most keptMost) in front of the next block.
    static constexpr std::size_t lookBeyond = 16;
    static constexpr std::size_t keptMost = 64;
    std::uint8_t readAhead[keptMost + blockSize + lookBeyond] = {13};
    std::uint32_t position = 0;         // next byte of readAhead to deliver
    std::uint32_t filled = 0;           // bytes held in readAhead
    bool sourceEnded = false;           // the source said it has no more data: stay at the end
};

// The reader on standard input; it opens itself at its first use.
extern TextLineReader consoleInput;

// Names the reader and opens it; an empty name (or one whose first byte is 0) is standard input. A name
// longer than 259 bytes records 206, one holding a 0 byte records 123; neither opens anything.
void openRead(TextLineReader& reader, const std::uint8_t* name, std::uint64_t length);
void openRead(TextLineReader& reader, const TextLine& name);

// The rest of the current line, without its line end (which stays unread). Empty at the end of input.
void readLine(TextLineReader& reader, TextLine& line);

// Moves past the next line end (CR LF, CR or LF). Nothing at the end of input.
void skipLine(TextLineReader& reader);
void skipLineAcrossBlocks(TextLineReader& reader);  // skipLine for a line whose end is not in the read-ahead

// Passes over separators (bytes 0-32 but 26, line ends included), then converts one number token.
// At the end of input: 0, no failure, and *metEnd (when given) is set. A malformed token records 106.
// The common case, a token read before that lies whole in the read-ahead, is inline at the end.
inline Extended readReal(TextLineReader& reader, bool* metEnd = nullptr);
Extended readRealInFull(TextLineReader& reader, bool* metEnd);  // sets *metEnd either way
// readRealLine for a token of key (not the one kept at place) at the reader's position, followed by
// a CR LF in the read-ahead: converted where it lies and kept at place.
Extended readNewTokenLine(TextLineReader& reader, const TokenKey& key, RememberedValue& place, bool* metEnd);

// True when the next byte is the end of input (a 26, no more data, or a failed read).
bool atEnd(TextLineReader& reader);
bool atEndAfterRefill(TextLineReader& reader);  // atEnd for an empty read-ahead

// Releases the file; standard input stays usable.
void close(TextLineReader& reader);

// Number conversion, shared with the formatting of reals.
// A token: optional sign, digits, optional "." and digits, optional exponent; at most 64 bytes. Returns
// false when malformed.
bool convertNumberToken(const std::uint8_t* token, std::size_t length, Extended& value);

// x times 10^n through at most three factors from the table of powers of ten.
Extended scaleByPowerOfTen(Extended x, std::int32_t n);

// The common cases inline: the line end, and the byte after a CR, lie in the read-ahead; the next
// byte is there.
// CR, LF and the byte 26 end a line; one test of a bit in a mask tells them from the rest.
inline bool endsLineByte(std::uint8_t byte) {
    constexpr std::uint32_t lineEnds = (1u << 10) | (1u << 13) | (1u << 26);
    return byte <= 26 && ((lineEnds >> byte) & 1u) != 0;
}

// Where the first byte below 27 lies among the 8 bytes at p, 8 when none does. Bytes beyond a real
// candidate may be flagged falsely, the lowest flagged one is always right. A host that keeps the
// first byte highest in a word looks at one byte at a time.
inline std::uint32_t firstControlByte(const std::uint8_t* p) {
    if constexpr (std::endian::native != std::endian::little) {
        return *p < 27 ? 0 : 1;
    }
    constexpr std::uint64_t eachByte = 0x0101010101010101u;
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    const std::uint64_t below = (word - eachByte * 27) & ~word & (eachByte * 0x80);
    return below == 0 ? 8 : static_cast<std::uint32_t>(std::countr_zero(below)) / 8;
}

// Where the line from position ends (the first CR, LF or 26) in the read-ahead, at most at filled.
inline std::uint32_t lineEndInReadAhead(const TextLineReader& reader) {
    const std::uint8_t* const bytes = reader.readAhead;
    std::uint32_t position = reader.position;
    for (;;) {
        position += firstControlByte(bytes + position);
        if (endsLineByte(bytes[position])) {  // the CR after the filled bytes stops it
            return position;
        }
        if (bytes[position] < 27) {
            ++position;  // a control byte that ends nothing
        }
    }
}

// How many bytes the line end at position takes (CR LF 2, a lone CR or LF 1), when it and the byte
// after it are filled bytes; 0 when that is not known yet, and for a 26, which is never passed.
inline std::uint32_t lineEndLength(const TextLineReader& reader, std::uint32_t position) {
    const std::uint8_t* const bytes = reader.readAhead;
    if (position + 1 >= reader.filled || bytes[position] == 26) {
        return 0;
    }
    return bytes[position] == 13 && bytes[position + 1] == 10 ? 2 : 1;
}

// The usual short line: a CR LF among the next 8 bytes, both filled. True with end at the CR; false
// when it is not so simple (or on a host that keeps the first byte highest in a word).
inline bool shortLineEnd(const TextLineReader& reader, std::uint32_t& end) {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    }
    constexpr std::uint64_t eachByte = 0x0101010101010101u;
    std::uint64_t word = 0;
    std::memcpy(&word, reader.readAhead + reader.position, sizeof word);
    const std::uint64_t below = (word - eachByte * 27) & ~word & (eachByte * 0x80);
    if (below == 0) {
        return false;
    }
    const auto shift = static_cast<std::uint32_t>(std::countr_zero(below)) - 7;  // the first control byte
    end = reader.position + shift / 8;
    return ((word >> shift) & 0xFFFF) == 0x0A0D && end + 2 <= reader.filled;
}

inline void skipLine(TextLineReader& reader) {
    std::uint32_t end = 0;
    if (shortLineEnd(reader, end)) {
        reader.position = end + 2;
        return;
    }
    const std::uint32_t position = lineEndInReadAhead(reader);
    const std::uint32_t endLength = lineEndLength(reader, position);
    reader.position = position + endLength;
    if (endLength == 0) {
        skipLineAcrossBlocks(reader);
    }
}

// The first length bytes (at most 8) at a and b are the same; the 8 bytes at each must be readable.
inline bool firstBytesEqual(const std::uint8_t* a, const char* b, std::size_t length) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t wordA = 0;
        std::uint64_t wordB = 0;
        std::memcpy(&wordA, a, sizeof wordA);
        std::memcpy(&wordB, b, sizeof wordB);
        const std::uint64_t kept = length >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * length)) - 1;
        return ((wordA ^ wordB) & kept) == 0;
    }
    return std::memcmp(a, b, length) == 0;
}

// A keyword of at most 8 bytes, kept in 8 bytes (zeros after it), so it can be compared as a word.
struct Keyword {
    char text[9];
    std::size_t length;
};

// readLine, skipLine and lineEquals in one: the line, and its line end, are taken, and the answer is
// whether it equals keyword, byte for byte. Where the line ends in the read-ahead, it is compared
// where it lies and line is left as it was.
bool takeLineEqualsAcrossBlocks(TextLineReader& reader, TextLine& line, const Keyword& keyword);

inline bool takeLineEquals(TextLineReader& reader, TextLine& line, const Keyword& keyword) {
    const std::uint32_t start = reader.position;
    std::uint32_t end = 0;
    std::uint32_t endLength = 2;
    if (!shortLineEnd(reader, end)) {
        end = lineEndInReadAhead(reader);
        endLength = lineEndLength(reader, end);
    }
    if (endLength != 0) {
        reader.position = end + endLength;
        return end - start == keyword.length && firstBytesEqual(reader.readAhead + start, keyword.text, keyword.length);
    }
    return takeLineEqualsAcrossBlocks(reader, line, keyword);
}

inline Extended readReal(TextLineReader& reader, bool* metEnd) {
    const std::uint8_t* const start = reader.readAhead + reader.position;
    TokenKey key;
    // No separator first (the CR after the filled bytes is one), and the byte after the token is
    // one of the filled bytes.
    if (*start > 32 && tokenKeyAt(start, key) && reader.position + key.length() < reader.filled) {
        const RememberedValue& place = rememberedValues[key.place()];
        if (place.key.low == key.low && place.key.high == key.high) {
            if (metEnd != nullptr) {
                *metEnd = false;
            }
            reader.position += key.length();
            return place.value;
        }
    }
    return readRealInFull(reader, metEnd);
}

// readReal, then skipLine: a number and the rest of its line. The common case inline: a token read
// before, right before a CR LF that lies in the read-ahead.
inline Extended readRealLine(TextLineReader& reader, bool* metEnd = nullptr) {
    const std::uint8_t* const bytes = reader.readAhead;
    const std::uint32_t position = reader.position;
    TokenKey key;
    if (bytes[position] > 32 && tokenKeyAt(bytes + position, key)) {
        const std::uint32_t end = position + key.length();
        std::uint16_t lineEnd = 0;  // a key is only made where the first byte is lowest in a word
        std::memcpy(&lineEnd, bytes + end, sizeof lineEnd);
        if (lineEnd == 0x0A0D && end + 2 <= reader.filled) {
            RememberedValue& place = rememberedValues[key.place()];
            if (place.key.low == key.low && place.key.high == key.high) {
                if (metEnd != nullptr) {
                    *metEnd = false;
                }
                reader.position = end + 2;
                return place.value;
            }
            return readNewTokenLine(reader, key, place, metEnd);
        }
    }
    const Extended value = readRealInFull(reader, metEnd);
    skipLine(reader);
    return value;
}

inline bool atEnd(TextLineReader& reader) {
    if (reader.position < reader.filled) {
        return reader.readAhead[reader.position] == 26;
    }
    return atEndAfterRefill(reader);
}

}  // namespace m2s
