// The conversion benchmark: generates an N x N terrain (2 N^2 faces, CR LF), converts it with the real
// program, flat and as a slab, and measures the floor that the I/O pattern sets (the same input read
// and an output of the same size written, in 128-byte system calls). Prints faces per second, MB/s,
// wall times, the ratio of the conversion to the floor, and the peak resident memory of the child.
// Each figure is the best of a few runs, so that a busy machine disturbs it less; the CPU times of the
// conversion (user, system) and of the floor are shown beside it. Where valgrind is installed it also
// counts the instructions per face (the difference between the terrain's first 40 and first 20 rows of
// faces, so the start of the run drops out), which does not depend on the machine's load.
//
//   bench_convert PROGRAM MAKE_TERRAIN N [WORKDIR]
//   bench_convert PROGRAM MAKE_TERRAIN memory [WORKDIR]
//
// The second form compares the peak memory for about a thousand faces, about a million faces and a
// 1 GB DXF without a single line end (one line, which ends the run with 100).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

long fileSize(const std::string& path) {
    struct stat s {};
    return stat(path.c_str(), &s) == 0 ? static_cast<long>(s.st_size) : -1;
}

struct ChildRun {
    int status;
    double seconds;
    long peakKilobytes;
    double userSeconds;
    double systemSeconds;
};

double secondsOf(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

ChildRun runChild(const char* const* argv, const std::string& input, const std::string& output) {
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(input.c_str(), O_RDONLY);
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        execv(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, now() - start, usage.ru_maxrss,
            secondsOf(usage.ru_utime), secondsOf(usage.ru_stime)};
}

// The best (shortest) of several runs.
ChildRun bestOf(int runs, const char* const* argv, const std::string& input, const std::string& output) {
    ChildRun best = runChild(argv, input, output);
    for (int i = 1; i < runs; ++i) {
        const ChildRun next = runChild(argv, input, output);
        if (next.seconds < best.seconds) best = next;
    }
    return best;
}

struct FloorRun {
    double seconds;
    double cpuSeconds;
};

// Reads the DXF and writes outputBytes in 128-byte calls: what the I/O pattern costs by itself. Either
// all reads first and then all writes, or interleaved the way the program interleaves them (a write
// whenever the output has fallen behind the input in proportion), which is the program's own pattern.
FloorRun measureFloorOnce(const std::string& dxf, long outputBytes, const std::string& target, bool interleaved) {
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const double start = now();
    unsigned char block[128] = {};
    const long inputBytes = fileSize(dxf);
    const int in = open(dxf.c_str(), O_RDONLY);
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    long readSoFar = 0;
    long written = 0;
    const auto writeBlock = [&] {
        const long left = outputBytes - written;
        const auto n = static_cast<size_t>(left < 128 ? left : 128);
        if (write(out, block, n) < 0) written = outputBytes;
        written += static_cast<long>(n);
    };
    for (;;) {
        const ssize_t got = read(in, block, sizeof block);
        if (got <= 0) break;
        readSoFar += got;
        // Keep written / outputBytes level with readSoFar / inputBytes.
        while (interleaved && written < outputBytes &&
               static_cast<double>(written) * static_cast<double>(inputBytes) <
                   static_cast<double>(readSoFar) * static_cast<double>(outputBytes)) {
            writeBlock();
        }
    }
    while (written < outputBytes) writeBlock();
    close(in);
    close(out);
    const double seconds = now() - start;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    return {seconds, secondsOf(after.ru_utime) - secondsOf(before.ru_utime) + secondsOf(after.ru_stime) -
                         secondsOf(before.ru_stime)};
}

FloorRun measureFloor(int runs, const std::string& dxf, long outputBytes, const std::string& target,
                      bool interleaved) {
    FloorRun best = measureFloorOnce(dxf, outputBytes, target, interleaved);
    for (int i = 1; i < runs; ++i) {
        const FloorRun next = measureFloorOnce(dxf, outputBytes, target, interleaved);
        if (next.seconds < best.seconds) best = next;
    }
    return best;
}

void writeAnswers(const std::string& answers, const std::string& dxf, const std::string& script,
                  const char* thickness) {
    FILE* a = std::fopen(answers.c_str(), "wb");
    std::fprintf(a, "%s\r\n%s\r\n-1000\r\n%s\r\n", dxf.c_str(), script.c_str(), thickness);
    std::fclose(a);
}

bool makeTerrainFile(const std::string& makeTerrain, long n, const std::string& dxf) {
    const std::string size = std::to_string(n);
    const char* const makeArgs[] = {makeTerrain.c_str(), size.c_str(), dxf.c_str(), nullptr};
    return runChild(makeArgs, "/dev/null", "/dev/null").status == 0;
}

// The instructions valgrind counts for one conversion; -1 when valgrind cannot be run.
double countInstructions(const std::string& program, const std::string& answers, const std::string& dir) {
    const std::string log = dir + "/bench-callgrind.log";
    const std::string command = "valgrind --tool=callgrind --callgrind-out-file=/dev/null '" + program + "' < '" +
                                answers + "' > /dev/null 2> '" + log + "'";
    if (std::system(command.c_str()) != 0) return -1;
    FILE* f = std::fopen(log.c_str(), "r");
    if (f == nullptr) return -1;
    char line[512];
    double count = -1;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        const char* refs = std::strstr(line, "refs:");
        if (refs == nullptr) continue;
        std::string digits;
        for (const char* c = refs + 5; *c != '\0'; ++c) {
            if (*c >= '0' && *c <= '9') digits += *c;
        }
        count = std::atof(digits.c_str());
    }
    std::fclose(f);
    std::remove(log.c_str());
    return count;
}

// A copy of the DXF that ends after its first faces faces (a complete face is a correct end).
bool copyFirstFaces(const std::string& from, const std::string& to, long faces) {
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    bool ok = in != nullptr && out != nullptr;
    std::string previous;  // each line is written once the next one shows it is no face's first
    std::string line;
    long seen = 0;
    int c = 0;
    while (ok && (c = std::fgetc(in)) != EOF) {
        line += static_cast<char>(c);
        if (c != '\n') continue;
        if (line == "3DFACE\r\n" && ++seen > faces) break;  // previous is this face's "  0"
        std::fputs(previous.c_str(), out);
        previous = line;
        line.clear();
    }
    if (ok && seen <= faces) std::fputs(previous.c_str(), out);
    if (in != nullptr) std::fclose(in);
    if (out != nullptr) std::fclose(out);
    return ok;
}

// Instructions per face on the terrain's own rows: the difference between its first 40 and first 20
// rows of faces, so the start of the run drops out, while the corners come back as often, and as far
// apart, as in the whole terrain.
void reportInstructionsPerFace(const std::string& program, const std::string& dxf, long n, const std::string& dir) {
    if (std::system("valgrind --version > /dev/null 2>&1") != 0) {
        std::printf("instructions per face: valgrind is not installed\n");
        return;
    }
    const long rows[2] = {n < 40 ? n / 2 : 20, n < 40 ? n : 40};
    const long faces[2] = {2 * n * rows[0], 2 * n * rows[1]};
    const std::string part = dir + "/bench-rows.dxf";
    const std::string answers = dir + "/bench-rows-answers.txt";
    const std::string script = dir + "/bench-rows.scr";
    for (const char* thickness : {"0", "1.5"}) {
        double counts[2] = {-1, -1};
        for (int i = 0; i < 2; ++i) {
            if (!copyFirstFaces(dxf, part, faces[i])) return;
            writeAnswers(answers, part, script, thickness);
            counts[i] = countInstructions(program, answers, dir);
        }
        if (counts[0] < 0 || counts[1] < 0) {
            std::printf("instructions per face: valgrind failed\n");
            return;
        }
        std::printf("thickness %-3s: %.0f instructions per face (callgrind, the first %ld rows minus the first %ld)\n",
                    thickness, (counts[1] - counts[0]) / static_cast<double>(faces[1] - faces[0]), rows[1], rows[0]);
    }
    for (const std::string& file : {part, answers, script}) std::remove(file.c_str());
}

// Peak memory for three inputs that differ a thousandfold and more in size.
int benchMemory(const std::string& program, const std::string& makeTerrain, const std::string& dir) {
    struct Input {
        const char* what;
        long n;  // terrain size, or 0 for the file without line ends
    };
    const Input inputs[] = {{"968 faces (22 x 22)", 22}, {"999,698 faces (707 x 707)", 707},
                            {"1 GiB without a line end", 0}};
    const std::string dxf = dir + "/bench-memory.dxf";
    const std::string answers = dir + "/bench-memory-answers.txt";
    const std::string script = dir + "/bench-memory.scr";
    for (const Input& input : inputs) {
        if (input.n > 0) {
            if (!makeTerrainFile(makeTerrain, input.n, dxf)) return 1;
        } else {
            // 2^30 letters, no CR, no LF: the search for the first keyword sees one line.
            FILE* f = std::fopen(dxf.c_str(), "wb");
            if (f == nullptr) return 1;
            static char chunk[65536];
            for (std::size_t i = 0; i < sizeof chunk; ++i) chunk[i] = static_cast<char>('A' + i % 26);
            for (int i = 0; i < 16384; ++i) std::fwrite(chunk, 1, sizeof chunk, f);
            std::fclose(f);
        }
        writeAnswers(answers, dxf, script, "1.5");
        const char* const runArgs[] = {program.c_str(), nullptr};
        // The same run varies by some 100 KiB (where the loader places things), so several runs give the
        // smallest and the largest peak.
        constexpr int runs = 5;
        ChildRun run = runChild(runArgs, answers, dir + "/bench-dialogue.txt");
        long least = run.peakKilobytes;
        long most = run.peakKilobytes;
        for (int i = 1; i < runs; ++i) {
            run = runChild(runArgs, answers, dir + "/bench-dialogue.txt");
            if (run.peakKilobytes < least) least = run.peakKilobytes;
            if (run.peakKilobytes > most) most = run.peakKilobytes;
        }
        std::printf("%-26s: %7.1f MB DXF, status %3d, %6.2f s, peak RSS %ld-%ld KiB over %d runs\n", input.what,
                    static_cast<double>(fileSize(dxf)) / 1e6, run.status, run.seconds, least, most, runs);
    }
    for (const std::string& file : {dxf, answers, script}) std::remove(file.c_str());
    return 0;
}

int benchSpeed(const std::string& program, const std::string& makeTerrain, long n, const std::string& dir) {
    const std::string dxf = dir + "/bench-terrain.dxf";
    const long faces = 2 * n * n;
    constexpr int runs = 3;
    const double started = now();
    if (!makeTerrainFile(makeTerrain, n, dxf)) {
        std::fprintf(stderr, "bench_convert: the terrain could not be made\n");
        return 1;
    }
    const double madeIn = now() - started;
    const long inputBytes = fileSize(dxf);
    std::printf("terrain N=%ld: %ld faces, %.1f MB DXF (generated in %.2f s); best of %d runs\n", n, faces,
                static_cast<double>(inputBytes) / 1e6, madeIn, runs);

    const char* const thicknesses[] = {"0", "1.5"};
    for (const char* thickness : thicknesses) {
        const std::string answers = dir + "/bench-answers.txt";
        const std::string script = dir + "/bench-out.scr";
        writeAnswers(answers, dxf, script, thickness);
        const char* const runArgs[] = {program.c_str(), nullptr};
        const ChildRun run = bestOf(runs, runArgs, answers, dir + "/bench-dialogue.txt");
        const long outputBytes = fileSize(script);
        const FloorRun floor = measureFloor(runs, dxf, outputBytes, dir + "/bench-floor.out", true);
        const FloorRun sequential = measureFloor(runs, dxf, outputBytes, dir + "/bench-floor.out", false);
        std::printf(
            "thickness %-3s: status %d, %.3f s wall (cpu %.3f user + %.3f sys), %.0f faces/s, in %.1f MB/s, "
            "out %.1f MB/s (%.1f MB), peak RSS %ld KiB\n"
            "               floor %.3f s interleaved (cpu %.3f), ratio %.2f; %.3f s reads first (cpu %.3f), "
            "ratio %.2f\n",
            thickness, run.status, run.seconds, run.userSeconds, run.systemSeconds,
            static_cast<double>(faces) / run.seconds, static_cast<double>(inputBytes) / 1e6 / run.seconds,
            static_cast<double>(outputBytes) / 1e6 / run.seconds, static_cast<double>(outputBytes) / 1e6,
            run.peakKilobytes, floor.seconds, floor.cpuSeconds, run.seconds / floor.seconds, sequential.seconds,
            sequential.cpuSeconds, run.seconds / sequential.seconds);
    }
    std::remove((dir + "/bench-floor.out").c_str());
    reportInstructionsPerFace(program, dxf, n, dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_convert PROGRAM MAKE_TERRAIN N|memory [WORKDIR]\n");
        return 2;
    }
    const std::string program = argv[1];
    const std::string makeTerrain = argv[2];
    const std::string dir = argc > 4 ? argv[4] : ".";
    if (std::strcmp(argv[3], "memory") == 0) {
        return benchMemory(program, makeTerrain, dir);
    }
    return benchSpeed(program, makeTerrain, std::atol(argv[3]), dir);
}
