// ScriptTextWriter: the output text stream on a file or on standard output. Bytes wait in a 128-byte
// block; a full block is handed over at once, and only a character device also gets its bytes at each
// line end and flush. Every line ends in CR LF. A failing operation records its number in ioErrorCode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "numeric/extended.hpp"
#include "platform/platform.hpp"
#include "text/remembered_texts.hpp"
#include "text/text_line.hpp"

namespace m2s {

struct ScriptTextWriter {
    static constexpr std::size_t blockSize = 128;
    static constexpr std::size_t maxNameLength = 259;
    // Room beyond the block, so that a short append is one copy even where it crosses the block's end;
    // the bytes past 128 move down as soon as the block has gone out.
    static constexpr std::size_t slack = 64;

    char name[maxNameLength + 1] = {};  // NUL-terminated; empty: standard output
    bool opensOnFirstUse = false;       // consoleOutput: the first write opens it on standard output
    bool open = false;
    bool onStandardOutput = false;      // standard output is never released
    bool characterDevice = false;       // line ends and flushes hand the bytes over
    platform::Handle target = platform::noHandle;
    std::uint8_t pending[blockSize + slack] = {};
    std::uint32_t pendingCount = 0;     // at most blockSize between operations
    // Where the inline operations stop: an append that brings pendingCount to appendLimit, or a line
    // end that brings it to lineEndLimit, goes on the full way. blockSize while open; 0 while closed,
    // and lineEndLimit also 0 on a character device, so one compare tells all of it.
    std::uint32_t appendLimit = 0;
    std::uint32_t lineEndLimit = 0;
};

// The writer on standard output; it opens itself at its first write.
extern ScriptTextWriter consoleOutput;

// Names the writer and creates or empties the file; an empty name (or one whose first byte is 0) is
// standard output. A name longer than 259 bytes records 206, one holding a 0 byte records 123; neither
// touches a file.
void createWrite(ScriptTextWriter& writer, const std::uint8_t* name, std::uint64_t length);
void createWrite(ScriptTextWriter& writer, const TextLine& name);

// The writing operations. A short append goes in inline as one copy, into the slack where it crosses
// the block's end; when that reaches the limit (a full block, or a writer not open) blockFilled
// finishes it. Everything else (a long or empty string, a byte on a full block, a line end on a
// character device) takes the full path in script_text_writer.cpp.
void writeTextInFull(ScriptTextWriter& writer, const std::uint8_t* bytes, std::size_t count);
void writeCharInFull(ScriptTextWriter& writer, std::uint8_t byte);
void endLineInFull(ScriptTextWriter& writer);
void writeRealInFull(ScriptTextWriter& writer, Extended x, std::uint32_t width, std::uint32_t decimals);

// An append has reached appendLimit. On an open writer the pending bytes are 128 or more: the first 128
// go out and the rest moves down; when that write-out fails, the rest is dropped with them and nothing
// is pending. On a writer not open the appended bytes wait at the start: consoleOutput opens and keeps
// them, any other writer records 105 and drops them.
void blockFilled(ScriptTextWriter& writer);

inline void writeText(ScriptTextWriter& writer, const std::uint8_t* bytes, std::size_t count) {
    // count - 1 wraps for an empty string: it sends nothing, not even a full block, so it takes the full way.
    if (count - 1 < ScriptTextWriter::slack) {
        std::memcpy(writer.pending + writer.pendingCount, bytes, count);
        writer.pendingCount += static_cast<std::uint32_t>(count);
        if (writer.pendingCount >= writer.appendLimit) {
            blockFilled(writer);
        }
        return;
    }
    writeTextInFull(writer, bytes, count);
}

inline void writeText(ScriptTextWriter& writer, const char* text) {  // NUL-terminated
    writeText(writer, reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

// A byte that fills the block leaves it pending; the next operation sends it.
[[gnu::always_inline]] inline void writeChar(ScriptTextWriter& writer, std::uint8_t byte) {
    if (writer.pendingCount < writer.appendLimit) {
        writer.pending[writer.pendingCount++] = byte;
        return;
    }
    writeCharInFull(writer, byte);
}

// CR LF, then what flush does.
[[gnu::always_inline]] inline void endLine(ScriptTextWriter& writer) {
    // Count and limit are read before the bytes are stored, which could otherwise be taken to change them.
    const std::uint32_t pendingCount = writer.pendingCount + 2;
    const std::uint32_t limit = writer.lineEndLimit;
    std::memcpy(writer.pending + writer.pendingCount, "\r\n", 2);
    writer.pendingCount = pendingCount;
    if (pendingCount >= limit) {
        endLineInFull(writer);
    }
}

// A text made before is one fixed-size copy (the bytes beyond the text are overwritten by whatever
// comes next).
inline void writeReal(ScriptTextWriter& writer, Extended x, std::uint32_t width, std::uint32_t decimals) {
    const RememberedText* remembered = rememberedText(x, width, decimals);
    if (remembered != nullptr) {
        std::memcpy(writer.pending + writer.pendingCount, remembered->text, sizeof remembered->text);
        writer.pendingCount += remembered->length;
        if (writer.pendingCount >= writer.appendLimit) {
            blockFilled(writer);
        }
        return;
    }
    writeRealInFull(writer, x, width, decimals);
}

void flush(ScriptTextWriter& writer);    // hands the pending bytes over on a character device only
void close(ScriptTextWriter& writer);    // hands the pending bytes over, then releases the file

// The text of x with at least width characters and decimals decimals, as writeReal appends it; out must
// hold 255 bytes. Returns the number of bytes.
std::size_t formatReal(Extended x, std::uint32_t width, std::uint32_t decimals, char* out);
// The same for a value whose text is known not to be remembered (writeReal has looked): made, and
// remembered where it fits.
std::size_t formatNewReal(Extended x, std::uint32_t width, std::uint32_t decimals, char* out);

// The same text, always built from the digit string, step by step in Extended operations: what
// formatReal's exact shortcut is checked against.
std::size_t formatRealByDigitString(Extended x, std::uint32_t width, std::uint32_t decimals, char* out);

}  // namespace m2s
