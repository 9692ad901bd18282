// The POSIX side of the platform layer for files and the standard handles: opening, creating, reading,
// writing and releasing, the kind of a target, and the one table that turns errno values into the
// Windows system error numbers the rest of the program speaks. The process end and the fault trap live
// in posix_faults.cpp.
//
// Sections: the call table; the errno table; the standard handles; opening and creating; blocks;
// release and target kind.
//
// POSIX has no sharing modes, so "shared for reading only" is made of non-blocking flock locks: every
// reader holds a shared lock, every writer an exclusive one taken before the file is emptied. A writer
// aimed at a file that a reader holds (the same name, a hard link, a symbolic link) therefore fails with
// the sharing-violation number and leaves the file as it was.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.hpp"
#include "platform/posix_calls.hpp"

namespace m2s::platform {

namespace posix {

// ---- The call table ----------------------------------------------------------------------------

namespace {

int realOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
ssize_t realRead(int fd, void* buffer, size_t count) { return ::read(fd, buffer, count); }
ssize_t realWrite(int fd, const void* bytes, size_t count) { return ::write(fd, bytes, count); }
int realClose(int fd) { return ::close(fd); }
int realStat(const char* path, struct stat* info) { return ::stat(path, info); }
int realFstat(int fd, struct stat* info) { return ::fstat(fd, info); }
int realFlock(int fd, int operation) { return ::flock(fd, operation); }
int realFtruncate(int fd, off_t length) { return ::ftruncate(fd, length); }
int realDescriptorFlags(int fd) { return ::fcntl(fd, F_GETFD); }

}  // namespace

const SystemCalls realSystemCalls = {realOpen,  realRead,  realWrite,     realClose,          realStat,
                                     realFstat, realFlock, realFtruncate, realDescriptorFlags};
SystemCalls systemCalls = realSystemCalls;

// ---- The errno table ---------------------------------------------------------------------------

namespace {

struct ErrnoMapping {
    int error;
    std::uint32_t whenReading;  // also for opening an existing file
    std::uint32_t whenWriting;  // also for creating a file
};

// Windows numbers not named in platform.hpp, for the rarer reasons.
constexpr std::uint32_t errorGenFailure = 31;            // a device failure with no better name
constexpr std::uint32_t errorDeviceNotExist = 55;        // ENXIO, ENODEV: no device behind the name
constexpr std::uint32_t errorNetNameDeleted = 64;        // a network file that went away
constexpr std::uint32_t errorNotSameDevice = 17;
constexpr std::uint32_t errorBusy = 170;
constexpr std::uint32_t errorSemTimeout = 121;
constexpr std::uint32_t errorNoAccess = 998;             // EFAULT: a bad buffer address
constexpr std::uint32_t errorCantResolveFilename = 1921; // too many symbolic links
constexpr std::uint32_t errorInvalidFunction = 1;        // an operation the object does not support

// ENOENT is refined by the caller (file or path not found); EIO is the one reason that depends on the
// direction, as Windows separates read faults from write faults.
constexpr ErrnoMapping errnoTable[] = {
    {ENOENT, errorFileNotFound, errorFileNotFound},
    {ENOTDIR, errorPathNotFound, errorPathNotFound},
    {EACCES, errorAccessDenied, errorAccessDenied},
    {EPERM, errorAccessDenied, errorAccessDenied},
    {EISDIR, errorAccessDenied, errorAccessDenied},
    {EWOULDBLOCK, errorSharingViolation, errorSharingViolation},  // a lock held elsewhere
    {ETXTBSY, errorSharingViolation, errorSharingViolation},      // a running program's image
    {ENOSPC, errorDiskFull, errorDiskFull},
    {EDQUOT, errorDiskFull, errorDiskFull},
    {EFBIG, errorDiskFull, errorDiskFull},
    {ENAMETOOLONG, errorFilenameTooLong, errorFilenameTooLong},
    {EMFILE, errorTooManyOpenFiles, errorTooManyOpenFiles},
    {ENFILE, errorTooManyOpenFiles, errorTooManyOpenFiles},
    {EBADF, errorInvalidHandle, errorInvalidHandle},
    {ESTALE, errorInvalidHandle, errorInvalidHandle},
    {EPIPE, errorNoData, errorNoData},  // what WriteFile reports when a pipe's reader is gone
    {EROFS, errorWriteProtect, errorWriteProtect},
    {EIO, errorReadFault, errorWriteFault},
    {EINVAL, errorInvalidParameter, errorInvalidParameter},
    {ESPIPE, errorInvalidParameter, errorInvalidParameter},
    {EOVERFLOW, errorInvalidParameter, errorInvalidParameter},
    {ELOOP, errorCantResolveFilename, errorCantResolveFilename},
    {ENOMEM, errorNotEnoughMemory, errorNotEnoughMemory},
    {EEXIST, errorFileExists, errorFileExists},
    {ENXIO, errorDeviceNotExist, errorDeviceNotExist},
    {ENODEV, errorDeviceNotExist, errorDeviceNotExist},
    {EXDEV, errorNotSameDevice, errorNotSameDevice},
    {EBUSY, errorBusy, errorBusy},
    {ETIMEDOUT, errorSemTimeout, errorSemTimeout},
    {ECONNRESET, errorNetNameDeleted, errorNetNameDeleted},
    {EFAULT, errorNoAccess, errorNoAccess},
    {EOPNOTSUPP, errorNotSupported, errorNotSupported},
    {ENOLCK, errorLockViolation, errorLockViolation},
    {ENOTTY, errorInvalidFunction, errorInvalidFunction},
};

}  // namespace

std::uint32_t windowsErrorFor(int error, Direction direction) {
    for (const ErrnoMapping& row : errnoTable) {
        if (row.error == error) {
            return direction == Direction::reading ? row.whenReading : row.whenWriting;
        }
    }
    return errorGenFailure;  // any reason without a counterpart
}

}  // namespace posix

using posix::Direction;
using posix::systemCalls;
using posix::windowsErrorFor;

namespace {

constexpr std::size_t longestName = 259;

// A missing name is "file not found" when its directory exists and "path not found" when the directory
// itself is missing, as Windows tells the two apart.
std::uint32_t missingNameError(const char* name) {
    const char* lastSlash = std::strrchr(name, '/');
    if (lastSlash == nullptr) {
        return errorFileNotFound;  // the current directory exists
    }
    char directory[longestName + 2];
    std::size_t length = static_cast<std::size_t>(lastSlash - name);
    if (length > longestName) {
        return errorPathNotFound;
    }
    if (length == 0) {
        directory[0] = '/';
        length = 1;
    } else {
        std::memcpy(directory, name, length);
    }
    directory[length] = '\0';
    struct stat info {};
    if (systemCalls.statPath(directory, &info) == 0 && S_ISDIR(info.st_mode)) {
        return errorFileNotFound;
    }
    return errorPathNotFound;
}

std::uint32_t openError(int error, const char* name, Direction direction) {
    if (error == ENOENT) {
        return missingNameError(name);
    }
    return windowsErrorFor(error, direction);
}

int lockRetrying(int fd, int operation) {
    int result;
    do {
        result = systemCalls.lockFile(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

int openRetrying(const char* name, int flags, mode_t mode) {
    int fd;
    do {
        fd = systemCalls.openFile(name, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A lock that the file system cannot take at all (some network and user-space file systems) does not
// stop the run: only a lock held by someone else does.
bool lockRefused(int error) { return error == EWOULDBLOCK || error == EAGAIN; }

std::uint32_t standardHandle(int fd, Handle& handle) {
    if (systemCalls.descriptorFlags(fd) < 0) {
        return errorInvalidHandle;
    }
    handle = fd;
    return 0;
}

}  // namespace

// ---- The standard handles ----------------------------------------------------------------------

std::uint32_t standardInput(Handle& handle) { return standardHandle(STDIN_FILENO, handle); }
std::uint32_t standardOutput(Handle& handle) { return standardHandle(STDOUT_FILENO, handle); }

// ---- Opening and creating ----------------------------------------------------------------------

std::uint32_t openForReading(const char* name, Handle& handle) {
    const int fd = openRetrying(name, O_RDONLY | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) {
        return openError(errno, name, Direction::reading);
    }
    // Opening a directory for reading succeeds on POSIX; Windows refuses it.
    struct stat info {};
    if (systemCalls.statHandle(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        systemCalls.closeFile(fd);
        return errorAccessDenied;
    }
    if (lockRetrying(fd, LOCK_SH | LOCK_NB) != 0 && lockRefused(errno)) {
        systemCalls.closeFile(fd);
        return errorSharingViolation;
    }
    handle = fd;
    return 0;
}

std::uint32_t createForWriting(const char* name, Handle& handle) {
    // The read-only attribute: a file without any write permission bit is refused even for a
    // privileged user, whom the open below would let through.
    struct stat existing {};
    if (systemCalls.statPath(name, &existing) == 0 && S_ISREG(existing.st_mode) &&
        (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return errorAccessDenied;
    }
    const int fd = openRetrying(name, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        return openError(errno, name, Direction::writing);
    }
    // The lock comes before the file is emptied, so a file in use keeps its content.
    if (lockRetrying(fd, LOCK_EX | LOCK_NB) != 0 && lockRefused(errno)) {
        systemCalls.closeFile(fd);
        return errorSharingViolation;
    }
    struct stat info {};
    if (systemCalls.statHandle(fd, &info) != 0) {
        const std::uint32_t number = windowsErrorFor(errno, Direction::writing);
        systemCalls.closeFile(fd);
        return number;
    }
    if (S_ISREG(info.st_mode)) {
        int result;
        do {
            result = systemCalls.truncateFile(fd, 0);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            const std::uint32_t number = windowsErrorFor(errno, Direction::writing);
            systemCalls.closeFile(fd);
            return number;
        }
    }
    handle = fd;
    return 0;
}

// ---- Blocks ------------------------------------------------------------------------------------

std::uint32_t readBlock(Handle handle, std::uint8_t* buffer, std::size_t capacity, std::size_t& count) {
    count = 0;
    for (;;) {
        const ssize_t got = systemCalls.readBytes(static_cast<int>(handle), buffer, capacity);
        if (got >= 0) {
            count = static_cast<std::size_t>(got);
            return 0;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EPIPE) {
            return 0;  // a broken pipe has no more data; it is no failure
        }
        return windowsErrorFor(errno, Direction::reading);
    }
}

std::uint32_t writeBlock(Handle handle, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t put = systemCalls.writeBytes(static_cast<int>(handle), bytes, count);
        if (put > 0) {
            bytes += put;
            count -= static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put == 0) {
            return errorWriteFault;  // a target that takes nothing would never finish
        }
        return windowsErrorFor(errno, Direction::writing);
    }
    return 0;
}

// ---- Release and target kind -------------------------------------------------------------------

std::uint32_t release(Handle handle) {
    // The descriptor is gone after close even when it reports EINTR, so that is no failure and is
    // never repeated (a repeat could close a descriptor opened meanwhile).
    if (systemCalls.closeFile(static_cast<int>(handle)) != 0 && errno != EINTR) {
        return windowsErrorFor(errno, Direction::writing);
    }
    return 0;
}

TargetKind targetKind(Handle handle) {
    struct stat info {};
    if (systemCalls.statHandle(static_cast<int>(handle), &info) != 0) {
        return TargetKind::unknown;
    }
    return S_ISCHR(info.st_mode) ? TargetKind::characterDevice : TargetKind::other;
}

}  // namespace m2s::platform
