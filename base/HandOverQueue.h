#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace base {

// Hands items from producer threads to one consumer thread, which waits for them with a time limit. The
// lock is held only to move an item in or out: whatever the consumer does with an item, it does with no
// lock held. Not for fibers: pop waits on a condition variable.
template <typename T> class HandOverQueue {
public:
    using Clock = std::chrono::steady_clock;

    void push(T item) {
        {
            const std::lock_guard lock(mutex_);
            items_.push_back(std::move(item));
        }
        ready_.notify_one();
    }

    // The next item, or nothing once `until` has passed or the queue is closed.
    std::optional<T> pop(Clock::time_point until) {
        std::unique_lock lock(mutex_);
        ready_.wait_until(lock, until, [this] { return closed_ || !items_.empty(); });
        if (closed_ || items_.empty())
            return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

    // The next item, waiting as long as it takes; nothing once the queue is closed.
    std::optional<T> pop() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !items_.empty(); });
        if (closed_)
            return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

    // Every later pop returns at once with nothing: the consumer is told to stop waiting.
    void close() {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<T> items_;
    bool closed_ = false;
};

} // namespace base
