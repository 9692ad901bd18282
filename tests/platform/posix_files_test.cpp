// The POSIX platform layer for files: the Windows numbers of failed opens and creates, sharing for
// reading only made of locks, the read-only refusal, the block loops (short writes, interrupted calls,
// a full disk) through the replaceable call table, and the kind of a target.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "platform/posix_calls.hpp"

namespace m2s::platform {
namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/m2s-platform-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string readFile(const std::string& path) {
    std::string bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "<missing>";
    int c;
    while ((c = std::fgetc(file)) != EOF) bytes += static_cast<char>(c);
    std::fclose(file);
    return bytes;
}

class PosixFiles : public ::testing::Test {
protected:
    void TearDown() override { posix::systemCalls = posix::realSystemCalls; }
    TempDir dir;
};

TEST_F(PosixFiles, FailedOpensForReading) {
    writeFile(dir.file("plain"), "x");
    ASSERT_EQ(::symlink("loop-b", dir.file("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", dir.file("loop-b").c_str()), 0);
    struct Case {
        std::string name;
        std::uint32_t number;
    };
    const Case cases[] = {
        {dir.file("missing"), errorFileNotFound},
        {dir.file("missing-dir/a.dxf"), errorPathNotFound},
        {dir.file("missing-dir/deeper/a.dxf"), errorPathNotFound},
        {dir.file("plain/a.dxf"), errorPathNotFound},
        {dir.path(), errorAccessDenied},
        {dir.file(std::string(256, 'n')), errorFilenameTooLong},
        {dir.file("loop-a"), 1921},
        {"/nonexistent-m2s-root-dir/a.dxf", errorPathNotFound},
    };
    for (const Case& c : cases) {
        Handle handle = noHandle;
        EXPECT_EQ(openForReading(c.name.c_str(), handle), c.number) << c.name;
        EXPECT_EQ(handle, noHandle);
    }
}

TEST_F(PosixFiles, FailedCreatesLeaveTheFileAsItWas) {
    const std::string readOnly = dir.file("read-only.scr");
    writeFile(readOnly, "keep");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    struct Case {
        std::string name;
        std::uint32_t number;
    };
    const Case cases[] = {
        {dir.file("missing-dir/a.scr"), errorPathNotFound},
        {dir.file("read-only.scr/a.scr"), errorPathNotFound},
        {dir.path(), errorAccessDenied},
        {readOnly, errorAccessDenied},  // refused also when the tests run as root
        {dir.file(std::string(256, 'n')), errorFilenameTooLong},
    };
    for (const Case& c : cases) {
        Handle handle = noHandle;
        EXPECT_EQ(createForWriting(c.name.c_str(), handle), c.number) << c.name;
        EXPECT_EQ(handle, noHandle);
    }
    EXPECT_EQ(readFile(readOnly), "keep");
}

// While a reader holds the DXF, no name that leads to it can be created: the file stays unchanged.
TEST_F(PosixFiles, AFileOpenForReadingCannotBeWrittenByAnyName) {
    const std::string dxf = dir.file("mesh.dxf");
    writeFile(dxf, "0\r\nSECTION\r\n");
    ASSERT_EQ(::link(dxf.c_str(), dir.file("hard.dxf").c_str()), 0);
    ASSERT_EQ(::symlink("mesh.dxf", dir.file("soft.dxf").c_str()), 0);
    Handle reader = noHandle;
    ASSERT_EQ(openForReading(dxf.c_str(), reader), 0u);

    for (const char* name : {"mesh.dxf", "hard.dxf", "soft.dxf"}) {
        Handle writer = noHandle;
        EXPECT_EQ(createForWriting(dir.file(name).c_str(), writer), errorSharingViolation) << name;
    }
    EXPECT_EQ(readFile(dxf), "0\r\nSECTION\r\n");

    // A second reader is welcome.
    Handle second = noHandle;
    EXPECT_EQ(openForReading(dir.file("soft.dxf").c_str(), second), 0u);
    EXPECT_EQ(release(second), 0u);
    EXPECT_EQ(release(reader), 0u);

    // Released, the file can be emptied and written.
    Handle writer = noHandle;
    ASSERT_EQ(createForWriting(dxf.c_str(), writer), 0u);
    EXPECT_EQ(readFile(dxf), "");
    // ... and while it is written nobody reads or writes it.
    Handle other = noHandle;
    EXPECT_EQ(openForReading(dxf.c_str(), other), errorSharingViolation);
    EXPECT_EQ(createForWriting(dir.file("hard.dxf").c_str(), other), errorSharingViolation);
    EXPECT_EQ(release(writer), 0u);
}

TEST_F(PosixFiles, CreateMakesAnOrdinaryFileOrEmptiesOne) {
    const std::string path = dir.file("new.scr");
    Handle handle = noHandle;
    ASSERT_EQ(createForWriting(path.c_str(), handle), 0u);
    const std::uint8_t bytes[] = {'a', 'b', 13, 10};
    EXPECT_EQ(writeBlock(handle, bytes, sizeof bytes), 0u);
    EXPECT_EQ(targetKind(handle), TargetKind::other);
    EXPECT_EQ(release(handle), 0u);
    EXPECT_EQ(readFile(path), "ab\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_NE(info.st_mode & S_IWUSR, 0u);

    ASSERT_EQ(createForWriting(path.c_str(), handle), 0u);
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(release(handle), 0u);
}

TEST_F(PosixFiles, ReadBlocksUntilNoMoreData) {
    const std::string path = dir.file("in.dxf");
    writeFile(path, std::string(200, 'r'));
    Handle handle = noHandle;
    ASSERT_EQ(openForReading(path.c_str(), handle), 0u);
    std::uint8_t buffer[128];
    std::size_t count = 0;
    EXPECT_EQ(readBlock(handle, buffer, sizeof buffer, count), 0u);
    EXPECT_EQ(count, 128u);
    EXPECT_EQ(readBlock(handle, buffer, sizeof buffer, count), 0u);
    EXPECT_EQ(count, 72u);
    EXPECT_EQ(readBlock(handle, buffer, sizeof buffer, count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(release(handle), 0u);
}

// ---- Through the call table ------------------------------------------------------------------------

struct ScriptedWrites {
    static inline std::string received;
    static inline int call = 0;
    static inline int failAtCall = -1;
    static inline int failWith = 0;
    // At most 3 bytes a call, and every other call interrupted before it wrote anything.
    static ssize_t write(int, const void* bytes, size_t count) {
        ++call;
        if (call == failAtCall) {
            errno = failWith;
            return -1;
        }
        if (call % 2 == 0) {
            errno = EINTR;
            return -1;
        }
        const size_t taken = count < 3 ? count : 3;
        received.append(static_cast<const char*>(bytes), taken);
        return static_cast<ssize_t>(taken);
    }
    static void reset() {
        received.clear();
        call = 0;
        failAtCall = -1;
    }
};

TEST_F(PosixFiles, ShortAndInterruptedWritesGoOnUntilAllIsWritten) {
    ScriptedWrites::reset();
    posix::systemCalls.writeBytes = ScriptedWrites::write;
    const std::string text = "_PLINE\r\n1.0000,2.0000,3.0000\r\n";
    EXPECT_EQ(writeBlock(7, reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0u);
    EXPECT_EQ(ScriptedWrites::received, text);
}

TEST_F(PosixFiles, TheFirstWriteFailureIsReported) {
    struct Case {
        int error;
        std::uint32_t number;
    };
    for (const Case& c : {Case{ENOSPC, errorDiskFull}, Case{EDQUOT, errorDiskFull}, Case{EFBIG, errorDiskFull},
                          Case{EPIPE, errorNoData}, Case{EIO, errorWriteFault}, Case{EBADF, errorInvalidHandle},
                          Case{EROFS, errorWriteProtect}}) {
        ScriptedWrites::reset();
        ScriptedWrites::failAtCall = 3;
        ScriptedWrites::failWith = c.error;
        posix::systemCalls.writeBytes = ScriptedWrites::write;
        const std::uint8_t bytes[20] = {};
        EXPECT_EQ(writeBlock(7, bytes, sizeof bytes), c.number) << c.error;
        EXPECT_EQ(ScriptedWrites::received.size(), 3u);
    }
    posix::systemCalls.writeBytes = [](int, const void*, size_t) -> ssize_t { return 0; };
    const std::uint8_t one = 'x';
    EXPECT_EQ(writeBlock(7, &one, 1), errorWriteFault);
}

TEST_F(PosixFiles, ReadsRetryInterruptionsAndTakeABrokenPipeAsTheEnd) {
    static int calls;
    calls = 0;
    posix::systemCalls.readBytes = [](int, void*, size_t count) -> ssize_t {
        ++calls;
        errno = calls < 3 ? EINTR : EPIPE;
        return calls < 5 ? -1 : static_cast<ssize_t>(count);
    };
    std::uint8_t buffer[16];
    std::size_t count = 99;
    EXPECT_EQ(readBlock(3, buffer, sizeof buffer, count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(calls, 3);

    posix::systemCalls.readBytes = [](int, void*, size_t) -> ssize_t {
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(readBlock(3, buffer, sizeof buffer, count), errorReadFault);
}

TEST_F(PosixFiles, DiskFullOnTheRealDevice) {
    Handle handle = noHandle;
    ASSERT_EQ(createForWriting("/dev/full", handle), 0u);
    EXPECT_EQ(targetKind(handle), TargetKind::characterDevice);
    std::uint8_t block[128] = {};
    EXPECT_EQ(writeBlock(handle, block, sizeof block), errorDiskFull);
    EXPECT_EQ(release(handle), 0u);
}

TEST_F(PosixFiles, TargetKinds) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_EQ(targetKind(ends[0]), TargetKind::other);
    EXPECT_EQ(targetKind(ends[1]), TargetKind::other);
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(targetKind(ends[0]), TargetKind::unknown);  // no longer open
    const int null = ::open("/dev/null", O_WRONLY);
    EXPECT_EQ(targetKind(null), TargetKind::characterDevice);
    ::close(null);
}

TEST_F(PosixFiles, StandardHandlesAndAClosedDescriptor) {
    Handle handle = noHandle;
    EXPECT_EQ(standardOutput(handle), 0u);
    EXPECT_EQ(handle, 1);
    const int saved = ::dup(STDIN_FILENO);
    ::close(STDIN_FILENO);
    handle = noHandle;
    const std::uint32_t number = standardInput(handle);
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    EXPECT_EQ(number, errorInvalidHandle);
    EXPECT_EQ(handle, noHandle);
    std::uint8_t byte = 0;
    EXPECT_EQ(writeBlock(987, &byte, 1), errorInvalidHandle);
    EXPECT_EQ(release(987), errorInvalidHandle);
}

TEST(ErrnoTable, OneWindowsNumberForEachReason) {
    using posix::Direction;
    struct Case {
        int error;
        std::uint32_t reading, writing;
    };
    for (const Case& c : {Case{ENOTDIR, 3, 3}, Case{EACCES, 5, 5}, Case{EPERM, 5, 5}, Case{EISDIR, 5, 5},
                          Case{EWOULDBLOCK, 32, 32}, Case{ENOSPC, 112, 112}, Case{ENAMETOOLONG, 206, 206},
                          Case{EMFILE, 4, 4}, Case{ENFILE, 4, 4}, Case{EBADF, 6, 6}, Case{EPIPE, 232, 232},
                          Case{EROFS, 19, 19}, Case{EIO, 30, 29}, Case{EINVAL, 87, 87}, Case{ELOOP, 1921, 1921},
                          Case{ENOMEM, 8, 8}, Case{EPROTO, 31, 31}}) {
        EXPECT_EQ(posix::windowsErrorFor(c.error, Direction::reading), c.reading) << c.error;
        EXPECT_EQ(posix::windowsErrorFor(c.error, Direction::writing), c.writing) << c.error;
    }
}

}  // namespace
}  // namespace m2s::platform
