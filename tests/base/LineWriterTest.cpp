// Output that a service writes through a LineWriter: in order while read, never waited for when not,
// and what could not be kept is counted in a line of its own.
#include "base/LineWriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Everything the other end of `readEnd` gets until it is closed, line by line.
std::vector<std::string> readAllLines(int readEnd) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(readEnd, buffer, sizeof buffer)) != 0;) {
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
    }
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

struct Stall {
    const char* label;
    std::size_t capacity;
    int lines;
    bool dropsSome; // more than the pipe and the queue hold together
};

class LineWriterStalls : public testing::TestWithParam<Stall> {};

// The reader starts only after every line has been handed over: a writer that waited for it would
// never get there.
TEST_P(LineWriterStalls, KeepsOrderDropsTheRestAndSaysHowMany) {
    const Stall stall = GetParam();
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const base::FileDescriptor readEnd(fds[0]);
    std::vector<std::string> lines;
    std::thread reader;
    {
        base::LineWriter writer(base::FileDescriptor(fds[1]), stall.capacity);
        for (int i = 0; i < stall.lines; ++i)
            writer.write("line " + std::to_string(i) + " " + std::string(100, '.'));
        reader = std::thread([&] { lines = readAllLines(readEnd.get()); });
    } // the writer writes what it holds and closes the pipe
    reader.join();

    // The lines that got through keep their order; each gap is said at once, in one line that counts
    // exactly the lines missing there. Lines queued after the output took lines again follow it.
    std::size_t next = 0;
    std::size_t notes = 0;
    bool afterNote = false;
    for (const auto& line : lines) {
        if (line.starts_with("line ")) {
            EXPECT_TRUE(line.starts_with("line " + std::to_string(next) + " ")) << line;
            ++next;
            afterNote = false;
            continue;
        }
        const auto space = line.find(' ');
        ASSERT_EQ(line.substr(space == std::string::npos ? 0 : space), " log lines dropped") << line;
        EXPECT_FALSE(afterNote) << "two notes in a row";
        next += std::stoul(line.substr(0, space));
        ++notes;
        afterNote = true;
    }
    EXPECT_EQ(next, static_cast<std::size_t>(stall.lines)) << "lines lost without a word";
    EXPECT_EQ(notes > 0, stall.dropsSome);
}

INSTANTIATE_TEST_SUITE_P(Output, LineWriterStalls,
                         testing::Values(Stall{"QueueHoldsEverything", 100'000, 2000, false},
                                         Stall{"ReaderStalledPastTheQueue", 100, 5000, true},
                                         Stall{"QueueOfOneLine", 1, 3000, true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(LineWriter, FlushReturnsOnceEveryLineQueuedIsOut) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    const base::FileDescriptor readEnd(fds[0]);
    base::LineWriter writer{base::FileDescriptor(fds[1])};
    writer.write("first");
    writer.write("second");
    writer.flush();
    char buffer[64] = {};
    EXPECT_EQ(::read(readEnd.get(), buffer, sizeof buffer), 13);
    EXPECT_STREQ(buffer, "first\nsecond\n");
}

} // namespace
