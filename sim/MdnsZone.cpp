#include "sim/MdnsZone.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <limits>
#include <set>
#include <utility>

namespace sim {

using namespace protocol;

namespace {

// One Ethernet frame's payload, less the IP and UDP headers: a larger answer is split.
constexpr std::size_t kMaxAnswerBytes = 1400;

DnsRecord makeRecord(std::string name, DnsType type, std::uint32_t ttl) {
    DnsRecord record;
    record.name = std::move(name);
    record.type = type;
    record.ttl = ttl;
    return record;
}

bool asks(const DnsQuestion& question, DnsType type) {
    return (question.dnsClass == kDnsClassIn || question.dnsClass == kDnsAny) &&
           (question.type == type || question.type == kDnsAny);
}

std::string recordKey(const DnsRecord& record) {
    return base::asciiLower(record.name + "/" + std::to_string(record.type) + "/" + record.target);
}

} // namespace

MdnsZone::MdnsZone(std::vector<AnnouncedService> services) : services_(std::move(services)) {}

std::string MdnsZone::hostName(const Address& address) {
    return "pinwright-sim-" + std::to_string(address[0]) + "-" + std::to_string(address[1]) + "-" +
           std::to_string(address[2]) + "-" + std::to_string(address[3]) + ".local";
}

void MdnsZone::addServiceRecords(Bundle& bundle, const AnnouncedService& service, bool asAnswers,
                                 const Address& address) const {
    const std::string instance = prependDnsLabel(service.instance, service.type);
    DnsRecord srv = makeRecord(instance, kDnsSrv, kMdnsHostRecordTtl);
    srv.port = service.port;
    srv.target = hostName(address);
    DnsRecord txt = makeRecord(instance, kDnsTxt, kMdnsOtherRecordTtl);
    txt.text = service.text;
    DnsRecord a = makeRecord(hostName(address), kDnsA, kMdnsHostRecordTtl);
    a.address = address;
    Records& where = asAnswers ? bundle.answers : bundle.additionals;
    where.push_back(std::move(srv));
    where.push_back(std::move(txt));
    bundle.additionals.push_back(std::move(a));
}

std::vector<MdnsZone::Bundle> MdnsZone::bundlesFor(const DnsQuestion& question,
                                                   const Address& address) const {
    std::vector<Bundle> bundles;
    if (sameDnsName(question.name, kDnsSdServiceEnumeration) && asks(question, kDnsPtr)) {
        std::set<std::string> types;
        for (const AnnouncedService& service : services_) {
            if (types.insert(service.type).second) {
                DnsRecord ptr = makeRecord(kDnsSdServiceEnumeration, kDnsPtr, kMdnsOtherRecordTtl);
                ptr.target = service.type;
                bundles.push_back({{ptr}, {}});
            }
        }
    }
    for (const AnnouncedService& service : services_) {
        const std::string instance = prependDnsLabel(service.instance, service.type);
        if (sameDnsName(question.name, service.type) && asks(question, kDnsPtr)) {
            Bundle bundle;
            DnsRecord ptr = makeRecord(service.type, kDnsPtr, kMdnsOtherRecordTtl);
            ptr.target = instance;
            bundle.answers.push_back(std::move(ptr));
            addServiceRecords(bundle, service, false, address);
            bundles.push_back(std::move(bundle));
        } else if (sameDnsName(question.name, instance) &&
                   (asks(question, kDnsSrv) || asks(question, kDnsTxt))) {
            Bundle bundle;
            addServiceRecords(bundle, service, true, address);
            std::erase_if(bundle.answers,
                          [&](const DnsRecord& r) { return !asks(question, DnsType(r.type)); });
            bundles.push_back(std::move(bundle));
        }
    }
    if (sameDnsName(question.name, hostName(address)) && asks(question, kDnsA)) {
        DnsRecord a = makeRecord(hostName(address), kDnsA, kMdnsHostRecordTtl);
        a.address = address;
        bundles.push_back({{a}, {}});
    }
    return bundles;
}

std::vector<DnsMessage> MdnsZone::answer(const DnsMessage& query, const Address& address,
                                         bool legacyUnicast) const {
    if ((query.flags & kDnsResponseFlag) != 0) {
        return {};
    }
    std::vector<Bundle> bundles;
    for (const DnsQuestion& question : query.questions) {
        for (Bundle& bundle : bundlesFor(question, address)) {
            bundles.push_back(std::move(bundle));
        }
    }
    DnsMessage header;
    header.flags = kDnsResponseFlag | kDnsAuthoritativeFlag;
    if (legacyUnicast) {
        header.id = query.id;
        header.questions = query.questions;
    }
    return pack(bundles, header, legacyUnicast ? kMdnsLegacyTtl : std::numeric_limits<std::uint32_t>::max(),
                !legacyUnicast);
}

std::vector<DnsMessage> MdnsZone::announcement(const Address& address, bool goodbye) const {
    std::vector<Bundle> bundles;
    for (const AnnouncedService& service : services_) {
        Bundle bundle;
        DnsRecord ptr = makeRecord(service.type, kDnsPtr, kMdnsOtherRecordTtl);
        ptr.target = prependDnsLabel(service.instance, service.type);
        bundle.answers.push_back(std::move(ptr));
        addServiceRecords(bundle, service, true, address);
        bundle.answers.insert(bundle.answers.end(), bundle.additionals.begin(), bundle.additionals.end());
        bundle.additionals.clear();
        bundles.push_back(std::move(bundle));
    }
    DnsMessage header;
    header.flags = kDnsResponseFlag | kDnsAuthoritativeFlag;
    return pack(bundles, header, goodbye ? 0 : std::numeric_limits<std::uint32_t>::max(), true);
}

// Bundles kept whole and added to a message while it stays within one frame; each record once in a message
// (an answer is not repeated as an additional), and again in the next message if a bundle there needs it.
std::vector<DnsMessage> MdnsZone::pack(const std::vector<Bundle>& bundles, const DnsMessage& header,
                                       std::uint32_t ttlLimit, bool cacheFlush) {
    const auto add = [&](DnsMessage& message, std::set<std::string>& keys, const Bundle& bundle) {
        for (const auto& [from, into] : {std::pair{&bundle.answers, &message.answers},
                                         std::pair{&bundle.additionals, &message.additionals}}) {
            for (DnsRecord record : *from) {
                if (keys.insert(recordKey(record)).second) {
                    record.ttl = std::min(record.ttl, ttlLimit);
                    record.cacheFlush = cacheFlush && record.type != kDnsPtr; // PTR records are shared
                    into->push_back(std::move(record));
                }
            }
        }
    };
    std::vector<DnsMessage> messages;
    DnsMessage current = header;
    std::set<std::string> keysInCurrent;
    for (const Bundle& bundle : bundles) {
        DnsMessage candidate = current;
        std::set<std::string> keys = keysInCurrent;
        add(candidate, keys, bundle);
        if (encodeDnsMessage(candidate).size() > kMaxAnswerBytes && !current.answers.empty()) {
            messages.push_back(std::move(current));
            candidate = header;
            keys.clear();
            add(candidate, keys, bundle);
        }
        current = std::move(candidate);
        keysInCurrent = std::move(keys);
    }
    if (!current.answers.empty()) {
        messages.push_back(std::move(current));
    }
    return messages;
}

} // namespace sim
