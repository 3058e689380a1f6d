// With a VISA library installed (and linux-gpib beside it), the resource manager sends GPIB, serial and
// USB instruments that the usbtmc driver does not serve through the VISA library.

#include "tests/local/support/FakeDriverControls.h"
#include "visa/ResourceManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using testing::Contains;
using testing::IsEmpty;

class VisaLibraryRoutingTest : public testing::TestWithParam<const char*> {
protected:
    FakeDriverControls visaLibrary{"libvisa.so.0"};
    FakeDriverControls gpibLibrary{"libgpib.so.0"};
};

TEST_P(VisaLibraryRoutingTest, OpensThroughTheVisaLibrary) {
    const std::string resource = GetParam();
    auto session = visa::ResourceManager().Open(resource, 2000ms);
    session->write("*IDN?");
    EXPECT_EQ(session->read().rfind("Korvane,", 0), 0u);
    EXPECT_THAT(visaLibrary.calls(), Contains("viOpen " + resource + " mode=0 timeout=2000"));
    EXPECT_THAT(gpibLibrary.calls(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Resources, VisaLibraryRoutingTest,
                         testing::Values("GPIB0::5::INSTR", "GPIB1::7::2::INSTR", "ASRL1::INSTR",
                                         // No usbtmc node on a test machine has this serial number.
                                         "USB0::0x1A2B::0x1234::PINWRIGHT-NO-SUCH-SERIAL::INSTR"));

} // namespace
