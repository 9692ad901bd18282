// The process side of the platform layer for the fuzz targets, in place of posix_faults.cpp: the end of
// the process returns to the target that started the run (when it armed that point), and the fault trap
// installs nothing, so a real fault reaches the sanitizers and libFuzzer with its stack.
#include <unistd.h>

#include <csetjmp>
#include <cstdint>

#include "fuzz_support.hpp"
#include "platform/platform.hpp"

namespace m2s::platform {

void endProcess(std::uint32_t status) {
    if (fuzz::runEnd.armed) {
        fuzz::runEnd.armed = false;
        fuzz::runEnd.status = status;
        std::longjmp(fuzz::runEnd.point, 1);
    }
    _exit(static_cast<int>(status));
}

void installFaultTrap(FaultHandler) { fuzz::runEnd.faultTrapInstalled = true; }

}  // namespace m2s::platform
