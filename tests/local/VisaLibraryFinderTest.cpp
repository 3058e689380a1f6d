// The VISA library finder through the fake VISA library.

#include "tests/local/support/FakeDriverControls.h"
#include "tests/support/RecordingSink.h"
#include "visa/LocalBusFinders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Pair;

TEST(VisaLibraryFinder, ListsWhatTheLibraryListsThatCanBeOpened) {
    FakeDriverControls visaLibrary{"libvisa.so.0"};
    visaLibrary.setFindList("ASRL1::INSTR\nGPIB0::INTFC\nTCPIP0::10.0.0.9::inst0::INSTR\n"
                            "USB0::0x1A2B::0x1234::SN\x01::INSTR\n" +
                            std::string(300, 'A'));
    RecordingSink sink;
    visa::findVisaLibraryResources(visa::FindOptions{}, sink);
    EXPECT_THAT(sink.resources(), ElementsAre("ASRL1::INSTR", "TCPIP0::10.0.0.9::inst0::INSTR"));
    ASSERT_EQ(sink.found().size(), 2u);
    EXPECT_EQ(sink.found()[1].host, "10.0.0.9");
    EXPECT_THAT(sink.unavailable(), IsEmpty());
    EXPECT_EQ(visaLibrary.openHandles(), 0) << "the find list and resource manager are closed";
}

TEST(VisaLibraryFinder, AnEmptyListIsNoFailure) {
    FakeDriverControls visaLibrary{"libvisa.so.0"};
    visaLibrary.setFindList("");
    RecordingSink sink;
    visa::findVisaLibraryResources(visa::FindOptions{}, sink);
    EXPECT_THAT(sink.resources(), IsEmpty());
    EXPECT_THAT(sink.unavailable(), IsEmpty());
    EXPECT_EQ(visaLibrary.openHandles(), 0);
}

} // namespace
