// The process side of the platform layer on Windows: the end of the process, image offsets and the fault
// trap (the x87 control word is loaded by floating_point.cpp, the same on every system).
//
// The trap is the process's top-level exception filter. Before it reports anything it offers the fault
// to UnhandledExceptionFilter, so a debugger attached to the process still gets its faults; that call
// comes back into our own filter, and the re-entry answers "handle it" so the system neither recurses
// nor starts a crash debugger. A stack overflow is reported from a helper thread, since the exhausted
// stack has too little room left for the report. Nothing here ever opens a window.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>

#include "platform/platform.hpp"

namespace m2s::platform {

// ---- Process end and image offsets ----------------------------------------------------------------

void endProcess(std::uint32_t status) {
    ExitProcess(static_cast<UINT>(status));
}

std::uintptr_t imageOffset(const void* address) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(address, &region, sizeof region) != 0 && region.State == MEM_COMMIT &&
        region.AllocationBase != nullptr) {
        return reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(region.AllocationBase);
    }
    return reinterpret_cast<std::uintptr_t>(address);
}

// ---- The fault trap -----------------------------------------------------------------------------

namespace {

FaultHandler installedHandler = nullptr;

// Set while the fault is with UnhandledExceptionFilter, which calls the top-level filter (this one).
volatile LONG consulting = 0;

// Room left on the faulting thread's stack after an overflow, for the report and its writes.
constexpr ULONG stackReserve = 64 * 1024;
constexpr SIZE_T freshStackSize = 256 * 1024;

std::uint32_t numberForCode(DWORD code) {
    switch (code) {
        case 0xC0000094u:  // integer division by zero
        case 0xC000008Eu:  // floating-point division by zero
            return 200;
        case 0xC000008Cu: return 201;  // array bounds exceeded
        case 0xC00000FDu: return 202;  // stack overflow
        case 0xC0000091u: return 205;  // floating-point overflow
        case 0xC0000093u:              // floating-point underflow
        case 0xC000008Du:              // denormal operand
            return 206;
        case 0xC0000090u:  // invalid operation
        case 0xC0000092u:  // register-stack check
        case 0xC000008Fu:  // inexact result
            return 207;
        case 0xC0000095u: return 215;  // integer overflow
        case 0xC0000005u: return 216;  // access violation
        case 0xC000013Au: return 217;  // console interrupt
        case 0xC0000096u: return 218;  // privileged instruction
        default: return 255;
    }
}

LONG trap(EXCEPTION_POINTERS* pointers) {
    if (UnhandledExceptionFilter(pointers) == EXCEPTION_CONTINUE_SEARCH) {
        // A debugger wants the fault: leave it to the system, with no message and no buffers written.
        InterlockedExchange(&consulting, 0);
        return EXCEPTION_CONTINUE_SEARCH;
    }

    loadFloatingPointControl();
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    const std::uint32_t number = numberForCode(record->ExceptionCode);
    if (installedHandler != nullptr) {
        installedHandler(number, imageOffset(record->ExceptionAddress));
    }
    ExitProcess(number);
}

struct FreshStackWork {
    EXCEPTION_POINTERS* pointers;
    LONG answer;
};

DWORD WINAPI trapOnFreshStack(void* parameter) {
    auto* work = static_cast<FreshStackWork*>(parameter);
    work->answer = trap(work->pointers);
    return 0;
}

LONG WINAPI onFault(EXCEPTION_POINTERS* pointers) {
    if (InterlockedCompareExchange(&consulting, 1, 0) != 0) {
        // Called back by UnhandledExceptionFilter: no objection, and no crash debugger.
        return EXCEPTION_EXECUTE_HANDLER;
    }
    if (pointers->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        // What is left of the exhausted stack (Wine leaves little) is not enough for the report and its
        // writes: they run on a thread of their own while this one waits.
        FreshStackWork work{pointers, EXCEPTION_CONTINUE_SEARCH};
        const HANDLE helper = CreateThread(nullptr, freshStackSize, trapOnFreshStack, &work, 0, nullptr);
        if (helper != nullptr) {
            WaitForSingleObject(helper, INFINITE);
            return work.answer;
        }
    }
    return trap(pointers);
}

}  // namespace

void installFaultTrap(FaultHandler onFaultHandler) {
    installedHandler = onFaultHandler;
    // No dialog box for a fault or a missing drive: the run reports on standard output.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ULONG reserve = stackReserve;
    SetThreadStackGuarantee(&reserve);
    SetUnhandledExceptionFilter(onFault);
}

}  // namespace m2s::platform
