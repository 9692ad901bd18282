// make_terrain: writes a deterministic N x N terrain as an ASCII DXF (Release 12) of 2·N² triangular
// 3DFACE entities with CR LF line ends, the way a survey package exports a triangulated ground model:
// a small HEADER section, the ENTITIES section, one face per triangle with corner 4 repeating corner 3.
// Coordinates are kept as integers in ten-thousandths of a metre and printed from those integers, so the
// file is the same byte for byte on every machine and compiler. Used for the bundled example mesh, the
// end-to-end tests and the conversion benchmark.
//
// Usage: make_terrain N [output-path]   (without a path the DXF goes to standard output)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// All lengths in ten-thousandths of a metre.
constexpr std::int64_t originX = 5123451234;   // 512345.1234
constexpr std::int64_t originY = 46123455678;  // 4612345.5678
constexpr std::int64_t baseZ = 1522500;        // 152.2500
constexpr std::int64_t gridStep = 25000;       // 2.5 m between survey points
constexpr std::int64_t largestN = 5000;

struct Output {
    std::FILE* file = nullptr;
    char buffer[1 << 16];
    std::size_t used = 0;
    bool failed = false;
};

void drain(Output& out) {
    if (out.used != 0 && std::fwrite(out.buffer, 1, out.used, out.file) != out.used) {
        out.failed = true;
    }
    out.used = 0;
}

void put(Output& out, const char* text, std::size_t length) {
    if (sizeof out.buffer - out.used < length) {
        drain(out);
    }
    std::memcpy(out.buffer + out.used, text, length);
    out.used += length;
}

void putLine(Output& out, const char* text) {
    put(out, text, std::strlen(text));
    put(out, "\r\n", 2);
}

// A fixed-point value with exactly four decimals, then the line end.
void putFixed(Output& out, std::int64_t tenThousandths) {
    char text[32];
    std::size_t n = sizeof text;
    text[--n] = '\n';
    text[--n] = '\r';
    const bool negative = tenThousandths < 0;
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(tenThousandths)
                                       : static_cast<std::uint64_t>(tenThousandths);
    for (int decimal = 0; decimal < 4; ++decimal) {
        text[--n] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    text[--n] = '.';
    do {
        text[--n] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        text[--n] = '-';
    }
    put(out, text + n, sizeof text - n);
}

// A well-mixed 32-bit value for a grid point: the survey's small irregularities.
std::uint32_t pointHash(std::int64_t i, std::int64_t j, std::uint32_t salt) {
    std::uint32_t h = static_cast<std::uint32_t>(i) * 73856093u ^ static_cast<std::uint32_t>(j) * 19349663u ^ salt;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// A triangle wave of the given period and height, for long gentle undulations.
std::int64_t wave(std::int64_t t, std::int64_t period, std::int64_t height) {
    const std::int64_t phase = t % period;
    const std::int64_t half = period / 2;
    return (phase < half ? phase : period - phase) * height / half;
}

struct Point {
    std::int64_t x, y, z;
};

Point gridPoint(std::int64_t i, std::int64_t j) {
    // Surveyed points sit within a few centimetres of the nominal grid.
    const std::int64_t jitterX = static_cast<std::int64_t>(pointHash(i, j, 1) % 801) - 400;
    const std::int64_t jitterY = static_cast<std::int64_t>(pointHash(i, j, 2) % 801) - 400;
    const std::int64_t roughness = static_cast<std::int64_t>(pointHash(i, j, 3) % 1201) - 600;
    const std::int64_t z = baseZ + 180 * i - 95 * j + wave(i + 2 * j, 46, 31000) + wave(3 * i + j + 7, 29, 12000) +
                           roughness;
    return Point{originX + i * gridStep + jitterX, originY + j * gridStep + jitterY, z};
}

void putFace(Output& out, const Point& a, const Point& b, const Point& c) {
    static const char* const codes[4][3] = {
        {" 10", " 20", " 30"}, {" 11", " 21", " 31"}, {" 12", " 22", " 32"}, {" 13", " 23", " 33"}};
    const Point* const corners[4] = {&a, &b, &c, &c};
    putLine(out, "  0");
    putLine(out, "3DFACE");
    putLine(out, "  8");
    putLine(out, "TERRENO");
    for (int k = 0; k < 4; ++k) {
        putLine(out, codes[k][0]);
        putFixed(out, corners[k]->x);
        putLine(out, codes[k][1]);
        putFixed(out, corners[k]->y);
        putLine(out, codes[k][2]);
        putFixed(out, corners[k]->z);
    }
}

void putTerrain(Output& out, std::int64_t n) {
    static const char* const head[] = {"  0", "SECTION", "  2", "HEADER", "  9", "$ACADVER", "  1", "AC1009",
                                       "  9", "$INSBASE", " 10", "0.0", " 20", "0.0", " 30", "0.0",
                                       "  0", "ENDSEC", "  0", "SECTION", "  2", "ENTITIES"};
    for (const char* line : head) {
        putLine(out, line);
    }
    for (std::int64_t j = 0; j < n; ++j) {
        for (std::int64_t i = 0; i < n; ++i) {
            const Point p00 = gridPoint(i, j);
            const Point p10 = gridPoint(i + 1, j);
            const Point p11 = gridPoint(i + 1, j + 1);
            const Point p01 = gridPoint(i, j + 1);
            putFace(out, p00, p10, p11);
            putFace(out, p00, p11, p01);
        }
    }
    putLine(out, "  0");
    putLine(out, "ENDSEC");
    putLine(out, "  0");
    putLine(out, "EOF");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fputs("usage: make_terrain N [output-path]\n", stderr);
        return 2;
    }
    char* end = nullptr;
    const long long n = std::strtoll(argv[1], &end, 10);
    if (*argv[1] == '\0' || *end != '\0' || n < 1 || n > largestN) {
        std::fprintf(stderr, "make_terrain: N must be a whole number from 1 to %lld\n",
                     static_cast<long long>(largestN));
        return 2;
    }
    static Output out;
    out.file = argc == 3 ? std::fopen(argv[2], "wb") : stdout;
    if (out.file == nullptr) {
        std::fprintf(stderr, "make_terrain: cannot create %s\n", argv[2]);
        return 1;
    }
    putTerrain(out, n);
    drain(out);
    if ((argc == 3 ? std::fclose(out.file) : std::fflush(out.file)) != 0 || out.failed) {
        std::fputs("make_terrain: write failed\n", stderr);
        return 1;
    }
    return 0;
}
