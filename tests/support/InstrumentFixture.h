#pragma once

// The set-up every test of the path to the instrument shares: short time-outs, the embedded simulated
// mainframe of one board, fresh for each test,, its traffic, and the transport's notices recorded
// instead of shown once RecordNotices() is called.

#include "sim/Mainframe.h"
#include "tests/support/FreshBoards.h"
#include "transport/globals.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

template <unsigned Board> class InstrumentFixture : public ::testing::Test {
protected:
    static constexpr unsigned kBoard = Board;

    void SetUp() override {
        globals::SessionTimeouts = {std::chrono::milliseconds(1000), std::chrono::milliseconds(300)};
    }
    void TearDown() override {
        globals::SessionTimeouts = {};
        if (recordingNotices_)
            globals::ShowNotice = std::move(shownBefore_);
    }

    sim::Mainframe& mainframe() { return boards_.board(Board); }
    std::vector<std::string> received() { return mainframe().traffic().received(); }
    // Another board of this test's own.
    sim::Mainframe& board(unsigned number) { return boards_.board(number); }

    void RecordNotices() {
        shownBefore_ =
            std::exchange(globals::ShowNotice, [this](const std::string& text) { notices.push_back(text); });
        recordingNotices_ = true;
    }

    std::vector<std::string> notices;

private:
    FreshBoards boards_;
    bool recordingNotices_ = false;
    std::function<void(const std::string&)> shownBefore_;
};
