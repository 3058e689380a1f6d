// The USBTMC finder over a fake sysfs tree, and the library finders on a machine without their libraries.

#include "tests/local/support/FakeSysfs.h"
#include "tests/support/RecordingSink.h"
#include "visa/LocalBusFinders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Pair;

TEST(UsbtmcFinder, ListsEveryBoundInterfaceAsTheBackendOpensIt) {
    FakeSysfs sysfs;
    sysfs.addInterface("usbtmc1", "1-2", "0a5f", "00ff", "SN-2", "00");
    sysfs.addInterface("usbtmc0", "1-1", "1a2b", "1234", "SN001", "03");
    sysfs.addDanglingEntry("usbtmc9");
    RecordingSink sink;
    visa::usbtmcFinder(sysfs.root())(visa::FindOptions{}, sink);
    EXPECT_THAT(sink.resources(),
                ElementsAre("USB0::0x1A2B::0x1234::SN001::3::INSTR", "USB0::0x0A5F::0x00FF::SN-2::0::INSTR"));
    EXPECT_EQ(sink.found()[0].serial, "SN001");
    EXPECT_EQ(sink.found()[0].method, "USBTMC");
    EXPECT_THAT(sink.unavailable(), IsEmpty());
}

TEST(UsbtmcFinder, FindsNothingQuietlyWhenTheDriverHasNoDevice) {
    FakeSysfs sysfs;
    sysfs.addEmptyClass();
    RecordingSink sink;
    visa::usbtmcFinder(sysfs.root())(visa::FindOptions{}, sink);
    EXPECT_THAT(sink.resources(), IsEmpty());
    EXPECT_THAT(sink.unavailable(), IsEmpty());
}

TEST(UsbtmcFinder, SaysUnavailableWhenTheDriverIsNotLoaded) {
    FakeSysfs sysfs;
    RecordingSink sink;
    visa::usbtmcFinder(sysfs.root())(visa::FindOptions{}, sink);
    EXPECT_THAT(sink.unavailable(), ElementsAre(Pair("USBTMC", HasSubstr("modprobe usbtmc"))));
}

struct MissingLibraryCase {
    visa::ResourceFinder finder;
    const char* name;
    const char* says;
};

TEST(LocalBusFinders, AFinderWhoseLibraryIsNotInstalledSaysSo) {
    const MissingLibraryCase cases[] = {
        {visa::findGpibListeners, "GPIB", "linux-gpib (libgpib.so.0) is not installed"},
        {visa::findVisaLibraryResources, "VISA library", "no VISA library"},
    };
    for (const auto& c : cases) {
        RecordingSink sink;
        c.finder(visa::FindOptions{}, sink);
        EXPECT_THAT(sink.resources(), IsEmpty()) << c.name;
        EXPECT_THAT(sink.unavailable(), ElementsAre(Pair(c.name, HasSubstr(c.says))));
    }
}

} // namespace
