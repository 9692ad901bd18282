// The byte side of ScriptTextWriter: creating and closing, the 128 pending bytes and when they are
// handed over. The text of a real is built in number_formatting.cpp.
//
// A full block goes out the moment a string fills it, so a disk file grows in blocks of exactly 128
// bytes and after a line end at most 127 bytes wait. Only a character device also gets its bytes at each
// line end and flush.
#include "text/script_text_writer.hpp"

#include <cstring>

#include "text/io_error.hpp"
#include "text/stream_name.hpp"

namespace m2s {

ScriptTextWriter consoleOutput{.opensOnFirstUse = true};

namespace {

void resetWriter(ScriptTextWriter& writer) {
    writer.open = false;
    writer.onStandardOutput = false;
    writer.characterDevice = false;
    writer.target = platform::noHandle;
    writer.pendingCount = 0;
    writer.appendLimit = 0;
    writer.lineEndLimit = 0;
}

// Hands every pending byte over in one call. Whatever happens, nothing is pending afterwards.
bool writeOut(ScriptTextWriter& writer) {
    if (writer.pendingCount == 0) {
        return true;
    }
    const std::uint32_t failure = platform::writeBlock(writer.target, writer.pending, writer.pendingCount);
    writer.pendingCount = 0;
    if (failure != 0) {
        ioErrorCode = failure;
        return false;
    }
    return true;
}

bool readyForWriting(ScriptTextWriter& writer) {
    if (!writer.open && writer.opensOnFirstUse) {
        createWrite(writer, nullptr, 0);
    }
    if (!writer.open) {
        ioErrorCode = errorNotOpenForWriting;
        return false;
    }
    return true;
}

void append(ScriptTextWriter& writer, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const std::size_t room = ScriptTextWriter::blockSize - writer.pendingCount;
        const std::size_t part = count < room ? count : room;
        std::memcpy(writer.pending + writer.pendingCount, bytes, part);
        writer.pendingCount += static_cast<std::uint32_t>(part);
        bytes += part;
        count -= part;
        if (writer.pendingCount == ScriptTextWriter::blockSize && !writeOut(writer)) {
            return;  // the rest of this string is dropped
        }
    }
}

}  // namespace

void createWrite(ScriptTextWriter& writer, const std::uint8_t* name, std::uint64_t length) {
    resetWriter(writer);
    const std::uint32_t refused = takeStreamName(name, length, writer.name);
    if (refused != 0) {
        writer.name[0] = '\0';
        ioErrorCode = refused;
        return;
    }
    platform::Handle handle = platform::noHandle;
    const bool standard = writer.name[0] == '\0';
    const std::uint32_t failure =
        standard ? platform::standardOutput(handle) : platform::createForWriting(writer.name, handle);
    if (failure != 0) {
        ioErrorCode = failure;
        return;
    }
    const platform::TargetKind kind = platform::targetKind(handle);
    if (kind == platform::TargetKind::unknown) {
        if (!standard) {
            platform::release(handle);
        }
        ioErrorCode = errorNotOpenForWriting;
        return;
    }
    writer.target = handle;
    writer.onStandardOutput = standard;
    writer.characterDevice = kind == platform::TargetKind::characterDevice;
    writer.open = true;
    writer.appendLimit = ScriptTextWriter::blockSize;
    writer.lineEndLimit = writer.characterDevice ? 0 : ScriptTextWriter::blockSize;
}

void createWrite(ScriptTextWriter& writer, const TextLine& name) {
    createWrite(writer, name.bytes, name.length);
}

void writeTextInFull(ScriptTextWriter& writer, const std::uint8_t* bytes, std::size_t count) {
    if (readyForWriting(writer)) {
        append(writer, bytes, count);
    }
}

void writeCharInFull(ScriptTextWriter& writer, std::uint8_t byte) {
    if (!readyForWriting(writer)) {
        return;
    }
    // A byte that finds the block full sends it first (a string would have sent it already).
    if (writer.pendingCount == ScriptTextWriter::blockSize && !writeOut(writer)) {
        return;
    }
    writer.pending[writer.pendingCount++] = byte;
}

// writeReal found no text of x remembered.
void writeRealInFull(ScriptTextWriter& writer, Extended x, std::uint32_t width, std::uint32_t decimals) {
    char text[255];
    const std::size_t length = formatNewReal(x, width, decimals, text);
    // A short text goes in as one fixed-size copy (the bytes beyond the text are overwritten by whatever
    // comes next).
    constexpr std::size_t shortCopy = 32;
    if (length <= shortCopy) {
        std::memcpy(writer.pending + writer.pendingCount, text, shortCopy);
        writer.pendingCount += static_cast<std::uint32_t>(length);
        if (writer.pendingCount >= writer.appendLimit) {
            blockFilled(writer);
        }
        return;
    }
    writeTextInFull(writer, reinterpret_cast<const std::uint8_t*>(text), length);
}

void blockFilled(ScriptTextWriter& writer) {
    if (!writer.open) {
        const std::uint32_t appended = writer.pendingCount;
        writer.pendingCount = 0;
        if (readyForWriting(writer)) {
            writer.pendingCount = appended;  // opening leaves the pending bytes where they are
        }
        return;
    }
    const std::uint32_t rest = writer.pendingCount - static_cast<std::uint32_t>(ScriptTextWriter::blockSize);
    writer.pendingCount = ScriptTextWriter::blockSize;
    if (!writeOut(writer)) {
        return;  // the rest of this append is dropped
    }
    // The whole slack in one fixed-size copy: the bytes beyond the rest are overwritten by what comes next.
    std::memcpy(writer.pending, writer.pending + ScriptTextWriter::blockSize, ScriptTextWriter::slack);
    writer.pendingCount = rest;
}

// CR LF are in already: what is left is a full block, a writer not open, or a character device's flush.
void endLineInFull(ScriptTextWriter& writer) {
    if (writer.pendingCount >= writer.appendLimit) {
        blockFilled(writer);
    }
    flush(writer);
}

void flush(ScriptTextWriter& writer) {
    if (!writer.open) {
        ioErrorCode = errorNotOpen;
        return;
    }
    if (writer.characterDevice) {
        writeOut(writer);
    }
}

void close(ScriptTextWriter& writer) {
    if (!writer.open) {
        ioErrorCode = errorNotOpen;
        return;
    }
    if (!writeOut(writer)) {
        return;  // the file stays open; its bytes are lost
    }
    const bool standard = writer.onStandardOutput;
    const platform::Handle target = writer.target;
    resetWriter(writer);
    if (!standard) {
        const std::uint32_t failure = platform::release(target);
        if (failure != 0) {
            ioErrorCode = failure;
        }
    }
}

}  // namespace m2s
