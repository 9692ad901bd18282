// The Win32 platform layer: the failure numbers the system gives for refused opens and creates, the
// end of a pipe, the kinds of targets, image offsets, and the fault trap's numbers for real processor
// faults (each in a child process, since a trapped fault ends the process).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/platform.hpp"

namespace m2s::platform {
namespace {

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (unsigned attempt = 0; attempt < 1000 && dir.empty(); ++attempt) {
            const std::filesystem::path candidate =
                base / ("m2s-win32-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) dir = candidate.string();
        }
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string file(const char* name) const { return dir + "\\" + name; }

    static void put(const std::string& path, const std::string& bytes) {
        Handle handle = noHandle;
        ASSERT_EQ(createForWriting(path.c_str(), handle), 0u) << path;
        ASSERT_EQ(writeBlock(handle, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0u);
        ASSERT_EQ(release(handle), 0u);
    }
    static std::string get(const std::string& path) {
        Handle handle = noHandle;
        if (openForReading(path.c_str(), handle) != 0) return "<missing>";
        std::string bytes;
        std::uint8_t buffer[7];
        std::size_t count = 0;
        while (readBlock(handle, buffer, sizeof buffer, count) == 0 && count > 0) {
            bytes.append(reinterpret_cast<const char*>(buffer), count);
        }
        release(handle);
        return bytes;
    }

    std::string dir;
};

TEST_F(Win32Files, BytesGoThroughInSmallBlocksAndAnExistingFileIsEmptied) {
    const std::string path = file("a.scr");
    put(path, std::string(1000, 'o'));
    put(path, "_PLINE\r\n\r\n");
    EXPECT_EQ(get(path), "_PLINE\r\n\r\n");
}

TEST_F(Win32Files, RefusedOpensAndCreatesPassTheSystemNumberOnAndKeepTheFile) {
    const std::string dxf = file("mesh.dxf");
    put(dxf, "0\r\nEOF\r\n");
    Handle reading = noHandle;
    ASSERT_EQ(openForReading(dxf.c_str(), reading), 0u);

    struct Case {
        bool create;
        std::string name;
        std::uint32_t number;
    };
    const Case cases[] = {
        {false, file("missing.dxf"), errorFileNotFound},
        {false, file("no-such-dir\\m.dxf"), errorPathNotFound},
        {false, dir, errorAccessDenied},
        {true, file("no-such-dir\\a.scr"), errorPathNotFound},
        {true, dir, errorAccessDenied},
        {true, dxf, errorSharingViolation},  // open for reading, shared with readers only
    };
    for (const Case& c : cases) {
        Handle handle = noHandle;
        const std::uint32_t number =
            c.create ? createForWriting(c.name.c_str(), handle) : openForReading(c.name.c_str(), handle);
        EXPECT_EQ(number, c.number) << c.name;
        EXPECT_EQ(handle, noHandle) << c.name;
    }
    // A second reader is welcome.
    Handle second = noHandle;
    EXPECT_EQ(openForReading(dxf.c_str(), second), 0u);
    EXPECT_EQ(release(second), 0u);
    EXPECT_EQ(release(reading), 0u);
    EXPECT_EQ(get(dxf), "0\r\nEOF\r\n");
}

TEST(Win32Pipes, AClosedWriterIsTheEndOfInputAndAPipeIsNoCharacterDevice) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_NE(CreatePipe(&readEnd, &writeEnd, nullptr, 0), 0);
    const Handle reader = reinterpret_cast<Handle>(readEnd);
    const Handle writer = reinterpret_cast<Handle>(writeEnd);
    EXPECT_EQ(targetKind(writer), TargetKind::other);
    const std::uint8_t bytes[] = {'a', 'b', 'c'};
    ASSERT_EQ(writeBlock(writer, bytes, sizeof bytes), 0u);
    ASSERT_EQ(release(writer), 0u);

    std::uint8_t buffer[16];
    std::size_t count = 0;
    ASSERT_EQ(readBlock(reader, buffer, sizeof buffer, count), 0u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(readBlock(reader, buffer, sizeof buffer, count), 0u);  // broken pipe: no more data
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(release(reader), 0u);
}

TEST(Win32Targets, TheNullDeviceIsACharacterDeviceAndADiskFileIsNot) {
    Handle device = noHandle;
    ASSERT_EQ(createForWriting("NUL", device), 0u);
    EXPECT_EQ(targetKind(device), TargetKind::characterDevice);
    EXPECT_EQ(release(device), 0u);

    Handle self = noHandle;
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    ASSERT_EQ(openForReading(path, self), 0u);
    EXPECT_EQ(targetKind(self), TargetKind::other);
    EXPECT_EQ(release(self), 0u);
}

TEST(Win32Handles, AReleasedHandleIsRefusedWithTheSystemNumber) {
    EXPECT_EQ(release(reinterpret_cast<Handle>(reinterpret_cast<void*>(0x123458))), errorInvalidHandle);
}

// ---- Image offsets and the fault trap ---------------------------------------------------------------

[[gnu::noinline]] int codeInTheImage(int x) {
    return x + 1;
}

TEST(Win32Image, CodeIsMeasuredFromTheImageBaseAndUnmappedAddressesStayAsTheyAre) {
    const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
    const auto code = reinterpret_cast<std::uintptr_t>(&codeInTheImage);
    EXPECT_EQ(imageOffset(reinterpret_cast<const void*>(code)), code - base);
    const void* nowhere = reinterpret_cast<const void*>(std::uintptr_t{0x10});
    EXPECT_EQ(imageOffset(nowhere), 0x10u);
}

void reportFault(std::uint32_t number, std::uintptr_t location) {
    std::fprintf(stderr, "fault %u at %s\n", static_cast<unsigned>(number),
                 location < 0x10000000u ? "an image offset" : "an address");
    std::fflush(stderr);
    endProcess(number);
}

volatile int zero = 0;
int* volatile nothing = nullptr;

[[gnu::noinline]] void divideByZero() {
    std::printf("%d\n", 7 / zero);
}

[[gnu::noinline]] void accessNothing() {
    *nothing = 1;
}

volatile int bottomless = 1;

[[gnu::noinline]] int recurse(int depth) {
    char room[4096];
    room[0] = static_cast<char>(depth);
    __asm__ volatile("" : : "r"(room) : "memory");  // the frame's room is really used
    if (bottomless == 0) return room[0];
    return recurse(depth + 1) + room[depth & 1];
}

[[gnu::noinline]] void overflowTheX87() {
    loadFloatingPointControl();
    volatile long double huge = 1e4000L;
    volatile long double product = huge * huge;
    std::printf("%d\n", static_cast<int>(product > 0));
}

TEST(Win32FaultTrapDeathTest, ProcessorFaultsEndTheRunWithTheirNumbers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT((installFaultTrap(reportFault), accessNothing()), ::testing::ExitedWithCode(216),
                "fault 216 at an image offset");
    EXPECT_EXIT((installFaultTrap(reportFault), divideByZero()), ::testing::ExitedWithCode(200),
                "fault 200 at an image offset");
    EXPECT_EXIT((installFaultTrap(reportFault), overflowTheX87()), ::testing::ExitedWithCode(205),
                "fault 205 at an image offset");
}

TEST(Win32FaultTrapDeathTest, AStackOverflowIsReportedWith202) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT((installFaultTrap(reportFault), static_cast<void>(recurse(0))), ::testing::ExitedWithCode(202),
                "fault 202");
}

TEST(Win32Process, TheFullStatusReachesTheParent) {
    EXPECT_EXIT(endProcess(70000), ::testing::ExitedWithCode(70000), "");
}

}  // namespace
}  // namespace m2s::platform
