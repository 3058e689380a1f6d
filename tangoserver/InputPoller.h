#pragma once

#include "base/WaitCondition.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace tangoserver {

// Calls `poll` every `period` on a thread of its own until it goes; the destructor stops it at once
// between two polls (a poll under way is waited for: it is bounded by the instrument's time-out).
class InputPoller {
public:
    InputPoller(std::chrono::milliseconds period, std::function<void()> poll);
    ~InputPoller();
    InputPoller(const InputPoller&) = delete;
    InputPoller& operator=(const InputPoller&) = delete;

private:
    void run();

    std::chrono::milliseconds period_;
    std::function<void()> poll_;
    std::mutex mutex_;
    base::WaitCondition stopped_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace tangoserver
