// Extended against a second, independent implementation: the host's x87 unit, where long double is the
// 80-bit format. Every result is compared bit for bit, and whether a fault was raised is compared with
// the hardware's exception flags (the host runs with every exception masked, so its results are the
// masked responses that our operations deliver when the fault handler returns). Elsewhere the tests
// are skipped.
#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "numeric/extended.hpp"
#include "numeric_test_support.hpp"

namespace m2s::testing {
namespace {

#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
#define M2S_HOST_X87 1
#endif

struct Outcome {
    Extended value;
    std::uint32_t fault;  // 0, or the run-time error number the operation raised
};

bool operator==(Outcome a, Outcome b) { return sameBits(a.value, b.value) && a.fault == b.fault; }

std::string describe(Outcome o) { return hex(o.value) + (o.fault != 0 ? " fault " + std::to_string(o.fault) : ""); }

enum class Operation : std::uint8_t { add, subtract, multiply, divide, roundToIntegral };

Outcome viaExtended(Operation op, Extended a, Extended b) {
    takeFault();
    Extended value{};
    switch (op) {
        case Operation::add: value = add(a, b); break;
        case Operation::subtract: value = subtract(a, b); break;
        case Operation::multiply: value = multiply(a, b); break;
        case Operation::divide: value = divide(a, b); break;
        case Operation::roundToIntegral: value = roundToIntegral(a); break;
    }
    return Outcome{value, takeFault()};
}

#if defined(M2S_HOST_X87)

long double toHost(Extended a) {
    long double x = 0;
    std::memset(&x, 0, sizeof x);
    std::memcpy(&x, &a.significand, 8);
    std::memcpy(reinterpret_cast<unsigned char*>(&x) + 8, &a.signExponent, 2);
    return x;
}

Extended fromHost(long double x) {
    Extended a{};
    std::memcpy(&a.significand, &x, 8);
    std::memcpy(&a.signExponent, reinterpret_cast<const unsigned char*>(&x) + 8, 2);
    return a;
}

std::uint32_t hostFault() {
    const int flags = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    if ((flags & FE_INVALID) != 0) return faultInvalidOperation;
    if ((flags & FE_DIVBYZERO) != 0) return faultDivisionByZero;
    if ((flags & FE_OVERFLOW) != 0) return faultOverflow;
    return 0;
}

// Volatile operands and result keep the compiler from folding or moving the operation past the flag
// test; the 80-bit loads and stores themselves never raise anything.
Outcome viaHardware(Operation op, Extended a, Extended b) {
    volatile long double x = toHost(a);
    volatile long double y = toHost(b);
    volatile long double r = 0;
    std::feclearexcept(FE_ALL_EXCEPT);
    switch (op) {
        case Operation::add: r = x + y; break;
        case Operation::subtract: r = x - y; break;
        case Operation::multiply: r = x * y; break;
        case Operation::divide: r = x / y; break;
        case Operation::roundToIntegral: {
            long double v = x;
            __asm__ volatile("frndint" : "+t"(v));
            r = v;
            break;
        }
    }
    const std::uint32_t fault = hostFault();
    return Outcome{fromHost(r), fault};
}

// The comparisons: FCOMI for the ordered ones, FUCOMI for equality, flags read straight off EFLAGS.
struct HostComparison {
    bool below;
    bool equal;
    bool unordered;
    std::uint32_t fault;
};

HostComparison compareOnHost(Extended a, Extended b, bool quiet) {
    const long double x = toHost(a);
    const long double y = toHost(b);
    unsigned char below = 0;
    unsigned char zero = 0;
    unsigned char parity = 0;
    std::feclearexcept(FE_ALL_EXCEPT);
    if (quiet) {
        __asm__ volatile(
            "fldt %4\n\tfldt %3\n\tfucomip %%st(1), %%st\n\tfstp %%st(0)\n\tsetb %0\n\tsete %1\n\tsetp %2"
            : "=q"(below), "=q"(zero), "=q"(parity)
            : "m"(x), "m"(y)
            : "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)", "cc");
    } else {
        __asm__ volatile(
            "fldt %4\n\tfldt %3\n\tfcomip %%st(1), %%st\n\tfstp %%st(0)\n\tsetb %0\n\tsete %1\n\tsetp %2"
            : "=q"(below), "=q"(zero), "=q"(parity)
            : "m"(x), "m"(y)
            : "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)", "cc");
    }
    const std::uint32_t fault = hostFault();
    if (parity != 0) return HostComparison{false, false, true, fault};
    return HostComparison{below != 0, zero != 0, false, fault};
}

bool hostIsExtendedPrecision() {
    std::uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    return (control & 0x0F00) == 0x0300;  // precision 64 bits, rounding to nearest
}

#define SKIP_UNLESS_X87()                                                           \
    do {                                                                            \
        if (!hostIsExtendedPrecision()) GTEST_SKIP() << "x87 not in extended mode"; \
        std::fesetround(FE_TONEAREST);                                              \
    } while (false)

#else

Outcome viaHardware(Operation, Extended, Extended) { return Outcome{}; }

#define SKIP_UNLESS_X87() GTEST_SKIP() << "the host's long double is not the x87 80-bit format"

#endif

// Operands drawn across the whole encoding space, biased towards where arithmetic goes wrong.
struct Random {
    std::uint64_t state;
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
};

std::uint64_t randomSignificand(Random& rng) {
    const std::uint64_t bits = rng.next();
    switch (rng.below(10)) {
        case 0: return ~std::uint64_t{0};                               // all ones
        case 1: return 0x8000000000000000u;                             // a power of two
        case 2: return 0x8000000000000000u | (bits & 0xFFu);            // just above one
        case 3: return ~std::uint64_t{0} << rng.below(64);              // ones, then zeros
        case 4: return 0x8000000000000000u | (bits >> rng.below(64));   // leading zeros in the fraction
        case 5: return 0x8000000000000000u | (1u << rng.below(11)) | (bits << 53);  // tie patterns
        default: return 0x8000000000000000u | bits;
    }
}

std::uint16_t randomExponent(Random& rng) {
    switch (rng.below(8)) {
        case 0: return static_cast<std::uint16_t>(0x7FFE - rng.below(70));  // near overflow
        case 1: return static_cast<std::uint16_t>(1 + rng.below(70));       // near underflow
        case 2: return static_cast<std::uint16_t>(0x3FFF - 40 + rng.below(80));
        default: return static_cast<std::uint16_t>(1 + rng.below(0x7FFE));
    }
}

Extended randomOperand(Random& rng) {
    const std::uint16_t sign = rng.below(2) != 0 ? 0x8000 : 0;
    const std::uint64_t bits = rng.next();
    switch (rng.below(64)) {
        case 0: case 1: return Extended{sign, 0};                                              // zero
        case 2: return Extended{static_cast<std::uint16_t>(sign | 0x7FFF), 0x8000000000000000u};  // infinity
        case 3: return Extended{static_cast<std::uint16_t>(sign | 0x7FFF), 0xC000000000000000u | (bits >> 2)};
        case 4: return Extended{static_cast<std::uint16_t>(sign | 0x7FFF), 0x8000000000000000u | ((bits >> 2) | 1u)};
        case 5: case 6: case 7: case 8:
            return Extended{sign, (bits >> rng.below(64)) & 0x7FFFFFFFFFFFFFFFu};          // subnormal
        case 9: return Extended{sign, 0x8000000000000000u | bits};                          // pseudo-denormal
        case 10: return Extended{static_cast<std::uint16_t>(sign | randomExponent(rng)), bits >> 1};  // unnormal
        case 11: return Extended{static_cast<std::uint16_t>(sign | 0x7FFF), (bits >> 1) >> rng.below(64)};
        default: return Extended{static_cast<std::uint16_t>(sign | randomExponent(rng)), randomSignificand(rng)};
    }
}

// A second operand related to the first as the operation makes interesting: close exponents for
// cancellation, exponents whose sum or difference lands near the ends of the range, near-copies.
Extended partnerOperand(Random& rng, Operation op, Extended a) {
    const std::int32_t exponentA = a.signExponent & 0x7FFF;
    const std::uint16_t sign = rng.below(2) != 0 ? 0x8000 : 0;
    auto clampExponent = [](std::int32_t e) {
        return static_cast<std::uint16_t>(e < 0 ? 0 : e > 0x7FFE ? 0x7FFE : e);
    };
    switch (rng.below(6)) {
        case 0: case 1: return randomOperand(rng);
        case 2: {  // a near-copy
            Extended b{static_cast<std::uint16_t>(sign | exponentA), a.significand ^ (rng.next() >> rng.below(64) >> 1)};
            if (rng.below(2) != 0) b.significand ^= std::uint64_t{1} << rng.below(64);
            return b;
        }
        default: break;
    }
    const std::int32_t delta = static_cast<std::int32_t>(rng.below(140)) - 70;
    std::int32_t exponentB = exponentA + delta;
    if (op == Operation::multiply) {
        exponentB = (rng.below(2) != 0 ? 0x7FFE : 0) - exponentA + 0x3FFF + static_cast<std::int32_t>(rng.below(6)) - 3;
    } else if (op == Operation::divide) {
        exponentB = exponentA - (rng.below(2) != 0 ? 0x7FFE : 0) + 0x3FFF + static_cast<std::int32_t>(rng.below(6)) - 3;
    } else if (rng.below(2) != 0) {
        exponentB = exponentA + static_cast<std::int32_t>(rng.below(5)) - 2;
    }
    std::uint64_t sig = randomSignificand(rng);
    std::uint16_t e = clampExponent(exponentB);
    if (e == 0) sig >>= 1 + rng.below(63);
    return Extended{static_cast<std::uint16_t>(sign | e), sig};
}

struct Mismatches {
    int count = 0;
    std::string shown;
    void note(const std::string& what) {
        if (++count <= 12) shown += what + "\n";
    }
};

void compareOne(Operation op, Extended a, Extended b, Mismatches& mismatches) {
    const Outcome ours = viaExtended(op, a, b);
    const Outcome theirs = viaHardware(op, a, b);
    if (!(ours == theirs)) {
        mismatches.note(hex(a) + " " + hex(b) + ": ours " + describe(ours) + ", x87 " + describe(theirs));
    }
}

constexpr int randomPairsPerOperation = 1000000;

void compareRandomPairs(Operation op, std::uint64_t seed) {
    startRecordingFaults();
    Random rng{seed};
    Mismatches mismatches;
    for (int i = 0; i < randomPairsPerOperation; ++i) {
        const Extended a = randomOperand(rng);
        const Extended b = partnerOperand(rng, op, a);
        compareOne(op, a, b, mismatches);
    }
    EXPECT_EQ(mismatches.count, 0) << mismatches.shown;
}

TEST(ExtendedAgainstX87, AddRandomPairs) {
    SKIP_UNLESS_X87();
    compareRandomPairs(Operation::add, 1);
}

TEST(ExtendedAgainstX87, SubtractRandomPairs) {
    SKIP_UNLESS_X87();
    compareRandomPairs(Operation::subtract, 2);
}

TEST(ExtendedAgainstX87, MultiplyRandomPairs) {
    SKIP_UNLESS_X87();
    compareRandomPairs(Operation::multiply, 3);
}

TEST(ExtendedAgainstX87, DivideRandomPairs) {
    SKIP_UNLESS_X87();
    compareRandomPairs(Operation::divide, 4);
}

TEST(ExtendedAgainstX87, RoundToIntegralRandomValues) {
    SKIP_UNLESS_X87();
    startRecordingFaults();
    Random rng{5};
    Mismatches mismatches;
    for (int i = 0; i < randomPairsPerOperation; ++i) {
        Extended a = randomOperand(rng);
        if (rng.below(2) != 0) {  // most interesting between 2^-2 and 2^64: halves, ties, carries
            a.signExponent = static_cast<std::uint16_t>((a.signExponent & 0x8000) | (0x3FFD + rng.below(68)));
            a.significand |= 0x8000000000000000u;
        }
        compareOne(Operation::roundToIntegral, a, Extended{}, mismatches);
    }
    EXPECT_EQ(mismatches.count, 0) << mismatches.shown;
}

// Values at the edges that every operation meets: each one against each other one.
std::vector<Extended> structuredValues() {
    std::vector<Extended> values;
    const std::uint64_t one = 0x8000000000000000u;
    const std::uint64_t ones = ~std::uint64_t{0};
    const Extended positives[] = {
        {0x0000, 0},                      // zero
        {0x0000, 1},                      // smallest subnormal
        {0x0000, 2},
        {0x0000, 3},
        {0x0000, 0x7FFFFFFFFFFFFFFFu},    // largest subnormal
        {0x0000, 0x4000000000000000u},
        {0x0000, one},                    // pseudo-denormal
        {0x0001, one},                    // smallest normal
        {0x0001, one | 1u},
        {0x0001, ones},
        {0x0002, one},
        {0x003F, one},
        {0x0040, ones},
        {0x3FBF, one},                    // 2^-64
        {0x3FC0, one},
        {0x3FFE, one},                    // 0.5
        {0x3FFE, ones},
        {0x3FFF, one},                    // 1
        {0x3FFF, one | 1u},
        {0x3FFF, ones},
        {0x4000, one},                    // 2
        {0x4000, 0xC000000000000000u},    // 3
        {0x4000, 0xA000000000000000u},    // 2.5
        {0x3FFF, 0xC000000000000000u},    // 1.5
        {0x403E, ones},                   // 2^64 - 1
        {0x403E, one},                    // 2^63
        {0x403D, ones},
        {0x403F, one},                    // 2^64
        {0x3FFD, 0xCCCCCCCCCCCCCCCDu},    // 0.2 rounded
        {0x4002, 0xA000000000000000u},    // 10
        {0x7FFE, ones},                   // the largest finite value
        {0x7FFE, ones - 1},
        {0x7FFE, one},
        {0x7FFD, ones},
        {0x7FFF, one},                    // infinity
        {0x7FFF, 0xC000000000000000u},    // quiet NaN
        {0x7FFF, 0xC000000000000001u},
        {0x7FFF, 0x8000000000000001u},    // signalling NaN
        {0x7FFF, 0xA000000000000000u},
        {0x7FFF, 0},                      // pseudo-infinity
        {0x7FFF, 0x4000000000000000u},    // pseudo-NaN
        {0x3FFF, 0x4000000000000000u},    // unnormal
        {0x0001, 0},                      // unnormal zero
    };
    for (const Extended v : positives) {
        values.push_back(v);
        values.push_back(Extended{static_cast<std::uint16_t>(v.signExponent | 0x8000), v.significand});
    }
    return values;
}

TEST(ExtendedAgainstX87, StructuredPairsForEveryOperation) {
    SKIP_UNLESS_X87();
    startRecordingFaults();
    const std::vector<Extended> values = structuredValues();
    const Operation operations[] = {Operation::add, Operation::subtract, Operation::multiply, Operation::divide};
    for (const Operation op : operations) {
        Mismatches mismatches;
        for (const Extended a : values) {
            for (const Extended b : values) compareOne(op, a, b, mismatches);
        }
        EXPECT_EQ(mismatches.count, 0) << "operation " << static_cast<int>(op) << "\n" << mismatches.shown;
    }
    Mismatches rounding;
    for (const Extended a : values) compareOne(Operation::roundToIntegral, a, Extended{}, rounding);
    EXPECT_EQ(rounding.count, 0) << rounding.shown;
}

// Sums exactly half an ulp apart (ties), and sums and products just below, at and above the overflow
// threshold, built so that the exact result sits on the boundary.
TEST(ExtendedAgainstX87, TiesAndOverflowThreshold) {
    SKIP_UNLESS_X87();
    startRecordingFaults();
    Mismatches mismatches;
    const std::uint64_t ones = ~std::uint64_t{0};
    for (std::uint16_t e = 0x3FFF; e < 0x7FFF; e = static_cast<std::uint16_t>(e + 0x3FF)) {
        for (std::uint64_t low = 0; low < 4; ++low) {
            const Extended a{e, 0x8000000000000000u | low};
            for (std::uint16_t d = 64; d <= 66; ++d) {
                const Extended half{static_cast<std::uint16_t>(e - d), 0x8000000000000000u};
                compareOne(Operation::add, a, half, mismatches);
                compareOne(Operation::subtract, a, half, mismatches);
                const Extended halfAndMore{static_cast<std::uint16_t>(e - d), 0x8000000000000001u};
                compareOne(Operation::add, a, halfAndMore, mismatches);
                compareOne(Operation::subtract, a, halfAndMore, mismatches);
            }
        }
    }
    const Extended largest{0x7FFE, ones};
    for (std::uint16_t d = 62; d <= 66; ++d) {
        for (std::uint64_t sig : {0x8000000000000000u, 0x8000000000000001u, 0xFFFFFFFFFFFFFFFFu}) {
            const Extended small{static_cast<std::uint16_t>(0x7FFE - d), sig};
            compareOne(Operation::add, largest, small, mismatches);
            compareOne(Operation::subtract, negate(largest), small, mismatches);
        }
    }
    for (std::uint64_t sig : {0x8000000000000000u, 0x8000000000000001u, 0xFFFFFFFFFFFFFFFEu, ones}) {
        for (std::uint16_t e = 0x3FFD; e <= 0x4000; ++e) {
            const Extended factor{e, sig};
            compareOne(Operation::multiply, largest, factor, mismatches);
            compareOne(Operation::divide, largest, factor, mismatches);
            compareOne(Operation::divide, Extended{0x0001, 0x8000000000000000u}, Extended{e, sig}, mismatches);
            compareOne(Operation::multiply, Extended{0x0001, ones}, factor, mismatches);
        }
    }
    EXPECT_EQ(mismatches.count, 0) << mismatches.shown;
}

#if defined(M2S_HOST_X87)

void compareComparisons(Extended a, Extended b, Mismatches& mismatches) {
    const HostComparison ordered = compareOnHost(a, b, false);
    takeFault();
    const bool less = isLess(a, b);
    const std::uint32_t lessFault = takeFault();
    const bool greater = isGreater(a, b);
    const std::uint32_t greaterFault = takeFault();
    const bool expectGreater = !ordered.below && !ordered.equal && !ordered.unordered;
    if (less != ordered.below || lessFault != ordered.fault || greater != expectGreater || greaterFault != ordered.fault) {
        mismatches.note(hex(a) + " " + hex(b) + ": ordered comparison differs");
    }
    const HostComparison unordered = compareOnHost(a, b, true);
    const bool equal = isEqual(a, b);
    const std::uint32_t equalFault = takeFault();
    if (equal != unordered.equal || equalFault != unordered.fault) {
        mismatches.note(hex(a) + " " + hex(b) + ": equality differs");
    }
}

TEST(ExtendedAgainstX87, Comparisons) {
    SKIP_UNLESS_X87();
    startRecordingFaults();
    Mismatches mismatches;
    const std::vector<Extended> values = structuredValues();
    for (const Extended a : values) {
        for (const Extended b : values) compareComparisons(a, b, mismatches);
    }
    Random rng{6};
    for (int i = 0; i < 200000; ++i) {
        const Extended a = randomOperand(rng);
        compareComparisons(a, partnerOperand(rng, Operation::add, a), mismatches);
    }
    EXPECT_EQ(mismatches.count, 0) << mismatches.shown;
}

#endif

}  // namespace
}  // namespace m2s::testing
