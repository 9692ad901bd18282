// Where a fault leaves the arithmetic: one handler for the whole run, and the one small function that
// every fault passes through, so the place it reports is always inside this library.
#include <cstdlib>

#include "numeric/extended_internal.hpp"

namespace m2s {

namespace {
ExtendedFaultHandler installedHandler = nullptr;
}

void setExtendedFaultHandler(ExtendedFaultHandler handler) { installedHandler = handler; }

namespace numeric_detail {

[[gnu::noinline]] void raiseFault(std::uint32_t number) {
    if (installedHandler == nullptr) std::abort();
    installedHandler(number, __builtin_return_address(0));
}

}  // namespace numeric_detail
}  // namespace m2s
