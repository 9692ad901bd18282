// Image offsets on POSIX: where an address lies in the loaded file that holds it, from the dynamic
// loader. Apart from the process end and the fault trap (posix_faults.cpp), which the fuzz build
// replaces, so that both builds share this one.
#include <dlfcn.h>

#include <cstdint>

#include "platform/platform.hpp"

namespace m2s::platform {

std::uintptr_t imageOffset(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) != 0 && info.dli_fbase != nullptr) {
        return reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    }
    return reinterpret_cast<std::uintptr_t>(address);
}

}  // namespace m2s::platform
