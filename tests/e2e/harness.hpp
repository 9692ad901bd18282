// The end-to-end harness: runs the built program the way a user does, in a fresh directory of its own,
// with chosen bytes on standard input and standard output on a file, a pipe, a pseudo-terminal or
// nothing at all, and hands back the exact bytes shown and how the process ended.
//
// The command comes from the environment, so the same cases run the native program and the Windows
// build under an emulator:
//   M2S_PROGRAM   the program to run (another variable can be named per run, see RunOptions);
//   M2S_EMULATOR  optional; blank-separated words put in front of the program, e.g. "wine".
//
// Typical use:
//   m2s::e2e::Sandbox box;                      // fresh directory, removed at the end of the test
//   box.writeFile("mesh.dxf", bytes);
//   m2s::e2e::RunResult r = m2s::e2e::runProgram(box, {.input = "mesh.dxf\nout.scr\n0\n0\n"});
//   EXPECT_TRUE(r.exitedWith(0)) << r.describe();
//   EXPECT_EQ(box.readFile("out.scr"), expected);
//
// A dialogue on a terminal, prompt by prompt:
//   m2s::e2e::TerminalRun term(box);
//   ASSERT_TRUE(term.waitFor("(con suffisso): "));
//   term.type("mesh.dxf\n");
//   ...
//   m2s::e2e::RunResult r = term.finish();
//
// The terminal is set up so that what the program writes arrives unchanged (no echo of typed text, no
// output translation such as LF to CR LF), so its bytes can be compared exactly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m2s::e2e {

// True when the program runs under an emulator (M2S_EMULATOR set): the Windows build. Cases whose
// outcome differs between the platforms by design ask this.
bool isWindowsBuild();

// The usage notes the program shows before its first question, byte for byte.
inline const std::string usageNotes =
    "Programma per la creazione di mesh solide. mesh2solid 1.0.0 (2026) - segnalazioni: "
    "https://github.com/mesh2solid/mesh2solid/issues\r\n"
    "Note d'uso.\r\n"
    "- Usare facce triangolari: 3DSOUT seguito da 3DSIN ed esplosione della mesh\r\n"
    "- Esportare le facce in formato DXF versione 12\r\n"
    "- Prima del lancio dello script:\r\n"
    "  - disattivare tutti gli snap;\r\n"
    "  - effettuare uno zoom che comprenda tutta l'area della mesh.\r\n"
    "Immettere spessore solidi pari a zero per ottenere un solido con base piana\r\n"
    "\r\n";

// True when the environment variable names a file that exists (the Windows build may come without its
// test-only programs).
bool programExists(const std::string& programVariable);

// A fresh temporary directory (mkdtemp), the program's working directory; removed with its contents
// when the Sandbox goes. Names are relative to it unless they start with '/'.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& directory() const { return directory_; }
    std::string pathOf(const std::string& name) const;

    void writeFile(const std::string& name, std::string_view bytes, unsigned mode = 0644) const;
    void makeSymbolicLink(const std::string& name, const std::string& target) const;
    bool exists(const std::string& name) const;
    std::string readFile(const std::string& name) const;   // fails the test when it cannot be read
    std::vector<std::string> entries() const;               // sorted names in the directory

private:
    std::string root_;        // holds the working directory and the harness's own capture files
    std::string directory_;
};

enum class Output {
    File,      // a regular file outside the working directory
    Pipe,      // a pipe read by the harness until the program ends
    Terminal,  // the secondary side of a pseudo-terminal
    Closed,    // no descriptor 1 at all
};

struct RunOptions {
    // The bytes on standard input, fed through a pipe which is then closed; nullopt: no descriptor 0.
    // Keep it below the pipe's capacity (64 KiB): it is written in full before the output is read.
    std::optional<std::string> input = std::string{};
    Output output = Output::File;
    // With Output::Pipe: the reader takes this many bytes, then closes its end, as `| head -c N` does;
    // only then is standard input fed, so whatever the program writes after its answers meets a pipe
    // without a reader.
    std::optional<std::size_t> readerLeavesAfter;
    std::vector<std::string> arguments;             // after the program's name; the program ignores them
    std::string programVariable = "M2S_PROGRAM";    // the environment variable that names the program
};

struct RunResult {
    bool exited = false;      // ended through exit; otherwise killed by a signal (or not started)
    int exitStatus = -1;      // WEXITSTATUS when exited
    int signal = 0;           // the terminating signal when not exited
    std::string output;       // every byte written to standard output (empty when it was closed)
    std::string errors;       // standard error, for failure messages

    bool exitedWith(int status) const { return exited && exitStatus == status; }
    std::string describe() const;   // "exit status 106" or "killed by signal 11", plus stderr
};

RunResult runProgram(const Sandbox& sandbox, const RunOptions& options);

struct TerminalOptions {
    std::string programVariable = "M2S_PROGRAM";
    // The terminal as a console normally is: typed text is echoed, Enter types a CR that the terminal
    // hands over as a line end (LF), and LF is shown as CR LF. Otherwise bytes pass through unchanged.
    bool cooked = false;
    // The program runs under ptrace, stopped at each read of standard input and each write to standard
    // output (see nextCall). Linux only; without ptrace the run does not start (traceRefused).
    bool traced = false;
};

// One read of standard input or write to standard output, seen as the program enters it, before the
// system has done anything with it.
struct StandardCall {
    enum class Kind { read, write };
    Kind kind = Kind::write;
    std::string bytes;   // a write's bytes, exactly as handed to the system
};

// The program with both standard input and standard output on one pseudo-terminal, as in a console. It
// is the foreground process group of that terminal, so the terminal's interrupt character reaches it.
class TerminalRun {
public:
    explicit TerminalRun(const Sandbox& sandbox, const std::string& programVariable = "M2S_PROGRAM");
    TerminalRun(const Sandbox& sandbox, const TerminalOptions& options);
    ~TerminalRun();   // kills the program if it is still running
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    // Reads the terminal until `text` appears after the end of the previous match. False when the
    // program ended, or showed nothing new for a long while (a hang guard, not a timing check).
    bool waitFor(std::string_view text);
    // Types bytes as the user would; "\n" ends a line.
    void type(std::string_view bytes);
    // Sends a signal to the program's process group, as a terminal's interrupt key does.
    void signalGroup(int signal);
    // Reads the terminal until the program ends; output holds everything it showed.
    RunResult finish();

    // Traced runs: lets the program go on until it enters its next read of standard input or write to
    // standard output, and stops it there, with everything shown so far read into screen(). nullopt
    // once the program has ended (finish then tells how).
    std::optional<StandardCall> nextCall();
    bool traceRefused() const { return traceRefused_; }

    const std::string& screen() const { return screen_; }   // all shown so far

private:
    bool readMore(int timeoutMilliseconds);
    void start(const Sandbox& sandbox, const TerminalOptions& options);

    int master_ = -1;
    int pid_ = -1;
    bool ended_ = false;
    bool traced_ = false;
    bool traceRefused_ = false;
    bool stoppedAtCall_ = false;   // a traced program waits at the entry of a call
    std::optional<int> endStatus_; // a traced program's wait status, once it has ended
    std::string screen_;
    std::size_t matched_ = 0;
    std::string errorsPath_;
};

}  // namespace m2s::e2e
