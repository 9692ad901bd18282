// The conversion as a user meets it, through the real program: numbers in the DXF that end the run
// (overflow, infinity against infinity, letters), truncated files, line ends of every kind, and what a
// failed conversion leaves in the script file.
#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "harness.hpp"

namespace m2s::e2e {
namespace {

const std::string shownDialogue = usageNotes +
    "Immetti nome file DXF di ingresso (con suffisso): "
    "Immetti nome file SCR di uscita   (con suffisso): "
    "Immetti una coordinata Z certamente piu' bassa della Z minima della mesh "
    "Immetti spessore solidi finali in Z ";

using Lines = std::vector<std::string>;

struct Corner {
    std::string x, y, z;
};

// One 3DFACE entity; a triangle repeats its third corner as the fourth.
Lines face(const Corner& c1, const Corner& c2, const Corner& c3) {
    return {"  0", "3DFACE", "  8", "0",  " 10", c1.x, " 20", c1.y, " 30", c1.z, " 11", c2.x, " 21", c2.y,
            " 31", c2.z,     " 12", c3.x, " 22", c3.y, " 32", c3.z, " 13", c3.x, " 23", c3.y, " 33", c3.z};
}

const Lines head = {"  0", "SECTION", "  2", "ENTITIES"};
const Lines tail = {"  0", "ENDSEC", "  0", "EOF"};

Lines joined(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::string withEnds(const Lines& lines, const std::string& end = "\r\n") {
    std::string text;
    for (const std::string& line : lines) {
        text += line + end;
    }
    return text;
}

const Lines faceA = face({"10.0", "20.0", "5.0"}, {"30.0", "20.0", "9.5"}, {"20.0", "40.0", "7.0"});
const Lines faceB = face({"-3.25", "0", "1e2"}, {"4", "-7.5", "99.875"}, {"0.5", "8", "100.125"});
const Lines faceC = face({"1000", "2000", "-1.5"}, {"1001.5", "2000", "-2"}, {"1000", "2003", "-1.75"});

RunResult convert(const Sandbox& box, const std::string& dxf, const std::string& zBase = "-10",
                  const std::string& thickness = "0") {
    box.writeFile("mesh.dxf", dxf);
    RunOptions options;
    options.input = "mesh.dxf\nout.scr\n" + zBase + "\n" + thickness + "\n";
    return runProgram(box, options);
}

// Converts a DXF that must convert cleanly and hands back its script.
std::string goodScript(const std::string& dxf, const std::string& thickness = "0") {
    Sandbox box;
    RunResult run = convert(box, dxf, "-10", thickness);
    EXPECT_TRUE(run.exitedWith(0)) << run.describe();
    EXPECT_EQ(run.output, shownDialogue);
    return box.readFile("out.scr");
}

// The whole dialogue, then at once "Runtime error", the number ending in column 17, " at ", eight
// uppercase hexadecimal digits and CR LF.
void expectMessageBehindLastPrompt(const std::string& output, int number) {
    ASSERT_GE(output.size(), shownDialogue.size()) << output;
    EXPECT_EQ(output.substr(0, shownDialogue.size()), shownDialogue);
    std::string digits = std::to_string(number);
    std::regex shape("Runtime error" + std::string(4 - digits.size(), ' ') + digits + " at [0-9A-F]{8}\r\n");
    EXPECT_TRUE(std::regex_match(output.substr(shownDialogue.size()), shape))
        << "after the last prompt: \"" << output.substr(shownDialogue.size()) << "\"";
}

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

// ---- Files that end the run --------------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::string dxf;
    const char* zBase;
    int status;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class FailingDxf : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailingDxf, EndsWithTheNumberBehindTheLastPrompt) {
    const FailureCase& c = GetParam();
    Sandbox box;
    RunResult run = convert(box, c.dxf, c.zBase);
    EXPECT_TRUE(run.exitedWith(c.status)) << run.describe();
    expectMessageBehindLastPrompt(run.output, c.status);
    // The failure comes in the first face, before its short lines fill a 128-byte block, so nothing
    // was handed over.
    EXPECT_EQ(box.readFile("out.scr"), "");
    EXPECT_EQ(box.readFile("mesh.dxf"), c.dxf);
}

const Corner infinite{"0", "0", "1e6000"};

INSTANTIATE_TEST_SUITE_P(
    Conversion, FailingDxf,
    ::testing::Values(
        FailureCase{"CoordinatePastTheExtendedRange",
                    withEnds(joined({head, face({"1e4940", "0", "0"}, {"1", "0", "0"}, {"0", "1", "0"}), tail})),
                    "-10", 205},
        // +inf read for the Z values and for zBase: zTop - zBase subtracts two infinities.
        FailureCase{"InfiniteZAgainstInfiniteZBase",
                    withEnds(joined({head, face(infinite, {"1", "0", "1e6000"}, {"0", "1", "1e6000"}), tail})),
                    "1e6000", 207},
        FailureCase{"LettersAsACoordinate",
                    withEnds(joined({head, face({"1", "2", "3"}, {"4", "abc", "6"}, {"7", "8", "9"}), tail})),
                    "-10", 106},
        FailureCase{"NoEntitiesAtAll", withEnds({"  0", "SECTION", "  2", "HEADER", "  0", "ENDSEC", "  0", "EOF"}),
                    "-10", 100},
        FailureCase{"EndsRightAfter3DFACE", withEnds(joined({head, {"  0", "3DFACE"}})), "-10", 100},
        FailureCase{"EndsAfterAGroupCodeBeforeItsValue",
                    withEnds(joined({head, {"  0", "3DFACE", "  8", "0", " 10", "1", " 20"}})), "-10", 100},
        FailureCase{"EndsAfterAValueBeforeTheNextGroupCode",
                    withEnds(joined({head, {"  0", "3DFACE", "  8", "0", " 10", "1", " 20", "2"}})), "-10", 100},
        // Everything but z4: the face is not complete.
        FailureCase{"EndsBeforeTheLastValue",
                    withEnds(joined({head, Lines(faceA.begin(), faceA.end() - 1)})), "-10", 100}),
    caseName<FailureCase>);

// ---- What a failed conversion leaves: the complete 128-byte blocks ----------------------------

struct BrokenFourthFace {
    const char* name;
    Lines fourth;   // what follows three good faces
    int status;
};

void PrintTo(const BrokenFourthFace& c, std::ostream* out) { *out << c.name; }

class FailedConversion : public ::testing::TestWithParam<BrokenFourthFace> {};

TEST_P(FailedConversion, KeepsExactlyTheCompleteBlocksOfTheGoodFaces) {
    const BrokenFourthFace& c = GetParam();
    const std::string good = goodScript(withEnds(joined({head, faceA, faceB, faceC, tail})), "1.5");
    ASSERT_GT(good.size(), 256u);
    ASSERT_NE(good.size() % 128, 0u) << "pick faces whose script does not end on a block boundary";

    Sandbox box;
    RunResult run = convert(box, withEnds(joined({head, faceA, faceB, faceC, c.fourth})), "-10", "1.5");
    EXPECT_TRUE(run.exitedWith(c.status)) << run.describe();
    expectMessageBehindLastPrompt(run.output, c.status);
    const std::string left = box.readFile("out.scr");
    const std::size_t blocks = good.size() / 128 * 128;
    EXPECT_EQ(left.size(), blocks);
    EXPECT_EQ(left, good.substr(0, blocks));
}

INSTANTIATE_TEST_SUITE_P(
    Conversion, FailedConversion,
    ::testing::Values(
        BrokenFourthFace{"Letters", face({"1", "2", "3"}, {"4", "5", "6"}, {"7", "8", "abc"}), 106},
        BrokenFourthFace{"Overflow", face({"1", "2", "3"}, {"4", "5", "1e4940"}, {"7", "8", "9"}), 205},
        BrokenFourthFace{"Truncated", {"  0", "3DFACE", "  8", "0", " 10", "1"}, 100}),
    caseName<BrokenFourthFace>);

// ---- Line ends ---------------------------------------------------------------------------------

struct LineEndCase {
    const char* name;
    const char* end;
};

void PrintTo(const LineEndCase& c, std::ostream* out) { *out << c.name; }

class LineEnds : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(LineEnds, ConvertExactlyAsTheCrLfOriginal) {
    const Lines lines = joined({head, faceA, faceB, faceC, tail});
    const std::string original = goodScript(withEnds(lines), "2");
    ASSERT_FALSE(original.empty());
    EXPECT_EQ(goodScript(withEnds(lines, GetParam().end), "2"), original);
}

INSTANTIATE_TEST_SUITE_P(Conversion, LineEnds,
                         ::testing::Values(LineEndCase{"LfOnly", "\n"}, LineEndCase{"CrOnly", "\r"}),
                         caseName<LineEndCase>);

// ---- A face that is the last data of the file ---------------------------------------------------

struct LastFaceCase {
    const char* name;
    std::string dxf;
};

void PrintTo(const LastFaceCase& c, std::ostream* out) { *out << c.name; }

class LastFace : public ::testing::TestWithParam<LastFaceCase> {};

TEST_P(LastFace, IsWrittenAsInACompleteFile) {
    const std::string complete = goodScript(withEnds(joined({head, faceB, faceA, tail})));
    ASSERT_FALSE(complete.empty());
    EXPECT_EQ(goodScript(GetParam().dxf), complete);
}

INSTANTIATE_TEST_SUITE_P(
    Conversion, LastFace,
    ::testing::Values(
        LastFaceCase{"Z4WithoutALineEnd", withEnds(joined({head, faceB})) +
                                              withEnds(Lines(faceA.begin(), faceA.end() - 1)) + faceA.back()},
        LastFaceCase{"Z4WithALineEnd", withEnds(joined({head, faceB, faceA}))}),
    caseName<LastFaceCase>);

}  // namespace
}  // namespace m2s::e2e
