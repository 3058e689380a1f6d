#pragma once

#include "base/LineWriter.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace visa {

enum class TraceDirection { Write, Read };

// The I/O trace: every message written and every reply read, one line each, as
//   <monotonic microseconds> <resource> -> <text>     for a message written to the instrument
//   <monotonic microseconds> <resource> <- <text>     for a reply read from it.
// The text is escaped without loss (\n, \r, \t, \\, \xNN), so a line never breaks and the bytes can be
// recovered exactly. Lines go out with one write() each to a file opened for appending, so several
// processes can share one trace file. Recording never waits for the output (base::LineWriter): an
// instrument's fiber or thread goes on while the file or terminal is slow, and lines that find the queue
// full are counted and said to be dropped.
class TraceLog {
public:
    // Appends to the file, creating it; throws std::runtime_error naming the file when it cannot.
    static std::shared_ptr<TraceLog> openFile(const std::string& path);
    // Writes to the process's standard error.
    static std::shared_ptr<TraceLog> toStandardError();

    void record(std::string_view resource, TraceDirection direction, std::string_view message);

    static std::string formatLine(std::chrono::microseconds timestamp, std::string_view resource,
                                  TraceDirection direction, std::string_view message);
    static std::string escaped(std::string_view message);

private:
    explicit TraceLog(base::FileDescriptor output) : output_(std::move(output)) {}

    base::LineWriter output_;
};

} // namespace visa
