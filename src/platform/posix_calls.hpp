// The system calls that posix.cpp makes, gathered in one table so that a test can replace any of them
// (a short write, an interrupted call, a full disk, a failing release) without touching the real disk.
// Only posix.cpp and the platform tests include this header; the program never changes the table.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>

namespace m2s::platform::posix {

struct SystemCalls {
    int (*openFile)(const char* path, int flags, mode_t mode);
    ssize_t (*readBytes)(int fd, void* buffer, size_t count);
    ssize_t (*writeBytes)(int fd, const void* bytes, size_t count);
    int (*closeFile)(int fd);
    int (*statPath)(const char* path, struct stat* info);
    int (*statHandle)(int fd, struct stat* info);
    int (*lockFile)(int fd, int operation);
    int (*truncateFile)(int fd, off_t length);
    int (*descriptorFlags)(int fd);  // fcntl(fd, F_GETFD)
};

// The table in use; it starts with the real calls.
extern SystemCalls systemCalls;

// The real calls, for a test to restore the table or to forward to.
extern const SystemCalls realSystemCalls;

// Which way the failing call went: some reasons (an I/O error) have a Windows number for each.
enum class Direction { reading, writing };

// The Windows system error number for an errno value; the one table of the POSIX build.
std::uint32_t windowsErrorFor(int error, Direction direction);

}  // namespace m2s::platform::posix
