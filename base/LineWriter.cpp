#include "base/LineWriter.h"

#include "base/FiberGuard.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace base {

namespace {

using namespace std::chrono_literals;

// How long the output may take nothing before the lines left at the end are given up.
constexpr auto kLastLinesPatience = 2000ms;

bool isRegularFile(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace

LineWriter::LineWriter(FileDescriptor output, std::size_t capacity)
    : output_(std::move(output)), stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      capacity_(capacity == 0 ? 1 : capacity), appendsWhole_(isRegularFile(output_.get())) {
    if (!stop_.valid())
        throw std::system_error(errno, std::generic_category(), "cannot create a line writer's stop event");
    thread_ = std::thread([this] { writeOut(); });
}

LineWriter::~LineWriter() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const std::uint64_t one = 1;
    while (::write(stop_.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
}

void LineWriter::write(std::string line) {
    line += '\n';
    {
        const std::lock_guard lock(mutex_);
        ++accepted_;
        if (queued_.size() >= capacity_ || queuedBytes_ + line.size() > kMaxQueuedBytes) {
            ++dropped_;
            ++written_;
            return;
        }
        queuedBytes_ += line.size();
        queued_.push_back(std::move(line));
    }
    changed_.notify_all();
}

void LineWriter::flush() {
    assertNotOnFiber("LineWriter::flush");
    std::unique_lock lock(mutex_);
    const std::size_t target = accepted_;
    changed_.wait(lock, [&] { return written_ >= target || stopping_; });
}

void LineWriter::writeOut() {
    std::vector<std::string> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !queued_.empty() || dropped_ > 0; });
        if (queued_.empty() && dropped_ == 0)
            return; // stopping, and all written
        // Lines are dropped only while the queue is full, so the ones lost came after every line queued.
        batch.swap(queued_);
        queuedBytes_ = 0;
        const std::size_t taken = batch.size();
        if (dropped_ > 0)
            batch.push_back(std::to_string(std::exchange(dropped_, 0)) + " log lines dropped\n");
        lock.unlock();
        bool open = true;
        for (const auto& line : batch)
            open = open && writeWhole(line);
        batch.clear();
        lock.lock();
        written_ += taken;
        changed_.notify_all();
        if (!open)
            return; // the output is gone or stalled at the end: what is left is given up
    }
}

// False when the output is gone, or takes nothing for kLastLinesPatience once stopping.
bool LineWriter::writeWhole(const std::string& line) {
    std::size_t done = 0;
    while (done < line.size()) {
        pollfd fds[2] = {{output_.get(), POLLOUT, 0}, {stop_.get(), POLLIN, 0}};
        bool stopping = false;
        {
            const std::lock_guard lock(mutex_);
            stopping = stopping_;
        }
        const int ready =
            ::poll(fds, stopping ? 1 : 2, stopping ? static_cast<int>(kLastLinesPatience.count()) : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return false;
        if (fds[0].revents == 0)
            continue; // woken to stop: wait again, with patience
        // After POLLOUT a pipe takes PIPE_BUF bytes without blocking; a file takes the whole line at once.
        const std::size_t piece =
            appendsWhole_ ? line.size() - done : std::min<std::size_t>(line.size() - done, PIPE_BUF);
        const ssize_t written = ::write(output_.get(), line.data() + done, piece);
        if (written < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace base
