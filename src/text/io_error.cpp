// The run's one pending I/O failure number, shared by every stream.
#include "text/io_error.hpp"

namespace m2s {

std::uint32_t ioErrorCode = 0;

}  // namespace m2s
