// The DNS codec under mDNS: the wire layout written out by hand, and every way a hostile responder can
// make a name or a record lie about its length.

#include "protocol/DnsMessage.h"

#include "protocol/DecodeError.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

using namespace protocol;
using namespace std::string_literals;

namespace {

// A header: id 0, the given flags, the four section counts.
std::string header(std::uint16_t flags, int questions, int answers, int authorities = 0,
                   int additionals = 0) {
    std::string out;
    for (const int v : {0, int(flags), questions, answers, authorities, additionals}) {
        out.push_back(static_cast<char>(v >> 8));
        out.push_back(static_cast<char>(v & 0xFF));
    }
    return out;
}

const std::string kLocal = "\x05local\0"s;

DnsRecord record(std::string name, DnsType type) {
    DnsRecord result;
    result.name = std::move(name);
    result.type = type;
    return result;
}

TEST(DnsMessage, QuestionIsWrittenAsLabelsTypeAndClassWithTheQuBit) {
    DnsMessage query;
    query.questions.push_back({"_hislip._tcp.local", kDnsPtr, kDnsClassIn, true});
    EXPECT_EQ(encodeDnsMessage(query),
              header(0, 1, 0) + "\x07_hislip\x04_tcp" + kLocal + "\x00\x0c\x80\x01"s);
}

TEST(DnsMessage, RecordsOfEveryKindSurviveARoundTrip) {
    DnsMessage response;
    response.id = 0x1234;
    response.flags = kDnsResponseFlag | kDnsAuthoritativeFlag;
    DnsRecord ptr = record("_scpi-raw._tcp.local", kDnsPtr);
    ptr.target = "Korvane MF-7 SIM\\.1._scpi-raw._tcp.local"; // an instance label holding a dot
    DnsRecord srv = record("Korvane MF-7 SIM\\.1._scpi-raw._tcp.local", kDnsSrv);
    srv.cacheFlush = true;
    srv.port = 5025;
    srv.priority = 1;
    srv.weight = 2;
    srv.target = "host.local";
    DnsRecord txt = record("Korvane MF-7 SIM\\.1._scpi-raw._tcp.local", kDnsTxt);
    txt.text = {"Manufacturer=Korvane", "", std::string(255, 'x')};
    DnsRecord a = record("host.local", kDnsA);
    a.address = {10, 201, 1, 10};
    DnsRecord other = record("host.local", kDnsAaaa);
    other.data = std::string(16, '\1');
    response.answers = {ptr, srv};
    response.authorities = {txt};
    response.additionals = {a, other};

    const DnsMessage back = decodeDnsMessage(encodeDnsMessage(response));
    EXPECT_EQ(back.id, 0x1234);
    EXPECT_EQ(back.flags, response.flags);
    ASSERT_EQ(back.answers.size(), 2u);
    EXPECT_EQ(back.answers[0].target, ptr.target);
    EXPECT_EQ(firstDnsLabel(back.answers[0].target), "Korvane MF-7 SIM.1");
    EXPECT_EQ(back.answers[1].port, 5025);
    EXPECT_EQ(back.answers[1].priority, 1);
    EXPECT_EQ(back.answers[1].weight, 2);
    EXPECT_TRUE(back.answers[1].cacheFlush);
    EXPECT_EQ(back.answers[1].dnsClass, kDnsClassIn);
    ASSERT_EQ(back.authorities.size(), 1u);
    EXPECT_EQ(back.authorities[0].text, txt.text);
    ASSERT_EQ(back.additionals.size(), 2u);
    EXPECT_EQ(back.additionals[0].address, a.address);
    EXPECT_EQ(back.additionals[1].data, other.data);
}

TEST(DnsMessage, FollowsCompressionPointersBackwards) {
    // The answer's name is a pointer to the question's name (offset 12); its PTR target is one label
    // followed by a pointer to "local" inside that name.
    const std::string bytes = header(kDnsResponseFlag, 1, 1) + "\x04_lxi\x04_tcp" + kLocal +
                              "\x00\x0c\x00\x01"s + "\xc0\x0c\x00\x0c\x00\x01\x00\x00\x00\x78\x00\x07"s +
                              "\x04inst\xc0\x16"s;
    const DnsMessage message = decodeDnsMessage(bytes);
    ASSERT_EQ(message.answers.size(), 1u);
    EXPECT_EQ(message.answers[0].name, "_lxi._tcp.local");
    EXPECT_EQ(message.answers[0].target, "inst.local");
}

TEST(DnsMessage, RefusesNamesAndRecordsThatLieAboutTheirLength) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::string q = "\x00\x0c\x00\x01"s;                     // type PTR, class IN
    const std::string rr = "\x00\x01\x00\x01\x00\x00\x00\x78"s;    // type A, class IN, TTL 120
    const std::string ptrRr = "\x00\x0c\x00\x01\x00\x00\x00\x78"s; // type PTR
    std::string longName;
    for (int i = 0; i < 5; ++i) {
        longName += "\x3f" + std::string(63, 'a');
    }
    const Case cases[] = {
        {"short header", "\0\0\0\0\0"s},
        {"question count with no question", header(0, 1, 0)},
        {"label past the end", header(0, 1, 0) + "\x09local"s},
        {"name without its end", header(0, 1, 0) + "\x05local"s},
        {"pointer to itself", header(0, 1, 0) + "\xc0\x0c"s + q},
        {"pointer forwards", header(0, 1, 0) + "\xc0\x20"s + q + std::string(32, '\0')},
        {"two pointers in a loop", header(0, 1, 0) + "\x01x\xc0\x0c"s + q},
        {"pointer past the message", header(0, 1, 0) + "\xc3\xff"s + q},
        {"label of an unknown kind", header(0, 1, 0) + "\x45local\0"s + q},
        {"name longer than 255 bytes", header(0, 1, 0) + longName + "\0"s + q},
        {"A record of five bytes",
         header(kDnsResponseFlag, 0, 1) + kLocal + rr + "\x00\x05\x01\x02\x03\x04\x05"s},
        {"record data past the message", header(kDnsResponseFlag, 0, 1) + kLocal + rr + "\x00\x40\x01\x02"s},
        {"TXT string past its record", header(kDnsResponseFlag, 0, 1) + kLocal +
                                           "\x00\x10\x00\x01\x00\x00\x00\x78\x00\x03\x05"
                                           "ab"s +
                                           "\x05local\0"s},
        {"PTR name past its record data",
         header(kDnsResponseFlag, 0, 1) + kLocal + ptrRr + "\x00\x03" + "\x05local\0"s},
        {"PTR data longer than its name",
         header(kDnsResponseFlag, 0, 1) + kLocal + ptrRr + "\x00\x08" + kLocal + "\0"s},
        {"message longer than 9000 bytes", header(0, 0, 0) + std::string(9000, '\0')},
    };
    for (const Case& c : cases) {
        EXPECT_THROW(decodeDnsMessage(c.bytes), DecodeError) << c.name;
    }
}

TEST(DnsMessage, RefusesToEncodeWhatTheWireCannotHold) {
    const auto encodeName = [](const std::string& name) {
        DnsMessage query;
        query.questions.push_back({name, kDnsPtr, kDnsClassIn, false});
        return encodeDnsMessage(query);
    };
    EXPECT_THROW(encodeName(std::string(64, 'a') + ".local"), std::invalid_argument);
    EXPECT_THROW(encodeName("a..local"), std::invalid_argument);
    std::string longName;
    for (int i = 0; i < 5; ++i) {
        longName += std::string(60, 'a') + ".";
    }
    EXPECT_THROW(encodeName(longName + "local"), std::invalid_argument);
    EXPECT_NO_THROW(encodeName("local."));

    DnsMessage response;
    DnsRecord txt = record("x.local", kDnsTxt);
    txt.text = {std::string(256, 'x')};
    response.answers.push_back(txt);
    EXPECT_THROW(encodeDnsMessage(response), std::invalid_argument);
}

TEST(DnsNames, CompareWithoutCaseOrTheRootDot) {
    EXPECT_TRUE(sameDnsName("_HiSLIP._tcp.Local", "_hislip._tcp.local."));
    EXPECT_FALSE(sameDnsName("_hislip._tcp.local", "_hislip._udp.local"));
    EXPECT_FALSE(sameDnsName("a.local", "aa.local"));
    EXPECT_EQ(prependDnsLabel("MF-7 v1.0", "_lxi._tcp.local"), "MF-7 v1\\.0._lxi._tcp.local");
    EXPECT_EQ(firstDnsLabel(prependDnsLabel("a\\b.c", "_lxi._tcp.local")), "a\\b.c");
}

TEST(DnsTxt, KeysCompareWithoutCaseAndNeedTheirEqualsSign) {
    const std::vector<std::string> text = {"txtvers=1", "manufacturer=Korvane", "Model", "SerialNumberX=1",
                                           "SerialNumber=A=B"};
    EXPECT_EQ(txtValue(text, "Manufacturer"), "Korvane");
    EXPECT_EQ(txtValue(text, "Model"), "");
    EXPECT_EQ(txtValue(text, "SerialNumber"), "A=B");
    EXPECT_EQ(txtValue(text, "Firmware"), "");
}

} // namespace
