// The whole run on arbitrary DXF bytes: the dialogue answered from memory, the DXF and the script in
// memory, every face scanned and written, the run ended through its own end (caught where the process
// would end). The first input byte picks the base height and thickness answers; the rest is the DXF.
//
// A run ends with 0 or with one of the numbers a DXF can cause (100, 106, 205, 207); a failed run
// says so in one message line on the console. The script of a complete run is a whole number of
// blocks of 17 lines (24 with a thickness), every line ended by CR LF and shaped as its place in the
// block says; a failed run's script is whole 128-byte blocks of the same lines, the last one cut.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "driver/conversion_run.hpp"
#include "driver/run_failure.hpp"
#include "fuzz_support.hpp"

namespace m2s::fuzz {
namespace {

struct Answers {
    const char* zBase;
    const char* thickness;
    bool slab;  // thickness not 0
};

constexpr Answers answerTable[] = {
    {"-10", "0", false},
    {"-2", "1.5", true},
    {"0.5", "-0.25", true},
    {"-1e4900", "3e4900", true},
    {"1e6000", "0", false},       // an infinite base: the height is infinity against infinity
    {"-1e6000", "1e6000", true},
    {"0", "-0", false},           // a negative zero equals 0
    {"-10", "1e-4940", true},     // a subnormal thickness is not 0
};

ConversionRun conversion;

enum class Shape { word, empty, one, two, three };

struct LineRule {
    Shape shape;
    const char* word;  // for Shape::word
};

// The 24 lines of a slab's block; a solid down to the base ends after line 17.
constexpr LineRule blockRules[24] = {
    {Shape::word, "_PLINE"}, {Shape::three, nullptr}, {Shape::two, nullptr},    {Shape::two, nullptr},
    {Shape::word, "c"},      {Shape::word, "_EXTRUDE"}, {Shape::word, "l"},     {Shape::empty, nullptr},
    {Shape::one, nullptr},   {Shape::empty, nullptr}, {Shape::word, "_SLICE"},  {Shape::word, "l"},
    {Shape::empty, nullptr}, {Shape::three, nullptr}, {Shape::three, nullptr},  {Shape::three, nullptr},
    {Shape::three, nullptr}, {Shape::word, "_SLICE"}, {Shape::word, "l"},       {Shape::empty, nullptr},
    {Shape::three, nullptr}, {Shape::three, nullptr}, {Shape::three, nullptr},  {Shape::three, nullptr},
};

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        parts.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) {
            return parts;
        }
        start = comma + 1;
    }
}

void checkLine(std::string_view line, const LineRule& rule) {
    switch (rule.shape) {
        case Shape::word: require(line == rule.word, "a command line", line); return;
        case Shape::empty: require(line.empty(), "an empty line", line); return;
        default: break;
    }
    const std::vector<std::string_view> parts = fields(line);
    const std::size_t wanted = rule.shape == Shape::one ? 1 : rule.shape == Shape::two ? 2 : 3;
    require(parts.size() == wanted, "a number line's count of numbers", line);
    for (const std::string_view part : parts) {
        require(isRealText(part), "a malformed number in the script", line);
    }
}

// The corners' X,Y are written the same wherever they stand; the base height is the same everywhere.
void checkBlock(const std::vector<std::string_view>& block, std::string_view& zBaseText) {
    const auto xy = [&](std::size_t i) {
        const std::vector<std::string_view> parts = fields(block[i]);
        return std::string(parts[0]) + "," + std::string(parts[1]);
    };
    const auto z = [&](std::size_t i) { return fields(block[i])[2]; };
    require(xy(1) == xy(13), "corner 1's X,Y differ within a block", block[13]);
    require(xy(2) == xy(14), "corner 2's X,Y differ within a block", block[14]);
    require(xy(3) == xy(15) && xy(3) == xy(16), "corner 3's X,Y differ within a block", block[15]);
    require(z(1) == z(16), "the base height differs within a block", block[16]);
    if (zBaseText.empty()) {
        zBaseText = z(1);
    }
    require(z(1) == zBaseText, "the base height differs between blocks", block[1]);
    if (block.size() == 24) {
        require(xy(1) == xy(20) && xy(2) == xy(21) && xy(3) == xy(22) && xy(3) == xy(23),
                "a corner's X,Y differ in the second slice", block[20]);
    }
}

void checkScript(std::string_view script, std::size_t blockLines, bool complete) {
    std::vector<std::string_view> block;
    std::string_view zBaseText;
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = script.find("\r\n", at);
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view line = script.substr(at, end - at);
        require(line.find('\r') == std::string_view::npos && line.find('\n') == std::string_view::npos,
                "a script line holds a CR or an LF", line);
        checkLine(line, blockRules[block.size()]);
        block.push_back(line);
        if (block.size() == blockLines) {
            checkBlock(block, zBaseText);
            block.clear();
        }
        at = end + 2;
    }
    const std::string_view rest = script.substr(at);
    if (complete) {
        require(rest.empty(), "the script ends inside a line", rest);
        require(block.empty(), "the script ends inside a block", script.substr(script.size() > 200 ? script.size() - 200 : 0));
    } else {
        require(rest.find('\n') == std::string_view::npos, "a cut line holds an LF", rest);
    }
}

// "Runtime error NNN at XXXXXXXX" CR LF, the number ending in column 17.
void checkFailureMessage(std::string_view console, std::uint32_t status) {
    constexpr std::size_t lineLength = runtimeErrorMessageLength + 2;
    require(console.size() >= lineLength, "a failed run shows no message", console);
    const std::string_view message = console.substr(console.size() - lineLength);
    require(message.substr(0, 14) == "Runtime error " && message.substr(17, 4) == " at " &&
                message.substr(29) == "\r\n",
            "the failure message's layout", message);
    const std::string number = std::to_string(status);
    require(message.substr(17 - number.size(), number.size()) == number &&
                message.substr(14, 3 - number.size()).find_first_not_of(' ') == std::string_view::npos,
            "the failure message's number", message);
    for (const char c : message.substr(21, 8)) {
        require((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), "the failure message's location", message);
    }
    require(console.substr(0, console.size() - lineLength).find("Runtime error") == std::string_view::npos,
            "more than one failure message", console);
}

void convert(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const Answers& answers = answerTable[data[0] % (sizeof answerTable / sizeof answerTable[0])];
    const std::string consoleIn = std::string(dxfName) + "\r\n" + scriptName + "\r\n" + answers.zBase + "\r\n" +
                                  answers.thickness + "\r\n";
    useMemoryFiles(consoleIn, std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    conversion = ConversionRun{};

    if (setjmp(runEnd.point) == 0) {
        runEnd.armed = true;
        run(conversion);
    }
    restoreDefaultFloatingPoint();
    useRealFiles();
    const std::uint32_t status = runEnd.status;
    require(runEnd.faultTrapInstalled, "the run did not install its fault trap");

    const std::size_t blockLines = answers.slab ? 24 : 17;
    if (std::getenv("M2S_FUZZ_VERBOSE") != nullptr) {
        std::fprintf(stderr, "exit status %u, script %zu bytes, console %zu bytes\n", status, files.script.size(),
                     files.consoleOut.size());
    }
    switch (status) {
        case 0:
            require(files.consoleOut.find("Runtime error") == std::string::npos, "a message after a complete run",
                    files.consoleOut);
            checkScript(files.script, blockLines, true);
            break;
        case 100:
        case 106:
        case 205:
        case 207:
            checkFailureMessage(files.consoleOut, status);
            require(files.script.size() % 128 == 0, "a failed run's script is not whole blocks",
                    std::to_string(files.script.size()));
            checkScript(files.script, blockLines, false);
            break;
        default:
            violated("the run ended with an unexpected number", std::to_string(status));
    }
}

}  // namespace
}  // namespace m2s::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    m2s::fuzz::convert(data, size);
    return 0;
}
