// The script writer: when bytes reach the target (full blocks at once, line ends and flushes only on a
// character device, the rest at close), what a failed write-out leaves, and the failures it records.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/posix_calls.hpp"
#include "text_test_support.hpp"

namespace m2s::testing {
namespace {

using namespace std::string_literals;
namespace posix = platform::posix;

// Every write call that reaches the system, by size; the bytes still go to the real target.
struct WriteLog {
    static inline std::vector<std::size_t> sizes;
    static ssize_t write(int fd, const void* bytes, size_t count) {
        sizes.push_back(count);
        return posix::realSystemCalls.writeBytes(fd, bytes, count);
    }
};

class WriterTest : public StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        WriteLog::sizes.clear();
        posix::systemCalls.writeBytes = WriteLog::write;
    }
    void TearDown() override { posix::systemCalls = posix::realSystemCalls; }
};

TEST_F(WriterTest, AFileGetsFullBlocksAtOnceAndTheRestAtClose) {
    const std::string path = dir.file("out.scr");
    ScriptTextWriter writer;
    createWriteName(writer, path);
    ASSERT_TRUE(writer.open);
    EXPECT_FALSE(writer.characterDevice);

    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += static_cast<char>('A' + i % 26);
    }
    writeText(writer, text.c_str());
    EXPECT_EQ(fileSize(path), 256);
    EXPECT_EQ(WriteLog::sizes, (std::vector<std::size_t>{128, 128}));
    endLine(writer);  // a line end and a flush do not reach a disk file
    flush(writer);
    EXPECT_EQ(fileSize(path), 256);
    EXPECT_EQ(writer.pendingCount, 46u);
    close(writer);
    EXPECT_EQ(WriteLog::sizes, (std::vector<std::size_t>{128, 128, 46}));
    EXPECT_EQ(readFile(path), text + "\r\n");
    EXPECT_EQ(ioErrorCode, 0u);
}

TEST_F(WriterTest, StringsSendAFilledBlockAtOnceAndABytePushesAFullOneOut) {
    const std::string path = dir.file("out.scr");
    ScriptTextWriter writer;
    createWriteName(writer, path);
    writeText(writer, std::string(126, 'x').c_str());
    endLine(writer);  // CR LF fill the block to 128: it goes out at once, nothing waits
    EXPECT_EQ(fileSize(path), 128);
    EXPECT_EQ(writer.pendingCount, 0u);

    for (int i = 0; i < 128; ++i) {
        writeChar(writer, 'c');
    }
    EXPECT_EQ(fileSize(path), 128);  // single bytes wait until one finds the block full
    writeChar(writer, 'l');
    EXPECT_EQ(fileSize(path), 256);
    EXPECT_EQ(writer.pendingCount, 1u);
    writeText(writer, "");  // an empty string adds nothing and sends nothing
    close(writer);
    EXPECT_EQ(WriteLog::sizes, (std::vector<std::size_t>{128, 128, 1}));
    EXPECT_EQ(fileSize(path), 257);
}

// The ways an append goes in: a short string, a real whose text is made now or was made before, and a
// line end. Each takes the inline way, which copies into the room beyond the block.
enum class Append { text, newReal, rememberedReal, lineEnd };

struct AppendCase {
    const char* name;
    Append kind;
    std::string bytes;  // what it appends
};

// A value of its own for each call, so that its text is made now.
Extended freshValue() {
    static std::int32_t next = 700001;
    return extendedFromInt(next++);
}

std::string textOf(Extended x) {
    char text[255];
    return std::string(text, formatReal(x, 3, 4, text));
}

// Appends c's bytes the way c says; returns them.
std::string appendOne(ScriptTextWriter& writer, Append kind) {
    switch (kind) {
        case Append::text:
            writeText(writer, "_EXTRUDE");
            return "_EXTRUDE";
        case Append::newReal: {
            const Extended x = freshValue();
            writeReal(writer, x, 3, 4);
            return textOf(x);  // made by writeReal, remembered since
        }
        case Append::rememberedReal: {
            const Extended x = extendedFromBits(0xC01B, 0xE8D4A50FFFFFFC00u);  // -244140624.99999...
            const std::string text = textOf(x);
            writeReal(writer, x, 3, 4);
            return text;
        }
        case Append::lineEnd:
            endLine(writer);
            return "\r\n";
    }
    return "";
}

const Append appendKinds[] = {Append::text, Append::newReal, Append::rememberedReal, Append::lineEnd};

TEST_F(WriterTest, AnAppendThatReachesTheBlockEndSendsExactly128BytesAndKeepsTheRest) {
    // From well before the end to a block filled by single bytes, which waits for the next append.
    for (const Append kind : appendKinds) {
        for (std::size_t before = 96; before <= 128; ++before) {
            WriteLog::sizes.clear();
            const std::string path = dir.file("out.scr");
            ScriptTextWriter writer;
            createWriteName(writer, path);
            for (std::size_t i = 0; i < before; ++i) {
                writeChar(writer, static_cast<std::uint8_t>('a' + i % 26));
            }
            std::string expected;
            for (std::size_t i = 0; i < before; ++i) {
                expected += static_cast<char>('a' + i % 26);
            }
            const std::string appended = appendOne(writer, kind);
            expected += appended;
            const std::size_t total = before + appended.size();
            const std::string where = "kind " + std::to_string(static_cast<int>(kind)) + ", " +
                                      std::to_string(before) + " bytes before";
            if (total >= 128) {
                EXPECT_EQ(WriteLog::sizes, std::vector<std::size_t>{128}) << where;
                EXPECT_EQ(writer.pendingCount, total - 128) << where;
                EXPECT_EQ(fileSize(path), 128) << where;
            } else {
                EXPECT_TRUE(WriteLog::sizes.empty()) << where;
                EXPECT_EQ(writer.pendingCount, total) << where;
            }
            writeText(writer, "|");  // what follows lands right after the appended bytes
            close(writer);
            EXPECT_EQ(readFile(path), expected + "|") << where;
            EXPECT_EQ(ioErrorCode, 0u) << where;
        }
    }
}

// A disk that refuses the block: the bytes of the append beyond the block go with it.
struct RefusingWrites {
    static ssize_t write(int, const void*, size_t count) {
        WriteLog::sizes.push_back(count);
        errno = ENOSPC;
        return -1;
    }
};

TEST_F(WriterTest, AFailedHandOverOfTheBlockDropsTheRestOfTheAppend) {
    for (const Append kind : appendKinds) {
        const std::string path = dir.file("out.scr");
        ScriptTextWriter writer;
        createWriteName(writer, path);
        writeText(writer, std::string(127, 'x').c_str());
        ioErrorCode = 0;
        WriteLog::sizes.clear();
        posix::systemCalls.writeBytes = RefusingWrites::write;
        appendOne(writer, kind);  // every kind appends at least 2 bytes: the block fills and goes out
        EXPECT_EQ(ioErrorCode, 112u);
        EXPECT_EQ(WriteLog::sizes, std::vector<std::size_t>{128});
        EXPECT_EQ(writer.pendingCount, 0u);
        posix::systemCalls.writeBytes = WriteLog::write;
        ioErrorCode = 0;
        writeText(writer, "ab");  // the rest of the line goes on into the empty block
        close(writer);
        EXPECT_EQ(ioErrorCode, 0u);
        EXPECT_EQ(readFile(path), "ab") << static_cast<int>(kind);
    }
}

TEST_F(WriterTest, AnAppendToAWriterNotOpenRecords105AndLeavesNothing) {
    for (const Append kind : appendKinds) {
        ScriptTextWriter writer;
        ioErrorCode = 0;
        appendOne(writer, kind);
        // A line end goes on to its flush, which records 103.
        EXPECT_EQ(ioErrorCode, kind == Append::lineEnd ? 103u : 105u) << static_cast<int>(kind);
        EXPECT_EQ(writer.pendingCount, 0u);
        EXPECT_FALSE(writer.open);
    }
    EXPECT_TRUE(WriteLog::sizes.empty());
}

TEST_F(WriterTest, ACharacterDeviceGetsTheBlockAndTheRestOfALineEndThatCrossesIt) {
    ScriptTextWriter writer;
    createWriteName(writer, "/dev/null");
    ASSERT_TRUE(writer.characterDevice);
    writeText(writer, std::string(127, 'x').c_str());
    endLine(writer);
    EXPECT_EQ(WriteLog::sizes, (std::vector<std::size_t>{128, 1}));
    EXPECT_EQ(writer.pendingCount, 0u);
    close(writer);
    EXPECT_EQ(ioErrorCode, 0u);
}

TEST_F(WriterTest, ACharacterDeviceGetsItsBytesAtEachLineEndAndFlush) {
    ScriptTextWriter writer;
    createWriteName(writer, "/dev/null");
    ASSERT_TRUE(writer.open);
    EXPECT_TRUE(writer.characterDevice);
    writeText(writer, "prompt: ");
    EXPECT_TRUE(WriteLog::sizes.empty());
    flush(writer);
    flush(writer);  // nothing pending: no call
    writeText(writer, "_PLINE");
    endLine(writer);
    endLine(writer);
    close(writer);
    EXPECT_EQ(WriteLog::sizes, (std::vector<std::size_t>{8, 8, 2}));
    EXPECT_EQ(ioErrorCode, 0u);
}

TEST_F(WriterTest, ExistingFileIsEmptiedAndHoldsExactlyTheBytesWritten) {
    const std::string path = dir.file("out.scr");
    writeFile(path, std::string(1000, 'o'));
    ScriptTextWriter writer;
    createWriteName(writer, path);
    EXPECT_EQ(fileSize(path), 0);
    writeText(writer, "_PLINE");
    endLine(writer);
    endLine(writer);
    close(writer);
    EXPECT_EQ(readFile(path), "_PLINE\r\n\r\n");
}

TEST_F(WriterTest, AFailedWriteOutLosesItsBytesAndTheRestOfTheString) {
    ScriptTextWriter writer;
    createWriteName(writer, "/dev/full");
    ASSERT_TRUE(writer.open);
    // /dev/full is a character device, so a line end already writes out.
    writeText(writer, std::string(300, 'x').c_str());
    EXPECT_EQ(ioErrorCode, 112u);
    EXPECT_EQ(writer.pendingCount, 0u);
    EXPECT_EQ(WriteLog::sizes, std::vector<std::size_t>{128});  // the other 172 bytes were dropped
    ioErrorCode = 0;
    writeText(writer, "ab");
    EXPECT_EQ(writer.pendingCount, 2u);
    endLine(writer);
    EXPECT_EQ(ioErrorCode, 112u);
    EXPECT_EQ(writer.pendingCount, 0u);

    // A close whose write-out fails leaves the writer open.
    ioErrorCode = 0;
    writeChar(writer, 'c');
    close(writer);
    EXPECT_EQ(ioErrorCode, 112u);
    EXPECT_TRUE(writer.open);
    ioErrorCode = 0;
    close(writer);  // nothing pending now: released
    EXPECT_EQ(ioErrorCode, 0u);
    EXPECT_FALSE(writer.open);
}

TEST_F(WriterTest, AWriterThatIsNotOpen) {
    ScriptTextWriter writer;
    writeText(writer, "abc");
    EXPECT_EQ(ioErrorCode, 105u);
    ioErrorCode = 0;
    writeChar(writer, 'c');
    EXPECT_EQ(ioErrorCode, 105u);
    ioErrorCode = 0;
    writeReal(writer, extendedFromInt(1), 3, 4);
    EXPECT_EQ(ioErrorCode, 105u);
    ioErrorCode = 0;
    endLine(writer);  // 105 for the line end, then 103 for its flush
    EXPECT_EQ(ioErrorCode, 103u);
    ioErrorCode = 0;
    flush(writer);
    EXPECT_EQ(ioErrorCode, 103u);
    ioErrorCode = 0;
    close(writer);
    EXPECT_EQ(ioErrorCode, 103u);
    EXPECT_TRUE(WriteLog::sizes.empty());

    // Closed after use: the same.
    ioErrorCode = 0;
    createWriteName(writer, dir.file("a.scr"));
    close(writer);
    close(writer);
    EXPECT_EQ(ioErrorCode, 103u);
}

TEST_F(WriterTest, NamesAreNeverShortenedAndNothingIsCreated) {
    std::string name = dir.path() + "/";
    name += std::string(260 - name.size(), 'n');
    ScriptTextWriter writer;
    createWriteName(writer, name);
    EXPECT_EQ(ioErrorCode, 206u);
    EXPECT_FALSE(writer.open);
    EXPECT_FALSE(exists(name.substr(0, 259)));

    ioErrorCode = 0;
    const std::string stem = dir.file("a.scr");
    createWriteName(writer, stem + "\0.txt"s);
    EXPECT_EQ(ioErrorCode, 123u);
    EXPECT_FALSE(writer.open);
    EXPECT_FALSE(exists(stem));

    // A 259-byte name is passed on as it is.
    ioErrorCode = 0;
    name.pop_back();
    createWriteName(writer, name);
    EXPECT_EQ(ioErrorCode, 0u);
    EXPECT_TRUE(exists(name));
    close(writer);
}

TEST_F(WriterTest, CreateFailuresKeepTheFileAsItWas) {
    const std::string readOnly = dir.file("read-only.scr");
    writeFile(readOnly, "keep");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const std::string dxf = dir.file("mesh.dxf");
    writeFile(dxf, "0\r\nEOF\r\n");
    TextLineReader reader;
    openReadName(reader, dxf);
    ASSERT_TRUE(reader.open);

    struct Case {
        std::string name;
        std::uint32_t number;
    };
    const Case cases[] = {
        {dir.file("no-such-dir/a.scr"), 3}, {dir.path(), 5}, {readOnly, 5}, {dxf, 32},
    };
    for (const Case& c : cases) {
        ioErrorCode = 0;
        ScriptTextWriter writer;
        createWriteName(writer, c.name);
        EXPECT_EQ(ioErrorCode, c.number) << c.name;
        EXPECT_FALSE(writer.open) << c.name;
    }
    EXPECT_EQ(readFile(readOnly), "keep");
    EXPECT_EQ(readFile(dxf), "0\r\nEOF\r\n");
    close(reader);
}

TEST_F(WriterTest, ATargetOfUnknownKindIsReleasedWith105) {
    // The create itself looks at the new file once; the question of its kind comes after that.
    static int calls;
    calls = 0;
    posix::systemCalls.statHandle = [](int fd, struct stat* info) {
        if (++calls == 1) {
            return posix::realSystemCalls.statHandle(fd, info);
        }
        errno = EIO;
        return -1;
    };
    ScriptTextWriter writer;
    createWriteName(writer, dir.file("a.scr"));
    EXPECT_EQ(ioErrorCode, 105u);
    EXPECT_FALSE(writer.open);
}

TEST_F(WriterTest, AFailedReleaseIsRecordedAndTheWriterIsClosed) {
    ScriptTextWriter writer;
    createWriteName(writer, dir.file("a.scr"));
    writeText(writer, "abc");
    const int fd = static_cast<int>(writer.target);
    posix::systemCalls.closeFile = [](int) {
        errno = ENOSPC;
        return -1;
    };
    close(writer);
    EXPECT_EQ(ioErrorCode, 112u);
    EXPECT_FALSE(writer.open);
    EXPECT_EQ(readFile(dir.file("a.scr")), "abc");
    ::close(fd);
}

}  // namespace
}  // namespace m2s::testing
