// The run-time error message, column by column: the number ends in column 17 whatever its length, the
// location shows as exactly eight uppercase hexadecimal digits in columns 22-29.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "driver/run_failure.hpp"

namespace m2s {
namespace {

struct MessageCase {
    std::uint32_t number;
    std::uintptr_t location;
    const char* message;
};

void PrintTo(const MessageCase& c, std::ostream* out) { *out << c.number << " at " << c.location; }

class RuntimeErrorMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(RuntimeErrorMessage, HasItsNumberAndLocationInTheirColumns) {
    const MessageCase& c = GetParam();
    // A guard byte after the 29 shows any write past the end.
    char out[runtimeErrorMessageLength + 1];
    out[runtimeErrorMessageLength] = '#';
    composeRuntimeErrorMessage(c.number, c.location, out);
    EXPECT_EQ(std::string(out, runtimeErrorMessageLength), c.message);
    EXPECT_EQ(out[runtimeErrorMessageLength], '#');
}

INSTANTIATE_TEST_SUITE_P(
    Layout, RuntimeErrorMessage,
    ::testing::Values(
        MessageCase{0, 0x4A59, "Runtime error   0 at 00004A59"},
        MessageCase{2, 0x4A59, "Runtime error   2 at 00004A59"},
        MessageCase{32, 0x4A59, "Runtime error  32 at 00004A59"},
        MessageCase{106, 0x4A59, "Runtime error 106 at 00004A59"},
        MessageCase{1234, 0x4A59, "Runtime error1234 at 00004A59"},    // four digits join "error"
        MessageCase{12345, 0x4A59, "Runtime erro12345 at 00004A59"},   // five overwrite its last letter
        MessageCase{4294967295u, 0x4A59, "Runtime4294967295 at 00004A59"},
        MessageCase{216, 0, "Runtime error 216 at 00000000"},
        MessageCase{202, 0xABCDEF12, "Runtime error 202 at ABCDEF12"},
        MessageCase{205, static_cast<std::uintptr_t>(0x123456789ABull), "Runtime error 205 at 456789AB"}));

}  // namespace
}  // namespace m2s
