#pragma once

// A finder's sink for tests: keeps every report, from any thread.

#include "visa/ResourceFinder.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

class RecordingSink : public visa::FindSink {
public:
    void found(const visa::FoundResource& resource) override {
        const std::lock_guard lock(mutex_);
        found_.push_back(resource);
    }
    void unavailable(const std::string& finder, const std::string& reason) override {
        const std::lock_guard lock(mutex_);
        unavailable_.emplace_back(finder, reason);
    }

    std::vector<std::string> resources() const {
        const std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const auto& resource : found_)
            texts.push_back(resource.resource);
        return texts;
    }
    std::vector<visa::FoundResource> found() const {
        const std::lock_guard lock(mutex_);
        return found_;
    }
    std::vector<std::pair<std::string, std::string>> unavailable() const {
        const std::lock_guard lock(mutex_);
        return unavailable_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<visa::FoundResource> found_;
    std::vector<std::pair<std::string, std::string>> unavailable_;
};
