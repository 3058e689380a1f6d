#include "visa/RpcClient.h"

#include "protocol/DecodeError.h"
#include "protocol/RpcMessage.h"
#include "visa/MessageSession.h"

#include <chrono>

namespace visa {

namespace {
// A reply record holds at most one reply's data plus the RPC and VXI-11 headers around it.
constexpr std::size_t kMaxRecord = kMaxReplyBytes + 64 * 1024;

std::uint32_t firstXid() {
    // Different per connection, so that a reply meant for an earlier connection's call never matches.
    return static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}
} // namespace

RpcClient::RpcClient(LanStream stream, std::uint32_t program, std::uint32_t version, std::string serviceName)
    : stream_(std::move(stream)), program_(program), version_(version), serviceName_(std::move(serviceName)),
      nextXid_(firstXid()), assembler_(kMaxRecord) {}

std::string RpcClient::call(std::uint32_t procedure, std::string_view arguments,
                            const base::Deadline& deadline, std::string_view what) {
    return awaitReply(send(procedure, arguments, deadline), deadline, what);
}

std::uint32_t RpcClient::send(std::uint32_t procedure, std::string_view arguments,
                              const base::Deadline& deadline) {
    const std::uint32_t xid = nextXid_++;
    const std::string request = protocol::encodeRecord(
        protocol::encodeCall({xid, program_, version_, procedure, std::string(arguments)}));
    stream_.sendAll(request, deadline, "request not sent");
    awaited_[xid];
    return xid;
}

std::string RpcClient::awaitReply(std::uint32_t xid, const base::Deadline& deadline, std::string_view what) {
    const std::string malformed = "malformed reply from the " + serviceName_;
    // Whatever way this call ends, its reply is no longer awaited: one arriving later is dropped.
    struct Forget {
        std::map<std::uint32_t, std::optional<std::string>>& awaited;
        std::uint32_t xid;
        ~Forget() { awaited.erase(xid); }
    } forget{awaited_, xid};
    std::optional<std::string> record;
    if (const auto early = awaited_.find(xid); early != awaited_.end())
        record = std::move(early->second);
    while (!record) {
        try {
            record = assembler_.nextRecord();
        } catch (const protocol::DecodeError& e) {
            stream_.fail(VisaError::Kind::Protocol, malformed + ": " + e.what());
        }
        if (!record) {
            stream_.receiveInto(assembler_, deadline, what, malformed);
            continue;
        }
        std::uint32_t replyXid = 0;
        if (protocol::peekXid(*record, replyXid) && replyXid == xid)
            break;
        // Another call's: kept for it while it is awaited, else the late answer to one that gave up.
        if (const auto other = awaited_.find(replyXid); other != awaited_.end() && !other->second)
            other->second = std::move(record);
        record.reset();
    }
    protocol::RpcReply reply;
    try {
        reply = protocol::decodeReply(*record);
    } catch (const protocol::DecodeError& e) {
        stream_.fail(VisaError::Kind::Protocol, malformed + ": " + e.what());
    }
    if (reply.status != protocol::RpcReplyStatus::Success) {
        stream_.fail(VisaError::Kind::Protocol,
                     "the " + serviceName_ + " refused the call: " + protocol::describe(reply));
    }
    return std::move(reply.results);
}

} // namespace visa
