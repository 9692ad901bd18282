// Line reading: where lines end, where input ends, the read-ahead across block boundaries, keyword
// equality, and the failures a reader records.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix_calls.hpp"
#include "text_test_support.hpp"

namespace m2s::testing {
namespace {

using namespace std::string_literals;

// The lines as the callers read them: readLine then skipLine, until atEnd.
std::vector<std::string> readAllLines(TextLineReader& reader) {
    std::vector<std::string> lines;
    TextLine line;
    for (int guard = 0; guard < 1000 && !atEnd(reader); ++guard) {
        readLine(reader, line);
        skipLine(reader);
        lines.push_back(lineText(line));
    }
    return lines;
}

struct LineCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> lines;
};

class LineRules : public StreamTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineRules, ReadsTheLinesAndRecordsNothing) {
    TextLineReader reader;
    openOnBytes(reader, dir, GetParam().bytes);
    EXPECT_EQ(readAllLines(reader), GetParam().lines);
    EXPECT_EQ(ioErrorCode, 0u);
    close(reader);
}

INSTANTIATE_TEST_SUITE_P(
    Text, LineRules,
    ::testing::Values(
        LineCase{"CrLf", "ab\r\ncd\r\n", {"ab", "cd"}},
        LineCase{"CrOnly", "ab\rcd\r", {"ab", "cd"}},
        LineCase{"LfOnly", "ab\ncd\n", {"ab", "cd"}},
        LineCase{"LfCrIsTwoLineEnds", "ab\n\rcd", {"ab", "", "cd"}},
        LineCase{"LfLfEnclosesAnEmptyLine", "ab\n\ncd", {"ab", "", "cd"}},
        LineCase{"CrCrEnclosesAnEmptyLine", "ab\r\rcd", {"ab", "", "cd"}},
        LineCase{"CrLfCrLf", "ab\r\n\r\ncd", {"ab", "", "cd"}},
        LineCase{"MixedEnds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        LineCase{"LastLineWithoutEnd", "ab\r\nlast", {"ab", "last"}},
        LineCase{"OnlyAnUnendedLine", "last", {"last"}},
        LineCase{"EmptyFile", "", {}},
        LineCase{"OnlyEof", "\x1a", {}},
        LineCase{"EofEndsTheLastLine", "ab\r\ncd\x1a\r\nnever\r\n", {"ab", "cd"}},
        LineCase{"EofRightAfterCr", "ab\r\x1a\ncd", {"ab"}},
        LineCase{"ZeroByteIsData", "a\0b\r\n"s, {"a\0b"s}},
        LineCase{"HighBytesAndBlanksKept", " \xe0\xff\t \r\n", {" \xe0\xff\t "}}),
    [](const ::testing::TestParamInfo<LineCase>& caseInfo) { return std::string(caseInfo.param.what); });

// A line whose end falls at, before or after the 128-byte block boundary, so a CR LF can be split over
// two reads.
TEST_F(StreamTest, LinesAcrossBlockBoundaries) {
    for (std::size_t length : {126u, 127u, 128u, 129u, 255u, 256u, 259u, 260u, 261u, 1000u}) {
        SCOPED_TRACE(length);
        ioErrorCode = 0;
        std::string first;
        for (std::size_t i = 0; i < length; ++i) {
            first += static_cast<char>('a' + i % 26);
        }
        TextLineReader reader;
        openOnBytes(reader, dir, first + "\r\nnext\r\n");
        TextLine line;
        readLine(reader, line);
        EXPECT_EQ(line.length, length);
        EXPECT_EQ(lineText(line), first.substr(0, TextLine::capacity));
        skipLine(reader);
        readLine(reader, line);
        EXPECT_EQ(lineText(line), "next");
        skipLine(reader);
        EXPECT_TRUE(atEnd(reader));
        EXPECT_EQ(ioErrorCode, 0u);
        close(reader);
    }
}

TEST_F(StreamTest, EndOfInputAnswersTheSameEveryTime) {
    TextLineReader reader;
    openOnBytes(reader, dir, "only\r\n");
    TextLine line;
    readLine(reader, line);
    skipLine(reader);
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(atEnd(reader));
        readLine(reader, line);
        EXPECT_EQ(line.length, 0u);
        skipLine(reader);
        bool metEnd = false;
        const Extended value = readReal(reader, &metEnd);
        EXPECT_TRUE(metEnd);
        EXPECT_TRUE(sameBits(value, extendedFromBits(0, 0))) << describe(value);
    }
    EXPECT_EQ(ioErrorCode, 0u);
    close(reader);
}

TEST_F(StreamTest, AnUnendedLastLineIsDataUntilConsumed) {
    TextLineReader reader;
    openOnBytes(reader, dir, "tail");
    EXPECT_FALSE(atEnd(reader));
    TextLine line;
    readLine(reader, line);
    EXPECT_EQ(lineText(line), "tail");
    EXPECT_TRUE(atEnd(reader));
    close(reader);
}

TEST_F(StreamTest, ReadLineLeavesTheLineEndUnread) {
    TextLineReader reader;
    openOnBytes(reader, dir, "ab\r\ncd");
    TextLine line;
    readLine(reader, line);
    readLine(reader, line);  // still before the CR
    EXPECT_EQ(line.length, 0u);
    EXPECT_FALSE(atEnd(reader));
    close(reader);
}

TEST(LineEquals, SameLengthAndSameBytesOnly) {
    struct Case {
        std::string line;
        const char* keyword;
        bool equal;
    };
    const Case cases[] = {
        {"ENTITIES", "ENTITIES", true},  {"ENTITIES ", "ENTITIES", false}, {"entities", "ENTITIES", false},
        {" 10", " 10", true},            {"10", " 10", false},             {"  10", " 10", false},
        {"3DFACE", "3DFACE", true},      {"", "", true},                   {"3DFAC", "3DFACE", false},
    };
    for (const Case& c : cases) {
        TextLine line;
        line.length = c.line.size();
        std::memcpy(line.bytes, c.line.data(), c.line.size());
        EXPECT_EQ(lineEquals(line, c.keyword), c.equal) << '"' << c.line << "\" vs \"" << c.keyword << '"';
    }
    TextLine longLine;  // a long line that starts like the keyword
    longLine.length = 5000;
    std::memset(longLine.bytes, 'A', TextLine::capacity);
    std::memcpy(longLine.bytes, "ENTITIES", 8);
    EXPECT_FALSE(lineEquals(longLine, "ENTITIES"));
}

// ---- Opening: names and failures ---------------------------------------------------------------

TEST_F(StreamTest, OpenFailuresCarryTheWindowsNumbers) {
    writeFile(dir.file("plain.txt"), "x");
    struct Case {
        std::string name;
        std::uint32_t number;
    };
    const Case cases[] = {
        {dir.file("missing.dxf"), 2},
        {dir.file("no-such-dir/a.dxf"), 3},
        {dir.file("plain.txt/a.dxf"), 3},
        {dir.path(), 5},
    };
    for (const Case& c : cases) {
        ioErrorCode = 0;
        TextLineReader reader;
        openReadName(reader, c.name);
        EXPECT_EQ(ioErrorCode, c.number) << c.name;
        EXPECT_FALSE(reader.open) << c.name;
    }
}

TEST_F(StreamTest, NamesAreNeverShortened) {
    // 260 bytes: refused, though its first 259 bytes name a file that exists.
    std::string name = dir.path() + "/";
    name += std::string(259 - name.size(), 'n');
    writeFile(name, "x");
    TextLineReader reader;
    openReadName(reader, name + "z");
    EXPECT_EQ(ioErrorCode, 206u);
    EXPECT_FALSE(reader.open);

    // 259 bytes is an ordinary name.
    ioErrorCode = 0;
    openReadName(reader, name);
    EXPECT_EQ(ioErrorCode, 0u);
    EXPECT_TRUE(reader.open);
    close(reader);

    // A 0 byte inside a name makes it invalid instead of naming the file before it.
    ioErrorCode = 0;
    openReadName(reader, dir.file("plain") + "\0tail"s);
    EXPECT_EQ(ioErrorCode, 123u);
    EXPECT_FALSE(reader.open);

    // The same through a TextLine longer than it keeps.
    ioErrorCode = 0;
    TextLine longName;
    longName.length = 100000;
    std::memset(longName.bytes, 'a', TextLine::capacity);
    openRead(reader, longName);
    EXPECT_EQ(ioErrorCode, 206u);
}

TEST_F(StreamTest, AFirstZeroByteIsTheEmptyName) {
    TextLineReader reader;
    openReadName(reader, "\0ignored.dxf"s);
    EXPECT_EQ(ioErrorCode, 0u);
    EXPECT_TRUE(reader.open);
    EXPECT_TRUE(reader.onStandardInput);
    close(reader);
}

TEST_F(StreamTest, AReaderThatIsNotOpenRecords104AndDeliversTheEnd) {
    TextLineReader reader;
    TextLine line;
    readLine(reader, line);
    EXPECT_EQ(ioErrorCode, 104u);
    EXPECT_EQ(line.length, 0u);
    ioErrorCode = 0;
    EXPECT_TRUE(atEnd(reader));
    EXPECT_EQ(ioErrorCode, 104u);
    ioErrorCode = 0;
    skipLine(reader);
    EXPECT_EQ(ioErrorCode, 104u);
    ioErrorCode = 0;
    readReal(reader);
    EXPECT_EQ(ioErrorCode, 104u);

    // After close the read-ahead is gone too.
    ioErrorCode = 0;
    openOnBytes(reader, dir, "abc\r\n");
    EXPECT_FALSE(atEnd(reader));
    close(reader);
    EXPECT_TRUE(atEnd(reader));
    EXPECT_EQ(ioErrorCode, 104u);
}

// ---- Read failures, through the replaceable system calls ---------------------------------------

struct FakeSource {
    static inline int failuresLeft = 0;
    static inline int failWith = 0;
    static ssize_t read(int fd, void* buffer, size_t count) {
        if (failuresLeft > 0) {
            --failuresLeft;
            errno = failWith;
            return -1;
        }
        return platform::posix::realSystemCalls.readBytes(fd, buffer, count);
    }
};

class ReadFailure : public StreamTest {
protected:
    void TearDown() override { platform::posix::systemCalls = platform::posix::realSystemCalls; }
};

TEST_F(ReadFailure, IsRecordedAndTheNextRequestAsksAgain) {
    TextLineReader reader;
    openOnBytes(reader, dir, "12.5\r\nab\r\n");
    FakeSource::failuresLeft = 1;
    FakeSource::failWith = EIO;
    platform::posix::systemCalls.readBytes = FakeSource::read;
    EXPECT_TRUE(atEnd(reader));
    EXPECT_EQ(ioErrorCode, 30u);
    ioErrorCode = 0;
    EXPECT_FALSE(atEnd(reader));
    TextLine line;
    readLine(reader, line);
    EXPECT_EQ(lineText(line), "12.5");
    EXPECT_EQ(ioErrorCode, 0u);
    close(reader);
}

TEST_F(ReadFailure, InterruptedReadsAreRepeatedAndABrokenPipeIsTheEnd) {
    TextLineReader reader;
    openOnBytes(reader, dir, "ab\r\n");
    FakeSource::failuresLeft = 3;
    FakeSource::failWith = EINTR;
    platform::posix::systemCalls.readBytes = FakeSource::read;
    EXPECT_EQ(readAllLines(reader), std::vector<std::string>{"ab"});
    EXPECT_EQ(ioErrorCode, 0u);
    close(reader);

    openOnBytes(reader, dir, "ab\r\n");
    FakeSource::failuresLeft = 1;
    FakeSource::failWith = EPIPE;
    EXPECT_TRUE(atEnd(reader));
    EXPECT_TRUE(atEnd(reader));  // the end lasts: the source is not asked again
    EXPECT_EQ(ioErrorCode, 0u);
    close(reader);
}

// A number whose token is cut by the end of a block is read on into the next block, in one read
// asked for only when that block is needed; a failure there ends the token where it was cut.
TEST_F(ReadFailure, ANumberCutByABlockEndEndsThereWhenTheNextReadFails) {
    struct Case {
        const char* head;  // the token's bytes in the first block
        const char* tail;  // and in the second
        std::uint32_t recorded;  // a token cut where it is no number records 106 over the failure
    };
    const Case cases[] = {{"12", ".5", 30}, {"-0.2", "5", 30}, {"-", "1", 106}, {"1e", "3", 106}};
    for (const Case& c : cases) {
        const std::string head = c.head;
        for (const bool wholeLine : {false, true}) {
            TextLineReader reader;
            openOnBytes(reader, dir, std::string(TextLineReader::blockSize - head.size(), ' ') + head + c.tail + "\r\n9\r\n");
            FakeSource::failuresLeft = 0;
            FakeSource::failWith = EIO;
            platform::posix::systemCalls.readBytes = FakeSource::read;
            EXPECT_FALSE(atEnd(reader));  // the first block is read
            FakeSource::failuresLeft = 1;
            bool metEnd = true;
            const Extended value = wholeLine ? readRealLine(reader, &metEnd) : readReal(reader, &metEnd);
            EXPECT_EQ(ioErrorCode, c.recorded) << c.head << c.tail;
            EXPECT_FALSE(metEnd);
            Extended expected = extendedFromInt(0);
            if (c.recorded == 30) {
                ASSERT_TRUE(convertNumberToken(asBytes(head), head.size(), expected));
            }
            EXPECT_TRUE(sameBits(value, expected)) << c.head << c.tail << ": " << describe(value);
            // Nothing of the failed read is kept: the next request asks again and gets the rest of the
            // token's line (which readRealLine has passed over already).
            ioErrorCode = 0;
            TextLine line;
            readLine(reader, line);
            EXPECT_EQ(lineText(line), wholeLine ? std::string("9") : std::string(c.tail)) << c.head << c.tail;
            EXPECT_EQ(ioErrorCode, 0u);
            close(reader);
        }
    }
}

struct ByteAtATimeSource {
    static inline int reads = 0;
    static ssize_t read(int fd, void* buffer, size_t) {
        ++reads;
        return platform::posix::realSystemCalls.readBytes(fd, buffer, 1);
    }
};

// A source that gives one byte per read, as a terminal or a slow pipe may: the numbers are the same,
// and every read is asked for only when its byte is needed.
TEST_F(ReadFailure, ANumberFromASourceThatGivesOneByteAtATime) {
    TextLineReader reader;
    openOnBytes(reader, dir, "512345.1216\r\n-2.5E-2 \r\n7");
    platform::posix::systemCalls.readBytes = ByteAtATimeSource::read;
    ByteAtATimeSource::reads = 0;
    // The first byte read ahead, so the token starts at the end of what is there.
    EXPECT_FALSE(atEnd(reader));
    Extended expected = extendedFromInt(0);
    ASSERT_TRUE(convertNumberToken(asBytes("512345.1216"), 11, expected));
    EXPECT_TRUE(sameBits(readRealLine(reader), expected));
    EXPECT_EQ(ByteAtATimeSource::reads, 13);  // up to the LF, which tells the CR LF from a lone CR
    ASSERT_TRUE(convertNumberToken(asBytes("-2.5E-2"), 7, expected));
    EXPECT_TRUE(sameBits(readReal(reader), expected));
    EXPECT_EQ(ByteAtATimeSource::reads, 21);  // up to the blank after the token
    skipLine(reader);
    EXPECT_EQ(ByteAtATimeSource::reads, 23);
    bool metEnd = true;
    EXPECT_TRUE(sameBits(readReal(reader, &metEnd), extendedFromInt(7)));
    EXPECT_FALSE(metEnd);
    EXPECT_EQ(ByteAtATimeSource::reads, 25);  // and the read that finds the end
    EXPECT_TRUE(atEnd(reader));
    EXPECT_EQ(ByteAtATimeSource::reads, 25);
    EXPECT_EQ(ioErrorCode, 0u);
    close(reader);
}

// A token that reaches the very end of the file: the read that finds nothing more ends it.
TEST_F(StreamTest, ANumberCutByTheEndOfTheFile) {
    for (const bool wholeLine : {false, true}) {
        TextLineReader reader;
        openOnBytes(reader, dir, std::string(TextLineReader::blockSize - 3, ' ') + "12.5");
        bool metEnd = true;
        const Extended value = wholeLine ? readRealLine(reader, &metEnd) : readReal(reader, &metEnd);
        Extended expected = extendedFromInt(0);
        ASSERT_TRUE(convertNumberToken(asBytes("12.5"), 4, expected));
        EXPECT_TRUE(sameBits(value, expected)) << describe(value);
        EXPECT_FALSE(metEnd);
        EXPECT_TRUE(atEnd(reader));
        EXPECT_EQ(sameBits(readReal(reader, &metEnd), extendedFromInt(0)), true);
        EXPECT_TRUE(metEnd);
        EXPECT_EQ(ioErrorCode, 0u);
        close(reader);
    }
}

TEST_F(ReadFailure, AFailedReleaseIsRecorded) {
    TextLineReader reader;
    openOnBytes(reader, dir, "ab\r\n");
    const int fd = static_cast<int>(reader.source);
    platform::posix::systemCalls.closeFile = [](int) {
        errno = EIO;
        return -1;
    };
    close(reader);
    EXPECT_EQ(ioErrorCode, 29u);
    EXPECT_FALSE(reader.open);
    ::close(fd);
}

}  // namespace
}  // namespace m2s::testing
