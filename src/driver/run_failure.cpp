// The end of a run. A check that finds a number, or a trapped fault, sets the exit status and the
// location and ends through EndRun: the message on standard output, the console streams closed, the
// process ended with the number. The DXF and the script are left as they are: the script keeps the
// blocks already handed over, the bytes still pending are lost.
#include "driver/run_failure.hpp"

#include "numeric/extended.hpp"
#include "platform/platform.hpp"
#include "text/script_text_writer.hpp"
#include "text/text_line_reader.hpp"

namespace m2s {

std::int32_t exitStatus = 0;
std::uintptr_t errorLocation = 0;
bool errorLocationSet = false;

namespace {

[[noreturn]] void endOnExtendedFault(std::uint32_t number, const void* where) {
    RuntimeErrorExit(number, platform::imageOffset(where));
}

}  // namespace

void startRun() {
    platform::installFaultTrap(RuntimeErrorExit);
    setExtendedFaultHandler(endOnExtendedFault);
    exitStatus = 0;
    errorLocation = 0;
    errorLocationSet = false;
    ioErrorCode = 0;
    platform::loadFloatingPointControl();
    consoleInput = TextLineReader{};
    consoleInput.opensOnFirstUse = true;
    consoleOutput = ScriptTextWriter{};
    consoleOutput.opensOnFirstUse = true;
}

// Opaque to the optimiser across files too (link-time optimisation): it must not find the site
// unused, drop it, and merge two sites' calls into one.
#if defined(__GNUC__) && !defined(__clang__)
[[gnu::noinline, gnu::noipa]]
#else
[[gnu::noinline]]
#endif
void ioCheckFailed(unsigned site) {
    static_cast<void>(site);
    RuntimeErrorExit(ioErrorCode, platform::imageOffset(__builtin_return_address(0)));
}

void RuntimeErrorExit(std::uint32_t number, std::uintptr_t location) {
    exitStatus = static_cast<std::int32_t>(number);
    errorLocation = location;
    errorLocationSet = true;
    EndRun();
}

void composeRuntimeErrorMessage(std::uint32_t number, std::uintptr_t location, char* out) {
    static constexpr char templateText[] = "Runtime error     at 00000000";
    static_assert(sizeof templateText - 1 == runtimeErrorMessageLength);
    for (std::size_t i = 0; i < runtimeErrorMessageLength; ++i) {
        out[i] = templateText[i];
    }
    // The number's last digit stands in column 17, the location's in column 29 (counted from 1).
    std::size_t column = 17;
    do {
        out[column - 1] = static_cast<char>('0' + number % 10);
        number /= 10;
        --column;
    } while (number != 0 && column > 0);
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    std::uintptr_t rest = location;
    for (std::size_t i = 0; i < 8; ++i) {
        out[28 - i] = hexDigits[rest & 0xF];
        rest >>= 4;
    }
}

void EndRun() {
    if (errorLocationSet) {
        char message[runtimeErrorMessageLength];
        composeRuntimeErrorMessage(static_cast<std::uint32_t>(exitStatus), errorLocation, message);
        // A failure while the message goes out is recorded and ignored: the status stays.
        writeText(consoleOutput, reinterpret_cast<const std::uint8_t*>(message), runtimeErrorMessageLength);
        endLine(consoleOutput);
        errorLocationSet = false;
    }
    close(consoleInput);
    close(consoleOutput);
    platform::endProcess(static_cast<std::uint32_t>(exitStatus));
}

}  // namespace m2s
