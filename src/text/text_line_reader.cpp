// The line side of TextLineReader: opening and closing, taking bytes through the 128-byte read-ahead,
// and the line operations. The number side (readReal and its conversion) is in number_reading.cpp.
//
// Every byte comes through the read-ahead. A 26 in it is delivered and never passed, and when the
// source says it has no more data a single 26 is put there, so the end of input is simply a 26 that
// stays. A failed read delivers a 26 without storing it, so the next request asks the source again.
#include "text/text_line_reader.hpp"

#include <cstring>

#include "text/io_error.hpp"
#include "text/reader_bytes.hpp"
#include "text/stream_name.hpp"

namespace m2s {

TextLineReader consoleInput{.opensOnFirstUse = true};

namespace {

void resetReader(TextLineReader& reader) {
    reader.open = false;
    reader.onStandardInput = false;
    reader.source = platform::noHandle;
    reader.position = 0;
    reader.filled = 0;
    reader.readAhead[0] = readerBytes::carriageReturn;
    reader.sourceEnded = false;
}

}  // namespace

namespace readerBytes {

std::uint8_t refill(TextLineReader& reader) {
    if (!reader.open) {
        if (reader.opensOnFirstUse) {
            openRead(reader, nullptr, 0);
        }
        if (!reader.open) {
            ioErrorCode = errorNotOpenForReading;
            return endOfInput;
        }
    }
    std::size_t count = 0;
    const std::uint32_t failure =
        platform::readBlock(reader.source, reader.readAhead, TextLineReader::blockSize, count);
    if (failure != 0) {
        ioErrorCode = failure;
        reader.position = 0;
        reader.filled = 0;
        reader.readAhead[0] = carriageReturn;
        return endOfInput;
    }
    if (count == 0) {
        reader.readAhead[0] = endOfInput;
        reader.readAhead[1] = carriageReturn;
        reader.filled = 1;
        reader.position = 0;
        reader.sourceEnded = true;
        return endOfInput;
    }
    reader.filled = static_cast<std::uint32_t>(count);
    reader.readAhead[count] = carriageReturn;
    reader.position = 0;
    return take(reader);
}

std::uint32_t refillKeeping(TextLineReader& reader) {
    const std::uint32_t kept = reader.filled - reader.position;
    std::memmove(reader.readAhead, reader.readAhead + reader.position, kept);
    reader.position = 0;
    reader.filled = kept;
    reader.readAhead[kept] = carriageReturn;
    std::size_t count = 0;
    const std::uint32_t failure =
        platform::readBlock(reader.source, reader.readAhead + kept, TextLineReader::blockSize, count);
    if (failure != 0) {
        ioErrorCode = failure;
        return failure;
    }
    if (count == 0) {
        reader.readAhead[kept] = endOfInput;
        reader.readAhead[kept + 1] = carriageReturn;
        reader.filled = kept + 1;
        reader.sourceEnded = true;
        return 0;
    }
    reader.filled = kept + static_cast<std::uint32_t>(count);
    reader.readAhead[reader.filled] = carriageReturn;
    return 0;
}

}  // namespace readerBytes

using readerBytes::endOfInput;
using readerBytes::putBack;
using readerBytes::take;

void openRead(TextLineReader& reader, const std::uint8_t* name, std::uint64_t length) {
    resetReader(reader);
    const std::uint32_t refused = takeStreamName(name, length, reader.name);
    if (refused != 0) {
        reader.name[0] = '\0';
        ioErrorCode = refused;
        return;
    }
    platform::Handle handle = platform::noHandle;
    const bool standard = reader.name[0] == '\0';
    const std::uint32_t failure =
        standard ? platform::standardInput(handle) : platform::openForReading(reader.name, handle);
    if (failure != 0) {
        ioErrorCode = failure;
        return;
    }
    reader.source = handle;
    reader.onStandardInput = standard;
    reader.open = true;
}

void openRead(TextLineReader& reader, const TextLine& name) { openRead(reader, name.bytes, name.length); }

void readLine(TextLineReader& reader, TextLine& line) {
    line.length = 0;
    for (;;) {
        if (reader.position == reader.filled) {
            if (take(reader) == endOfInput) {
                return;
            }
            putBack(reader);
        }
        const std::uint8_t* start = reader.readAhead + reader.position;
        const std::uint8_t* end = reader.readAhead + reader.filled;
        const std::uint8_t* stop = start;
        while (!readerBytes::endsLine(*stop)) {  // the CR after the filled bytes stops it
            ++stop;
        }
        const std::size_t count = static_cast<std::size_t>(stop - start);
        if (line.length < TextLine::capacity) {
            const std::size_t room = TextLine::capacity - static_cast<std::size_t>(line.length);
            std::memcpy(line.bytes + line.length, start, count < room ? count : room);
        }
        line.length += count;
        reader.position += static_cast<std::uint32_t>(count);
        if (stop < end) {
            return;  // the line end (or the 26) stays unread
        }
    }
}

void skipLineAcrossBlocks(TextLineReader& reader) {
    std::uint8_t byte;
    for (;;) {
        // Pass over the line's bytes a block at a time; the byte that ends it is then taken below.
        while (reader.position < reader.filled &&
               !readerBytes::endsLine(reader.readAhead[reader.position])) {
            ++reader.position;
        }
        byte = take(reader);
        if (readerBytes::endsLine(byte)) {
            break;
        }
    }
    if (byte == readerBytes::carriageReturn) {
        const std::uint8_t next = take(reader);
        if (next != readerBytes::lineFeed && next != endOfInput) {
            putBack(reader);  // a lone CR ends the line by itself
        }
    }
}

bool takeLineEqualsAcrossBlocks(TextLineReader& reader, TextLine& line, const Keyword& keyword) {
    readLine(reader, line);
    skipLine(reader);
    return line.length == keyword.length && std::memcmp(line.bytes, keyword.text, keyword.length) == 0;
}

bool atEndAfterRefill(TextLineReader& reader) {
    if (take(reader) == endOfInput) {
        return true;
    }
    putBack(reader);
    return false;
}

void close(TextLineReader& reader) {
    if (!reader.open) {
        return;
    }
    const bool standard = reader.onStandardInput;
    const platform::Handle source = reader.source;
    resetReader(reader);
    if (!standard) {
        const std::uint32_t failure = platform::release(source);
        if (failure != 0) {
            ioErrorCode = failure;
        }
    }
}

}  // namespace m2s
