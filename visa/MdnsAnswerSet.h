#pragma once

#include "protocol/DnsMessage.h"
#include "visa/ResourceFinder.h"

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace visa {

// What the mDNS responders have said during one look-up, gathered over all their answers (a responder may
// send the PTR, SRV, TXT and A records of one service in one message or in several), and the resources it
// adds up to. Every table is bounded, whatever the responders send.
class MdnsAnswerSet {
public:
    // The records of one response, from the responder at sourceAddress (dotted IPv4).
    void add(const protocol::DnsMessage& response, const std::string& sourceAddress);

    // The resources known well enough to report that were not taken before: a service with its SRV record
    // and its TXT record and the address of its host. With final set, also those still missing the TXT
    // record or the host's A record (then the responder's own address stands for the host's).
    std::vector<FoundResource> takeResources(bool final);

    // Questions for what the answers so far point to but do not hold: the SRV and TXT records of the
    // instances named by PTR records, the A records of SRV targets. Each is asked at most once.
    std::vector<protocol::DnsQuestion> takeFollowUpQuestions();

private:
    struct Service {
        std::string name; // the instance name, as asked in follow-up questions
        std::string type; // one of the service types above
        std::string target;
        std::uint16_t port = 0;
        bool hasSrv = false;
        bool hasTxt = false;
        std::vector<std::string> text;
        std::string source;
        bool reported = false;
    };

    void addRecord(const protocol::DnsRecord& record, const std::string& sourceAddress);
    Service* serviceFor(const std::string& instanceName, const std::string& sourceAddress);
    std::string hostAddress(const Service& service) const;
    void fillIdentity(FoundResource& found, const Service& service) const;

    // By instance name (lower case) and responder: two instruments that claim one name are still two.
    std::map<std::pair<std::string, std::string>, Service> services_;
    std::map<std::string, std::set<std::string>> hosts_; // host name (lower case) to dotted IPv4 addresses
    std::set<std::string> asked_;
    std::set<std::string> resources_; // each resource string once
};

} // namespace visa
