#pragma once

// DNS messages as mDNS and DNS-SD use them (RFC 1035, 6762, 6763): questions and resource records with
// PTR, SRV, TXT and A data decoded, every other type kept as raw bytes. Names are text with the labels
// joined by '.', a '.' or '\' inside a label escaped with '\'. Decoding bounds every name, label, length
// and compression pointer, so that any bytes from the network either decode or throw DecodeError.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

inline constexpr std::uint16_t kMdnsPort = 5353;
inline constexpr std::array<std::uint8_t, 4> kMdnsGroup{224, 0, 0, 251};
// One mDNS message fits an Ethernet jumbo frame at most.
inline constexpr std::size_t kMaxDnsMessage = 9000;

// mDNS record lifetimes in seconds: a record naming a host (SRV, A) lives two minutes and any other 75;
// answers to a legacy one-shot querier last at most ten seconds, as it would cache them like unicast DNS.
inline constexpr std::uint32_t kMdnsHostRecordTtl = 120;
inline constexpr std::uint32_t kMdnsOtherRecordTtl = 4500;
inline constexpr std::uint32_t kMdnsLegacyTtl = 10;

// DNS-SD names: the one whose PTR records list every service type on the link, the service types an
// instrument is found by, and the one that carries only its name.
inline constexpr const char* kDnsSdServiceEnumeration = "_services._dns-sd._udp.local";
inline constexpr const char* kVxi11ServiceType = "_vxi-11._tcp.local";
inline constexpr const char* kHislipServiceType = "_hislip._tcp.local";
inline constexpr const char* kScpiRawServiceType = "_scpi-raw._tcp.local";
inline constexpr const char* kLxiServiceType = "_lxi._tcp.local";
// A look-up browses them all.
inline constexpr std::array kInstrumentServiceTypes{kVxi11ServiceType, kHislipServiceType,
                                                    kScpiRawServiceType, kLxiServiceType};

enum DnsType : std::uint16_t {
    kDnsA = 1,
    kDnsPtr = 12,
    kDnsTxt = 16,
    kDnsAaaa = 28,
    kDnsSrv = 33,
    kDnsAny = 255,
};
inline constexpr std::uint16_t kDnsClassIn = 1;
inline constexpr std::uint16_t kDnsResponseFlag = 0x8000;
inline constexpr std::uint16_t kDnsAuthoritativeFlag = 0x0400;

struct DnsQuestion {
    std::string name;
    std::uint16_t type = kDnsPtr;
    std::uint16_t dnsClass = kDnsClassIn;
    bool unicastResponse = false; // mDNS "QU": the top bit of the class
};

struct DnsRecord {
    std::string name;
    std::uint16_t type = kDnsA;
    std::uint16_t dnsClass = kDnsClassIn;
    bool cacheFlush = false; // mDNS: the top bit of the class
    std::uint32_t ttl = kMdnsHostRecordTtl;
    std::string target;                               // PTR, SRV
    std::uint16_t priority = 0, weight = 0, port = 0; // SRV
    std::vector<std::string> text;                    // TXT: the strings, each at most 255 bytes
    std::array<std::uint8_t, 4> address{};            // A
    std::string data;                                 // any other type: the record data as it came
};

struct DnsMessage {
    std::uint16_t id = 0;
    std::uint16_t flags = 0;
    std::vector<DnsQuestion> questions;
    std::vector<DnsRecord> answers;
    std::vector<DnsRecord> authorities;
    std::vector<DnsRecord> additionals;
};

// Throws std::invalid_argument for a name that cannot be encoded (an empty or over-long label, a name
// longer than 255 bytes) or a TXT string longer than 255 bytes. Names are written uncompressed.
std::string encodeDnsMessage(const DnsMessage& message);
DnsMessage decodeDnsMessage(std::string_view bytes);

// DNS compares names without regard to ASCII case.
bool sameDnsName(std::string_view a, std::string_view b);
// The first label of a name (an instance name, for a DNS-SD service), unescaped.
std::string firstDnsLabel(std::string_view name);
// A name with a label put in front, escaped as needed: the instance name of a service.
std::string prependDnsLabel(std::string_view label, std::string_view name);
// The value of a "key=value" DNS-SD TXT string, the key compared without case; empty when absent.
std::string txtValue(const std::vector<std::string>& text, std::string_view key);

} // namespace protocol
