// The end-to-end harness: fork, set up the standard descriptors the way the case asks, exec the program
// (behind its emulator, if any) in the sandbox, feed its input and collect its output and its end.
#include "harness.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/ptrace.h>
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <sstream>

namespace m2s::e2e {
namespace {

// Long enough for a slow emulator start; only a hang ever reaches it.
constexpr int hangGuardMilliseconds = 120000;

std::vector<std::string> splitWords(const char* text) {
    std::vector<std::string> words;
    std::istringstream in(text == nullptr ? "" : text);
    std::string word;
    while (in >> word) {
        words.push_back(word);
    }
    return words;
}

std::vector<std::string> programCommand(const std::string& programVariable,
                                        const std::vector<std::string>& arguments) {
    std::vector<std::string> command = splitWords(std::getenv("M2S_EMULATOR"));
    const char* program = std::getenv(programVariable.c_str());
    if (program == nullptr || *program == '\0') {
        ADD_FAILURE() << programVariable << " is not set: the test must be run through CTest";
        return {};
    }
    command.emplace_back(program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;   // the program stopped reading (EPIPE): what it did not take is not needed
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string readWholeFile(const std::string& path) {
    std::string bytes;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return bytes;
    }
    char block[4096];
    for (;;) {
        ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        bytes.append(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

// Moves `from` onto `to` in the child; a descriptor that already is `to` only loses its close-on-exec.
void placeDescriptor(int from, int to) {
    if (from == to) {
        ::fcntl(to, F_SETFD, 0);
    } else {
        ::dup2(from, to);
    }
}

// The exit status of a child that could not put itself under ptrace.
constexpr int traceRefusedStatus = 126;

// Only async-signal-safe calls between fork and exec. The program starts with the signals as an
// interactive shell hands them over (default actions, nothing blocked), whatever the test runner
// ignores. A traced child stops itself before exec, so the tracer is in place before the program's
// first instruction.
[[noreturn]] void execInChild(const std::string& directory, const std::vector<std::string>& command,
                              bool traced = false) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGQUIT, SIG_DFL);
    sigset_t noSignals;
    ::sigemptyset(&noSignals);
    ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
    if (traced) {
#if defined(__linux__)
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
            ::_exit(traceRefusedStatus);
        }
        ::raise(SIGSTOP);
#else
        ::_exit(traceRefusedStatus);
#endif
    }
    if (::chdir(directory.c_str()) == 0) {
        ::execvp(argv[0], argv.data());
    }
    static constexpr char failed[] = "harness: cannot start the program\n";
    ssize_t ignored = ::write(2, failed, sizeof failed - 1);
    static_cast<void>(ignored);
    ::_exit(127);
}

RunResult resultOf(int waitStatus) {
    RunResult result;
    if (WIFEXITED(waitStatus)) {
        result.exited = true;
        result.exitStatus = WEXITSTATUS(waitStatus);
    } else if (WIFSIGNALED(waitStatus)) {
        result.signal = WTERMSIG(waitStatus);
    }
    return result;
}

// Waits for the child; a child that does not end within the hang guard is killed (and shows as such).
int waitForChild(int pid) {
    int status = 0;
    for (int waited = 0;; waited += 10) {
        pid_t done = ::waitpid(pid, &status, waited < hangGuardMilliseconds ? WNOHANG : 0);
        if (done == pid) {
            return status;
        }
        if (done < 0 && errno != EINTR) {
            return 0;
        }
        if (waited >= hangGuardMilliseconds - 10) {
            ::kill(pid, SIGKILL);
        }
        struct timespec pause = {0, 10 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
}

// Reads fd until end of file (or EIO, which a pseudo-terminal's primary side reports once its last
// secondary descriptor is gone). False when nothing came within the hang guard.
bool drain(int fd, std::string& into) {
    char block[4096];
    for (;;) {
        struct pollfd watch = {fd, POLLIN, 0};
        int ready = ::poll(&watch, 1, hangGuardMilliseconds);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return true;
        }
        into.append(block, static_cast<std::size_t>(n));
    }
}

// A pseudo-terminal that passes bytes through: no echo, no output translation, no CR to LF on input,
// but still line by line, as a console hands a typed line over at its Enter. Cooked: the settings a
// terminal starts with, echo, CR typed as LF and LF shown as CR LF. The interrupt character (Ctrl-C)
// signals the foreground process group in both.
bool openTerminal(int& master, int& secondary, bool cooked = false) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        return false;
    }
    const char* name = ::ptsname(master);
    if (name == nullptr) {
        return false;
    }
    secondary = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (secondary < 0) {
        return false;
    }
    struct termios mode {};
    ::tcgetattr(secondary, &mode);
    mode.c_lflag |= ICANON | ISIG;
    mode.c_iflag &= ~static_cast<tcflag_t>(INLCR | IGNCR);
    if (cooked) {
        mode.c_lflag |= ECHO | ECHOE | ECHOK;
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHONL);
        mode.c_oflag |= OPOST | ONLCR;
        mode.c_oflag &= ~static_cast<tcflag_t>(OCRNL | ONLRET | ONOCR);
        mode.c_iflag |= ICRNL;
    } else {
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL);
        mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
    }
    mode.c_cc[VINTR] = 3;   // Ctrl-C
    ::tcsetattr(secondary, TCSANOW, &mode);
    return true;
}

}  // namespace

bool isWindowsBuild() {
    const char* emulator = std::getenv("M2S_EMULATOR");
    return emulator != nullptr && *emulator != '\0';
}

bool programExists(const std::string& programVariable) {
    const char* program = std::getenv(programVariable.c_str());
    return program != nullptr && ::access(program, F_OK) == 0;
}

// ---- Sandbox -------------------------------------------------------------------------------------

Sandbox::Sandbox() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/m2s-e2e-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
        return;
    }
    root_ = buffer.data();
    directory_ = root_ + "/work";
    ::mkdir(directory_.c_str(), 0755);
}

Sandbox::~Sandbox() {
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
}

std::string Sandbox::pathOf(const std::string& name) const {
    return !name.empty() && name[0] == '/' ? name : directory_ + "/" + name;
}

void Sandbox::writeFile(const std::string& name, std::string_view bytes, unsigned mode) const {
    std::string path = pathOf(name);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << "cannot create " << path << ": " << std::strerror(errno);
    writeAll(fd, bytes);
    ::close(fd);
    ::chmod(path.c_str(), static_cast<mode_t>(mode));
}

void Sandbox::makeSymbolicLink(const std::string& name, const std::string& target) const {
    std::string path = pathOf(name);
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << "cannot link " << path << ": " << std::strerror(errno);
}

bool Sandbox::exists(const std::string& name) const {
    struct stat info {};
    return ::lstat(pathOf(name).c_str(), &info) == 0;
}

std::string Sandbox::readFile(const std::string& name) const {
    std::string path = pathOf(name);
    EXPECT_TRUE(exists(name)) << path << " does not exist";
    return readWholeFile(path);
}

std::vector<std::string> Sandbox::entries() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory_, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// ---- RunResult -----------------------------------------------------------------------------------

std::string RunResult::describe() const {
    std::string text = exited ? "exit status " + std::to_string(exitStatus)
                              : (signal != 0 ? "killed by signal " + std::to_string(signal) : "did not run");
    if (!errors.empty()) {
        text += "; stderr: " + errors;
    }
    return text;
}

// ---- runProgram ----------------------------------------------------------------------------------

RunResult runProgram(const Sandbox& sandbox, const RunOptions& options) {
    std::vector<std::string> command = programCommand(options.programVariable, options.arguments);
    if (command.empty()) {
        return {};
    }
    ::signal(SIGPIPE, SIG_IGN);

    std::string outputPath = sandbox.directory() + "/../stdout";
    std::string errorsPath = sandbox.directory() + "/../stderr";
    int inputPipe[2] = {-1, -1};
    if (options.input) {
        EXPECT_EQ(::pipe2(inputPipe, O_CLOEXEC), 0);
    }
    int outputRead = -1;
    int outputWrite = -1;
    switch (options.output) {
    case Output::File:
        outputWrite = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        break;
    case Output::Pipe: {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        outputRead = fds[0];
        outputWrite = fds[1];
        break;
    }
    case Output::Terminal:
        EXPECT_TRUE(openTerminal(outputRead, outputWrite)) << "no pseudo-terminal: " << std::strerror(errno);
        break;
    case Output::Closed:
        break;
    }
    int errorsFd = ::open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

    pid_t pid = ::fork();
    if (pid == 0) {
        placeDescriptor(errorsFd, 2);
        if (options.input) {
            placeDescriptor(inputPipe[0], 0);
        } else {
            ::close(0);
        }
        if (options.output == Output::Closed) {
            ::close(1);
        } else {
            placeDescriptor(outputWrite, 1);
        }
        execInChild(sandbox.directory(), command);
    }

    if (options.input) {
        ::close(inputPipe[0]);
    }
    if (outputWrite >= 0) {
        ::close(outputWrite);
    }
    ::close(errorsFd);
    if (pid < 0) {
        ADD_FAILURE() << "fork failed: " << std::strerror(errno);
        return {};
    }
    std::string shown;
    if (options.readerLeavesAfter && outputRead >= 0) {
        char byte;
        while (shown.size() < *options.readerLeavesAfter) {
            struct pollfd watch = {outputRead, POLLIN, 0};
            if (::poll(&watch, 1, hangGuardMilliseconds) <= 0 || ::read(outputRead, &byte, 1) != 1) {
                ADD_FAILURE() << "the program wrote only " << shown.size() << " bytes";
                break;
            }
            shown += byte;
        }
        ::close(outputRead);
        outputRead = -1;
    }
    if (options.input) {
        writeAll(inputPipe[1], *options.input);
        ::close(inputPipe[1]);
    }
    if (outputRead >= 0) {
        EXPECT_TRUE(drain(outputRead, shown)) << "the program showed nothing for a long while";
        ::close(outputRead);
    }
    RunResult result = resultOf(waitForChild(pid));
    result.output = options.output == Output::File ? readWholeFile(outputPath) : shown;
    result.errors = readWholeFile(errorsPath);
    return result;
}

// ---- TerminalRun ---------------------------------------------------------------------------------

TerminalRun::TerminalRun(const Sandbox& sandbox, const std::string& programVariable) {
    TerminalOptions options;
    options.programVariable = programVariable;
    start(sandbox, options);
}

TerminalRun::TerminalRun(const Sandbox& sandbox, const TerminalOptions& options) { start(sandbox, options); }

void TerminalRun::start(const Sandbox& sandbox, const TerminalOptions& options) {
    std::vector<std::string> command = programCommand(options.programVariable, {});
    int secondary = -1;
    if (command.empty() || !openTerminal(master_, secondary, options.cooked)) {
        ADD_FAILURE() << "cannot start the program on a pseudo-terminal";
        ended_ = true;
        return;
    }
    errorsPath_ = sandbox.directory() + "/../stderr";
    int errorsFd = ::open(errorsPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        ::ioctl(secondary, TIOCSCTTY, 0);
        placeDescriptor(errorsFd, 2);
        placeDescriptor(secondary, 0);
        placeDescriptor(secondary, 1);
        execInChild(sandbox.directory(), command, options.traced);
    }
    ::close(secondary);
    ::close(errorsFd);
    pid_ = pid;
    if (pid < 0) {
        ADD_FAILURE() << "fork failed: " << std::strerror(errno);
        ended_ = true;
        return;
    }
    if (options.traced) {
        traced_ = true;
#if defined(__linux__)
        // The child's own stop before exec: from here on every system call stops it twice.
        int status = 0;
        ::waitpid(pid_, &status, 0);
        if (!WIFSTOPPED(status)) {
            traceRefused_ = true;
            endStatus_ = status;
            pid_ = -1;
            ended_ = true;
            return;
        }
        ::ptrace(PTRACE_SETOPTIONS, pid_, nullptr,
                 reinterpret_cast<void*>(static_cast<long>(PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXEC |
                                                           PTRACE_O_EXITKILL)));
        stoppedAtCall_ = true;   // resumed by the first nextCall
#endif
    }
}

std::optional<StandardCall> TerminalRun::nextCall() {
#if defined(__linux__)
    if (!traced_ || pid_ <= 0 || endStatus_) {
        return std::nullopt;
    }
    int deliver = 0;   // a signal the program received, passed on when it goes on
    for (;;) {
        ::ptrace(PTRACE_SYSCALL, pid_, nullptr, reinterpret_cast<void*>(static_cast<long>(deliver)));
        deliver = 0;
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) {
            return std::nullopt;
        }
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            endStatus_ = status;
            while (readMore(0)) {
            }
            return std::nullopt;
        }
        if (!WIFSTOPPED(status)) {
            continue;
        }
        const int stop = WSTOPSIG(status);
        if (stop != (SIGTRAP | 0x80)) {
            // The exec event and the exec's own SIGTRAP belong to the tracing; any other signal is the
            // program's.
            if (stop != SIGTRAP && stop != SIGSTOP) {
                deliver = stop;
            }
            continue;
        }
        struct __ptrace_syscall_info info {};
        if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid_, reinterpret_cast<void*>(sizeof info), &info) <= 0 ||
            info.op != PTRACE_SYSCALL_INFO_ENTRY) {
            continue;
        }
        const bool isRead = info.entry.nr == SYS_read && info.entry.args[0] == 0;
        const bool isWrite = info.entry.nr == SYS_write && info.entry.args[0] == 1;
        if (!isRead && !isWrite) {
            continue;
        }
        while (readMore(0)) {
        }
        StandardCall call;
        call.kind = isRead ? StandardCall::Kind::read : StandardCall::Kind::write;
        if (isWrite) {
            call.bytes.resize(static_cast<std::size_t>(info.entry.args[2]));
            struct iovec local = {call.bytes.data(), call.bytes.size()};
            struct iovec remote = {reinterpret_cast<void*>(static_cast<std::uintptr_t>(info.entry.args[1])),
                                   call.bytes.size()};
            ssize_t got = ::process_vm_readv(pid_, &local, 1, &remote, 1, 0);
            call.bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        }
        return call;
    }
#else
    return std::nullopt;
#endif
}

void TerminalRun::signalGroup(int signal) {
    if (pid_ > 0 && !endStatus_) {
        ::kill(-pid_, signal);
    }
}

TerminalRun::~TerminalRun() {
    if (pid_ > 0 && !endStatus_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

bool TerminalRun::readMore(int timeoutMilliseconds) {
    if (ended_) {
        return false;
    }
    for (;;) {
        struct pollfd watch = {master_, POLLIN, 0};
        int ready = ::poll(&watch, 1, timeoutMilliseconds);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        char block[4096];
        ssize_t n = ::read(master_, block, sizeof block);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ended_ = true;   // EIO: the program has let go of the terminal
            return false;
        }
        screen_.append(block, static_cast<std::size_t>(n));
        return true;
    }
}

bool TerminalRun::waitFor(std::string_view text) {
    for (;;) {
        std::size_t at = screen_.find(text, matched_);
        if (at != std::string::npos) {
            matched_ = at + text.size();
            return true;
        }
        if (!readMore(hangGuardMilliseconds)) {
            return false;
        }
    }
}

void TerminalRun::type(std::string_view bytes) {
    if (master_ >= 0) {
        writeAll(master_, bytes);
    }
}

RunResult TerminalRun::finish() {
    if (traced_) {
        while (nextCall()) {
        }
        while (readMore(hangGuardMilliseconds)) {
        }
        RunResult result = endStatus_ ? resultOf(*endStatus_) : RunResult{};
        pid_ = -1;
        result.output = screen_;
        result.errors = readWholeFile(errorsPath_);
        return result;
    }
    while (readMore(hangGuardMilliseconds)) {
    }
    RunResult result;
    if (pid_ > 0) {
        result = resultOf(waitForChild(pid_));
        pid_ = -1;
    }
    result.output = screen_;
    result.errors = readWholeFile(errorsPath_);
    return result;
}

}  // namespace m2s::e2e
