// The line reader on arbitrary bytes, read in short blocks of a size that varies with the input: every
// line comes back whole (its true length, its first bytes), without CR or LF, and the lines with their
// line ends account for every byte before the first 26. At the end the reader stays there quietly.
// Every third line is taken and compared with a keyword at once, as the DXF scanner does.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "text/io_error.hpp"
#include "text/text_line.hpp"
#include "text/text_line_reader.hpp"

namespace m2s::fuzz {
namespace {

constexpr std::uint8_t carriageReturn = 13;
constexpr std::uint8_t lineFeed = 10;
constexpr std::uint8_t endOfInput = 26;

struct ModelLine {
    std::size_t start;
    std::size_t length;
    std::size_t lineEnd;  // 0 (the input ended), 1 (CR or LF) or 2 (CR LF)
};

// Lines end at CR LF, a lone CR or a lone LF; a 26 ends the input.
std::vector<ModelLine> modelLines(std::string_view bytes, std::size_t& consumed) {
    std::vector<ModelLine> lines;
    std::size_t at = 0;
    const auto isEnd = [&](std::size_t i) { return i >= bytes.size() || bytes[i] == char{endOfInput}; };
    while (!isEnd(at)) {
        const std::size_t start = at;
        while (!isEnd(at) && bytes[at] != char{carriageReturn} && bytes[at] != char{lineFeed}) {
            ++at;
        }
        ModelLine line{start, at - start, 0};
        if (!isEnd(at) && bytes[at] == char{carriageReturn}) {
            ++at;
            line.lineEnd = 1;
            if (!isEnd(at) && bytes[at] == char{lineFeed}) {
                ++at;
                line.lineEnd = 2;
            }
        } else if (!isEnd(at)) {
            ++at;  // a lone LF
            line.lineEnd = 1;
        }
        lines.push_back(line);
    }
    consumed = at;
    return lines;
}

void readLines(std::string_view bytes) {
    std::size_t consumed = 0;
    const std::vector<ModelLine> expected = modelLines(bytes, consumed);

    useMemoryFiles({}, bytes, 1 + bytes.size() % 131);
    ioErrorCode = 0;
    TextLineReader reader;
    openRead(reader, reinterpret_cast<const std::uint8_t*>(dxfName), std::string_view(dxfName).size());
    require(ioErrorCode == 0 && reader.open, "the in-memory DXF does not open");

    std::size_t accounted = 0;
    std::size_t index = 0;
    TextLine line;
    while (!atEnd(reader)) {
        require(index < expected.size(), "more lines than the input holds");
        const ModelLine& model = expected[index];
        if (index % 3 == 1) {
            // As the scanner takes a line: compared with a keyword of up to 8 bytes where it lies.
            // The keyword is the line's own start every other time, so both answers come up.
            Keyword keyword{};
            const std::string_view own = bytes.substr(model.start, model.length < 8 ? model.length : 8);
            const std::string_view other = "3DFACE";
            const std::string_view chosen = index % 2 == 1 ? own : other;
            for (std::size_t i = 0; i < chosen.size(); ++i) keyword.text[i] = chosen[i];
            keyword.length = chosen.size();
            const bool equal = takeLineEquals(reader, line, keyword);
            require(equal == (model.length == chosen.size() && bytes.substr(model.start, model.length) == chosen),
                    "takeLineEquals gives the wrong answer", bytes.substr(model.start, model.length));
            accounted += model.length + model.lineEnd;
            ++index;
            continue;
        }
        readLine(reader, line);
        const std::size_t kept = line.length < TextLine::capacity ? static_cast<std::size_t>(line.length)
                                                                  : TextLine::capacity;
        const std::string_view text(reinterpret_cast<const char*>(line.bytes), kept);
        require(line.length == model.length, "a line's length", text);
        require(text == bytes.substr(model.start, kept), "a line's bytes", text);
        require(text.find(char{carriageReturn}) == std::string_view::npos &&
                    text.find(char{lineFeed}) == std::string_view::npos,
                "a line holds a CR or an LF", text);
        // readLine leaves the line end: reading again gives the empty rest of the line.
        if (index % 2 == 0) {
            readLine(reader, line);
            require(line.length == 0, "a second readLine moved past the line end");
        }
        skipLine(reader);
        accounted += model.length + model.lineEnd;
        ++index;
    }
    require(index == expected.size(), "fewer lines than the input holds");
    require(accounted == consumed, "the lines and their ends do not account for the input");
    require(ioErrorCode == 0, "reading memory input recorded a code");

    // The end lasts, quietly.
    for (int i = 0; i < 2; ++i) {
        readLine(reader, line);
        require(line.length == 0, "a line after the end");
        skipLine(reader);
        bool metEnd = false;
        const Extended value = readReal(reader, &metEnd);
        require(metEnd && isZero(value), "readReal after the end");
        require(atEnd(reader), "the end does not last");
    }
    require(ioErrorCode == 0, "the end recorded a code");
    close(reader);
    require(ioErrorCode == 0, "closing recorded a code");
    useRealFiles();
}

}  // namespace
}  // namespace m2s::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    m2s::fuzz::readLines(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
