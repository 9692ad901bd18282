// The DXF face scanner over small DXF files read by a real line reader: which lines count as keywords,
// how a face's values are taken line by line, where the input may end, and where its end (or a bad
// number) ends the run.
#include <cstddef>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/dxf_scanner.hpp"
#include "convert/face_corners.hpp"
#include "convert_test_support.hpp"
#include "text/script_text_writer.hpp"
#include "text/text_line_reader.hpp"

namespace m2s {
namespace {

using testing::real;
using testing::sameBits;
using testing::temporaryPath;
using testing::writeFile;

using Values = std::vector<std::string>;  // twelve tokens, in the order of FaceCorners

// The faces the scanner delivers from a DXF of these bytes, in order.
std::vector<FaceCorners> scan(const std::string& dxfBytes) {
    const std::string path = temporaryPath("dxf");
    writeFile(path, dxfBytes);
    TextLineReader dxf;
    openRead(dxf, reinterpret_cast<const std::uint8_t*>(path.data()), path.size());
    DxfScanner scanner;
    scanner.dxf = &dxf;
    findEntities(scanner);
    std::vector<FaceCorners> faces;
    FaceCorners face{};
    while (nextFace(scanner, face)) {
        faces.push_back(face);
    }
    // Once at the end, the scan stays there.
    EXPECT_FALSE(nextFace(scanner, face));
    close(dxf);
    return faces;
}

// Lines joined with CR LF, each one ended.
std::string dxfLines(const std::vector<std::string>& lines, const char* lineEnd = "\r\n") {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += lineEnd;
    }
    return bytes;
}

// One face as a Release 12 writer lists it, from "  0" to the value of group 33.
std::vector<std::string> faceLines(const Values& v) {
    return {"  0", "3DFACE", "  8", "0",    " 10", v[0], " 20", v[1],  " 30", v[2],  " 11", v[3],  " 21", v[4],
            " 31", v[5],     " 12", v[6], " 22", v[7], " 32", v[8], " 13", v[9], " 23", v[10], " 33", v[11]};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> sectionEnd = {"  0", "ENDSEC", "  0", "EOF"};
const std::vector<std::string> entitiesStart = {"  0", "SECTION", "  2", "ENTITIES"};

// The face of the worked example.
const Values worked = {"10.0", "20.0", "5.0", "30.0", "20.0", "9.5", "20.0", "40.0", "7.0", "20.0", "40.0", "7.0"};
const Values second = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"};
const Values fourCorners = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "-10", "-11", "-12"};

std::string faceText(const FaceCorners& f) {
    const Extended fields[] = {f.x1, f.y1, f.z1, f.x2, f.y2, f.z2, f.x3, f.y3, f.z3, f.x4, f.y4, f.z4};
    std::string text;
    for (const Extended& v : fields) {
        char out[255];
        text.append(out, formatReal(v, 3, 4, out));
        text += ' ';
    }
    return text;
}

struct ScanCase {
    const char* name;
    std::string dxf;
    std::vector<Values> faces;
};

class ScanDelivers : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanDelivers, TheseFaces) {
    const ScanCase& c = GetParam();
    const std::vector<FaceCorners> faces = scan(c.dxf);
    ASSERT_EQ(faces.size(), c.faces.size());
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const Values& v = c.faces[i];
        const FaceCorners& f = faces[i];
        const Extended got[] = {f.x1, f.y1, f.z1, f.x2, f.y2, f.z2, f.x3, f.y3, f.z3, f.x4, f.y4, f.z4};
        for (std::size_t k = 0; k < 12; ++k) {
            EXPECT_TRUE(sameBits(got[k], real(v[k].c_str())))
                << "face " << i << ", value " << k << " should be " << v[k] << "; the face reads " << faceText(f);
        }
    }
}

std::vector<ScanCase> scanCases() {
    const std::string workedFile = dxfLines(entitiesStart + faceLines(worked) + sectionEnd);
    std::string withEndOfFile = dxfLines(entitiesStart + faceLines(worked));
    withEndOfFile += '\x1A';
    withEndOfFile += dxfLines(faceLines(second));
    std::string lastValueUnended = dxfLines(entitiesStart + faceLines(worked) + faceLines(second));
    lastValueUnended.resize(lastValueUnended.size() - 2);

    // The value line of y1 holds only blanks: y1 comes from the group-code line after it, and every
    // later value from the line after the one it belongs to.
    std::vector<std::string> blankValue = faceLines(second);
    blankValue[7] = "   ";

    const std::vector<std::string> secondFace = faceLines(second);
    std::vector<std::string> unblankedGroupCode = faceLines(worked);
    unblankedGroupCode[6] = "20";
    unblankedGroupCode[8] = "anything at all";

    return {
        {"WorkedExample", workedFile, {worked}},
        {"FirstLineIsEntities", dxfLines(std::vector<std::string>{"ENTITIES"} + faceLines(worked)), {worked}},
        {"HeaderAndTablesBefore",
         dxfLines({"  0", "SECTION", "  2", "HEADER", "  9", "$ACADVER", "  1", "AC1009", "  0", "ENDSEC"}) + workedFile,
         {worked}},
        {"FaceBeforeEntitiesIsNotAFace",
         dxfLines(std::vector<std::string>{"  0", "SECTION", "  2", "BLOCKS"} + faceLines(second) + entitiesStart +
                  faceLines(worked)),
         {worked}},
        {"EntitiesMustMatchExactly",
         dxfLines(std::vector<std::string>{"entities", "ENTITIES ", " ENTITIES", "ENTITIE"} + faceLines(second) +
                  std::vector<std::string>{"ENTITIES"} + faceLines(worked)),
         {worked}},
        {"FaceKeywordMustMatchExactly",
         dxfLines(entitiesStart + std::vector<std::string>{"3DFACE ", "3dface", " 3DFACE", "3DFACE\t", " 10", "1"} +
                  faceLines(worked)),
         {worked}},
        {"GroupCodeTenMustMatchExactly",
         dxfLines(entitiesStart + std::vector<std::string>{"  0", "3DFACE", "  8", "0", "10", "99", "  10", "98",
                                                           " 10 ", "97", "010", "96"} +
                  std::vector<std::string>(secondFace.begin() + 4, secondFace.end())),
         {second}},
        {"GroupCodeLinesAreNeverLookedAt", dxfLines(entitiesStart + unblankedGroupCode + sectionEnd), {worked}},
        {"FourCornersAreAllRead", dxfLines(entitiesStart + faceLines(fourCorners) + sectionEnd), {fourCorners}},
        {"FacesInFileOrder", dxfLines(entitiesStart + faceLines(worked) + faceLines(second) + sectionEnd),
         {worked, second}},
        {"OtherEntitiesIgnored",
         dxfLines(entitiesStart + std::vector<std::string>{"  0", "LINE", "  8", "0", " 10", "5", " 20", "6"} +
                  faceLines(worked) + std::vector<std::string>{"  0", "POINT", " 10", "1"} + sectionEnd),
         {worked}},
        {"FaceAfterSectionEndStillRead", dxfLines(entitiesStart + sectionEnd + faceLines(second)), {second}},
        {"ValuesTakeTheirFirstTokenOnly",
         dxfLines(entitiesStart + faceLines({"  10.0 rest", "20.0\tx", "5.0", "30.0", "20.0", "9.5", "20.0", "40.0",
                                             "7.0", "20.0", "40.0", "7.0 trailing"})),
         {worked}},
        {"BlankValueLineReadsOneLineOutOfStep", dxfLines(entitiesStart + blankValue + sectionEnd),
         {{"1", "30", "11", "21", "31", "12", "22", "32", "13", "23", "33", "0"}}},
        {"CrOnlyLineEnds", dxfLines(entitiesStart + faceLines(worked) + sectionEnd, "\r"), {worked}},
        {"LfOnlyLineEnds", dxfLines(entitiesStart + faceLines(worked) + sectionEnd, "\n"), {worked}},
        {"EndOfFileByteEndsTheInput", withEndOfFile, {worked}},
        {"LastValueWithLineEnd", dxfLines(entitiesStart + faceLines(worked) + faceLines(second)), {worked, second}},
        {"LastValueWithoutLineEnd", lastValueUnended, {worked, second}},
        {"EntitiesWithNoFace", dxfLines(entitiesStart + sectionEnd), {}},
        {"EntitiesIsTheLastLine", dxfLines(entitiesStart), {}},
        {"EntitiesWithoutLineEnd", "ENTITIES", {}},
    };
}

INSTANTIATE_TEST_SUITE_P(DxfScanner, ScanDelivers, ::testing::ValuesIn(scanCases()),
                         [](const ::testing::TestParamInfo<ScanCase>& testCase) {
                             return std::string(testCase.param.name);
                         });

// The same bytes with each line end written three ways read as the same faces.
TEST(DxfScanner, LineEndsDoNotChangeTheFaces) {
    const std::vector<std::string> lines = entitiesStart + faceLines(worked) + faceLines(fourCorners) + sectionEnd;
    const std::vector<FaceCorners> crLf = scan(dxfLines(lines, "\r\n"));
    for (const char* lineEnd : {"\n", "\r"}) {
        const std::vector<FaceCorners> other = scan(dxfLines(lines, lineEnd));
        ASSERT_EQ(other.size(), crLf.size());
        for (std::size_t i = 0; i < crLf.size(); ++i) {
            EXPECT_EQ(faceText(other[i]), faceText(crLf[i]));
        }
    }
}

struct FailureCase {
    const char* name;
    std::string dxf;
    int status;
};

class ScanEndsTheRun : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ScanEndsTheRun, WithThisNumber) {
    const FailureCase& c = GetParam();
    EXPECT_EXIT(scan(c.dxf), ::testing::ExitedWithCode(c.status), "");
}

// The input cut right after each of the 28 lines of a face (and inside its last line), from the
// "3DFACE" line on: every cut before the value of group 33 is a truncated face.
std::vector<FailureCase> truncatedFaces() {
    std::vector<FailureCase> cases;
    static const char* const names[] = {
        "AfterFaceKeyword", "AfterLayerCode", "AfterLayerName", "AfterCode10", "AfterX1", "AfterCode20", "AfterY1",
        "AfterCode30",      "AfterZ1",        "AfterCode11",    "AfterX2",     "AfterCode21", "AfterY2",  "AfterCode31",
        "AfterZ2",          "AfterCode12",    "AfterX3",        "AfterCode22", "AfterY3",     "AfterCode32",
        "AfterZ3",          "AfterCode13",    "AfterX4",        "AfterCode23", "AfterY4",     "AfterCode33"};
    const std::vector<std::string> lines = faceLines(worked);
    for (std::size_t kept = 2; kept < lines.size(); ++kept) {
        const std::vector<std::string> head(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(kept));
        cases.push_back({names[kept - 2], dxfLines(entitiesStart + faceLines(second) + head), 100});
    }
    return cases;
}

std::vector<FailureCase> failureCases() {
    std::vector<FailureCase> cases = truncatedFaces();
    std::string endOfFileInFace = dxfLines(entitiesStart + std::vector<std::string>{"  0", "3DFACE", " 10", "1"});
    endOfFileInFace += '\x1A';
    endOfFileInFace += dxfLines({" 20", "2", " 30", "3"});
    std::vector<std::string> withoutLastValue = faceLines(worked);
    withoutLastValue.pop_back();
    std::vector<std::string> noLeadingBlank = faceLines(worked);
    for (std::size_t i = 4; i < noLeadingBlank.size(); i += 2) {
        noLeadingBlank[i].erase(0, 1);  // "10", "20", ... as some exporters write them
    }
    std::vector<FailureCase> more = {
        {"EmptyFile", "", 100},
        {"NoEntities", dxfLines(std::vector<std::string>{"  0", "SECTION", "  2", "HEADER"} + faceLines(worked)), 100},
        {"EntitiesInLowerCaseOnly", dxfLines(std::vector<std::string>{"entities"} + faceLines(worked)), 100},
        {"EndOfFileByteBeforeEntities", "  0\r\nSECTION\r\n  2\r\n\x1A" "ENTITIES\r\n", 100},
        {"EndOfFileByteInsideFace", endOfFileInFace, 100},
        {"LastValueLineBlank", dxfLines(entitiesStart + withoutLastValue) + "   ", 100},
        {"GroupCodesWithoutLeadingBlank", dxfLines(entitiesStart + noLeadingBlank + sectionEnd), 100},
        {"MalformedValue", dxfLines(entitiesStart + faceLines({"10.0", "abc", "5.0", "30.0", "20.0", "9.5", "20.0",
                                                               "40.0", "7.0", "20.0", "40.0", "7.0"})),
         106},
        {"DecimalCommaValue", dxfLines(entitiesStart + faceLines({"10.0", "20.0", "5.0", "30.0", "20.0", "9,5", "20.0",
                                                                  "40.0", "7.0", "20.0", "40.0", "7.0"})),
         106},
    };
    cases.insert(cases.end(), more.begin(), more.end());
    return cases;
}

INSTANTIATE_TEST_SUITE_P(DxfScanner, ScanEndsTheRun, ::testing::ValuesIn(failureCases()),
                         [](const ::testing::TestParamInfo<FailureCase>& testCase) {
                             return std::string(testCase.param.name);
                         });

}  // namespace
}  // namespace m2s
