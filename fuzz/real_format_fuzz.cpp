// The text of any 80-bit pattern: ten bytes give the significand (little-endian, bytes 0-7) and the
// sign and exponent (bytes 8-9); two more bytes, when present, give a width and a number of decimals.
// The text is well formed, never longer than 255 bytes, the same by the shortcut and by the digit
// string, and writeReal puts exactly those bytes into the script. Building it never faults for a value
// in its proper encoding; the x87 refuses the other encodings (unnormals, pseudo-denormals), so there a
// fault is the end of the run, as in the program.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fuzz_support.hpp"
#include "text/io_error.hpp"
#include "text/script_text_writer.hpp"

namespace m2s::fuzz {
namespace {

std::jmp_buf faultPoint;
std::uint32_t faultNumber = 0;

void onFault(std::uint32_t number, const void*) {
    faultNumber = number;
    std::longjmp(faultPoint, 1);
}

void checkText(Extended x, std::uint32_t width, std::uint32_t decimals) {
    char shortcut[255];
    char longWay[255];
    const std::size_t length = formatReal(x, width, decimals, shortcut);
    require(length <= 255, "a text longer than 255 bytes");
    const std::size_t longLength = formatRealByDigitString(x, width, decimals, longWay);
    const std::string_view text(shortcut, length);
    require(isRealText(text, width, decimals), "a malformed text", text);
    require(text == std::string_view(longWay, longLength), "the shortcut text differs from the digit string's", text);

    useMemoryFiles({}, {});
    ioErrorCode = 0;
    ScriptTextWriter script;
    createWrite(script, reinterpret_cast<const std::uint8_t*>(scriptName), std::strlen(scriptName));
    writeReal(script, x, width, decimals);
    close(script);
    require(ioErrorCode == 0, "writing to memory recorded a code");
    require(files.script == text, "writeReal wrote other bytes than formatReal gives", files.script);
    useRealFiles();
}

void formatPattern(const std::uint8_t* data, std::size_t size) {
    if (size < 10) {
        return;
    }
    std::uint64_t significand = 0;
    for (int i = 7; i >= 0; --i) {
        significand = significand << 8 | data[i];
    }
    const auto signExponent = static_cast<std::uint16_t>(data[8] | data[9] << 8);
    const Extended x = extendedFromBits(signExponent, significand);

    faultNumber = 0;
    if (setjmp(faultPoint) != 0) {
        require(!isCanonical(x), "formatting a properly encoded value faulted");
        useRealFiles();
        return;
    }
    checkText(x, 3, 4);
    if (size >= 12) {
        checkText(x, data[10], data[11]);
    }
}

}  // namespace
}  // namespace m2s::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    m2s::setExtendedFaultHandler(m2s::fuzz::onFault);
    m2s::fuzz::formatPattern(data, size);
    m2s::ioErrorCode = 0;
    return 0;
}
