// The file side of the platform layer on Windows: the standard handles, files opened and created by
// name, blocks read and written, handles released and the kind of a target, all on the Win32 API.
//
// Failure numbers come straight from GetLastError; Windows numbers are the program's own, so nothing is
// translated here.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/platform.hpp"

namespace m2s::platform {

namespace {

HANDLE toSystem(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

Handle fromSystem(HANDLE handle) {
    return reinterpret_cast<Handle>(handle);
}

std::uint32_t lastError() {
    const DWORD error = GetLastError();
    // A call that failed without saying why still failed; 0 would read as success.
    return error != 0 ? static_cast<std::uint32_t>(error) : errorInvalidHandle;
}

std::uint32_t standardHandle(DWORD which, Handle& handle) {
    const HANDLE system = GetStdHandle(which);
    if (system == nullptr || system == INVALID_HANDLE_VALUE) {
        handle = noHandle;
        return errorInvalidHandle;
    }
    handle = fromSystem(system);
    return 0;
}

// ReadFile and WriteFile take a 32-bit count; larger requests go in pieces.
constexpr std::size_t largestTransfer = 0x40000000u;

}  // namespace

std::uint32_t standardInput(Handle& handle) {
    return standardHandle(STD_INPUT_HANDLE, handle);
}

std::uint32_t standardOutput(Handle& handle) {
    return standardHandle(STD_OUTPUT_HANDLE, handle);
}

namespace {

// A file opened or created with this access and disposition, shared with readers only.
std::uint32_t openFile(const char* name, DWORD access, DWORD disposition, Handle& handle) {
    const HANDLE system =
        CreateFileA(name, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (system == INVALID_HANDLE_VALUE) {
        handle = noHandle;
        return lastError();
    }
    handle = fromSystem(system);
    return 0;
}

}  // namespace

std::uint32_t openForReading(const char* name, Handle& handle) {
    return openFile(name, GENERIC_READ, OPEN_EXISTING, handle);
}

std::uint32_t createForWriting(const char* name, Handle& handle) {
    // CREATE_ALWAYS checks sharing and access before it truncates, so a refused file keeps its content.
    return openFile(name, GENERIC_WRITE, CREATE_ALWAYS, handle);
}

std::uint32_t readBlock(Handle handle, std::uint8_t* buffer, std::size_t capacity, std::size_t& count) {
    count = 0;
    const DWORD request = static_cast<DWORD>(capacity < largestTransfer ? capacity : largestTransfer);
    DWORD received = 0;
    if (ReadFile(toSystem(handle), buffer, request, &received, nullptr) == 0) {
        const DWORD error = GetLastError();
        // The writer of a pipe has gone: everything it wrote has been read.
        if (error == ERROR_BROKEN_PIPE) return 0;
        return error != 0 ? static_cast<std::uint32_t>(error) : errorReadFault;
    }
    count = received;
    return 0;
}

std::uint32_t writeBlock(Handle handle, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const DWORD request = static_cast<DWORD>(count < largestTransfer ? count : largestTransfer);
        DWORD written = 0;
        if (WriteFile(toSystem(handle), bytes, request, &written, nullptr) == 0) {
            const DWORD error = GetLastError();
            return error != 0 ? static_cast<std::uint32_t>(error) : errorWriteFault;
        }
        // A target that takes nothing without failing would hold the run here forever.
        if (written == 0) return errorWriteFault;
        bytes += written;
        count -= written;
    }
    return 0;
}

std::uint32_t release(Handle handle) {
    if (CloseHandle(toSystem(handle)) == 0) return lastError();
    return 0;
}

TargetKind targetKind(Handle handle) {
    SetLastError(0);
    switch (GetFileType(toSystem(handle))) {
        case FILE_TYPE_CHAR: return TargetKind::characterDevice;
        case FILE_TYPE_DISK:
        case FILE_TYPE_PIPE: return TargetKind::other;
        default: return GetLastError() != 0 ? TargetKind::unknown : TargetKind::other;
    }
}

}  // namespace m2s::platform
