#include "visa/TraceLog.h"

#include "base/MonotonicStamp.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace visa {

std::shared_ptr<TraceLog> TraceLog::openFile(const std::string& path) {
    base::FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!file.valid())
        throw std::runtime_error("cannot open the trace file " + path + ": " + std::strerror(errno));
    return std::shared_ptr<TraceLog>(new TraceLog(std::move(file)));
}

std::shared_ptr<TraceLog> TraceLog::toStandardError() {
    return std::shared_ptr<TraceLog>(
        new TraceLog(base::FileDescriptor(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0))));
}

void TraceLog::record(std::string_view resource, TraceDirection direction, std::string_view message) {
    std::string line =
        formatLine(std::chrono::microseconds(base::monotonicMicroseconds()), resource, direction, message);
    line.pop_back(); // the writer ends the line itself
    output_.write(std::move(line));
}

std::string TraceLog::formatLine(std::chrono::microseconds timestamp, std::string_view resource,
                                 TraceDirection direction, std::string_view message) {
    std::string line = std::to_string(timestamp.count());
    line += ' ';
    line += escaped(resource);
    line += direction == TraceDirection::Write ? " -> " : " <- ";
    line += escaped(message);
    line += '\n';
    return line;
}

std::string TraceLog::escaped(std::string_view message) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(message.size());
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        default:
            break;
        }
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

} // namespace visa
