// What an mDNS look-up makes of the responders' answers (visa/MdnsAnswerSet), what the simulator answers
// (sim/MdnsZone), and the two together through the wire format, without sockets.

#include "protocol/DnsMessage.h"
#include "sim/MainframeAnnouncement.h"
#include "sim/MdnsZone.h"
#include "visa/MdnsAnswerSet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace protocol;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

namespace {

constexpr const char* kResponder = "10.201.1.10";

DnsRecord record(const std::string& name, DnsType type, const std::string& target = {}) {
    DnsRecord result;
    result.name = name;
    result.type = type;
    result.target = target;
    return result;
}

// The records one responder sends for one service: PTR, SRV, TXT and the host's A record.
std::vector<DnsRecord> service(const std::string& instance, const std::string& type, std::uint16_t port,
                               std::vector<std::string> text, const std::string& host = "box.local") {
    const std::string name = prependDnsLabel(instance, type);
    DnsRecord srv = record(name, kDnsSrv, host);
    srv.port = port;
    DnsRecord txt = record(name, kDnsTxt);
    txt.text = std::move(text);
    DnsRecord a = record(host, kDnsA);
    a.address = {10, 201, 1, 10};
    return {record(type, kDnsPtr, name), srv, txt, a};
}

DnsMessage response(std::vector<DnsRecord> records) {
    DnsMessage message;
    message.flags = kDnsResponseFlag;
    message.answers = std::move(records);
    return message;
}

std::vector<std::string> resourcesOf(const std::vector<visa::FoundResource>& found) {
    std::vector<std::string> names;
    for (const visa::FoundResource& f : found) {
        names.push_back(f.resource);
    }
    return names;
}

const std::vector<std::string> kLxiText = {"Manufacturer=Korvane", "Model=MF-7", "SerialNumber=SIM0042"};

TEST(MdnsAnswerSet, GivesTheResourceEachServiceTypeStandsFor) {
    struct Case {
        const char* type;
        std::uint16_t port;
        std::vector<std::string> text;
        const char* resource;
    };
    const Case cases[] = {
        {protocol::kVxi11ServiceType, 111, {}, "TCPIP0::10.201.1.10::INSTR"},
        {protocol::kVxi11ServiceType, 111, {"SubAddress=inst0"}, "TCPIP0::10.201.1.10::INSTR"},
        {protocol::kVxi11ServiceType, 111, {"SubAddress=INST7"}, "TCPIP0::10.201.1.10::inst7::INSTR"},
        {protocol::kVxi11ServiceType, 111, {"SubAddress=hislip7"}, "TCPIP0::10.201.1.10::INSTR"},
        {protocol::kVxi11ServiceType, 111, {"SubAddress=inst1234"}, "TCPIP0::10.201.1.10::INSTR"},
        {protocol::kHislipServiceType, 4880, {}, "TCPIP0::10.201.1.10::hislip0::INSTR"},
        {protocol::kHislipServiceType, 4881, {}, "TCPIP0::10.201.1.10::hislip0,4881::INSTR"},
        {protocol::kHislipServiceType, 4880, {"SubAddress=HiSLIP12"}, "TCPIP0::10.201.1.10::hislip12::INSTR"},
        {protocol::kHislipServiceType,
         4880,
         {"SubAddress=hislip1;rm -rf"},
         "TCPIP0::10.201.1.10::hislip0::INSTR"},
        {protocol::kHislipServiceType, 4880, {"SubAddress=hislip"}, "TCPIP0::10.201.1.10::hislip0::INSTR"},
        {protocol::kScpiRawServiceType, 5025, {}, "TCPIP0::10.201.1.10::5025::SOCKET"},
    };
    for (const Case& c : cases) {
        visa::MdnsAnswerSet answers;
        answers.add(response(service("box", c.type, c.port, c.text)), kResponder);
        EXPECT_THAT(resourcesOf(answers.takeResources(false)), ElementsAre(c.resource))
            << c.type << " " << c.port;
    }
}

TEST(MdnsAnswerSet, ReportsEachResourceOnceWithItsIdentity) {
    visa::MdnsAnswerSet answers;
    answers.add(response(service("Korvane MF-7 SIM0042", protocol::kScpiRawServiceType, 5025, kLxiText)),
                kResponder);
    answers.add(response(service("Korvane MF-7 SIM0042", protocol::kScpiRawServiceType, 5025, kLxiText)),
                kResponder);
    const auto found = answers.takeResources(false);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].method, "mDNS");
    EXPECT_EQ(found[0].host, kResponder);
    EXPECT_EQ(found[0].manufacturer, "Korvane");
    EXPECT_EQ(found[0].model, "MF-7");
    EXPECT_EQ(found[0].serial, "SIM0042");
    answers.add(response(service("Korvane MF-7 SIM0042", protocol::kScpiRawServiceType, 5025, kLxiText)),
                kResponder);
    EXPECT_TRUE(answers.takeResources(true).empty());
}

TEST(MdnsAnswerSet, TakesTheNameFromTheLxiServiceAndMakesItPrintable) {
    visa::MdnsAnswerSet answers;
    auto records = service("box", protocol::kLxiServiceType, 80,
                           {"Manufacturer=Acme\x01\n", "Model=" + std::string(300, 'M')});
    const auto raw = service("box", protocol::kScpiRawServiceType, 5025, {});
    records.insert(records.end(), raw.begin(), raw.end());
    answers.add(response(records), kResponder);
    const auto found = answers.takeResources(false);
    ASSERT_EQ(found.size(), 1u) << "the LXI service alone gives no resource";
    EXPECT_EQ(found[0].manufacturer, "Acme??");
    EXPECT_EQ(found[0].model.size(), 64u);
}

TEST(MdnsAnswerSet, WaitsForTheRecordsAnswersSplitAndAsksForTheMissingOnes) {
    visa::MdnsAnswerSet answers;
    const auto records = service("box", protocol::kScpiRawServiceType, 5025, kLxiText);
    answers.add(response({records[0]}), kResponder); // the PTR alone
    EXPECT_TRUE(answers.takeResources(false).empty());
    const auto questions = answers.takeFollowUpQuestions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].type, kDnsSrv);
    EXPECT_EQ(questions[1].type, kDnsTxt);
    EXPECT_TRUE(questions[0].unicastResponse);
    EXPECT_TRUE(answers.takeFollowUpQuestions().empty()) << "each question once";

    answers.add(response({records[1], records[2]}), kResponder); // SRV and TXT, no A record yet
    EXPECT_TRUE(answers.takeResources(false).empty());
    const auto askA = answers.takeFollowUpQuestions();
    ASSERT_EQ(askA.size(), 1u);
    EXPECT_EQ(askA[0].name, "box.local");
    EXPECT_EQ(askA[0].type, kDnsA);
    // At the end of the window the responder's own address stands for the host's.
    EXPECT_THAT(resourcesOf(answers.takeResources(true)), ElementsAre("TCPIP0::10.201.1.10::5025::SOCKET"));
}

TEST(MdnsAnswerSet, KeepsTwoRespondersThatClaimOneNameApart) {
    visa::MdnsAnswerSet answers;
    auto second =
        service("Korvane MF-7 SIM0001", protocol::kScpiRawServiceType, 5025, kLxiText, "other.local");
    second[3].address = {10, 201, 1, 11};
    answers.add(response(service("Korvane MF-7 SIM0001", protocol::kScpiRawServiceType, 5025, kLxiText)),
                kResponder);
    answers.add(response(second), "10.201.1.11");
    EXPECT_THAT(
        resourcesOf(answers.takeResources(false)),
        UnorderedElementsAre("TCPIP0::10.201.1.10::5025::SOCKET", "TCPIP0::10.201.1.11::5025::SOCKET"));
}

TEST(MdnsAnswerSet, IgnoresGoodbyesOtherClassesAndUselessPorts) {
    auto goodbye = service("a", protocol::kScpiRawServiceType, 5025, {});
    for (DnsRecord& r : goodbye) {
        r.ttl = 0;
    }
    auto chaos = service("b", protocol::kScpiRawServiceType, 5026, {});
    for (DnsRecord& r : chaos) {
        r.dnsClass = 3;
    }
    visa::MdnsAnswerSet answers;
    answers.add(response(goodbye), kResponder);
    answers.add(response(chaos), kResponder);
    answers.add(response(service("c", protocol::kScpiRawServiceType, 0, {})), kResponder);
    answers.add(response(service("d", "_http._tcp.local", 80, {})), kResponder);
    EXPECT_TRUE(answers.takeResources(true).empty());
}

TEST(MdnsAnswerSet, ReportsAServiceWhenALaterSrvRecordGivesItAPort) {
    visa::MdnsAnswerSet answers;
    answers.add(response(service("box", protocol::kScpiRawServiceType, 0, kLxiText)), kResponder);
    EXPECT_TRUE(answers.takeResources(false).empty());
    answers.add(response(service("box", protocol::kScpiRawServiceType, 5025, kLxiText)), kResponder);
    EXPECT_THAT(resourcesOf(answers.takeResources(false)), ElementsAre("TCPIP0::10.201.1.10::5025::SOCKET"));
}

TEST(MdnsAnswerSet, StaysBoundedWhateverTheRespondersSend) {
    visa::MdnsAnswerSet answers;
    for (int i = 0; i < 3000; ++i) {
        answers.add(response(service("box" + std::to_string(i), protocol::kScpiRawServiceType,
                                     static_cast<std::uint16_t>(1000 + i), {})),
                    kResponder);
    }
    EXPECT_EQ(answers.takeResources(true).size(), 1024u);
}

// The simulator's side: what it answers to the look-ups above, and that the finder's logic reads it back.
class SimulatorAnswers : public testing::Test {
protected:
    const sim::MdnsZone::Address address_{10, 201, 1, 10};
    const sim::MdnsZone zone_{
        sim::announcedServices({"Korvane,MF-7,SIM0007,1.0\n", 5025, 111, "inst2", 4881, "hislip3"})};

    static DnsMessage query(std::vector<std::string> names, DnsType type = kDnsPtr) {
        DnsMessage message;
        message.id = 77;
        for (std::string& name : names) {
            message.questions.push_back({std::move(name), type, kDnsClassIn, true});
        }
        return message;
    }

    std::vector<visa::FoundResource> find(const std::vector<DnsMessage>& responses) const {
        visa::MdnsAnswerSet answers;
        for (const DnsMessage& m : responses) {
            answers.add(decodeDnsMessage(encodeDnsMessage(m)), kResponder);
        }
        return answers.takeResources(false);
    }
};

TEST_F(SimulatorAnswers, AnswerTheBrowseWithEveryServiceAndTheFinderReadsThemBack) {
    const auto responses = zone_.answer(query({protocol::kVxi11ServiceType, protocol::kHislipServiceType,
                                               protocol::kScpiRawServiceType, protocol::kLxiServiceType}),
                                        address_, false);
    ASSERT_FALSE(responses.empty());
    EXPECT_EQ(responses[0].id, 0);
    EXPECT_TRUE(responses[0].questions.empty());
    const auto found = find(responses);
    EXPECT_THAT(resourcesOf(found), UnorderedElementsAre("TCPIP0::10.201.1.10::inst2::INSTR",
                                                         "TCPIP0::10.201.1.10::hislip3,4881::INSTR",
                                                         "TCPIP0::10.201.1.10::5025::SOCKET"));
    for (const visa::FoundResource& f : found) {
        EXPECT_EQ(f.manufacturer + " " + f.model + " " + f.serial, "Korvane MF-7 SIM0007") << f.resource;
    }
}

TEST_F(SimulatorAnswers, RepeatTheIdAndQuestionsForOneShotQueriersWithShortTtls) {
    const auto responses = zone_.answer(query({protocol::kScpiRawServiceType}), address_, true);
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses[0].id, 77);
    ASSERT_EQ(responses[0].questions.size(), 1u);
    for (const auto* section : {&responses[0].answers, &responses[0].additionals}) {
        for (const DnsRecord& r : *section) {
            EXPECT_LE(r.ttl, 10u);
            EXPECT_FALSE(r.cacheFlush);
        }
    }
}

TEST_F(SimulatorAnswers, AnswerOnlyWhatIsTheirs) {
    const std::string instance = prependDnsLabel("Korvane MF-7 SIM0007", protocol::kHislipServiceType);
    const std::string host = sim::MdnsZone::hostName(address_);
    struct Case {
        const char* name;
        DnsMessage query;
        std::size_t answers;
    };
    DnsMessage notAQuery = query({protocol::kScpiRawServiceType});
    notAQuery.flags = kDnsResponseFlag;
    const Case cases[] = {
        {"another service type", query({"_http._tcp.local"}), 0},
        {"a response", notAQuery, 0},
        {"the SRV record of an instance", query({instance}, kDnsSrv), 1},
        {"SRV and TXT at once", query({instance}, kDnsAny), 2},
        {"the host's address", query({host}, kDnsA), 1},
        {"the service types", query({"_services._dns-sd._udp.local"}), 3},
    };
    for (const Case& c : cases) {
        std::size_t answers = 0;
        for (const DnsMessage& m : zone_.answer(c.query, address_, false)) {
            answers += m.answers.size();
        }
        EXPECT_EQ(answers, c.answers) << c.name;
    }
}

TEST_F(SimulatorAnswers, SplitManyMainframesIntoFramesThatEachStandAlone) {
    std::vector<sim::AnnouncedService> services;
    for (int i = 0; i < 40; ++i) {
        sim::MainframeAnnouncement mainframe;
        mainframe.identity = "Korvane,MF-7,SIM" + std::to_string(1000 + i) + ",1.0";
        mainframe.socketPort = static_cast<std::uint16_t>(5025 + i);
        const auto one = sim::announcedServices(mainframe);
        services.insert(services.end(), one.begin(), one.end());
    }
    const sim::MdnsZone big(services);
    const auto responses = big.answer(query({protocol::kScpiRawServiceType}), address_, false);
    EXPECT_GT(responses.size(), 1u);
    std::size_t total = 0;
    for (const DnsMessage& m : responses) {
        EXPECT_LE(encodeDnsMessage(m).size(), 1400u);
        total += find({m}).size(); // each frame carries what it takes to use its services
    }
    EXPECT_EQ(total, 40u);
    for (const DnsMessage& m : big.announcement(address_, true)) {
        for (const DnsRecord& r : m.answers) {
            EXPECT_EQ(r.ttl, 0u);
        }
    }
}

} // namespace
