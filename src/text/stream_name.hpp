// How a stream takes the file name it is given, the same for readers and writers on every platform: a
// first byte 0 (or no byte) is the empty name, a name is never shortened, and a 0 byte inside a name
// makes it invalid rather than naming another file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.hpp"

namespace m2s {

// Copies the name into out (NUL-terminated) and returns 0, or returns the number that refuses it.
template <std::size_t Size>
std::uint32_t takeStreamName(const std::uint8_t* name, std::uint64_t length, char (&out)[Size]) {
    out[0] = '\0';
    if (length == 0 || name[0] == 0) {
        return 0;
    }
    if (length > Size - 1) {
        return platform::errorFilenameTooLong;
    }
    const std::size_t count = static_cast<std::size_t>(length);
    if (std::memchr(name, 0, count) != nullptr) {
        return platform::errorInvalidName;
    }
    std::memcpy(out, name, count);
    out[count] = '\0';
    return 0;
}

}  // namespace m2s
