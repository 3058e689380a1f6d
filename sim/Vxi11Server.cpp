#include "sim/Vxi11Server.h"

#include "protocol/Vxi11Messages.h"
#include "sim/ClientSession.h"
#include "sim/RpcConnection.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace sim {

using namespace protocol;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {
// The longest program message a link collects before it gives up on it, as on the raw socket.
constexpr std::size_t kMaxMessage = 64 * 1024;
constexpr std::size_t kMaxCoreRecord = kMaxVxi11Data + 1024;
// What writeChunks() keeps: enough for any test, bounded for a long bench run.
constexpr std::size_t kMaxRecordedChunks = 10000;
constexpr std::size_t kMaxRecordedChunkBytes = 1024 * 1024;

Vxi11Server::Options withUsableRecvSize(Vxi11Server::Options options) {
    options.maxRecvSize = std::clamp<std::uint32_t>(options.maxRecvSize, 1, kMaxVxi11Data);
    return options;
}

std::map<std::string, Mainframe*> deviceNamesFor(const std::vector<Mainframe*>& mainframes,
                                                 const std::set<std::string>& firstNames) {
    std::map<std::string, Mainframe*> devices;
    for (std::size_t i = 1; i < mainframes.size(); ++i) {
        devices["inst" + std::to_string(i)] = mainframes[i];
    }
    for (const std::string& name : firstNames) {
        devices[name] = mainframes.at(0);
    }
    return devices;
}

// How long a call waits for another link's lock: its lock_timeout when it asks to wait, else not at all.
milliseconds lockWait(std::uint32_t flags, std::uint32_t lockTimeout) {
    return milliseconds{(flags & kFlagWaitLock) != 0 ? lockTimeout : 0};
}
} // namespace

// One client connection: its links and what each link has half received or half read.
class Vxi11Server::Connection {
public:
    Connection(Vxi11Server& server, ServiceConnection& connection)
        : server_(server), connection_(connection) {}
    ~Connection() {
        for (const auto& [id, link] : links_) {
            server_.closeLink(link.key);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // True while a link holds a message that has not seen END yet.
    bool midMessage() const {
        return std::any_of(links_.begin(), links_.end(), [](const auto& entry) {
            return !entry.second.input.empty() || entry.second.discardingInput;
        });
    }

    std::optional<RpcReply> dispatch(const RpcCall& call) {
        switch (call.procedure) {
        case kVxi11Null:
            return rpcSuccess(call.xid, {});
        case kCreateLink:
            return rpcSuccess(call.xid, createLink(CreateLinkParms::decode(call.arguments)));
        case kDeviceWrite: {
            std::optional<std::string> result = write(DeviceWriteParms::decode(call.arguments));
            if (!result) {
                return std::nullopt;
            }
            return rpcSuccess(call.xid, std::move(*result));
        }
        case kDeviceRead:
            return rpcSuccess(call.xid, read(DeviceReadParms::decode(call.arguments)));
        case kDeviceClear:
            return rpcSuccess(call.xid, clear(DeviceGenericParms::decode(call.arguments)));
        case kDestroyLink:
            return rpcSuccess(call.xid, destroyLink(decodeLink(call.arguments)));
        case kDeviceLock:
            return rpcSuccess(call.xid, lock(DeviceLockParms::decode(call.arguments)));
        case kDeviceUnlock:
            return rpcSuccess(call.xid, unlock(decodeLink(call.arguments)));
        case kDeviceRemote:
        case kDeviceLocal:
            // The simulated front panel has no remote state to change; the lock still applies.
            return rpcSuccess(call.xid, remoteOrLocal(DeviceGenericParms::decode(call.arguments)));
        case kDeviceReadStb:
            return rpcSuccess(call.xid, DeviceReadStbResp{kVxi11OperationNotSupported, 0}.encode());
        case kDeviceTrigger:
        case kDeviceEnableSrq:
        case kDeviceDoCmd:
        case kCreateIntrChan:
        case kDestroyIntrChan:
            return rpcSuccess(call.xid, encodeDeviceError(kVxi11OperationNotSupported));
        default:
            return rpcFailure(call.xid, RpcReplyStatus::ProcedureUnavailable);
        }
    }

private:
    struct Link {
        std::unique_ptr<ClientSession> session;
        std::uint64_t key = 0;        // the server's number for it
        std::string input;            // a message that has not seen END yet
        bool discardingInput = false; // the message grew beyond kMaxMessage
        std::string output;           // the rest of a reply that a read has begun
        Clock::time_point outputReadyAt{};
        bool outputActive = false;
    };

    StillWanted stillThere() const {
        return [this] {
            return connection_.peerStillThere();
        };
    }

    std::string createLink(const CreateLinkParms& parms) {
        const auto device = server_.devices_.find(parms.device);
        if (device == server_.devices_.end()) {
            return CreateLinkResp{kVxi11DeviceNotAccessible, 0, 0, 0}.encode();
        }
        const auto outOfResources = [&](const std::string& why) {
            server_.log_("VXI-11: refused a link for " + connection_.peer() + ": " + why);
            return CreateLinkResp{kVxi11OutOfResources, 0, 0, 0}.encode();
        };
        if (links_.size() >= server_.options_.linksPerConnection) {
            return outOfResources("already " + std::to_string(links_.size()) + " links on this connection");
        }
        std::string refusal;
        const auto key = server_.openLink(parms.device, refusal);
        if (!key) {
            return outOfResources(refusal);
        }
        auto session = std::make_unique<ClientSession>(*device->second);
        if (parms.lockDevice &&
            session->lock(milliseconds{parms.lockTimeout}, stillThere()) == LockOutcome::TimedOut) {
            server_.closeLink(*key);
            return CreateLinkResp{kVxi11DeviceLocked, 0, 0, 0}.encode();
        }
        const std::int32_t id = nextLinkId_++;
        Link& link = links_[id];
        link.session = std::move(session);
        link.key = *key;
        return CreateLinkResp{kVxi11NoError, id, 0, server_.options_.maxRecvSize}.encode();
    }

    std::optional<std::string> write(const DeviceWriteParms& parms) {
        const auto it = links_.find(parms.linkId);
        if (it == links_.end()) {
            return DeviceWriteResp{kVxi11InvalidLink, 0}.encode();
        }
        if (parms.data.size() > server_.options_.maxRecvSize) {
            return DeviceWriteResp{kVxi11ParameterError, 0}.encode();
        }
        Link& link = it->second;
        const bool end = (parms.flags & kFlagEnd) != 0;
        const milliseconds wait = lockWait(parms.flags, parms.lockTimeout);
        // The end of a message waits for the lock as it runs, below.
        if (!end && !link.session->awaitAccess(wait, stillThere())) {
            return DeviceWriteResp{kVxi11DeviceLocked, 0}.encode();
        }
        server_.recordChunk(parms.data);
        // A new message makes an unfinished reply obsolete, as the mainframe does with its own.
        link.outputActive = false;
        link.output.clear();
        if (!link.discardingInput) {
            link.input += parms.data;
            if (link.input.size() > kMaxMessage) {
                link.input.clear();
                link.discardingInput = true;
            }
        }
        if (end) {
            const bool refused = link.discardingInput;
            link.discardingInput = false;
            if (refused) {
                link.session->queueError(errors::kTooMuchData);
                return DeviceWriteResp{kVxi11IoError, 0}.encode();
            }
            const bool taken = link.session->receiveWhenUnlocked(link.input, wait, stillThere());
            link.input.clear();
            if (!taken) {
                return DeviceWriteResp{kVxi11DeviceLocked, 0}.encode();
            }
            if (link.session->hangUpRequested()) {
                return std::nullopt;
            }
        }
        return DeviceWriteResp{kVxi11NoError, static_cast<std::uint32_t>(parms.data.size())}.encode();
    }

    std::string read(const DeviceReadParms& parms) {
        const auto it = links_.find(parms.linkId);
        if (it == links_.end()) {
            return DeviceReadResp{kVxi11InvalidLink, 0, {}}.encode();
        }
        Link& link = it->second;
        if (!link.session->awaitAccess(lockWait(parms.flags, parms.lockTimeout), stillThere())) {
            return DeviceReadResp{kVxi11DeviceLocked, 0, {}}.encode();
        }
        const milliseconds ioTimeout{parms.ioTimeout};
        if (!link.outputActive) {
            if (auto reply = link.session->takeReply()) {
                link.output = std::move(reply->bytes);
                link.outputReadyAt = Clock::now() + reply->delay;
                link.outputActive = true;
            }
        }
        if (!link.outputActive) {
            // Nothing to say: the instrument keeps quiet for the whole time-out, as a real one would.
            connection_.sleepFor(ioTimeout);
            return DeviceReadResp{kVxi11IoTimeout, 0, {}}.encode();
        }
        const auto wait = std::chrono::ceil<milliseconds>(link.outputReadyAt - Clock::now());
        if (wait > ioTimeout) {
            connection_.sleepFor(ioTimeout);
            return DeviceReadResp{kVxi11IoTimeout, 0, {}}.encode();
        }
        if (wait.count() > 0 && !connection_.sleepFor(wait)) {
            return DeviceReadResp{kVxi11IoError, 0, {}}.encode();
        }
        const std::size_t count =
            std::min<std::size_t>(link.output.size(), std::max<std::uint32_t>(parms.requestSize, 1));
        DeviceReadResp resp{kVxi11NoError, 0, link.output.substr(0, count)};
        link.output.erase(0, count);
        const bool termChar =
            (parms.flags & kFlagTermCharSet) != 0 && !resp.data.empty() && resp.data.back() == parms.termChar;
        if (link.output.empty()) {
            resp.reason |= kReasonEnd;
            link.outputActive = false;
        } else {
            resp.reason |= kReasonRequestCount;
        }
        if (termChar) {
            resp.reason |= kReasonTermChar;
        }
        return resp.encode();
    }

    // The link of a call that is subject to the lock, once the lock lets it through; nullptr with the
    // answer in `error` otherwise.
    Link* admitted(const DeviceGenericParms& parms, std::int32_t& error) {
        const auto it = links_.find(parms.linkId);
        if (it == links_.end()) {
            error = kVxi11InvalidLink;
            return nullptr;
        }
        if (!it->second.session->awaitAccess(lockWait(parms.flags, parms.lockTimeout), stillThere())) {
            error = kVxi11DeviceLocked;
            return nullptr;
        }
        return &it->second;
    }

    std::string remoteOrLocal(const DeviceGenericParms& parms) {
        std::int32_t error = kVxi11NoError;
        admitted(parms, error);
        return encodeDeviceError(error);
    }

    std::string lock(const DeviceLockParms& parms) {
        const auto it = links_.find(parms.linkId);
        if (it == links_.end()) {
            return encodeDeviceError(kVxi11InvalidLink);
        }
        // A link asking again for the lock it holds has what it asked for.
        const LockOutcome outcome =
            it->second.session->lock(lockWait(parms.flags, parms.lockTimeout), stillThere());
        return encodeDeviceError(outcome == LockOutcome::TimedOut ? kVxi11DeviceLocked : kVxi11NoError);
    }

    std::string unlock(std::int32_t linkId) {
        const auto it = links_.find(linkId);
        if (it == links_.end()) {
            return encodeDeviceError(kVxi11InvalidLink);
        }
        return encodeDeviceError(it->second.session->unlock() ? kVxi11NoError : kVxi11NoLockHeld);
    }

    std::string clear(const DeviceGenericParms& parms) {
        std::int32_t error = kVxi11NoError;
        Link* admittedLink = admitted(parms, error);
        if (admittedLink == nullptr) {
            return encodeDeviceError(error);
        }
        Link& link = *admittedLink;
        link.input.clear();
        link.discardingInput = false;
        link.output.clear();
        link.outputActive = false;
        link.session->discardReply(); // a device clear empties the output queue
        return encodeDeviceError(kVxi11NoError);
    }

    std::string destroyLink(std::int32_t linkId) {
        const auto it = links_.find(linkId);
        if (it == links_.end()) {
            return encodeDeviceError(kVxi11InvalidLink);
        }
        server_.closeLink(it->second.key);
        links_.erase(it);
        return encodeDeviceError(kVxi11NoError);
    }

    Vxi11Server& server_;
    ServiceConnection& connection_;
    std::map<std::int32_t, Link> links_;
    std::int32_t nextLinkId_ = 1;
};

Vxi11Server::Vxi11Server(const std::vector<Mainframe*>& mainframes, const std::string& address,
                         std::uint16_t port, Options options, TcpService::Log log)
    : devices_(deviceNamesFor(mainframes, options.deviceNames)),
      options_(withUsableRecvSize(std::move(options))), log_(log ? log : [](const std::string&) {}),
      service_(
          address, port, "VXI-11",
          [this](ServiceConnection& connection) {
              Connection state(*this, connection);
              serveRpcConnection(
                  connection, kMaxCoreRecord, {kVxi11CoreProgram, kVxi11CoreVersion},
                  [&state](const RpcCall& call) { return state.dispatch(call); },
                  [&state] { return state.midMessage(); });
          },
          log, options_.limits,
          // Past the connection limit the one way to say why is create_link's "out of resources"; the
          // refused client gets that answer to its first call and nothing more.
          RefusedClients::Refusal{
              {}, [](std::string_view received) {
                  return answerFirstCall(
                      received, RefusedClients::kMaxCallBytes, {kVxi11CoreProgram, kVxi11CoreVersion},
                      [](const RpcCall& call) -> std::optional<RpcReply> {
                          if (call.procedure != kCreateLink) {
                              return std::nullopt;
                          }
                          return rpcSuccess(call.xid, CreateLinkResp{kVxi11OutOfResources, 0, 0, 0}.encode());
                      });
              }}) {}

void Vxi11Server::recordChunk(const std::string& data) {
    std::lock_guard lock(mutex_);
    if (writeChunks_.size() < kMaxRecordedChunks &&
        writeChunkBytes_ + data.size() <= kMaxRecordedChunkBytes) {
        writeChunks_.push_back(data);
        writeChunkBytes_ += data.size();
    }
}

std::optional<std::uint64_t> Vxi11Server::openLink(const std::string& device, std::string& refusal) {
    std::lock_guard lock(mutex_);
    if (links_.size() >= options_.maxLinks) {
        refusal = "already " + std::to_string(links_.size()) + " links in all";
        return std::nullopt;
    }
    links_.emplace(nextLinkKey_, device);
    return nextLinkKey_++;
}

void Vxi11Server::closeLink(std::uint64_t key) {
    std::lock_guard lock(mutex_);
    links_.erase(key);
}

std::vector<std::string> Vxi11Server::writeChunks() const {
    std::lock_guard lock(mutex_);
    return writeChunks_;
}

std::vector<std::string> Vxi11Server::linkedDevices() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> devices;
    for (const auto& [key, device] : links_) {
        devices.push_back(device);
    }
    return devices;
}

} // namespace sim
