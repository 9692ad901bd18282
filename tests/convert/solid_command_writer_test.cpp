// The command block of one face, captured through a real script writer on a temporary file: the worked
// face with and without a thickness byte for byte, the highest corner (ties, nothing above -1e30), the
// keep-side points taken under and over corner 3 whichever corner is highest, and which thickness
// values add the second slice.
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
std::string scriptOf(const std::vector<FaceCorners>& faces, const char* zBase, const char* thickness) {
    const std::string path = temporaryPath("script");
    ScriptTextWriter script;
    createWrite(script, reinterpret_cast<const std::uint8_t*>(path.data()), path.size());
    for (const FaceCorners& f : faces) {
        writeFace(script, f, real(zBase), real(thickness));
    }
    close(script);
    return readFile(path);
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

}  // namespace
}  // namespace m2s
