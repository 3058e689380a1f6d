// The GPIB finder through the fake linux-gpib.

#include "tests/local/support/FakeDriverControls.h"
#include "tests/support/RecordingSink.h"
#include "visa/LocalBusFinders.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Pair;

TEST(GpibFinder, ListsTheListenersOfEachBoardThatAnswers) {
    FakeDriverControls gpib{"libgpib.so.0"};
    RecordingSink sink;
    visa::findGpibListeners(visa::FindOptions{}, sink);
    EXPECT_THAT(sink.resources(), ElementsAre("GPIB0::5::INSTR", "GPIB0::12::INSTR"));
    EXPECT_THAT(sink.unavailable(), IsEmpty());
    const auto calls = gpib.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ibln 0 0 0"), 0)
        << "the board's own address is not probed";
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string& c) { return c.rfind("ibln 0 ", 0) == 0; }),
              30)
        << "every other primary address of the board is";
    EXPECT_EQ(gpib.openHandles(), 0);
}

TEST(GpibFinder, SaysUnavailableOnceWhenNoBoardAnswers) {
    FakeDriverControls gpib{"libgpib.so.0"};
    gpib.failNext("ibln", 1); // ECIC: board 0 is not controller in charge
    RecordingSink sink;
    visa::findGpibListeners(visa::FindOptions{}, sink);
    EXPECT_THAT(sink.resources(), IsEmpty());
    EXPECT_THAT(sink.unavailable(), ElementsAre(Pair("GPIB", HasSubstr("answers for no board"))));
}

} // namespace
