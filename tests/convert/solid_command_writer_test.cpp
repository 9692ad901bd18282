// The command block of one face, captured through a real script writer on a temporary file: the worked
// face with and without a thickness byte for byte, the highest corner (ties, nothing above -1e30), the
// keep-side points taken under and over corner 3 whichever corner is highest, and which thickness
// values add the second slice.
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/face_corners.hpp"
#include "convert/solid_command_writer.hpp"
#include "convert_test_support.hpp"
#include "text/script_text_writer.hpp"

namespace m2s {
namespace {

using testing::readFile;
using testing::real;
using testing::temporaryPath;

FaceCorners face(const char* const (&values)[12]) {
    FaceCorners f{};
    Extended* const fields[] = {&f.x1, &f.y1, &f.z1, &f.x2, &f.y2, &f.z2, &f.x3, &f.y3, &f.z3, &f.x4, &f.y4, &f.z4};
    for (int i = 0; i < 12; ++i) {
        *fields[i] = real(values[i]);
    }
    return f;
}

// The script text of the given faces, all with the same zBase and thickness.
std::string scriptOf(const std::vector<FaceCorners>& faces, Extended zBase, Extended thickness) {
    const std::string path = temporaryPath("script");
    ScriptTextWriter script;
    createWrite(script, reinterpret_cast<const std::uint8_t*>(path.data()), path.size());
    for (const FaceCorners& f : faces) {
        writeFace(script, f, zBase, thickness);
    }
    close(script);
    return readFile(path);
}

std::string scriptOf(const std::vector<FaceCorners>& faces, const char* zBase, const char* thickness) {
    return scriptOf(faces, real(zBase), real(thickness));
}

std::vector<std::string> linesOf(const std::string& script) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = script.find("\r\n"); end != std::string::npos; end = script.find("\r\n", start)) {
        lines.push_back(script.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, script.size()) << "the script ends inside a line";
    return lines;
}

// The face of the worked example: (10, 20, 5), (30, 20, 9.5), (20, 40, 7), corner 4 repeating corner 3.
const FaceCorners workedFace = face({"10.0", "20.0", "5.0", "30.0", "20.0", "9.5", "20.0", "40.0", "7.0", "20.0",
                                     "40.0", "7.0"});

const char* const workedBlock =
    "_PLINE\r\n"
    "10.0000,20.0000,-2.0000\r\n"
    "30.0000,20.0000\r\n"
    "20.0000,40.0000\r\n"
    "c\r\n"
    "_EXTRUDE\r\n"
    "l\r\n"
    "\r\n"
    "12.5000\r\n"
    "\r\n"
    "_SLICE\r\n"
    "l\r\n"
    "\r\n"
    "10.0000,20.0000,5.0000\r\n"
    "30.0000,20.0000,9.5000\r\n"
    "20.0000,40.0000,7.0000\r\n"
    "20.0000,40.0000,-2.0000\r\n";

const char* const workedSecondSlice =
    "_SLICE\r\n"
    "l\r\n"
    "\r\n"
    "10.0000,20.0000,3.5000\r\n"
    "30.0000,20.0000,8.0000\r\n"
    "20.0000,40.0000,5.5000\r\n"
    "20.0000,40.0000,11.0000\r\n";

TEST(SolidCommandWriter, WorkedFaceWithoutThicknessIsTheSeventeenLineBlock) {
    EXPECT_EQ(scriptOf({workedFace}, "-2", "0"), workedBlock);
}

TEST(SolidCommandWriter, WorkedFaceWithThicknessAddsTheSecondSlice) {
    EXPECT_EQ(scriptOf({workedFace}, "-2", "1.5"), std::string(workedBlock) + workedSecondSlice);
}

TEST(SolidCommandWriter, FacesFollowEachOtherWithNothingBetweenThem) {
    EXPECT_EQ(scriptOf({workedFace, workedFace}, "-2", "0"), std::string(workedBlock) + workedBlock);
}

TEST(SolidCommandWriter, CornerFourTakesNoPart) {
    FaceCorners fourCorners = workedFace;
    fourCorners.x4 = real("1000");
    fourCorners.y4 = real("-1000");
    fourCorners.z4 = real("500");
    EXPECT_EQ(scriptOf({fourCorners}, "-2", "1.5"), std::string(workedBlock) + workedSecondSlice);
}

struct HighestCornerCase {
    const char* name;
    const char* z1;
    const char* z2;
    const char* z3;
    const char* zBase;
    const char* height;  // line 9
};

class HighestCorner : public ::testing::TestWithParam<HighestCornerCase> {};

TEST_P(HighestCorner, GivesTheExtrusionHeight) {
    const HighestCornerCase& c = GetParam();
    const FaceCorners f = face({"1", "2", c.z1, "3", "4", c.z2, "5", "6", c.z3, "7", "8", "9999"});
    const std::vector<std::string> lines = linesOf(scriptOf({f}, c.zBase, "0"));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[8], c.height);
}

INSTANTIATE_TEST_SUITE_P(
    SolidCommandWriter, HighestCorner,
    ::testing::Values(
        HighestCornerCase{"FirstHighest", "9", "3", "4", "0", "10.0000"},
        HighestCornerCase{"SecondHighest", "3", "9", "4", "0", "10.0000"},
        HighestCornerCase{"ThirdHighest", "3", "4", "9", "0", "10.0000"},
        HighestCornerCase{"TwoTiedHighest", "7.25", "2", "7.25", "-2", "10.2500"},
        HighestCornerCase{"AllThreeTied", "7.25", "7.25", "7.25", "-2", "10.2500"},
        // -0 is not greater than +0: the first one stays, and the height is the same either way.
        HighestCornerCase{"SignedZeros", "-0", "0", "-0", "-1", "2.0000"},
        // Nothing lies above the start value: it stays, and the height is -1e30 - zBase + 1.
        HighestCornerCase{"AllBelowStart", "-3e30", "-5e31", "-1e35", "-2e30", "1000000000000000000000000000000.0000"},
        HighestCornerCase{"AllAtStart", "-1e30", "-1e30", "-1e30", "-1e30", "1.0000"},
        HighestCornerCase{"OneJustAboveStart", "-3e30", "-0.9e30", "-1e35", "-1e30",
                          "100000000000000000000000000000.0000"},
        // Subtraction first, then the margin: 2^64 + 1 would round back to 2^64 and lose the margin.
        HighestCornerCase{"MarginAfterSubtraction", "18446744073709551616", "0", "0", "18446744073709551614",
                          "3.0000"}),
    [](const ::testing::TestParamInfo<HighestCornerCase>& testCase) { return std::string(testCase.param.name); });

struct KeepSideCase {
    const char* name;
    const char* z1;
    const char* z2;
    const char* z3;
    const char* line17;
    const char* line24;  // thickness 2
};

class KeepSidePoints : public ::testing::TestWithParam<KeepSideCase> {};

TEST_P(KeepSidePoints, StandUnderAndOverCornerThree) {
    const KeepSideCase& c = GetParam();
    const FaceCorners f = face({"11.5", "-12.25", c.z1, "21", "22", c.z2, "-31.125", "32.0625", c.z3, "0", "0", "0"});
    const std::vector<std::string> lines = linesOf(scriptOf({f}, "-5", "2"));
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[16], c.line17);
    EXPECT_EQ(lines[23], c.line24);
}

INSTANTIATE_TEST_SUITE_P(
    SolidCommandWriter, KeepSidePoints,
    ::testing::Values(KeepSideCase{"CornerOneHighest", "40", "10", "20", "-31.1250,32.0625,-5.0000",
                                   "-31.1250,32.0625,42.0000"},
                      KeepSideCase{"CornerTwoHighest", "10", "40", "20", "-31.1250,32.0625,-5.0000",
                                   "-31.1250,32.0625,42.0000"},
                      KeepSideCase{"CornerThreeHighest", "10", "20", "40", "-31.1250,32.0625,-5.0000",
                                   "-31.1250,32.0625,42.0000"}),
    [](const ::testing::TestParamInfo<KeepSideCase>& testCase) { return std::string(testCase.param.name); });

TEST(SolidCommandWriter, NegativeZeroThicknessCountsAsZero) {
    EXPECT_EQ(scriptOf({workedFace}, "-2", "-0"), workedBlock);
    EXPECT_EQ(scriptOf({workedFace}, "-2", "0e5"), workedBlock);
}

TEST(SolidCommandWriter, NegativeThicknessGivesTheSecondSliceAboveTheFace) {
    const std::vector<std::string> lines = linesOf(scriptOf({workedFace}, "-2", "-1.5"));
    ASSERT_EQ(lines.size(), 24u);
    const std::vector<std::string> secondSlice(lines.begin() + 17, lines.end());
    EXPECT_EQ(secondSlice, (std::vector<std::string>{"_SLICE", "l", "", "10.0000,20.0000,6.5000",
                                                     "30.0000,20.0000,11.0000", "20.0000,40.0000,8.5000",
                                                     "20.0000,40.0000,8.0000"}));
}

TEST(SolidCommandWriter, TinyThicknessStillAddsTheSecondSlice) {
    // Too small to show in four decimals, yet not 0.
    const std::vector<std::string> lines = linesOf(scriptOf({workedFace}, "-2", "1e-4000"));
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[20], "10.0000,20.0000,5.0000");
    EXPECT_EQ(lines[23], "20.0000,40.0000,9.5000");
}

TEST(SolidCommandWriter, ValuesAreWrittenUnjudged) {
    // A base above the face and an edge-on face (collinear X,Y) give their lines all the same.
    const FaceCorners edgeOn = face({"0", "0", "1", "1", "1", "2", "2", "2", "3", "2", "2", "3"});
    const std::vector<std::string> lines = linesOf(scriptOf({edgeOn}, "10", "0"));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[1], "0.0000,0.0000,10.0000");
    EXPECT_EQ(lines[8], "-6.0000");
    EXPECT_EQ(lines[16], "2.0000,2.0000,10.0000");
}

// The sums of the block take a shortcut when no rounding is needed; the arithmetic is the reference.
bool sameBits(Extended a, Extended b) { return a.signExponent == b.signExponent && a.significand == b.significand; }

std::string hex(Extended x) {
    char text[40];
    std::snprintf(text, sizeof text, "%04X:%016llX", x.signExponent, static_cast<unsigned long long>(x.significand));
    return text;
}

// splitmix64: the same sequence on every host.
struct Random {
    std::uint64_t state = 0x243F6A8885A308D3u;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // A normal value near 2^exponent, with a random number of low significand bits cleared, so that
    // some sums need no rounding and some do.
    Extended normal(int exponent) {
        const std::uint64_t r = next();
        const auto sign = static_cast<std::uint16_t>((r & 1) != 0 ? 0x8000 : 0);
        const std::uint64_t significand = (next() | 0x8000000000000000u) & ~((std::uint64_t{1} << (r >> 1) % 64) - 1);
        return extendedFromBits(static_cast<std::uint16_t>(sign | (extendedExponentBias + exponent)),
                                significand | 0x8000000000000000u);
    }
};

TEST(AddExactly, EdgesGiveTheBitsOfAddOrStandAside) {
    constexpr std::uint64_t top = 0x8000000000000000u;
    struct Case {
        const char* name;
        Extended a, b;
        bool applies;
    };
    const Case cases[] = {
        {"1 + 1 carries a 0 bit out", extendedFromBits(0x3FFF, top), extendedFromBits(0x3FFF, top), true},
        {"a carry that drops a 1 bit", extendedFromBits(0x3FFF, ~std::uint64_t{0}), extendedFromBits(0x3FFF, top), false},
        {"x - x is +0", extendedFromBits(0x4005, 0xC90FDAA22168C235u), extendedFromBits(0xC005, 0xC90FDAA22168C235u), true},
        {"-x + x is +0", extendedFromBits(0xC005, 0xC90FDAA22168C235u), extendedFromBits(0x4005, 0xC90FDAA22168C235u), true},
        {"152.25 - 1.5 keeps its exponent", extendedFromBits(0x4006, 0x9840000000000000u), extendedFromBits(0xBFFF, 0xC000000000000000u), true},
        {"the smaller one's last bit below", extendedFromBits(0x4006, 0x9840000000000001u), extendedFromBits(0x3FFF, 0xC000000000000001u), false},
        {"63 places apart, fitting", extendedFromBits(0x403E, top), extendedFromBits(0x3FFF, top), true},
        {"64 places apart", extendedFromBits(0x403F, top), extendedFromBits(0x3FFF, top), false},
        {"cancelling down to a normal", extendedFromBits(0x3FFF, 0x8000000000000003u), extendedFromBits(0xBFFF, top), true},
        {"cancelling down to a subnormal", extendedFromBits(0x0001, 0x8000000000000001u), extendedFromBits(0x8001, top), false},
        {"a carry out of the largest exponent", extendedFromBits(0x7FFE, top), extendedFromBits(0x7FFE, top), false},
        {"the largest exponent, no carry", extendedFromBits(0x7FFE, top), extendedFromBits(0x7FFD, top), true},
        {"a zero", extendedFromBits(0, 0), extendedFromBits(0x3FFF, top), false},
        {"a subnormal", extendedFromBits(0, 1), extendedFromBits(0x3FFF, top), false},
        {"an unnormal", extendedFromBits(0x3FFF, 0x4000000000000000u), extendedFromBits(0x3FFF, top), false},
        {"an infinity", extendedFromBits(0x7FFF, top), extendedFromBits(0x3FFF, top), false},
        {"a NaN", extendedFromBits(0x7FFF, 0xC000000000000000u), extendedFromBits(0x3FFF, top), false},
    };
    for (const Case& c : cases) {
        for (const bool swapped : {false, true}) {
            const Extended a = swapped ? c.b : c.a;
            const Extended b = swapped ? c.a : c.b;
            Extended sum = extendedFromBits(0x1234, 0x5678);
            EXPECT_EQ(addExactly(a, b, sum), c.applies) << c.name;
            if (c.applies) {
                EXPECT_TRUE(sameBits(sum, add(a, b))) << c.name << ": " << hex(sum) << " instead of " << hex(add(a, b));
            } else {
                EXPECT_TRUE(sameBits(sum, extendedFromBits(0x1234, 0x5678))) << c.name;
            }
        }
    }
}

TEST(AddExactly, RandomSumsGiveTheBitsOfAdd) {
    Random random;
    int applied = 0;
    for (int i = 0; i < 200000; ++i) {
        const int exponent = static_cast<int>(random.next() % 80) - 40;
        const Extended a = random.normal(exponent);
        const Extended b = random.normal(exponent - static_cast<int>(random.next() % 70));
        Extended sum{};
        if (addExactly(a, b, sum)) {
            ++applied;
            ASSERT_TRUE(sameBits(sum, add(a, b))) << hex(a) << " + " << hex(b) << ": " << hex(sum);
        }
    }
    EXPECT_GT(applied, 20000);  // the shortcut is taken often enough to be tried
}

// The block's heights, lowered planes and keep-side points against the same values computed step by
// step with the arithmetic: faces of every kind of corner, so that both the shortcuts and the general
// way are taken.
TEST(SolidCommandWriter, ComputedLinesAgreeWithTheArithmetic) {
    Random random;
    const Extended odd[] = {extendedFromBits(0, 0), extendedFromBits(0x8000, 0), extendedFromBits(0, 5),
                            extendedFromBits(0x8000, 0x8000000000000000u), real("-1e30"), real("-3e30")};
    for (int i = 0; i < 3000; ++i) {
        Extended z[3];
        for (Extended& v : z) {
            const std::uint64_t r = random.next();
            v = r % 10 == 0 ? odd[r / 10 % std::size(odd)] : random.normal(static_cast<int>(r / 10 % 24) - 4);
        }
        if (i % 7 == 0) {
            z[2] = z[i % 2];  // ties
        }
        const Extended zBase = i % 3 == 0 ? real("-1000") : random.normal(static_cast<int>(random.next() % 12));
        const Extended thickness = i % 4 == 0 ? real("1.5") : random.normal(static_cast<int>(random.next() % 8) - 3);
        FaceCorners f{};
        f.x1 = real("1");
        f.y1 = real("2");
        f.z1 = z[0];
        f.x2 = real("3");
        f.y2 = real("4");
        f.z2 = z[1];
        f.x3 = real("5");
        f.y3 = real("6");
        f.z3 = z[2];
        const std::vector<std::string> lines = linesOf(scriptOf({f}, zBase, thickness));
        ASSERT_EQ(lines.size(), 24u);

        Extended zTop = extendedFromBits(0xC062, 0xC9F2C9CD04674EDF);
        for (const Extended v : z) {
            if (isGreater(v, zTop)) {
                zTop = v;
            }
        }
        const auto text = [](Extended v) {
            char out[255];
            return std::string(out, formatReal(v, 3, 4, out));
        };
        const std::string where = hex(z[0]) + " " + hex(z[1]) + " " + hex(z[2]) + " base " + hex(zBase) +
                                  " thickness " + hex(thickness);
        EXPECT_EQ(lines[8], text(add(subtract(zTop, zBase), extendedFromInt(1)))) << where;
        EXPECT_EQ(lines[20], "1.0000,2.0000," + text(subtract(z[0], thickness))) << where;
        EXPECT_EQ(lines[21], "3.0000,4.0000," + text(subtract(z[1], thickness))) << where;
        EXPECT_EQ(lines[22], "5.0000,6.0000," + text(subtract(z[2], thickness))) << where;
        EXPECT_EQ(lines[23], "5.0000,6.0000," + text(add(zTop, thickness))) << where;
    }
}

}  // namespace
}  // namespace m2s
