#pragma once

// A VXI-11 peer whose every answer the test writes by hand: split records, stale xids, error codes,
// a hang-up in the middle of a reply. Built on the simulator's listener, so it stops by itself.

#include "protocol/RecordMarking.h"
#include "protocol/RpcMessage.h"
#include "sim/TcpService.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lan_test {

// Frames what a connection receives with the assembler and hands each message that `next` takes from
// it to `handle`, which says whether to go on.
template <typename Assembler, typename Next, typename Handle>
void serveFramed(sim::ServiceConnection& connection, Assembler& assembler, Next next, Handle handle) {
    while (auto bytes = connection.receiveSome()) {
        assembler.feed(*bytes);
        while (auto message = next(assembler)) {
            if (!handle(*message)) {
                return;
            }
        }
    }
}

struct Answer {
    std::vector<std::string> chunks; // sent in order, with `pause` between them
    std::chrono::milliseconds pause{0};
    bool hangUp = false; // close the connection after the chunks
};

// The usual answer: one record holding a successful reply.
inline Answer success(std::uint32_t xid, std::string results) {
    protocol::RpcReply reply;
    reply.xid = xid;
    reply.results = std::move(results);
    return Answer{{protocol::encodeRecord(protocol::encodeReply(reply))}};
}

class ScriptedRpcServer {
public:
    using Script = std::function<Answer(const protocol::RpcCall&)>;

    explicit ScriptedRpcServer(Script script)
        : script_(std::move(script)),
          service_("127.0.0.1", 0, "scripted", [this](sim::ServiceConnection& c) { serve(c); }) {}

    std::uint16_t port() const { return service_.port(); }
    std::vector<std::uint32_t> procedures() const {
        std::lock_guard lock(mutex_);
        return procedures_;
    }

private:
    void serve(sim::ServiceConnection& connection) {
        protocol::RecordAssembler assembler(1 << 21);
        serveFramed(connection, assembler, std::mem_fn(&protocol::RecordAssembler::nextRecord),
                    [&](const std::string& record) {
                        const protocol::RpcCall call = protocol::decodeCall(record);
                        {
                            std::lock_guard lock(mutex_);
                            procedures_.push_back(call.procedure);
                        }
                        const Answer answer = script_(call);
                        for (std::size_t i = 0; i < answer.chunks.size(); ++i) {
                            if (i > 0 && !connection.sleepFor(answer.pause)) {
                                return false;
                            }
                            connection.sendAll(answer.chunks[i]);
                        }
                        return !answer.hangUp;
                    });
    }

    Script script_;
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> procedures_;
    sim::TcpService service_;
};

} // namespace lan_test
