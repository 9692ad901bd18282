// The floating-point unit's settings, which depend on the processor and not on the operating system:
// on x86 the x87 unit is reset and loaded with the control word 0x1332; elsewhere there is nothing to
// load (the program's own arithmetic never uses the host's floating point).
#include <cstdint>

#include "platform/platform.hpp"

namespace m2s::platform {

void loadFloatingPointControl() {
#if defined(__i386__) || defined(__x86_64__)
    // Invalid operation, division by zero and overflow fault; denormal, underflow and inexact pass;
    // 64-bit precision, round to nearest.
    const std::uint16_t controlWord = 0x1332;
    __asm__ volatile("fninit\n\tfldcw %0" : : "m"(controlWord));
#endif
}

}  // namespace m2s::platform
