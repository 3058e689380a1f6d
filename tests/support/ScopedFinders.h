#pragma once

// Puts a test's own finders in place of every registered one, and the old list back when it goes.

#include "visa/ResourceManager.h"

#include <vector>

class ScopedFinders {
public:
    explicit ScopedFinders(std::vector<visa::RegisteredFinder> finders)
        : saved_(visa::ResourceManager::registeredFinders()) {
        visa::ResourceManager::replaceFinders(std::move(finders));
    }
    ~ScopedFinders() { visa::ResourceManager::replaceFinders(saved_); }
    ScopedFinders(const ScopedFinders&) = delete;
    ScopedFinders& operator=(const ScopedFinders&) = delete;

private:
    std::vector<visa::RegisteredFinder> saved_;
};
