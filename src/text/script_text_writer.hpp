// ScriptTextWriter: the output text stream on a file or on standard output. Bytes wait in a 128-byte
// block; a full block is handed over at once, and only a character device also gets its bytes at each
// line end and flush. Every line ends in CR LF. A failing operation records its number in ioErrorCode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numeric/extended.hpp"
#include "platform/platform.hpp"
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
    std::uint32_t pendingCount = 0;
};

// The writer on standard output; it opens itself at its first write.
extern ScriptTextWriter consoleOutput;

// Names the writer and creates or empties the file; an empty name (or one whose first byte is 0) is
// standard output. A name longer than 259 bytes records 206, one holding a 0 byte records 123; neither
// touches a file.
void createWrite(ScriptTextWriter& writer, const std::uint8_t* name, std::uint64_t length);
void createWrite(ScriptTextWriter& writer, const TextLine& name);

void writeText(ScriptTextWriter& writer, const char* text);  // NUL-terminated
void writeText(ScriptTextWriter& writer, const std::uint8_t* bytes, std::size_t count);
void writeChar(ScriptTextWriter& writer, std::uint8_t byte);
void writeReal(ScriptTextWriter& writer, Extended x, std::uint32_t width, std::uint32_t decimals);
void endLine(ScriptTextWriter& writer);  // CR LF, then what flush does
void flush(ScriptTextWriter& writer);    // hands the pending bytes over on a character device only
void close(ScriptTextWriter& writer);    // hands the pending bytes over, then releases the file

// The text of x with at least width characters and decimals decimals, as writeReal appends it; out must
// hold 255 bytes. Returns the number of bytes.
std::size_t formatReal(Extended x, std::uint32_t width, std::uint32_t decimals, char* out);

}  // namespace m2s
