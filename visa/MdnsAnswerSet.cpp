#include "visa/MdnsAnswerSet.h"

#include "base/AsciiCase.h"
#include "base/PrintableText.h"
#include "protocol/HislipMessage.h"

#include <algorithm>
#include <array>

namespace visa {

using namespace protocol;

namespace {

// However many responders answer and whatever they send, one look-up keeps at most this much.
constexpr std::size_t kMaxEntries = 1024;
constexpr std::size_t kMaxAddressesPerHost = 16;
constexpr std::size_t kMaxIdentityChars = 64;

// The service type an instance name belongs to: what follows its first (unescaped) label, if that is one
// of ours.
const char* serviceTypeOf(std::string_view instanceName) {
    for (std::size_t i = 0; i < instanceName.size(); ++i) {
        if (instanceName[i] == '\\') {
            ++i;
        } else if (instanceName[i] == '.') {
            const std::string_view rest = instanceName.substr(i + 1);
            for (const char* type : kInstrumentServiceTypes) {
                if (sameDnsName(rest, type)) {
                    return type;
                }
            }
            return nullptr;
        }
    }
    return nullptr;
}

std::string formatAddress(const std::array<std::uint8_t, 4>& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) +
           "." + std::to_string(address[3]);
}

// "hislip3" or "inst2" from a TXT record's SubAddress (an instrument with several sessions or devices
// announces each), or the default given; anything but the prefix and up to three digits is ignored.
std::string subAddress(const std::vector<std::string>& text, std::string_view prefix,
                       const std::string& fallback) {
    const std::string given = base::asciiLower(txtValue(text, "SubAddress"));
    const std::string_view digits = std::string_view(given).substr(std::min(prefix.size(), given.size()));
    const bool valid = given.starts_with(prefix) && !digits.empty() && digits.size() <= 3 &&
                       std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    return valid ? given : fallback;
}

// The resource a service stands for at the given address; empty when it names no usable port (VXI-11 goes
// through the portmapper, whatever port its SRV record names).
std::string resourceOf(const std::string& type, std::uint16_t port, const std::vector<std::string>& text,
                       const std::string& address) {
    if (address.empty() || (port == 0 && type != kVxi11ServiceType)) {
        return {};
    }
    if (type == kVxi11ServiceType) {
        const std::string device = subAddress(text, "inst", "inst0");
        return "TCPIP0::" + address + (device == "inst0" ? "" : "::" + device) + "::INSTR";
    }
    if (type == kHislipServiceType) {
        std::string session = subAddress(text, "hislip", "hislip0");
        if (port != kHislipPort) {
            session += "," + std::to_string(port);
        }
        return "TCPIP0::" + address + "::" + session + "::INSTR";
    }
    return "TCPIP0::" + address + "::" + std::to_string(port) + "::SOCKET";
}

} // namespace

void MdnsAnswerSet::add(const DnsMessage& response, const std::string& sourceAddress) {
    for (const auto* section : {&response.answers, &response.authorities, &response.additionals}) {
        for (const DnsRecord& record : *section) {
            addRecord(record, sourceAddress);
        }
    }
}

MdnsAnswerSet::Service* MdnsAnswerSet::serviceFor(const std::string& instanceName,
                                                  const std::string& sourceAddress) {
    const char* type = serviceTypeOf(instanceName);
    if (type == nullptr) {
        return nullptr;
    }
    const auto key = std::make_pair(base::asciiLower(instanceName), sourceAddress);
    const auto it = services_.find(key);
    if (it != services_.end()) {
        return &it->second;
    }
    if (services_.size() >= kMaxEntries) {
        return nullptr;
    }
    Service& service = services_[key];
    service.name = key.first;
    service.type = type;
    service.source = sourceAddress;
    return &service;
}

void MdnsAnswerSet::addRecord(const DnsRecord& record, const std::string& sourceAddress) {
    if (record.dnsClass != kDnsClassIn || record.ttl == 0) {
        return; // a goodbye, or not the Internet class
    }
    switch (record.type) {
    case kDnsPtr:
        serviceFor(record.target, sourceAddress);
        break;
    case kDnsSrv:
        if (Service* service = serviceFor(record.name, sourceAddress)) {
            service->target = base::asciiLower(record.target);
            service->port = record.port;
            service->hasSrv = true;
        }
        break;
    case kDnsTxt:
        if (Service* service = serviceFor(record.name, sourceAddress)) {
            service->text = record.text;
            service->hasTxt = true;
        }
        break;
    case kDnsA: {
        const std::string host = base::asciiLower(record.name);
        if (hosts_.size() < kMaxEntries || hosts_.contains(host)) {
            std::set<std::string>& addresses = hosts_[host];
            if (addresses.size() < kMaxAddressesPerHost) {
                addresses.insert(formatAddress(record.address));
            }
        }
        break;
    }
    default:
        break;
    }
}

// The address the host's A records give, the responder's own among them first; empty when none is known.
std::string MdnsAnswerSet::hostAddress(const Service& service) const {
    const auto host = hosts_.find(service.target);
    if (host == hosts_.end() || host->second.empty()) {
        return {};
    }
    return host->second.contains(service.source) ? service.source : *host->second.begin();
}

void MdnsAnswerSet::fillIdentity(FoundResource& found, const Service& service) const {
    const auto fill = [&found](const std::vector<std::string>& text) {
        found.manufacturer = base::printableText(txtValue(text, "Manufacturer"), kMaxIdentityChars,
                                                 base::Unprintable::Question);
        found.model =
            base::printableText(txtValue(text, "Model"), kMaxIdentityChars, base::Unprintable::Question);
        found.serial = base::printableText(txtValue(text, "SerialNumber"), kMaxIdentityChars,
                                           base::Unprintable::Question);
    };
    fill(service.text);
    // An instrument may put its name in the TXT record of _lxi._tcp only.
    for (const auto& [key, other] : services_) {
        if (!found.manufacturer.empty() || !found.model.empty() || !found.serial.empty()) {
            break;
        }
        if (&other != &service && other.hasTxt && other.source == service.source) {
            fill(other.text);
        }
    }
}

std::vector<FoundResource> MdnsAnswerSet::takeResources(bool final) {
    std::vector<FoundResource> result;
    for (auto& [key, service] : services_) {
        if (service.reported || !service.hasSrv || service.type == kLxiServiceType) {
            continue;
        }
        std::string address = hostAddress(service);
        if (!final && (address.empty() || !service.hasTxt)) {
            continue;
        }
        if (address.empty()) {
            address = service.source;
        }
        const std::string resource = resourceOf(service.type, service.port, service.text, address);
        if (resource.empty()) {
            continue; // not marked reported: a later SRV record may name a usable port
        }
        service.reported = true;
        if (resources_.size() >= kMaxEntries || !resources_.insert(resource).second) {
            continue;
        }
        FoundResource found;
        found.resource = resource;
        found.method = "mDNS";
        found.host = address;
        fillIdentity(found, service);
        result.push_back(std::move(found));
    }
    return result;
}

std::vector<DnsQuestion> MdnsAnswerSet::takeFollowUpQuestions() {
    std::vector<DnsQuestion> questions;
    const auto ask = [&](const std::string& name, std::uint16_t type) {
        if (asked_.size() < kMaxEntries && asked_.insert(std::to_string(type) + " " + name).second) {
            questions.push_back({name, type, kDnsClassIn, true});
        }
    };
    for (const auto& [key, service] : services_) {
        if (!service.hasSrv) {
            ask(service.name, kDnsSrv);
        }
        if (!service.hasTxt) {
            ask(service.name, kDnsTxt);
        }
        if (service.hasSrv && !hosts_.contains(service.target)) {
            ask(service.target, kDnsA);
        }
    }
    return questions;
}

} // namespace visa
