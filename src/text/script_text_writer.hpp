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

    char name[maxNameLength + 1] = {};  // NUL-terminated; empty: standard output
    bool opensOnFirstUse = false;       // consoleOutput: the first write opens it on standard output
    bool open = false;
    bool onStandardOutput = false;      // standard output is never released
    bool characterDevice = false;       // line ends and flushes hand the bytes over
    platform::Handle target = platform::noHandle;
    std::uint8_t pending[blockSize] = {};
    std::uint32_t pendingCount = 0;     // at most blockSize
};

// The writer on standard output; it opens itself at its first write.
extern ScriptTextWriter consoleOutput;

// Names the writer and creates or empties the file; an empty name (or one whose first byte is 0) is
// standard output. A name longer than 259 bytes records 206, one holding a 0 byte records 123; neither
// touches a file.
void createWrite(ScriptTextWriter& writer, const std::uint8_t* name, std::uint64_t length);
void createWrite(ScriptTextWriter& writer, const TextLine& name);

// The writing operations. What fits in the block without filling it is appended inline; everything
// else (a block that fills up and goes out, a writer not open, a character device at a line end) takes
// the full path in script_text_writer.cpp.
void writeTextInFull(ScriptTextWriter& writer, const std::uint8_t* bytes, std::size_t count);
void writeCharInFull(ScriptTextWriter& writer, std::uint8_t byte);
void endLineInFull(ScriptTextWriter& writer);

inline void writeText(ScriptTextWriter& writer, const std::uint8_t* bytes, std::size_t count) {
    if (writer.open && count < ScriptTextWriter::blockSize - writer.pendingCount) {
        std::memcpy(writer.pending + writer.pendingCount, bytes, count);
        writer.pendingCount += static_cast<std::uint32_t>(count);
        return;
    }
    writeTextInFull(writer, bytes, count);
}

inline void writeText(ScriptTextWriter& writer, const char* text) {  // NUL-terminated
    writeText(writer, reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

inline void writeChar(ScriptTextWriter& writer, std::uint8_t byte) {
    if (writer.open && writer.pendingCount < ScriptTextWriter::blockSize) {
        writer.pending[writer.pendingCount++] = byte;
        return;
    }
    writeCharInFull(writer, byte);
}

// CR LF, then what flush does.
inline void endLine(ScriptTextWriter& writer) {
    if (writer.open && !writer.characterDevice && writer.pendingCount + 2 < ScriptTextWriter::blockSize) {
        writer.pending[writer.pendingCount] = 13;
        writer.pending[writer.pendingCount + 1] = 10;
        writer.pendingCount += 2;
        return;
    }
    endLineInFull(writer);
}

void writeRealInFull(ScriptTextWriter& writer, Extended x, std::uint32_t width, std::uint32_t decimals);

// A text made before and fitting in the block without filling it is one fixed-size copy (the bytes
// beyond the text are overwritten by whatever comes next).
inline void writeReal(ScriptTextWriter& writer, Extended x, std::uint32_t width, std::uint32_t decimals) {
    const RememberedText* remembered = rememberedText(x, width, decimals);
    if (remembered != nullptr && writer.open &&
        writer.pendingCount + sizeof remembered->text <= ScriptTextWriter::blockSize &&
        remembered->length < ScriptTextWriter::blockSize - writer.pendingCount) {
        std::memcpy(writer.pending + writer.pendingCount, remembered->text, sizeof remembered->text);
        writer.pendingCount += remembered->length;
        return;
    }
    writeRealInFull(writer, x, width, decimals);
}
void flush(ScriptTextWriter& writer);    // hands the pending bytes over on a character device only
void close(ScriptTextWriter& writer);    // hands the pending bytes over, then releases the file

// The text of x with at least width characters and decimals decimals, as writeReal appends it; out must
// hold 255 bytes. Returns the number of bytes.
std::size_t formatReal(Extended x, std::uint32_t width, std::uint32_t decimals, char* out);

// The same text, always built from the digit string, step by step in Extended operations: what
// formatReal's exact shortcut is checked against.
std::size_t formatRealByDigitString(Extended x, std::uint32_t width, std::uint32_t decimals, char* out);

}  // namespace m2s
