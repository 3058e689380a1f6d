#include "transport/InstrumentList.h"

#include "tests/support/CaseTable.h"
#include "transport/InstrumentIdentity.h"
#include "visa/Transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using transport::IdentitySource;
using transport::InstrumentIdentity;

struct Placed {
    const char* resource;
    const char* host;
    const char* identity; // an *IDN? reply; nullptr: none came
};

struct MergeCase {
    const char* name;
    std::vector<Placed> placed;
    std::vector<std::vector<std::string>> expected; // each instrument's resources, best first
};

void PrintTo(const MergeCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<std::vector<std::string>> merged(const std::vector<Placed>& placed) {
    transport::InstrumentList list;
    for (const auto& p : placed) {
        visa::FoundResource found{p.resource, "test", p.host, "", "", ""};
        list.place(found, p.identity ? transport::parseIdentity(p.identity) : std::nullopt,
                   IdentitySource::NotIdentified);
    }
    std::vector<std::vector<std::string>> result;
    for (const auto& instrument : list.instruments()) {
        auto& resources = result.emplace_back();
        for (const auto& resource : instrument.resources)
            resources.push_back(resource.resource);
    }
    return result;
}

class InstrumentMerge : public testing::TestWithParam<MergeCase> {};

TEST_P(InstrumentMerge, FilesEachResourceUnderItsInstrumentBestFirst) {
    EXPECT_EQ(merged(GetParam().placed), GetParam().expected);
}

const char* const kMf7 = "Korvane,MF-7,K1234,2.1";

INSTANTIATE_TEST_SUITE_P(
    Cases, InstrumentMerge,
    testing::Values(MergeCase{"OneMainframeOverThreeTransportsIsOneEntry",
                              {{"TCPIP0::10.0.0.5::5025::SOCKET", "10.0.0.5", kMf7},
                               {"TCPIP0::10.0.0.5::INSTR", "10.0.0.5", kMf7},
                               {"TCPIP0::10.0.0.5::hislip0::INSTR", "10.0.0.5", kMf7}},
                              {{"TCPIP0::10.0.0.5::hislip0::INSTR", "TCPIP0::10.0.0.5::INSTR",
                                "TCPIP0::10.0.0.5::5025::SOCKET"}}},
                    MergeCase{"TheSameInstrumentOverLanUsbAndGpibIsOneEntryInTransportOrder",
                              {{"GPIB0::5::INSTR", "", kMf7},
                               {"ASRL1::INSTR", "", kMf7},
                               {"TCPIP0::10.0.0.5::5025::SOCKET", "10.0.0.5", kMf7},
                               {"USB0::0x1A2B::0x0001::K1234::INSTR", "", kMf7},
                               {"TCPIP0::10.0.0.5::INSTR", "10.0.0.5", kMf7}},
                              {{"TCPIP0::10.0.0.5::INSTR", "USB0::0x1A2B::0x0001::K1234::INSTR",
                                "TCPIP0::10.0.0.5::5025::SOCKET", "GPIB0::5::INSTR", "ASRL1::INSTR"}}},
                    MergeCase{"TwoOfOneModelAreToldApartByTheirSerials",
                              {{"TCPIP0::10.0.0.5::INSTR", "10.0.0.5", "Korvane,MF-7,A1,1"},
                               {"TCPIP0::10.0.0.6::INSTR", "10.0.0.6", "korvane,mf-7,A2,1"},
                               {"TCPIP0::10.0.0.6::5025::SOCKET", "10.0.0.6", "KORVANE,MF-7,a2,1"}},
                              {{"TCPIP0::10.0.0.5::INSTR"},
                               {"TCPIP0::10.0.0.6::INSTR", "TCPIP0::10.0.0.6::5025::SOCKET"}}},
                    MergeCase{"WithoutASerialTheHostTellsThemApart",
                              {{"TCPIP0::10.0.0.5::INSTR", "10.0.0.5", "Acme,X,0,1"},
                               {"TCPIP0::10.0.0.6::INSTR", "10.0.0.6", "Acme,X,0,1"},
                               {"TCPIP0::10.0.0.6::5025::SOCKET", "10.0.0.6", "Acme,X,,1"},
                               {"GPIB0::3::INSTR", "", "Acme,X"},
                               {"GPIB0::4::INSTR", "", "Acme,X"}},
                              {{"TCPIP0::10.0.0.5::INSTR"},
                               {"TCPIP0::10.0.0.6::INSTR", "TCPIP0::10.0.0.6::5025::SOCKET"},
                               {"GPIB0::3::INSTR"},
                               {"GPIB0::4::INSTR"}}},
                    MergeCase{"SilentResourcesOfOneHostStayTogetherApartFromAnIdentifiedOne",
                              {{"TCPIP0::10.0.0.7::INSTR", "10.0.0.7", nullptr},
                               {"TCPIP0::10.0.0.7::hislip0::INSTR", "10.0.0.7", nullptr},
                               {"TCPIP0::10.0.0.7::gpib0,5::INSTR", "10.0.0.7", kMf7},
                               {"GPIB0::9::INSTR", "", nullptr},
                               {"GPIB0::10::INSTR", "", "not an identity"}},
                              {{"TCPIP0::10.0.0.7::hislip0::INSTR", "TCPIP0::10.0.0.7::INSTR"},
                               {"TCPIP0::10.0.0.7::gpib0,5::INSTR"},
                               {"GPIB0::9::INSTR"},
                               {"GPIB0::10::INSTR"}}},
                    MergeCase{"OneIdentityOnTwoHostsIsTwoInstrumentsAndABusJoinsTheFirst",
                              {{"TCPIP0::10.0.0.5::INSTR", "10.0.0.5", kMf7},
                               {"TCPIP0::10.0.0.6::hislip0::INSTR", "10.0.0.6", kMf7},
                               {"TCPIP0::10.0.0.6::INSTR", "10.0.0.6", kMf7},
                               {"GPIB0::5::INSTR", "", kMf7}},
                              {{"TCPIP0::10.0.0.5::INSTR", "GPIB0::5::INSTR"},
                               {"TCPIP0::10.0.0.6::hislip0::INSTR", "TCPIP0::10.0.0.6::INSTR"}}},
                    MergeCase{"ABusFirstIsJoinedByTheLanResourcesOfOneHostOnly",
                              {{"USB0::0x1A2B::0x0001::K1234::INSTR", "", kMf7},
                               {"TCPIP0::10.0.0.5::INSTR", "10.0.0.5", kMf7},
                               {"TCPIP0::10.0.0.6::INSTR", "10.0.0.6", kMf7}},
                              {{"TCPIP0::10.0.0.5::INSTR", "USB0::0x1A2B::0x0001::K1234::INSTR"},
                               {"TCPIP0::10.0.0.6::INSTR"}}},
                    MergeCase{"TheBuiltInSimulatorStandsAloneWhateverItsIdentity",
                              {{"TCPIP0::10.0.0.5::INSTR", "10.0.0.5", "Korvane,MF-7,SIM0001,1.0"},
                               {"SIM0::INSTR", "", "Korvane,MF-7,SIM0001,1.0"},
                               {"SIM1::INSTR", "", "Korvane,MF-7,SIM0001,1.0"}},
                              {{"TCPIP0::10.0.0.5::INSTR"}, {"SIM0::INSTR"}, {"SIM1::INSTR"}}},
                    MergeCase{"AResourceFoundTwiceIsListedOnce",
                              {{"TCPIP0::10.0.0.5::INSTR", "10.0.0.5", kMf7},
                               {"tcpip0::10.0.0.5::instr", "10.0.0.5", kMf7}},
                              {{"TCPIP0::10.0.0.5::INSTR"}}}),
    test_cases::byName);

TEST(InstrumentMerge, KeepsTheFirstAnswerAndAnAnnouncedIdentityOnlyWhereNothingAnswered) {
    transport::InstrumentList list;
    visa::FoundResource announced{"TCPIP0::10.0.0.8::INSTR", "mDNS", "10.0.0.8", "Acme\x1b[2J", "Box", "S9"};
    list.place(announced, std::nullopt, IdentitySource::NotIdentified);
    ASSERT_EQ(list.instruments().size(), 1u);
    EXPECT_EQ(list.instruments()[0].source, IdentitySource::Finder);
    EXPECT_EQ(list.instruments()[0].manufacturer, "Acme?[2J") << "announced text is a peer's, made printable";
    EXPECT_EQ(transport::describeIdentity(list.instruments()[0]), "Acme?[2J Box, serial S9 (as announced)");

    list.place({"GPIB0::1::INSTR", "", "", "", "", ""}, std::nullopt, IdentitySource::NotIdentified);
    EXPECT_EQ(transport::describeIdentity(list.instruments()[1]), "no answer to *IDN?");
    list.place({"TCPIP0::10.0.0.9::INSTR", "", "10.0.0.9", "", "", ""}, std::nullopt,
               IdentitySource::NotAsked);
    EXPECT_EQ(transport::describeIdentity(list.instruments()[2]), "not identified at 10.0.0.9");
}

struct IdentityCase {
    const char* name;
    std::string reply;
    std::optional<InstrumentIdentity> expected;
};

void PrintTo(const IdentityCase& c, std::ostream* out) {
    *out << c.name;
}

class IdentityReply : public testing::TestWithParam<IdentityCase> {};

TEST_P(IdentityReply, ParsesTheFourFieldsOrRefusesWhatIsNotAnIdentity) {
    const auto parsed = transport::parseIdentity(GetParam().reply);
    ASSERT_EQ(parsed.has_value(), GetParam().expected.has_value());
    if (!parsed)
        return;
    const auto& want = *GetParam().expected;
    EXPECT_THAT(
        (std::vector<std::string>{parsed->manufacturer, parsed->model, parsed->serial, parsed->firmware}),
        ElementsAre(want.manufacturer, want.model, want.serial, want.firmware));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, IdentityReply,
    testing::Values(
        IdentityCase{"FourFields", "Korvane,MF-7,SIM0001,1.0\n",
                     InstrumentIdentity{"Korvane", "MF-7", "SIM0001", "1.0"}},
        IdentityCase{"TwoFields", "Maker, Model \r\n", InstrumentIdentity{"Maker", "Model", "", ""}},
        IdentityCase{"FirmwareKeepsItsCommas", "A,B,C,1.0,build 7",
                     InstrumentIdentity{"A", "B", "C", "1.0,build 7"}},
        IdentityCase{"ControlCharactersAreBlanked", "Ac\x1bme,M\t,S\x7f,F",
                     InstrumentIdentity{"Ac me", "M", "S", "F"}},
        IdentityCase{"AnOverlongFieldIsCut", "K," + std::string(100000, 'x'),
                     InstrumentIdentity{"K", std::string(transport::kMaxIdentityFieldChars, 'x'), "", ""}},
        IdentityCase{"OneWordIsNoIdentity", "+0\n", std::nullopt},
        IdentityCase{"NothingIsNoIdentity", "", std::nullopt},
        IdentityCase{"NoManufacturerIsNoIdentity", " ,MF-7,1,2", std::nullopt}),
    test_cases::byName);

struct TransportRow {
    const char* resource;
    const char* name;
    bool onFiber;
};

class TransportFacts : public test_cases::Table<TransportRow, &TransportRow::resource> {};

// The rows are in the order finding offers them.
const std::vector<TransportRow> kTransportRows{{"TCPIP0::h::hislip0::INSTR", "HiSLIP", true},
                                               {"TCPIP0::psu.example::INSTR", "VXI-11", true},
                                               {"USB0::1::2::S::INSTR", "USB", false},
                                               {"TCPIP0::10.0.0.1::5025::SOCKET", "SOCKET", true},
                                               {"GPIB0::5::INSTR", "GPIB", false},
                                               {"ASRL1::INSTR", "ASRL", false},
                                               {"SIM0::INSTR", "SIM", false}};

TEST_P(TransportFacts, NameRankAndWhetherItRunsOnAFiberComeFromItsRow) {
    const auto& row = GetParam();
    EXPECT_EQ(transport::transportName(row.resource), row.name);
    const auto facts = visa::transportFacts(row.resource);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->waitsThroughLoop, row.onFiber);
    const auto position = std::find_if(kTransportRows.begin(), kTransportRows.end(),
                                       [&](const auto& r) { return r.resource == row.resource; });
    if (position != kTransportRows.begin()) {
        EXPECT_LT(transport::transportRank(std::prev(position)->resource),
                  transport::transportRank(row.resource));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, TransportFacts,
    testing::ValuesIn(std::vector<test_cases::Shown<TransportRow, &TransportRow::resource>>(
        kTransportRows.begin(), kTransportRows.end())));

TEST(TransportName, TextThatIsNotAResourceHasNoTransport) {
    EXPECT_EQ(transport::transportName("nonsense"), "?");
    EXPECT_FALSE(visa::transportFacts("nonsense"));
}

} // namespace
