// Taking bytes from a TextLineReader's read-ahead, shared by the line and the number operations. The
// common case (a byte in the read-ahead) is inline; refill asks the source for the next block.
#pragma once

#include <cstdint>

#include "text/text_line_reader.hpp"

namespace m2s::readerBytes {

inline constexpr std::uint8_t endOfInput = 26;
inline constexpr std::uint8_t carriageReturn = 13;
inline constexpr std::uint8_t lineFeed = 10;

// Opens consoleInput on first use, reads the next block and delivers its first byte; 26 when the
// reader is not open, the read failed or the source has no more data.
std::uint8_t refill(TextLineReader& reader);

// For a token that reaches the end of the filled bytes: its bytes so far (from position, at most
// keptMost) move to the front and the next block is read after them, in one read as refill does. At
// the end of the source a 26 follows them. A failed read records its number, which is returned, and
// leaves the kept bytes in front of the CR after them.
std::uint32_t refillKeeping(TextLineReader& reader);

// The next byte; a 26 is delivered and stays.
inline std::uint8_t take(TextLineReader& reader) {
    if (reader.position < reader.filled) {
        const std::uint8_t byte = reader.readAhead[reader.position];
        if (byte != endOfInput) {
            ++reader.position;
        }
        return byte;
    }
    return refill(reader);
}

// Puts back the byte just taken (never a 26, which was not consumed).
inline void putBack(TextLineReader& reader) { --reader.position; }

inline bool endsLine(std::uint8_t byte) { return endsLineByte(byte); }

}  // namespace m2s::readerBytes
