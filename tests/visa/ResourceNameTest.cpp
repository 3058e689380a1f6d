#include "visa/ResourceName.h"

#include "tests/support/CaseTable.h"
#include "visa/VisaError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <tuple>

namespace {

using visa::InterfaceType;
using visa::ResourceClass;
using visa::ResourceName;
using visa::VisaError;

struct Accepted {
    std::string text;
    InterfaceType type;
    unsigned board;
    ResourceClass resourceClass;
    std::string host = {};
    std::uint16_t port = 0;
    std::string lanDevice = "inst0";
    bool hislip = false;

    // What parsing the text must give, member for member.
    auto parts() const { return std::tuple(text, type, board, resourceClass, host, port, lanDevice, hislip); }
};

class AcceptedNames : public test_cases::Table<Accepted, &Accepted::text> {};

TEST_P(AcceptedNames, ParseIntoTheirParts) {
    const auto name = ResourceName::parse(GetParam().text);
    EXPECT_EQ(std::tuple(name.text, name.interfaceType, name.board, name.resourceClass, name.host, name.port,
                         name.lanDevice, name.isHislip()),
              GetParam().parts());
}

constexpr auto Instr = ResourceClass::Instr;
constexpr auto Socket = ResourceClass::Socket;

INSTANTIATE_TEST_SUITE_P(
    ResourceName, AcceptedNames,
    testing::Values(
        Accepted{"SIM0::INSTR", InterfaceType::Sim, 0, Instr},
        Accepted{"sim::instr", InterfaceType::Sim, 0, Instr}, Accepted{"Sim3", InterfaceType::Sim, 3, Instr},
        Accepted{"ASRL1::INSTR", InterfaceType::Asrl, 1, Instr},
        Accepted{"GPIB0::5::INSTR", InterfaceType::Gpib, 0, Instr},
        Accepted{"gpib2::30", InterfaceType::Gpib, 2, Instr},
        Accepted{"TCPIP0::192.0.2.7::5025::SOCKET", InterfaceType::Tcpip, 0, Socket, "192.0.2.7", 5025},
        Accepted{"tcpip::bench-psu.lab.example::5025::socket", InterfaceType::Tcpip, 0, Socket,
                 "bench-psu.lab.example", 5025},
        Accepted{"TCPIP1::[::1]::5025::SOCKET", InterfaceType::Tcpip, 1, Socket, "::1", 5025},
        Accepted{"TCPIP0::[fe80::1%eth0]::INSTR", InterfaceType::Tcpip, 0, Instr, "fe80::1%eth0"},
        Accepted{"TCPIP0::psu1", InterfaceType::Tcpip, 0, Instr, "psu1"},
        Accepted{"TCPIP0::10.1.2.3::inst1::INSTR", InterfaceType::Tcpip, 0, Instr, "10.1.2.3", 0, "inst1"},
        Accepted{"TCPIP0::10.1.2.3::gpib0,5::INSTR", InterfaceType::Tcpip, 0, Instr, "10.1.2.3", 0,
                 "gpib0,5"},
        Accepted{"TCPIP0::10.1.2.3::hislip0::INSTR", InterfaceType::Tcpip, 0, Instr, "10.1.2.3", 4880,
                 "hislip0", true},
        Accepted{"TCPIP::psu.local.::HiSLIP2,4881", InterfaceType::Tcpip, 0, Instr, "psu.local.", 4881,
                 "HiSLIP2,4881", true},
        Accepted{"TCPIP0::cafe::5025::SOCKET", InterfaceType::Tcpip, 0, Socket, "cafe", 5025},
        Accepted{"TCPIP0::psu::gpib0_a,5,3", InterfaceType::Tcpip, 0, Instr, "psu", 0, "gpib0_a,5,3"},
        Accepted{"TCPIP0::psu::instrument", InterfaceType::Tcpip, 0, Instr, "psu", 0, "instrument"},
        Accepted{"TCPIP0::0.0.0.1::INSTR", InterfaceType::Tcpip, 0, Instr, "0.0.0.1"}));

TEST(ResourceNameGrammar, GpibAddressesAndDefaults) {
    const auto primaryOnly = ResourceName::parse("GPIB::7");
    EXPECT_EQ(primaryOnly.primaryAddress, 7u);
    EXPECT_FALSE(primaryOnly.secondaryAddress.has_value());

    const auto withSecondary = ResourceName::parse("GPIB1::7::31::INSTR");
    EXPECT_EQ(withSecondary.board, 1u);
    EXPECT_EQ(withSecondary.primaryAddress, 7u);
    EXPECT_EQ(withSecondary.secondaryAddress, std::optional<unsigned>(31));
}

TEST(ResourceNameGrammar, UsbNumbersInHexOrDecimal) {
    const auto hex = ResourceName::parse("USB0::0x3C4D::0X2E02::SN1234::INSTR");
    EXPECT_EQ(hex.interfaceType, InterfaceType::Usb);
    EXPECT_EQ(hex.vendorId, 0x3C4D);
    EXPECT_EQ(hex.productId, 0x2E02);
    EXPECT_EQ(hex.serialNumber, "SN1234");
    EXPECT_FALSE(hex.usbInterface.has_value());

    const auto decimal = ResourceName::parse("usb1::10893::7937::SN-9::2");
    EXPECT_EQ(decimal.board, 1u);
    EXPECT_EQ(decimal.vendorId, 10893);
    EXPECT_EQ(decimal.productId, 7937);
    EXPECT_EQ(decimal.usbInterface, std::optional<unsigned>(2));
}

struct Rejected {
    std::string text;
    std::string reason; // a fragment the description must hold
};

class RejectedNames : public test_cases::Table<Rejected, &Rejected::text> {};

TEST_P(RejectedNames, FailQuotingTheTextAndTheReason) {
    const auto& rejected = GetParam();
    try {
        ResourceName::parse(rejected.text);
        FAIL() << "accepted " << rejected.text;
    } catch (const visa::BadResourceName& error) {
        EXPECT_EQ(error.kind(), VisaError::Kind::BadResource);
        const std::string description = error.what();
        EXPECT_TRUE(description.starts_with("\"" + rejected.text + "\"")) << description;
        EXPECT_THAT(description, testing::HasSubstr(rejected.reason));
    }
}

INSTANTIATE_TEST_SUITE_P(
    ResourceName, RejectedNames,
    testing::Values(
        Rejected{"", "empty"}, Rejected{"FOO0::INSTR", "none of GPIB, TCPIP"},
        Rejected{"GPIBx::5::INSTR", "none of GPIB, TCPIP"}, Rejected{"GPIB99999::5", "board number"},
        Rejected{"GPIB0::INSTR", "missing"}, Rejected{"GPIB0::31::INSTR", "primary address \"31\""},
        Rejected{"GPIB0::-1::INSTR", "primary address"}, Rejected{"GPIB0::5::32", "secondary"},
        Rejected{"GPIB0::1::2::3::INSTR", "too many"}, Rejected{"GPIB0::5::INTFC", "INTFC"},
        Rejected{"GPIB0::5::SOCKET", "only on TCPIP"}, Rejected{"GPIB0::::5", "empty field"},
        Rejected{"GPIB0::5::", "\"::\""}, Rejected{"::GPIB0", "empty field"},
        Rejected{"GPIB0:5", "none of GPIB"}, Rejected{" GPIB0::5", "blank"},
        Rejected{"SIM0::1::INSTR", "too many"}, Rejected{"TCPIP0::host::SOCKET", "missing"},
        Rejected{"TCPIP0::host::0::SOCKET", "port"}, Rejected{"TCPIP0::host::65536::SOCKET", "port"},
        Rejected{"TCPIP0::host::5025x::SOCKET", "port"}, Rejected{"TCPIP0::256.1.1.1::5025::SOCKET", "IPv4"},
        Rejected{"TCPIP0::1.2.3::INSTR", "IPv4"}, Rejected{"TCPIP0::[::1::5025::SOCKET", "never closed"},
        Rejected{"TCPIP0::[::g]::5025::SOCKET", "IPv6"}, Rejected{"TCPIP0::[::1]x::INSTR", "end its field"},
        Rejected{"TCPIP0::fe80:1::INSTR", "brackets"}, Rejected{"TCPIP0::-psu::INSTR", "starts or ends"},
        Rejected{"TCPIP0::a..b::INSTR", "empty part"}, Rejected{"TCPIP0::psu!::INSTR", "characters"},
        Rejected{"TCPIP0::psu::inst/0", "LAN device"}, Rejected{"TCPIP0::psu::hislip", "hislipN"},
        Rejected{"TCPIP0::psu::hislip0,0", "HiSLIP port"},
        Rejected{"TCPIP0::psu::hislip0,70000", "HiSLIP port"}, Rejected{"USB0::0x10000::1::SN", "vendor ID"},
        Rejected{"USB0::1::0x::SN", "product ID"}, Rejected{"USB0::1::2::INSTR", "missing"},
        Rejected{"USB0::1::2::SN::256", "interface number"},
        // A mistyped resource class is named as such, with what the interface takes.
        Rejected{"SIM0::INST", "unknown resource class \"INST\": SIM accepts INSTR"},
        Rejected{"ASRL1::instrument", "unknown resource class \"instrument\": ASRL accepts INSTR"},
        Rejected{"GPIB0::5::INST", "unknown resource class \"INST\": GPIB accepts INSTR"},
        Rejected{"GPIB0::INTSR", "unknown resource class \"INTSR\": GPIB accepts INSTR"},
        Rejected{"TCPIP0::psu::INSTRR", "unknown resource class \"INSTRR\": TCPIP accepts INSTR and SOCKET"},
        Rejected{"TCPIP0::psu::5025::SOCKT", "unknown resource class \"SOCKT\""},
        Rejected{"USB0::1::2::SN::INST", "unknown resource class \"INST\": USB accepts INSTR"},
        // Hosts that would connect somewhere other than they seem to say.
        Rejected{"TCPIP0::fe80::1::INSTR", "write it as [fe80::1]"},
        Rejected{"TCPIP0::fe80::1%eth0", "write it as [fe80::1%eth0]"},
        Rejected{"TCPIP0::fe80::1::5025::SOCKET", "write it as [fe80::1]"},
        Rejected{"TCPIP0::1::2::inst0", "write it as [1::2]"},
        Rejected{"TCPIP0::0x7f000001::INSTR", "write the address as four decimal numbers, here 127.0.0.1"},
        Rejected{"TCPIP0::127.1::5025::SOCKET", "here 127.0.0.1"},
        Rejected{"TCPIP0::017.0.0.1::INSTR", "here 15.0.0.1"},
        Rejected{"TCPIP0::0.0.0.0::INSTR", "not an instrument address"},
        Rejected{"TCPIP0::0::INSTR", "not an instrument address"},
        Rejected{"TCPIP0::[::]::5025::SOCKET", "not an instrument address"},
        Rejected{"TCPIP0::[0::0]::INSTR", "not an instrument address"},
        // Device and sub-address names made of punctuation, naming the character.
        Rejected{"TCPIP0::psu::-", "holds \"-\""}, Rejected{"TCPIP0::psu::..::INSTR", "holds \".\""},
        Rejected{"TCPIP0::psu::inst-0", "holds \"-\""},
        Rejected{"TCPIP0::psu::,", "without a letter or digit"},
        Rejected{"TCPIP0::psu::gpib0,", "empty part"}, Rejected{"TCPIP0::psu::_", "without a letter"},
        Rejected{"USB0::1::2::-::INSTR", "serial number \"-\" holds no letter or digit"}));

TEST(ResourceNameGrammar, LongJunkIsQuotedShortenedWithItsLength) {
    const std::string junk(5000, 'x');
    try {
        ResourceName::parse(junk);
        FAIL();
    } catch (const visa::BadResourceName& error) {
        const std::string description = error.what();
        EXPECT_TRUE(description.starts_with("\"" + std::string(visa::BadResourceName::kMaxQuotedChars, 'x') +
                                            "...\" (5000 characters)"))
            << description;
        EXPECT_LT(description.size(), 400u);
    }
}

TEST(ResourceNameGrammar, ControlCharactersAreQuotedVisibly) {
    try {
        ResourceName::parse(std::string("SIM0\x01::INSTR"));
        FAIL();
    } catch (const VisaError& error) {
        EXPECT_THAT(error.what(), testing::StartsWith("\"SIM0\\x01::INSTR\""));
    }
}

} // namespace
