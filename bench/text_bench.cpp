// Throughput of number reading and writing on survey coordinates as a DXF holds them: readReal over a
// file of value lines (with the skipLine that follows each), the token conversion alone, writeReal
// into a writer, and the formatting alone. Figures to improve, not tests.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "text/io_error.hpp"
#include "text/script_text_writer.hpp"
#include "text/text_line_reader.hpp"

namespace {

const char* const coordinates[] = {"512345.1234", "4612345.5678", "152.25"};

m2s::Extended parse(const char* token) {
    m2s::Extended value{};
    m2s::convertNumberToken(reinterpret_cast<const std::uint8_t*>(token), std::strlen(token), value);
    return value;
}

// A DXF-like file of value lines, each followed by a group-code line as in a 3DFACE.
std::string makeValueFile() {
    char pattern[] = "/tmp/m2s-bench-XXXXXX";
    const int fd = ::mkstemp(pattern);
    std::string text;
    for (int i = 0; i < 30000; ++i) {
        text += coordinates[i % 3];
        text += "\r\n 20\r\n";
    }
    if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        std::abort();
    }
    ::close(fd);
    return pattern;
}

void ReadReal(benchmark::State& state) {
    const std::string path = makeValueFile();
    m2s::TextLineReader reader;
    m2s::openRead(reader, reinterpret_cast<const std::uint8_t*>(path.data()), path.size());
    for (auto _ : state) {
        if (m2s::atEnd(reader)) {
            state.PauseTiming();
            m2s::close(reader);
            m2s::openRead(reader, reinterpret_cast<const std::uint8_t*>(path.data()), path.size());
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(m2s::readReal(reader));
        m2s::skipLine(reader);
        m2s::skipLine(reader);
    }
    m2s::close(reader);
    ::unlink(path.c_str());
    if (m2s::ioErrorCode != 0) state.SkipWithError("a stream failure");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReadReal);

void ConvertToken(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        const char* token = coordinates[i++ % 3];
        m2s::Extended value{};
        m2s::convertNumberToken(reinterpret_cast<const std::uint8_t*>(token), std::strlen(token), value);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ConvertToken);

void WriteReal(benchmark::State& state) {
    const m2s::Extended values[] = {parse(coordinates[0]), parse(coordinates[1]), parse(coordinates[2])};
    m2s::ScriptTextWriter writer;
    const char name[] = "/dev/null";
    m2s::createWrite(writer, reinterpret_cast<const std::uint8_t*>(name), sizeof name - 1);
    std::size_t i = 0;
    for (auto _ : state) {
        m2s::writeReal(writer, values[i++ % 3], 3, 4);
        m2s::writeChar(writer, ',');
    }
    m2s::close(writer);
    if (m2s::ioErrorCode != 0) state.SkipWithError("a stream failure");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(WriteReal);

void FormatReal(benchmark::State& state) {
    const m2s::Extended values[] = {parse(coordinates[0]), parse(coordinates[1]), parse(coordinates[2])};
    char text[255];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m2s::formatReal(values[i++ % 3], 3, 4, text));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FormatReal);

}  // namespace

BENCHMARK_MAIN();
