// Helpers for the text stream tests: a temporary directory that cleans up after itself, whole-file
// reads and writes, readers opened on given bytes, and the bits of an extended real made readable.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "numeric/extended.hpp"
#include "text/io_error.hpp"
#include "text/script_text_writer.hpp"
#include "text/text_line_reader.hpp"

namespace m2s::testing {

class TempDir {
public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp here: try numbered names until one is new.
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (unsigned attempt = 0; attempt < 10000 && path_.empty(); ++attempt) {
            const std::filesystem::path candidate =
                base / ("m2s-text-" + std::to_string(std::rand()) + "-" + std::to_string(attempt));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) path_ = candidate.generic_string();
        }
        if (path_.empty()) ADD_FAILURE() << "no temporary directory";
#else
        char pattern[] = "/tmp/m2s-text-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (made == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        path_ = made;
#endif
    }
    ~TempDir() {
        std::error_code ignored;
        // Read-only files and directories made by a test must not stop the clean-up.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    std::fclose(file);
}

inline std::string readFile(const std::string& path) {
    std::string bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return "<missing>";
    }
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, got);
    }
    std::fclose(file);
    return bytes;
}

inline long long fileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<long long>(info.st_size);
}

inline bool exists(const std::string& path) {
#ifdef _WIN32
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
#else
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
#endif
}

inline const std::uint8_t* asBytes(std::string_view text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

inline void openReadName(TextLineReader& reader, std::string_view name) {
    openRead(reader, asBytes(name), name.size());
}

inline void createWriteName(ScriptTextWriter& writer, std::string_view name) {
    createWrite(writer, asBytes(name), name.size());
}

// A reader on a fresh file holding exactly these bytes.
inline void openOnBytes(TextLineReader& reader, const TempDir& dir, std::string_view bytes) {
    const std::string path = dir.file("input.dxf");
    writeFile(path, bytes);
    openReadName(reader, path);
    ASSERT_TRUE(reader.open);
    ASSERT_EQ(ioErrorCode, 0u);
}

inline std::string lineText(const TextLine& line) {
    const std::size_t stored = line.length < TextLine::capacity ? static_cast<std::size_t>(line.length)
                                                                : TextLine::capacity;
    return std::string(reinterpret_cast<const char*>(line.bytes), stored);
}

inline std::string describe(Extended x) {
    char text[40];
    std::snprintf(text, sizeof text, "%04X:%016llX", x.signExponent,
                  static_cast<unsigned long long>(x.significand));
    return text;
}

inline bool sameBits(Extended a, Extended b) {
    return a.signExponent == b.signExponent && a.significand == b.significand;
}

// Every test starts with no failure recorded and the console streams unopened.
class StreamTest : public ::testing::Test {
protected:
    void SetUp() override { ioErrorCode = 0; }
    TempDir dir;
};

}  // namespace m2s::testing
