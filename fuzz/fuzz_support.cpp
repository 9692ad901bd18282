// The in-memory files behind the POSIX call table and the check of a real's text.
#include "fuzz_support.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/posix_calls.hpp"

namespace m2s::fuzz {

RunEnd runEnd;
MemoryFiles files;

void restoreDefaultFloatingPoint() {
#if defined(__i386__) || defined(__x86_64__)
    const std::uint16_t controlWord = 0x037F;  // all x87 exceptions masked, as a process starts
    __asm__ volatile("fninit\n\tfldcw %0" : : "m"(controlWord));
#endif
}

namespace {

namespace posix = platform::posix;

bool isFake(int fd) { return fd == 0 || fd == 1 || fd == dxfDescriptor || fd == scriptDescriptor; }

int fakeOpen(const char* path, int, mode_t) {
    if (std::strcmp(path, dxfName) == 0) {
        return dxfDescriptor;
    }
    if (std::strcmp(path, scriptName) == 0) {
        return scriptDescriptor;
    }
    errno = ENOENT;
    return -1;
}

ssize_t readFrom(std::string_view source, std::size_t& at, void* buffer, size_t count) {
    std::size_t n = source.size() - at;
    if (n > count) {
        n = count;
    }
    if (n > files.readChunk) {
        n = files.readChunk;
    }
    std::memcpy(buffer, source.data() + at, n);
    at += n;
    return static_cast<ssize_t>(n);
}

ssize_t fakeRead(int fd, void* buffer, size_t count) {
    if (fd == 0) {
        return readFrom(files.consoleIn, files.consoleInAt, buffer, count);
    }
    if (fd == dxfDescriptor) {
        return readFrom(files.dxf, files.dxfAt, buffer, count);
    }
    errno = EBADF;
    return -1;
}

ssize_t fakeWrite(int fd, const void* bytes, size_t count) {
    if (fd == 1) {
        files.consoleOut.append(static_cast<const char*>(bytes), count);
        return static_cast<ssize_t>(count);
    }
    if (fd == scriptDescriptor) {
        files.script.append(static_cast<const char*>(bytes), count);
        return static_cast<ssize_t>(count);
    }
    errno = EBADF;
    return -1;
}

int fakeClose(int fd) {
    if (isFake(fd)) {
        return 0;
    }
    errno = EBADF;
    return -1;
}

int fakeStatPath(const char*, struct stat*) {
    errno = ENOENT;  // the script does not exist yet; no directory is ever asked for
    return -1;
}

int fakeStatHandle(int fd, struct stat* info) {
    if (!isFake(fd)) {
        errno = EBADF;
        return -1;
    }
    *info = {};
    info->st_mode = fd == 1 ? S_IFIFO | 0600 : S_IFREG | 0600;
    return 0;
}

int fakeLock(int fd, int) { return isFake(fd) ? 0 : (errno = EBADF, -1); }
int fakeTruncate(int fd, off_t) { return isFake(fd) ? 0 : (errno = EBADF, -1); }
int fakeDescriptorFlags(int fd) { return isFake(fd) ? 0 : (errno = EBADF, -1); }

bool isDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool isFixed(std::string_view t, std::uint32_t decimals) {
    if (!t.empty() && t[0] == '-') {
        t.remove_prefix(1);
    }
    const std::size_t point = t.find('.');
    if (decimals == 0) {
        return !t.empty() && isDigits(t);
    }
    return point != std::string_view::npos && point >= 1 && isDigits(t.substr(0, point)) &&
           t.size() - point - 1 == decimals && isDigits(t.substr(point + 1));
}

// digit "." (digits - 1 digits) "E+" four digits, without the sign position.
bool isExponentForm(std::string_view t, std::uint32_t digits) {
    if (t.size() != digits + 7) {
        return false;
    }
    return isDigits(t.substr(0, 1)) && t[1] == '.' && isDigits(t.substr(2, digits - 1)) &&
           t.substr(digits + 1, 2) == "E+" && isDigits(t.substr(digits + 3));
}

}  // namespace

void useMemoryFiles(std::string_view consoleIn, std::string_view dxf, std::size_t readChunk) {
    files.consoleIn = consoleIn;
    files.dxf = dxf;
    files.consoleInAt = 0;
    files.dxfAt = 0;
    files.readChunk = readChunk == 0 ? 1 : readChunk;
    files.consoleOut.clear();
    files.script.clear();
    posix::systemCalls = {fakeOpen,       fakeRead, fakeWrite,    fakeClose,          fakeStatPath,
                          fakeStatHandle, fakeLock, fakeTruncate, fakeDescriptorFlags};
}

void useRealFiles() { posix::systemCalls = posix::realSystemCalls; }

bool isRealText(std::string_view text) { return isRealText(text, 3, 4); }

bool isRealText(std::string_view text, std::uint32_t width, std::uint32_t decimals) {
    if (width > 255) {
        width = 255;
    }
    if (decimals > 216) {
        decimals = 216;
    }
    if (text.size() > 255) {
        return false;
    }
    std::uint32_t digits = width < 10 ? 2 : width - 8;
    if (digits > 18) {
        digits = 18;
    }
    std::size_t blanks = 0;
    while (blanks < text.size() && text[blanks] == ' ') {
        ++blanks;
    }
    const std::string_view t = text.substr(blanks);
    std::size_t natural = 0;
    if (t == "+Inf" || t == "-Inf" || t == "Nan" || isFixed(t, decimals)) {
        natural = t.size();
    } else if (blanks >= 1 && isExponentForm(t, digits)) {
        natural = t.size() + 1;  // a positive exponent form begins with a blank of its own
    } else if (!t.empty() && t[0] == '-' && isExponentForm(t.substr(1), digits)) {
        natural = t.size();
    } else {
        return false;
    }
    return text.size() == (natural > width ? natural : width);
}

}  // namespace m2s::fuzz
