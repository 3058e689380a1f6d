// Matching a USB resource to its /dev/usbtmcN node through a fake sysfs tree.

#include "visa/UsbtmcDeviceFinder.h"

#include "tests/local/support/FakeSysfs.h"
#include "tests/support/CaseTable.h"
#include "visa/ResourceName.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::AllOf;
using testing::HasSubstr;

class UsbtmcDeviceFinderTest : public testing::Test {
protected:
    UsbtmcDeviceFinderTest() {
        sysfs.addInterface("usbtmc0", "1-1", "1a2b", "1234", "SN001", "00");
        sysfs.addInterface("usbtmc1", "1-2", "0a5f", "00ff", "SN-2", "00");
        // One device with two usbtmc interfaces.
        sysfs.addInterface("usbtmc3", "1-3", "1a2b", "1234", "SN003", "02");
        sysfs.addInterface("usbtmc2", "1-3", "1a2b", "1234", "SN003", "01");
        sysfs.addDanglingEntry("usbtmc9");
    }

    std::optional<std::string> find(const std::string& resource) const {
        auto node =
            visa::UsbtmcDeviceFinder(sysfs.root()).findDeviceNode(visa::ResourceName::parse(resource));
        if (!node) {
            return std::nullopt;
        }
        return node->lexically_relative(sysfs.root()).string();
    }

    FakeSysfs sysfs;
};

struct MatchCase {
    const char* resource;
    std::optional<std::string> node;
};

class UsbtmcMatchTest : public test_cases::Table<MatchCase, &MatchCase::resource, UsbtmcDeviceFinderTest> {};

TEST_P(UsbtmcMatchTest, FindsTheNodeOfTheDeviceTheResourceNames) {
    EXPECT_EQ(find(GetParam().resource), GetParam().node) << GetParam().resource;
}

INSTANTIATE_TEST_SUITE_P(
    Resources, UsbtmcMatchTest,
    testing::Values(MatchCase{"USB0::0x1A2B::0x1234::SN001::INSTR", "dev/usbtmc0"},
                    // Ids compare as numbers, whatever their spelling.
                    MatchCase{"USB0::6699::4660::SN001::INSTR", "dev/usbtmc0"},
                    MatchCase{"USB0::0x0A5F::0xFF::SN-2::INSTR", "dev/usbtmc1"},
                    MatchCase{"USB::0x0a5f::0x00ff::SN-2", "dev/usbtmc1"},
                    // Without an interface number the lowest wins; with one, exactly that one.
                    MatchCase{"USB0::0x1A2B::0x1234::SN003::INSTR", "dev/usbtmc2"},
                    MatchCase{"USB0::0x1A2B::0x1234::SN003::2::INSTR", "dev/usbtmc3"},
                    MatchCase{"USB0::0x1A2B::0x1234::SN003::5::INSTR", std::nullopt},
                    MatchCase{"USB0::0x1A2B::0x1234::SN001::1::INSTR", std::nullopt},
                    // Any other id or serial number is another instrument.
                    MatchCase{"USB0::0x1A2B::0x1235::SN001::INSTR", std::nullopt},
                    MatchCase{"USB0::0x1A2C::0x1234::SN001::INSTR", std::nullopt},
                    MatchCase{"USB0::0x1A2B::0x1234::sn001::INSTR", std::nullopt},
                    MatchCase{"USB0::0x1A2B::0x1234::SN00::INSTR", std::nullopt}));

TEST_F(UsbtmcDeviceFinderTest, ListsEveryReadableInterfaceInNodeOrder) {
    const auto attached = visa::UsbtmcDeviceFinder(sysfs.root()).attachedInterfaces();
    ASSERT_EQ(attached.size(), 4u);
    EXPECT_EQ(attached[0].nodeName, "usbtmc0");
    EXPECT_EQ(attached[3].nodeName, "usbtmc3");
    EXPECT_EQ(attached[1].vendorId, 0x0a5f);
    EXPECT_EQ(attached[3].interfaceNumber, 2u);
}

TEST_F(UsbtmcDeviceFinderTest, ANotFoundDescriptionListsWhatIsAttached) {
    const auto text = visa::UsbtmcDeviceFinder(sysfs.root())
                          .describeMissing(visa::ResourceName::parse("USB0::0x1A2B::0x1234::NOPE::INSTR"));
    EXPECT_THAT(text, AllOf(HasSubstr("vendor id 0x1A2B, product id 0x1234 and serial number \"NOPE\""),
                            HasSubstr("USB0::0x1A2B::0x1234::SN001::0::INSTR"),
                            HasSubstr("USB0::0x0A5F::0x00FF::SN-2::0::INSTR")));
}

TEST(UsbtmcDeviceFinderWithoutDevices, SaysToCheckTheCableAndTheDriverWhenNothingIsBound) {
    for (bool classExists : {false, true}) {
        FakeSysfs empty;
        if (classExists) {
            empty.addEmptyClass();
        }
        const auto name = visa::ResourceName::parse("USB0::0x1A2B::0x1234::SN001::INSTR");
        const visa::UsbtmcDeviceFinder finder(empty.root());
        EXPECT_FALSE(finder.findDeviceNode(name));
        EXPECT_THAT(finder.describeMissing(name), HasSubstr("modprobe usbtmc"));
    }
}

TEST(UsbtmcDeviceFinderWithoutDevices, SkipsEntriesWithUnreadableOrImplausibleIds) {
    FakeSysfs sysfs;
    sysfs.addInterface("usbtmc0", "1-1", "zz2b", "1234", "SN001", "00");
    sysfs.addInterface("usbtmc1", "1-2", "11a2b", "1234", "SN001", "00");
    sysfs.addInterface("usbtmc2", "1-3", "1a2b", "1234", "SN001", "00");
    const auto node = visa::UsbtmcDeviceFinder(sysfs.root())
                          .findDeviceNode(visa::ResourceName::parse("USB0::0x1A2B::0x1234::SN001::INSTR"));
    ASSERT_TRUE(node);
    EXPECT_EQ(node->filename(), "usbtmc2");
}

} // namespace
