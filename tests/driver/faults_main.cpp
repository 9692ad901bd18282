// mesh2solid_faults: a test-only program built from the same driver as mesh2solid, never installed. It
// starts a run, writes one line, then faults on purpose as its argument says, so that the fault trap's
// numbers (216 access violation, 202 stack overflow, 205 floating-point overflow) can be seen end to end.
#include <cstdint>
#include <cstring>

#include "driver/run_failure.hpp"
#include "numeric/extended.hpp"
#include "text/script_text_writer.hpp"

namespace {

volatile bool keepRecursing = true;
volatile std::uintptr_t sink = 0;

// The frame holds a volatile array and its value is used after the call, so neither the frame nor the
// recursion can be optimised away.
[[gnu::noinline]] std::uintptr_t recurse(std::uintptr_t depth) {
    volatile std::uint8_t frame[256];
    frame[depth % sizeof frame] = static_cast<std::uint8_t>(depth);
    std::uintptr_t below = keepRecursing ? recurse(depth + 1) : 0;
    return below + frame[depth % sizeof frame];
}

}  // namespace

int main(int argc, char** argv) {
    m2s::startRun();
    m2s::writeText(m2s::consoleOutput, "faulting on purpose");
    m2s::endLine(m2s::consoleOutput);
    const char* kind = argc > 1 ? argv[1] : "";
    if (std::strcmp(kind, "access") == 0) {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    } else if (std::strcmp(kind, "stack") == 0) {
        sink = recurse(0);
    } else if (std::strcmp(kind, "overflow") == 0) {
        volatile std::uint16_t exponent = 0x7FFE;
        m2s::Extended huge = m2s::extendedFromBits(exponent, 0x8000000000000000);
        m2s::Extended product = m2s::multiply(huge, huge);
        sink = product.significand;
    }
    m2s::EndRun();
}
