#include "visa/RpcClient.h"

#include "base/Milliseconds.h"
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
    return xid;
}

std::string RpcClient::awaitReply(std::uint32_t xid, const base::Deadline& deadline, std::string_view what) {
    for (;;) {
        std::optional<std::string> record;
        try {
            record = assembler_.nextRecord();
        } catch (const protocol::DecodeError& e) {
            stream_.fail(VisaError::Kind::Protocol,
                         "malformed reply from the " + serviceName_ + ": " + e.what());
        }
        if (!record) {
            // A peer that keeps sending stale replies must not hold the call beyond its deadline.
            auto bytes = deadline.expired() ? std::nullopt : stream_.receiveSome(deadline);
            if (!bytes) {
                stream_.fail(VisaError::Kind::Timeout,
                             std::string(what) + " within " + base::milliseconds(deadline.timeout()));
            }
            try {
                assembler_.feed(*bytes);
            } catch (const protocol::DecodeError& e) {
                stream_.close(); // the stream has lost its framing: nothing after this can be trusted
                stream_.fail(VisaError::Kind::Protocol,
                             "malformed reply from the " + serviceName_ + ": " + e.what());
            }
            continue;
        }
        std::uint32_t replyXid = 0;
        if (!protocol::peekXid(*record, replyXid) || replyXid != xid) {
            continue; // the late answer to a call that already timed out
        }
        protocol::RpcReply reply;
        try {
            reply = protocol::decodeReply(*record);
        } catch (const protocol::DecodeError& e) {
            stream_.fail(VisaError::Kind::Protocol,
                         "malformed reply from the " + serviceName_ + ": " + e.what());
        }
        if (reply.status != protocol::RpcReplyStatus::Success) {
            stream_.fail(VisaError::Kind::Protocol,
                         "the " + serviceName_ + " refused the call: " + protocol::describe(reply));
        }
        return std::move(reply.results);
    }
}

} // namespace visa
