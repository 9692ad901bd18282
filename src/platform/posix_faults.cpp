// The process side of the platform layer on POSIX: the end of the process and the fault trap (image
// offsets are in posix_image.cpp; the x87 control word is loaded by floating_point.cpp, the same on
// every system).
//
// Sections: process end; the fault trap (signal handlers on an alternate stack, the signal and its
// code mapped to run-time error numbers).
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "platform/platform.hpp"

namespace m2s::platform {

// ---- Process end ----------------------------------------------------------------------------------

void endProcess(std::uint32_t status) {
    _exit(static_cast<int>(status));
}

// ---- The fault trap -----------------------------------------------------------------------------

namespace {

FaultHandler installedHandler = nullptr;

// The handlers run here, so a stack overflow can still be reported.
alignas(16) unsigned char alternateStack[64 * 1024];

// A fault this close to the interrupted stack pointer is the stack running out.
constexpr std::uintptr_t stackOverflowReach = 64 * 1024;

std::uint32_t numberForFpe(int code) {
    switch (code) {
        case FPE_INTDIV:
        case FPE_FLTDIV: return 200;
        case FPE_FLTSUB: return 201;
        case FPE_FLTOVF: return 205;
        case FPE_FLTUND: return 206;
        case FPE_FLTINV:
        case FPE_FLTRES: return 207;
        case FPE_INTOVF: return 215;
        default: return 255;
    }
}

struct InterruptedPoint {
    std::uintptr_t programCounter;
    std::uintptr_t stackPointer;
};

InterruptedPoint interruptedPoint(const siginfo_t* info, const void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
    static_cast<void>(uc);
    static_cast<void>(info);
#if defined(__x86_64__) && defined(__linux__)
    return {static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]),
            static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP])};
#elif defined(__aarch64__) && defined(__linux__)
    return {static_cast<std::uintptr_t>(uc->uc_mcontext.pc), static_cast<std::uintptr_t>(uc->uc_mcontext.sp)};
#else
    return {reinterpret_cast<std::uintptr_t>(info->si_addr), 0};
#endif
}

std::uint32_t numberForSignal(int signal, const siginfo_t* info, const InterruptedPoint& point) {
    switch (signal) {
        case SIGSEGV:
        case SIGBUS: {
            const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
            const std::uintptr_t distance =
                address > point.stackPointer ? address - point.stackPointer : point.stackPointer - address;
            return point.stackPointer != 0 && distance < stackOverflowReach ? 202 : 216;
        }
        case SIGFPE: return numberForFpe(info->si_code);
        case SIGILL: return info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG ? 218 : 255;
        default: return 255;
    }
}

void onFault(int signal, siginfo_t* info, void* context) {
    const InterruptedPoint point = interruptedPoint(info, context);
    const std::uint32_t number = numberForSignal(signal, info, point);
    loadFloatingPointControl();
    if (installedHandler == nullptr) {
        _exit(static_cast<int>(number));
    }
    installedHandler(number, imageOffset(reinterpret_cast<const void*>(point.programCounter)));
    _exit(static_cast<int>(number));
}

}  // namespace

void installFaultTrap(FaultHandler onFaultHandler) {
    installedHandler = onFaultHandler;

    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    stack.ss_flags = 0;
    sigaltstack(&stack, nullptr);

    struct sigaction action{};
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    static constexpr int faultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};
    for (const int signal : faultSignals) {
        sigaction(signal, &action, nullptr);
    }

    // A closed pipe is a failed write that the run reports, not a silent death.
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace m2s::platform
