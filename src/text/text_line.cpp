// Comparing a line with a keyword: the whole line, byte for byte.
#include "text/text_line.hpp"

#include <cstring>

namespace m2s {

bool lineEquals(const TextLine& line, const char* keyword) {
    const std::size_t length = std::strlen(keyword);
    if (line.length != length || length > TextLine::capacity) {
        return false;
    }
    return std::memcmp(line.bytes, keyword, length) == 0;
}

}  // namespace m2s
