#pragma once

#include "base/FileDescriptor.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace base {

// Lines for one output (a log on standard output, a trace file) that the code producing them never
// waits for: write() queues the line and returns, and a thread of its own writes it out. When the reader
// falls behind (a pipe nobody reads) and the queue is full, further lines are dropped and counted, and
// "N log lines dropped" follows the lines written once the output takes lines again. A long-lived
// service thus goes on serving whatever becomes of its output.
class LineWriter {
public:
    static constexpr std::size_t kDefaultCapacity = 4096;
    // Whatever the lines' count, so that long lines (a trace of large messages) stay bounded too.
    static constexpr std::size_t kMaxQueuedBytes = 4 * 1024 * 1024;

    // `capacity`: lines queued at most.
    explicit LineWriter(FileDescriptor output, std::size_t capacity = kDefaultCapacity);
    // Writes what is queued, giving up when the output takes nothing for a while, and joins the thread.
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    // Thread-safe and never waits on the output. A line ends with the '\n' added here.
    void write(std::string line);
    // Waits until every line queued so far has been written or dropped; not on a fiber.
    void flush();

private:
    void writeOut();
    bool writeWhole(const std::string& line);

    FileDescriptor output_;
    FileDescriptor stop_; // an eventfd: ends a wait for the output to take more
    const std::size_t capacity_;
    const bool appendsWhole_; // a regular file: a line goes out in one write(), as appenders share it
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> queued_;
    std::size_t queuedBytes_ = 0;
    std::size_t dropped_ = 0;
    std::size_t written_ = 0;  // lines taken from the queue, for flush()
    std::size_t accepted_ = 0; // lines queued or dropped, the same
    bool stopping_ = false;
    std::thread thread_; // last: it starts once the rest is ready
};

} // namespace base
