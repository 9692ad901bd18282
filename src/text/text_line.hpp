// One line of text as the program keeps it: its true length, and its first bytes. Nothing the program
// compares or uses needs more than the longest accepted file name (259 bytes) and one byte beyond, so a
// line of any length costs the same memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace m2s {

struct TextLine {
    static constexpr std::size_t capacity = 260;
    std::uint64_t length = 0;       // the whole line's length, also beyond capacity
    std::uint8_t bytes[capacity];   // its first min(length, capacity) bytes
};

// Same length and same bytes: case counts and nothing is trimmed.
bool lineEquals(const TextLine& line, const char* keyword);

}  // namespace m2s
