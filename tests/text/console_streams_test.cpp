// consoleInput and consoleOutput on the process's own standard input and output, redirected to pipes
// for the test: they open themselves at their first use, keep their own buffers, and never release the
// standard handles.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "text_test_support.hpp"

namespace m2s::testing {
namespace {

// Puts a pipe in the place of a standard descriptor for the length of a test, then puts the
// original back.
class RedirectedDescriptor {
public:
    explicit RedirectedDescriptor(int fd) : fd_(fd), saved_(::dup(fd)) {
        int ends[2];
        if (::pipe(ends) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        readEnd_ = ends[0];
        writeEnd_ = ends[1];
        ::dup2(fd == STDIN_FILENO ? readEnd_ : writeEnd_, fd);
    }
    ~RedirectedDescriptor() {
        ::dup2(saved_, fd_);
        ::close(saved_);
        closeEnd(readEnd_);
        closeEnd(writeEnd_);
    }
    RedirectedDescriptor(const RedirectedDescriptor&) = delete;
    RedirectedDescriptor& operator=(const RedirectedDescriptor&) = delete;

    void feed(const std::string& bytes) {
        ASSERT_EQ(::write(writeEnd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void closeWriting() {
        closeEnd(writeEnd_);
        if (fd_ == STDOUT_FILENO) {
            ::dup2(saved_, fd_);  // the pipe's last writer must go for its reader to see the end
        }
    }
    std::string drain() {
        std::string bytes;
        char buffer[512];
        ssize_t got;
        while ((got = ::read(readEnd_, buffer, sizeof buffer)) > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        return bytes;
    }

private:
    static void closeEnd(int& end) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
    int fd_;
    int saved_;
    int readEnd_ = -1;
    int writeEnd_ = -1;
};

class ConsoleTest : public StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        consoleInput = TextLineReader{.opensOnFirstUse = true};
        consoleOutput = ScriptTextWriter{.opensOnFirstUse = true};
    }
    void TearDown() override {
        consoleInput = TextLineReader{.opensOnFirstUse = true};
        consoleOutput = ScriptTextWriter{.opensOnFirstUse = true};
    }
};

TEST_F(ConsoleTest, TwoReadersOnOneStandardInputKeepTheirOwnReadAhead) {
    RedirectedDescriptor input(STDIN_FILENO);
    input.feed("first.dxf\nsecond.scr\n-2\n0\n");
    input.closeWriting();

    EXPECT_FALSE(consoleInput.open);
    TextLine line;
    readLine(consoleInput, line);  // opens it and takes the whole block into its read-ahead
    skipLine(consoleInput);
    EXPECT_TRUE(consoleInput.open);
    EXPECT_EQ(lineText(line), "first.dxf");

    TextLineReader second;
    openRead(second, nullptr, 0);
    EXPECT_TRUE(atEnd(second));  // the pipe is empty: the bytes are in consoleInput's read-ahead

    readLine(consoleInput, line);
    skipLine(consoleInput);
    EXPECT_EQ(lineText(line), "second.scr");
    const Extended zBase = readReal(consoleInput);
    skipLine(consoleInput);
    EXPECT_TRUE(sameBits(zBase, extendedFromBits(0xC000, 0x8000000000000000u))) << describe(zBase);
    readReal(consoleInput);
    skipLine(consoleInput);
    EXPECT_TRUE(atEnd(consoleInput));
    EXPECT_EQ(ioErrorCode, 0u);

    close(consoleInput);
    close(second);
    EXPECT_GE(::fcntl(STDIN_FILENO, F_GETFD), 0);  // standard input stays usable
}

TEST_F(ConsoleTest, AClosedStandardInputRecords104AtTheFirstRead) {
    const int saved = ::dup(STDIN_FILENO);
    ::close(STDIN_FILENO);
    TextLine line;
    readLine(consoleInput, line);
    const std::uint32_t atFirstRead = ioErrorCode;
    ioErrorCode = 0;
    TextLineReader direct;
    openRead(direct, nullptr, 0);
    const std::uint32_t atOpen = ioErrorCode;
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    EXPECT_EQ(atFirstRead, 104u);
    EXPECT_EQ(atOpen, 6u);
    EXPECT_FALSE(direct.open);
}

TEST_F(ConsoleTest, ConsoleOutputOnAPipeWaitsForCloseAndLeavesStandardOutputOpen) {
    std::string written;
    bool stillUsable = false;
    bool characterDevice = true;
    {
        RedirectedDescriptor output(STDOUT_FILENO);
        writeText(consoleOutput, "Nome del file: ");
        flush(consoleOutput);
        writeText(consoleOutput, "riga");
        endLine(consoleOutput);
        characterDevice = consoleOutput.characterDevice;
        close(consoleOutput);
        stillUsable = ::fcntl(STDOUT_FILENO, F_GETFD) >= 0;
        output.closeWriting();
        written = output.drain();
    }
    EXPECT_FALSE(characterDevice);
    EXPECT_EQ(written, "Nome del file: riga\r\n");
    EXPECT_TRUE(stillUsable);
    EXPECT_EQ(ioErrorCode, 0u);
}

TEST_F(ConsoleTest, AClosedStandardOutputEndsALineWith103) {
    const int saved = ::dup(STDOUT_FILENO);
    ::close(STDOUT_FILENO);
    writeText(consoleOutput, "Runtime error");
    const std::uint32_t afterWrite = ioErrorCode;
    endLine(consoleOutput);
    const std::uint32_t afterLine = ioErrorCode;
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(afterWrite, 105u);
    EXPECT_EQ(afterLine, 103u);
}

TEST_F(ConsoleTest, ABrokenPipeOnOutputIsARecordedFailure) {
    ::signal(SIGPIPE, SIG_IGN);  // the program ignores it at its start; a test must do the same
    const int saved = ::dup(STDOUT_FILENO);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);  // the reader is gone before anything is written
    ::dup2(ends[1], STDOUT_FILENO);
    ::close(ends[1]);
    ScriptTextWriter writer;
    createWrite(writer, nullptr, 0);
    writeText(writer, "abc");
    close(writer);
    const std::uint32_t number = ioErrorCode;
    const bool open = writer.open;
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(number, 232u);
    EXPECT_TRUE(open);  // the write-out failed, so nothing was released
}

}  // namespace
}  // namespace m2s::testing
