#include "visa/LanFinders.h"

#include "base/NetworkInterfaces.h"
#include "base/UdpSocket.h"
#include "protocol/DecodeError.h"
#include "protocol/DnsMessage.h"
#include "protocol/RpcMessage.h"
#include "protocol/Vxi11Messages.h"
#include "visa/MdnsAnswerSet.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <random>
#include <set>
#include <system_error>

namespace visa {

using namespace protocol;

namespace {

constexpr const char* kBroadcastMethod = "VXI-11 broadcast";
constexpr const char* kMdnsMethod = "mDNS";
// A GETPORT reply is 28 bytes with an empty verifier; anything much longer is not one.
constexpr std::size_t kMaxPortmapReply = 512;
// Datagrams read from one socket before the others get their turn.
constexpr int kMaxDatagramsPerTurn = 32;
// Distinct instruments one broadcast reports at most, whoever answers.
constexpr std::size_t kMaxBroadcastAnswers = 4096;
// Questions in one follow-up query, so that it stays well within one datagram.
constexpr std::size_t kMaxQuestionsPerQuery = 16;

struct InterfaceSocket {
    base::Ipv4Interface interface;
    base::UdpSocket socket;
};

// One socket bound to each interface's address (port 0), so that the answers to what is sent on that
// interface come back to it, whichever interface the default route leaves by.
template <typename Wanted, typename Prepare>
std::vector<InterfaceSocket> openPerInterface(Wanted wanted, Prepare prepare, std::string& problem) {
    std::vector<InterfaceSocket> sockets;
    for (const base::Ipv4Interface& interface : base::listIpv4Interfaces()) {
        if (interface.loopback || !wanted(interface)) {
            continue;
        }
        try {
            base::UdpSocket socket = base::UdpSocket::bind(interface.address, 0);
            prepare(interface, socket);
            sockets.push_back({interface, std::move(socket)});
        } catch (const std::system_error& e) {
            problem = e.what();
        }
    }
    return sockets;
}

// Hands every datagram that arrives on the sockets to take() until the deadline passes or the run asks
// its finders to stop; false for the stop.
template <typename Take>
bool receiveUntil(const std::vector<InterfaceSocket>& sockets, const base::Deadline& deadline,
                  const FindOptions& options, std::size_t maxBytes, Take&& take) {
    std::vector<int> fds;
    for (const InterfaceSocket& entry : sockets) {
        fds.push_back(entry.socket.fd());
    }
    if (options.stopDescriptor >= 0)
        fds.push_back(options.stopDescriptor);
    while (!deadline.expired()) {
        for (const std::size_t index : base::waitReadable(fds, deadline)) {
            if (index >= sockets.size())
                return false;
            for (int i = 0; i < kMaxDatagramsPerTurn; ++i) {
                auto datagram = sockets[index].socket.receive(maxBytes);
                if (!datagram) {
                    break;
                }
                take(sockets[index], *datagram);
            }
        }
    }
    return true;
}

std::uint32_t randomXid() {
    std::random_device device;
    return device();
}

// The port in a GETPORT reply to our call, 0 for anything else (another call's reply, a refusal, junk).
std::uint32_t portFromReply(std::string_view bytes, std::uint32_t xid) {
    try {
        const RpcReply reply = decodeReply(bytes);
        if (reply.xid != xid || reply.status != RpcReplyStatus::Success) {
            return 0;
        }
        const std::uint32_t port = decodePort(reply.results);
        return port <= 0xFFFF ? port : 0;
    } catch (const DecodeError&) {
        return 0;
    }
}

sockaddr_in mdnsGroup() {
    in_addr group{};
    std::memcpy(&group.s_addr, kMdnsGroup.data(), sizeof group.s_addr);
    return base::socketAddress(group, kMdnsPort);
}

// A one-shot query: ID 0, the QU bit asking for a unicast answer, which responders send to our own
// (ephemeral) port anyway because it is not 5353.
std::vector<std::string> encodeQueries(const std::vector<DnsQuestion>& questions) {
    std::vector<std::string> queries;
    for (std::size_t first = 0; first < questions.size(); first += kMaxQuestionsPerQuery) {
        DnsMessage query;
        const auto end = questions.begin() + static_cast<std::ptrdiff_t>(
                                                 std::min(questions.size(), first + kMaxQuestionsPerQuery));
        query.questions.assign(questions.begin() + static_cast<std::ptrdiff_t>(first), end);
        queries.push_back(encodeDnsMessage(query));
    }
    return queries;
}

void runVxi11Broadcast(const FindOptions& options, FindSink& sink) {
    std::string problem;
    auto sockets =
        openPerInterface([](const base::Ipv4Interface& i) { return i.broadcast.has_value(); },
                         [](const base::Ipv4Interface&, base::UdpSocket& s) { s.allowBroadcast(); }, problem);
    if (sockets.empty()) {
        sink.unavailable(kBroadcastMethod, problem.empty()
                                               ? "no network interface that is up has a broadcast address"
                                               : problem);
        return;
    }
    const std::uint32_t xid = randomXid();
    const PortmapMapping mapping{kVxi11CoreProgram, kVxi11CoreVersion, kIpProtoTcp, 0};
    const std::string call =
        encodeCall({xid, kPortmapProgram, kPortmapVersion, kPortmapProcGetPort, mapping.encode()});
    const auto broadcast = [&] {
        for (const InterfaceSocket& entry : sockets) {
            entry.socket.sendTo(call, base::socketAddress(*entry.interface.broadcast, kPortmapPort));
        }
    };
    std::set<std::string> seen;
    const auto take = [&](const InterfaceSocket&, const base::UdpSocket::Datagram& datagram) {
        if (portFromReply(datagram.bytes, xid) == 0 || seen.size() >= kMaxBroadcastAnswers) {
            return;
        }
        const std::string address = base::formatIpv4(datagram.source.sin_addr);
        if (seen.insert(address).second) {
            sink.found({"TCPIP0::" + address + "::INSTR", kBroadcastMethod, address, {}, {}, {}});
        }
    };
    // Sent twice, a quarter of the window apart: a broadcast is one datagram that nothing resends.
    const base::Deadline end(options.window);
    broadcast();
    if (!receiveUntil(sockets, base::Deadline(options.window / 4), options, kMaxPortmapReply, take))
        return;
    broadcast();
    receiveUntil(sockets, end, options, kMaxPortmapReply, take);
}

void runMdns(const FindOptions& options, FindSink& sink) {
    std::string problem;
    auto sockets = openPerInterface(
        [](const base::Ipv4Interface& i) { return i.multicast; },
        [](const base::Ipv4Interface& i, base::UdpSocket& s) { s.setMulticastInterface(i.address); },
        problem);
    if (sockets.empty()) {
        sink.unavailable(kMdnsMethod,
                         problem.empty() ? "no network interface that is up can send multicast" : problem);
        return;
    }
    std::vector<DnsQuestion> browse;
    for (const char* type : kInstrumentServiceTypes) {
        browse.push_back({type, kDnsPtr, kDnsClassIn, true});
    }
    const std::vector<std::string> browseQueries = encodeQueries(browse);
    const sockaddr_in group = mdnsGroup();
    const auto sendBrowse = [&] {
        for (const InterfaceSocket& entry : sockets) {
            for (const std::string& query : browseQueries) {
                entry.socket.sendTo(query, group);
            }
        }
    };
    MdnsAnswerSet answers;
    const auto take = [&](const InterfaceSocket& entry, const base::UdpSocket::Datagram& datagram) {
        DnsMessage response;
        try {
            response = decodeDnsMessage(datagram.bytes);
        } catch (const DecodeError&) {
            return;
        }
        if ((response.flags & kDnsResponseFlag) == 0) {
            return;
        }
        answers.add(response, base::formatIpv4(datagram.source.sin_addr));
        for (const FoundResource& found : answers.takeResources(false)) {
            sink.found(found);
        }
        for (const std::string& query : encodeQueries(answers.takeFollowUpQuestions())) {
            entry.socket.sendTo(query, group);
        }
    };
    const base::Deadline end(options.window);
    sendBrowse();
    if (!receiveUntil(sockets, base::Deadline(options.window / 4), options, kMaxDnsMessage, take))
        return;
    sendBrowse();
    if (!receiveUntil(sockets, end, options, kMaxDnsMessage, take))
        return;
    for (const FoundResource& found : answers.takeResources(true)) {
        sink.found(found);
    }
}

// A finder never throws: what stops it from running at all is said once through the sink.
template <typename Run>
void guarded(const char* method, Run run, const FindOptions& options, FindSink& sink) {
    try {
        run(options, sink);
    } catch (const std::exception& e) {
        sink.unavailable(method, e.what());
    }
}

} // namespace

void findVxi11ByBroadcast(const FindOptions& options, FindSink& sink) {
    guarded(kBroadcastMethod, runVxi11Broadcast, options, sink);
}

void findByMdns(const FindOptions& options, FindSink& sink) {
    guarded(kMdnsMethod, runMdns, options, sink);
}

} // namespace visa
