// What the conversion tests share: temporary files to read a DXF from and to write a script into, and
// reals typed as the program would read them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "numeric/extended.hpp"
#include "text/text_line_reader.hpp"

namespace m2s::testing {

// A fresh path in the test's temporary directory; each call gives another name.
inline std::string temporaryPath(const char* stem) {
    static int counter = 0;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("m2s_convert_") + stem + "_" + (info != nullptr ? info->name() : "x") + "_" +
                       std::to_string(++counter);
    for (char& c : name) {
        if (c == '/') {
            c = '_';  // parameterised test names hold one
        }
    }
    return ::testing::TempDir() + name;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
}

inline std::string readFile(const std::string& path) {
    std::string bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return bytes;
    }
    char block[4096];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, file)) != 0) {
        bytes.append(block, n);
    }
    std::fclose(file);
    return bytes;
}

// The real a DXF line or an answer holding this token reads as.
inline Extended real(const char* token) {
    Extended value{};
    const bool wellFormed =
        convertNumberToken(reinterpret_cast<const std::uint8_t*>(token), std::char_traits<char>::length(token), value);
    EXPECT_TRUE(wellFormed) << token;
    return value;
}

inline bool sameBits(Extended a, Extended b) {
    return a.signExponent == b.signExponent && a.significand == b.significand;
}

}  // namespace m2s::testing
