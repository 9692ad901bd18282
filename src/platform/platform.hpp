// The one small interface through which the program reaches the operating system: the standard
// handles, files, blocks of bytes, the kind of a target, the end of the process, the fault trap and
// image offsets. posix.cpp and win32.cpp implement it; no other file talks to the system.
//
// Every failure comes back as a Windows system error number (0 is success), whatever the platform, so
// both builds report the same numbers for the same situation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace m2s::platform {

using Handle = std::intptr_t;
inline constexpr Handle noHandle = -1;

// Windows system error numbers used by the program.
inline constexpr std::uint32_t errorFileNotFound = 2;
inline constexpr std::uint32_t errorPathNotFound = 3;
inline constexpr std::uint32_t errorTooManyOpenFiles = 4;
inline constexpr std::uint32_t errorAccessDenied = 5;
inline constexpr std::uint32_t errorInvalidHandle = 6;
inline constexpr std::uint32_t errorNotEnoughMemory = 8;
inline constexpr std::uint32_t errorWriteProtect = 19;
inline constexpr std::uint32_t errorReadFault = 30;
inline constexpr std::uint32_t errorWriteFault = 29;
inline constexpr std::uint32_t errorSharingViolation = 32;
inline constexpr std::uint32_t errorLockViolation = 33;
inline constexpr std::uint32_t errorHandleDiskFull = 39;
inline constexpr std::uint32_t errorNotSupported = 50;
inline constexpr std::uint32_t errorFileExists = 80;
inline constexpr std::uint32_t errorInvalidParameter = 87;
inline constexpr std::uint32_t errorBrokenPipe = 109;
inline constexpr std::uint32_t errorDiskFull = 112;
inline constexpr std::uint32_t errorInvalidName = 123;
inline constexpr std::uint32_t errorFilenameTooLong = 206;
inline constexpr std::uint32_t errorNoData = 232;

// The standard handles; they are never released.
std::uint32_t standardInput(Handle& handle);
std::uint32_t standardOutput(Handle& handle);

// Opens an existing file for reading only, shared with other readers only. name is NUL-terminated and
// not empty.
std::uint32_t openForReading(const char* name, Handle& handle);

// Creates a file, or empties an existing one, for writing only, shared with readers only. An existing
// file that may not be written (read-only, a directory, open elsewhere) keeps its content.
std::uint32_t createForWriting(const char* name, Handle& handle);

// Reads at most capacity bytes; count 0 means the source has no more data (a broken pipe counts as
// that).
std::uint32_t readBlock(Handle handle, std::uint8_t* buffer, std::size_t capacity, std::size_t& count);

// Hands all count bytes over, in order, however many system calls that takes, or fails.
std::uint32_t writeBlock(Handle handle, const std::uint8_t* bytes, std::size_t count);

// Releases a file handle.
std::uint32_t release(Handle handle);

enum class TargetKind { characterDevice, other, unknown };
TargetKind targetKind(Handle handle);

// Ends the process with this exit status (only the low 8 bits reach a POSIX parent).
[[noreturn]] void endProcess(std::uint32_t status);

// The offset of address from the start of the memory allocation that holds it (for the program's code:
// the start of the loaded program image); the address itself when it lies in no committed memory.
std::uintptr_t imageOffset(const void* address);

// Resets the floating-point unit and loads the control word 0x1332 where the processor has an x87 unit.
void loadFloatingPointControl();

// Installs the fault trap: a processor fault anywhere in the run calls onFault with the run-time error
// number of its kind and the offset of the faulting instruction; onFault never returns.
using FaultHandler = void (*)(std::uint32_t number, std::uintptr_t location);
void installFaultTrap(FaultHandler onFault);

}  // namespace m2s::platform
