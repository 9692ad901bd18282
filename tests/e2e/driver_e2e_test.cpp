// The run as a user sees it: the usage notes and the four prompts byte for byte, how the answers are
// taken, every way a run ends with its message and exit status, and the files left behind.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "harness.hpp"

namespace m2s::e2e {
namespace {

const std::string usageNotes =
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

const std::string promptDxf = "Immetti nome file DXF di ingresso (con suffisso): ";
const std::string promptScript = "Immetti nome file SCR di uscita   (con suffisso): ";
const std::string promptZBase = "Immetti una coordinata Z certamente piu' bassa della Z minima della mesh ";
const std::string promptThickness = "Immetti spessore solidi finali in Z ";
const std::string prompts[] = {promptDxf, promptScript, promptZBase, promptThickness};

// What stands on standard output when the run has shown the notes and the first `count` prompts.
std::string shownUpTo(int count) {
    std::string text = usageNotes;
    for (int i = 0; i < count; ++i) {
        text += prompts[i];
    }
    return text;
}

const std::string wholeDialogue = shownUpTo(4);

std::string crlfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::vector<std::string> faceLines(const std::string& x1, const std::string& y1, const std::string& z1,
                                   const std::string& x2, const std::string& y2, const std::string& z2,
                                   const std::string& x3, const std::string& y3, const std::string& z3) {
    return {"  0", "3DFACE", "  8", "0",   " 10", x1,    " 20", y1,    " 30", z1,    " 11", x2,    " 21", y2,
            " 31", z2,       " 12", x3,    " 22", y3,  " 32", z3,    " 13", x3,    " 23", y3,    " 33", z3};
}

std::string dxfWithFaces(int faces) {
    std::vector<std::string> lines = {"  0", "SECTION", "  2", "ENTITIES"};
    for (int i = 0; i < faces; ++i) {
        std::vector<std::string> face = faceLines("10.0", "20.0", "5.0", "30.0", "20.0", "9.5", "20.0", "40.0", "7.0");
        lines.insert(lines.end(), face.begin(), face.end());
    }
    lines.insert(lines.end(), {"  0", "ENDSEC", "  0", "EOF"});
    return crlfLines(lines);
}

// One face with the corners (10, 20, 5), (30, 20, 9.5), (20, 40, 7).
const std::string oneFaceDxf = dxfWithFaces(1);

std::vector<std::string> scriptLines(const std::string& script) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = script.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(script.substr(start, end - start));
    }
    EXPECT_EQ(start, script.size()) << "the script does not end in CR LF";
    return lines;
}

// "Runtime error" with the number ending in column 17, " at ", eight uppercase hexadecimal digits, CR LF.
const std::regex messageShape("Runtime error([ 0-9]{4}) at ([0-9A-F]{8})\r\n");

// Checks that output is `before` directly followed by the message with `number`; returns the location.
std::string messageLocation(const std::string& output, const std::string& before, int number) {
    EXPECT_EQ(output.substr(0, before.size()), before) << "the text before the message differs";
    std::string message = output.size() >= before.size() ? output.substr(before.size()) : std::string{};
    std::smatch parts;
    if (!std::regex_match(message, parts, messageShape)) {
        ADD_FAILURE() << "no run-time error message after the expected text; got \"" << message << "\"";
        return {};
    }
    std::string digits = std::to_string(number);
    EXPECT_EQ(parts[1].str(), std::string(4 - digits.size(), ' ') + digits);
    return parts[2].str();
}

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

RunOptions withInput(std::optional<std::string> input, Output output = Output::File) {
    RunOptions options;
    options.input = std::move(input);
    options.output = output;
    return options;
}

// ---- The whole dialogue ------------------------------------------------------------------------

class WholeDialogue : public ::testing::TestWithParam<Output> {};

// LF-ended answers: a lone LF ends a console line as well.
TEST_P(WholeDialogue, NotesAndPromptsByteForByteThenTheScript) {
    Sandbox box;
    box.writeFile("mesh.dxf", oneFaceDxf);
    RunResult run = runProgram(box, withInput("mesh.dxf\nout.scr\n-2\n0\n", GetParam()));
    EXPECT_TRUE(run.exitedWith(0)) << run.describe();
    EXPECT_EQ(run.output, wholeDialogue);
    std::vector<std::string> script = scriptLines(box.readFile("out.scr"));
    ASSERT_EQ(script.size(), 17u);
    EXPECT_EQ(script[1], "10.0000,20.0000,-2.0000");
    EXPECT_EQ(script[8], "12.5000");
    EXPECT_EQ(box.readFile("mesh.dxf"), oneFaceDxf);
}

std::string outputName(const ::testing::TestParamInfo<Output>& param) {
    switch (param.param) {
    case Output::File: return "File";
    case Output::Pipe: return "Pipe";
    case Output::Terminal: return "Terminal";
    case Output::Closed: return "Closed";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(StandardOutput, WholeDialogue,
                         ::testing::Values(Output::File, Output::Pipe, Output::Terminal), outputName);

// On a console each prompt stands there before the program waits for its answer.
TEST(TerminalDialogue, EachPromptIsShownBeforeItsAnswerIsTyped) {
    Sandbox box;
    box.writeFile("mesh.dxf", oneFaceDxf);
    TerminalRun terminal(box);
    const char* answers[] = {"mesh.dxf\n", "out.scr\n", "-2\n", "1.5\n"};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(terminal.waitFor(prompts[i])) << "prompt " << i + 1 << " not shown; screen:\n"
                                                  << terminal.screen();
        // Nothing beyond the prompt: the program is waiting for the answer.
        EXPECT_EQ(terminal.screen(), shownUpTo(i + 1));
        terminal.type(answers[i]);
    }
    RunResult run = terminal.finish();
    EXPECT_TRUE(run.exitedWith(0)) << run.describe();
    EXPECT_EQ(run.output, wholeDialogue);
    EXPECT_EQ(scriptLines(box.readFile("out.scr")).size(), 24u);
}

TEST(TerminalDialogue, AFailedAnswerShowsTheMessageBehindItsPrompt) {
    Sandbox box;
    TerminalRun terminal(box);
    ASSERT_TRUE(terminal.waitFor(promptDxf));
    terminal.type("mesh.dxf\n");
    ASSERT_TRUE(terminal.waitFor(promptScript));
    terminal.type("out.scr\n");
    ASSERT_TRUE(terminal.waitFor(promptZBase));
    terminal.type("1,5\n");
    RunResult run = terminal.finish();
    EXPECT_TRUE(run.exitedWith(106)) << run.describe();
    messageLocation(run.output, shownUpTo(3), 106);
}

// ---- How number answers are taken --------------------------------------------------------------

struct NumberAnswerCase {
    const char* name;
    const char* zBaseAnswer;
    const char* thicknessAnswer;
    const char* scriptLine2;
    std::size_t scriptLineCount;
};

void PrintTo(const NumberAnswerCase& c, std::ostream* out) { *out << c.name; }

class NumberAnswers : public ::testing::TestWithParam<NumberAnswerCase> {};

TEST_P(NumberAnswers, GiveTheValueInTheScript) {
    const NumberAnswerCase& c = GetParam();
    Sandbox box;
    box.writeFile("mesh.dxf", oneFaceDxf);
    std::string input = std::string("mesh.dxf\nout.scr\n") + c.zBaseAnswer + c.thicknessAnswer;
    RunResult run = runProgram(box, withInput(input));
    EXPECT_TRUE(run.exitedWith(0)) << run.describe();
    EXPECT_EQ(run.output, wholeDialogue);   // no prompt repeated, nothing after the last one
    std::vector<std::string> script = scriptLines(box.readFile("out.scr"));
    ASSERT_EQ(script.size(), c.scriptLineCount);
    EXPECT_EQ(script[1], c.scriptLine2);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NumberAnswers,
    ::testing::Values(
        NumberAnswerCase{"TextAfterTheNumberIsDropped", "12.5 metri\n", "0\n", "10.0000,20.0000,12.5000", 17},
        NumberAnswerCase{"EmptyLinesArePassedOver", "\n\n\n-2\n", "0\n", "10.0000,20.0000,-2.0000", 17},
        NumberAnswerCase{"BlankLinesArePassedOver", "  \r\n \n-2\n", "0\n", "10.0000,20.0000,-2.0000", 17},
        NumberAnswerCase{"CrLfAnswers", "-2\r\n", "0\r\n", "10.0000,20.0000,-2.0000", 17},
        NumberAnswerCase{"EmptyLinesBeforeTheThickness", "-2\n", "\n\n1.5 m\n", "10.0000,20.0000,-2.0000", 24},
        NumberAnswerCase{"NegativeZeroThicknessIsZero", "-2\n", "-0\n", "10.0000,20.0000,-2.0000", 17}),
    caseName<NumberAnswerCase>);

TEST(Conversion, EntitiesWithoutAFaceGiveAnEmptyScript) {
    Sandbox box;
    box.writeFile("mesh.dxf", crlfLines({"  0", "SECTION", "  2", "ENTITIES", "  0", "ENDSEC", "  0", "EOF"}));
    box.writeFile("out.scr", "old text\r\n");
    RunResult run = runProgram(box, withInput("mesh.dxf\nout.scr\n0\n0\n"));
    EXPECT_TRUE(run.exitedWith(0)) << run.describe();
    EXPECT_EQ(run.output, wholeDialogue);
    EXPECT_EQ(box.readFile("out.scr"), "");
}

// ---- Failed runs: the message right behind the last text shown, the status, the files ---------

struct FileBefore {
    std::string name;
    std::string bytes;
    unsigned mode = 0644;
};

struct FailureCase {
    const char* name;
    std::vector<FileBefore> files;        // made before the run
    std::optional<std::string> input;     // nullopt: standard input closed
    int status;
    int promptsShown;                     // the message stands right behind the last of them
    std::vector<std::string> unchanged;   // files that keep the bytes they were made with
    std::vector<std::string> absent;      // names that no run may have created
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class FailedRuns : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedRuns, EndWithTheMessageAndTheNumber) {
    const FailureCase& c = GetParam();
    Sandbox box;
    for (const FileBefore& file : c.files) {
        box.writeFile(file.name, file.bytes, file.mode);
    }
    RunResult run = runProgram(box, withInput(c.input));
    EXPECT_TRUE(run.exitedWith(c.status)) << run.describe();
    messageLocation(run.output, shownUpTo(c.promptsShown), c.status);
    for (const std::string& name : c.unchanged) {
        for (const FileBefore& file : c.files) {
            if (file.name == name) {
                EXPECT_EQ(box.readFile(name), file.bytes) << name << " was changed";
            }
        }
    }
    for (const std::string& name : c.absent) {
        EXPECT_FALSE(box.exists(name)) << name << " was created";
    }
}

const FileBefore mesh{"mesh.dxf", oneFaceDxf};

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedRuns,
    ::testing::Values(
        // A decimal comma is no number: the run ends before any file is opened or created.
        FailureCase{"CommaInZBase", {mesh}, "mesh.dxf\nout.scr\n1,5\n0\n", 106, 3, {"mesh.dxf"}, {"out.scr"}},
        FailureCase{"CommaInZBaseLeavesAnOldScript",
                    {mesh, {"out.scr", "old\r\n"}}, "mesh.dxf\nout.scr\n1,5\n0\n", 106, 3, {"out.scr"}, {}},
        FailureCase{"LettersInThickness", {mesh}, "mesh.dxf\nout.scr\n0\nzero\n", 106, 4, {}, {"out.scr"}},
        // The DXF is opened first, so a missing one leaves the script untouched.
        FailureCase{"MissingDxf", {}, "nothere.dxf\nout.scr\n0\n0\n", 2, 4, {}, {"out.scr", "nothere.dxf"}},
        FailureCase{"MissingDxfLeavesAnOldScript",
                    {{"out.scr", "old\r\n"}}, "nothere.dxf\nout.scr\n0\n0\n", 2, 4, {"out.scr"}, {}},
        FailureCase{"ScriptInAMissingDirectory", {mesh}, "mesh.dxf\nnodir/out.scr\n0\n0\n", 3, 4, {"mesh.dxf"},
                    {"nodir"}},
        FailureCase{"ScriptNamedAsTheDxf", {mesh}, "mesh.dxf\nmesh.dxf\n0\n0\n", 32, 4, {"mesh.dxf"}, {}},
        // Refused even to a user who could write it (CI runs as root).
        FailureCase{"ReadOnlyScript",
                    {mesh, {"out.scr", "old\r\n", 0444}}, "mesh.dxf\nout.scr\n0\n0\n", 5, 4, {"out.scr", "mesh.dxf"},
                    {}},
        // Two faces fill more than one 128-byte block.
        FailureCase{"DiskFull", {{"mesh.dxf", dxfWithFaces(2)}}, "mesh.dxf\n/dev/full\n0\n0\n", 112, 4,
                    {"mesh.dxf"}, {}},
        FailureCase{"StandardInputClosed", {mesh}, std::nullopt, 104, 1, {"mesh.dxf"}, {}}),
    caseName<FailureCase>);

TEST(FailedRun, StandardOutputClosedEndsWith103AndShowsNothing) {
    Sandbox box;
    box.writeFile("mesh.dxf", oneFaceDxf);
    RunResult run = runProgram(box, withInput("mesh.dxf\nout.scr\n0\n0\n", Output::Closed));
    EXPECT_TRUE(run.exitedWith(103)) << run.describe();
    EXPECT_EQ(run.errors, "");
    EXPECT_FALSE(box.exists("out.scr"));
}

// ---- Locations: one value per check site, the same from run to run ----------------------------

std::string locationOf(const std::string& input, int status, int promptsShown) {
    Sandbox box;
    box.writeFile("mesh.dxf", oneFaceDxf);
    RunResult run = runProgram(box, withInput(input));
    EXPECT_TRUE(run.exitedWith(status)) << run.describe();
    return messageLocation(run.output, shownUpTo(promptsShown), status);
}

const char* const zBaseComma = "mesh.dxf\nout.scr\n1,5\n0\n";

TEST(ErrorLocation, OneCheckSiteShowsOneValueFromRunToRun) {
    EXPECT_EQ(locationOf(zBaseComma, 106, 3), locationOf("mesh.dxf\nout.scr\nx\n0\n", 106, 3));
}

TEST(ErrorLocation, OpeningTheDxfAndCreatingTheScriptAreTwoSites) {
    EXPECT_NE(locationOf("nothere.dxf\nout.scr\n0\n0\n", 2, 4), locationOf("mesh.dxf\nnodir/out.scr\n0\n0\n", 3, 4));
}

// The same number at the check of another answer comes from another site.
TEST(ErrorLocation, TheTwoNumberAnswersAreTwoSites) {
    EXPECT_NE(locationOf(zBaseComma, 106, 3), locationOf("mesh.dxf\nout.scr\n0\n1,5\n", 106, 4));
}

// ---- Processor faults, through the test-only program that faults on purpose -------------------

struct FaultCase {
    const char* kind;
    int status;
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.kind; }

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, EndWithTheFaultNumberBehindWhatWasWritten) {
    Sandbox box;
    RunOptions options;
    options.arguments = {GetParam().kind};
    options.programVariable = "M2S_FAULTS_PROGRAM";
    RunResult run = runProgram(box, options);
    EXPECT_TRUE(run.exitedWith(GetParam().status)) << run.describe();
    messageLocation(run.output, "faulting on purpose\r\n", GetParam().status);
}

std::string faultName(const ::testing::TestParamInfo<FaultCase>& param) {
    return param.param.kind;
}

INSTANTIATE_TEST_SUITE_P(Kinds, Faults,
                         ::testing::Values(FaultCase{"access", 216}, FaultCase{"stack", 202},
                                           FaultCase{"overflow", 205}),
                         faultName);

}  // namespace
}  // namespace m2s::e2e
