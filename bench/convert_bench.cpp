// The conversion benchmark: generates an N x N terrain (2 N^2 faces, CR LF), converts it with the real
// program, flat and as a slab, and measures the floor that the I/O pattern sets (the same input read
// and an output of the same size written, in 128-byte system calls). Prints faces per second, MB/s,
// wall times, the ratio of the conversion to the floor, and the peak resident memory of the child.
//
//   bench_convert PROGRAM MAKE_TERRAIN N [WORKDIR]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
};

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
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, now() - start, usage.ru_maxrss};
}

// Reads the DXF and writes outputBytes in 128-byte calls: what the I/O pattern costs by itself.
double measureFloor(const std::string& dxf, long outputBytes, const std::string& target) {
    const double start = now();
    unsigned char block[128];
    const int in = open(dxf.c_str(), O_RDONLY);
    while (read(in, block, sizeof block) > 0) {
    }
    close(in);
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (long left = outputBytes; left > 0; left -= 128) {
        const auto n = static_cast<size_t>(left < 128 ? left : 128);
        if (write(out, block, n) < 0) break;
    }
    close(out);
    return now() - start;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_convert PROGRAM MAKE_TERRAIN N [WORKDIR]\n");
        return 2;
    }
    const std::string program = argv[1];
    const std::string makeTerrain = argv[2];
    const long n = std::atol(argv[3]);
    const std::string dir = argc > 4 ? argv[4] : ".";
    const std::string dxf = dir + "/bench-terrain.dxf";
    const long faces = 2 * n * n;

    const std::string size = std::to_string(n);
    const char* const makeArgs[] = {makeTerrain.c_str(), size.c_str(), dxf.c_str(), nullptr};
    const double madeIn = runChild(makeArgs, "/dev/null", "/dev/null").seconds;
    const long inputBytes = fileSize(dxf);
    std::printf("terrain N=%ld: %ld faces, %.1f MB DXF (generated in %.2f s)\n", n, faces,
                static_cast<double>(inputBytes) / 1e6, madeIn);

    const char* const thicknesses[] = {"0", "1.5"};
    for (const char* thickness : thicknesses) {
        const std::string answers = dir + "/bench-answers.txt";
        const std::string script = dir + "/bench-out.scr";
        FILE* a = std::fopen(answers.c_str(), "wb");
        std::fprintf(a, "%s\r\n%s\r\n-1000\r\n%s\r\n", dxf.c_str(), script.c_str(), thickness);
        std::fclose(a);
        const char* const runArgs[] = {program.c_str(), nullptr};
        const ChildRun run = runChild(runArgs, answers, dir + "/bench-dialogue.txt");
        const long outputBytes = fileSize(script);
        const double floor = measureFloor(dxf, outputBytes, dir + "/bench-floor.out");
        std::printf(
            "thickness %-3s: status %d, %.3f s wall, %.0f faces/s, in %.1f MB/s, out %.1f MB/s (%.1f MB), "
            "floor %.3f s, ratio %.2f, peak RSS %ld KiB\n",
            thickness, run.status, run.seconds, static_cast<double>(faces) / run.seconds,
            static_cast<double>(inputBytes) / 1e6 / run.seconds,
            static_cast<double>(outputBytes) / 1e6 / run.seconds, static_cast<double>(outputBytes) / 1e6,
            floor, run.seconds / floor, run.peakKilobytes);
    }
    return 0;
}
