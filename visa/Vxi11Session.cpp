#include "visa/Vxi11Session.h"

#include "protocol/DecodeError.h"
#include "protocol/Vxi11Messages.h"

#include <algorithm>
#include <atomic>
#include <random>
#include <vector>

namespace visa {

namespace {

using namespace protocol;
using std::chrono::milliseconds;

// Every link gets a client id of its own; instruments use it only to tell links apart, so a random one
// does, with nothing kept between links.
std::int32_t nextClientId() {
    std::random_device device;
    return static_cast<std::int32_t>(device() & 0x7FFFFFFF);
}

template <typename Result, typename Decode>
Result decodeOrFail(const LanStream& stream, std::string_view bytes, Decode decode) {
    try {
        return decode(bytes);
    } catch (const DecodeError& e) {
        stream.fail(VisaError::Kind::Protocol, std::string("malformed VXI-11 reply: ") + e.what());
    }
}

// How each device error a VXI-11 instrument reports is classified; any other is Kind::Other.
constexpr std::pair<std::int32_t, VisaError::Kind> kErrorKinds[] = {
    {kVxi11IoTimeout, VisaError::Kind::Timeout},       {kVxi11DeviceLocked, VisaError::Kind::Refused},
    {kVxi11OutOfResources, VisaError::Kind::Refused},  {kVxi11DeviceNotAccessible, VisaError::Kind::NotFound},
    {kVxi11InvalidAddress, VisaError::Kind::NotFound}, {kVxi11InvalidLink, VisaError::Kind::ConnectionLost},
};

std::uint16_t askPortmapper(const ResourceName& name, std::uint16_t portmapperPort,
                            const base::Deadline& deadline) {
    LanStream stream = [&] {
        try {
            return LanStream::connect(name.text, name.host, portmapperPort, deadline);
        } catch (const VisaError& e) {
            // Say which step failed: the user typed no port, so "port 111" alone would puzzle.
            throw VisaError(e.kind(), std::string(e.what()) + " (asking the portmapper for the VXI-11 port)");
        }
    }();
    RpcClient portmapper(std::move(stream), kPortmapProgram, kPortmapVersion, "portmapper");
    const PortmapMapping query{kVxi11CoreProgram, kVxi11CoreVersion, kIpProtoTcp, 0};
    const std::string result =
        portmapper.call(kPortmapProcGetPort, query.encode(), deadline, "no answer from the portmapper");
    const auto port = decodeOrFail<std::uint32_t>(portmapper.stream(), result, decodePort);
    if (port == 0) {
        throw VisaError(VisaError::Kind::NotFound,
                        name.text +
                            ": the host offers no VXI-11 instrument (its portmapper knows no core channel)");
    }
    return static_cast<std::uint16_t>(port);
}

} // namespace

std::unique_ptr<Vxi11Session> Vxi11Session::open(const ResourceName& name, milliseconds openTimeout,
                                                 Options options) {
    const base::Deadline deadline(openTimeout);
    const std::uint16_t corePort = askPortmapper(name, options.portmapperPort, deadline);
    RpcClient core(LanStream::connect(name.text, name.host, corePort, deadline), kVxi11CoreProgram,
                   kVxi11CoreVersion, "VXI-11 core channel");

    // Lock off with no lock wait: instruments refuse other values here, and VISA locks later if asked.
    const CreateLinkParms parms{nextClientId(), false, 0, name.lanDevice};
    const std::string result = core.call(kCreateLink, parms.encode(), deadline, "no answer to create_link");
    const auto link = decodeOrFail<CreateLinkResp>(core.stream(), result, CreateLinkResp::decode);
    if (link.error != kVxi11NoError) {
        throw VisaError(kindOf(kErrorKinds, link.error), name.text + ": cannot open device \"" +
                                                             name.lanDevice +
                                                             "\": " + describeVxi11Error(link.error));
    }
    // A peer that allows no data at all would make every write loop forever; take it as one byte.
    return std::unique_ptr<Vxi11Session>(new Vxi11Session(name.text, std::move(core), link.linkId,
                                                          std::max<std::uint32_t>(link.maxRecvSize, 1)));
}

Vxi11Session::Vxi11Session(std::string resource, RpcClient core, std::int32_t linkId,
                           std::uint32_t maxRecvSize)
    : BackendSession(std::move(resource)), core_(std::move(core)), linkId_(linkId),
      maxRecvSize_(maxRecvSize) {}

Vxi11Session::~Vxi11Session() {
    try {
        close();
    } catch (...) {
        // Dropping a session must not throw; the instrument times the link out on its own.
    }
}

void Vxi11Session::failDevice(std::int32_t error, std::string_view during) const {
    fail(kindOf(kErrorKinds, error), std::string(during) + ": " + describeVxi11Error(error));
}

// The number of bytes the instrument took from a device_write of `sent` bytes.
std::uint32_t Vxi11Session::acceptedBy(const std::string& result, std::size_t sent) {
    const auto accepted = acceptedUnlessLocked(result, sent);
    if (!accepted) {
        failDevice(kVxi11DeviceLocked, "write failed");
    }
    return *accepted;
}

std::optional<std::uint32_t> Vxi11Session::acceptedUnlessLocked(const std::string& result, std::size_t sent) {
    const auto resp = decodeOrFail<DeviceWriteResp>(core_->stream(), result, DeviceWriteResp::decode);
    if (resp.error == kVxi11DeviceLocked) {
        return std::nullopt;
    }
    if (resp.error != kVxi11NoError) {
        failDevice(resp.error, "write failed");
    }
    if (resp.size > sent || (resp.size == 0 && sent != 0)) {
        core_->stream().fail(VisaError::Kind::Protocol, "the instrument accepted " +
                                                            std::to_string(resp.size) + " of " +
                                                            std::to_string(sent) + " bytes");
    }
    return resp.size;
}

void Vxi11Session::write(std::string_view message) {
    requireOpen();
    const base::Deadline deadline(timeout());
    // Sent as is; only when another link holds the lock is it sent again, asking the instrument to wait
    // for the lock for what is left of the time-out, so that the caller hears that the instrument is
    // locked rather than a bare refusal, and an instrument nobody locks sees the same calls as ever.
    bool waitsForLock = false;
    // An empty message still goes out, as one call carrying END alone.
    do {
        const std::size_t chunk = std::min<std::size_t>(message.size(), maxRecvSize_);
        const bool last = chunk == message.size();
        const auto wait = wireMilliseconds(deadline.remaining());
        const DeviceWriteParms parms{linkId_, wait, waitsForLock ? wait : 0u,
                                     (last ? kFlagEnd : 0u) | (waitsForLock ? kFlagWaitLock : 0u),
                                     std::string(message.substr(0, chunk))};
        // Waiting for the lock, the instrument answers at the end of the lock time-out at the latest.
        const base::Deadline answered(waitsForLock ? deadline.remaining() + timeout() : deadline.remaining());
        const std::string result = core_->call(kDeviceWrite, parms.encode(), answered, "message not sent");
        const auto accepted = acceptedUnlessLocked(result, chunk);
        if (!accepted) {
            if (waitsForLock || deadline.expired()) {
                failLockTimeout(timeout());
            }
            waitsForLock = true;
            continue;
        }
        // A partial acceptance is resent from where the instrument stopped.
        message.remove_prefix(*accepted);
        if (last && *accepted == chunk) {
            return;
        }
    } while (true);
}

std::string Vxi11Session::read() {
    requireOpen();
    return collectReply(base::Deadline(timeout()), std::nullopt);
}

// A command and its error check are three calls; waiting for each answer before sending the next
// would cost three round trips where one does.
std::string Vxi11Session::writeAndRead(std::initializer_list<std::string_view> messages) {
    requireOpen();
    for (const auto message : messages) {
        if (message.size() > maxRecvSize_) {
            return MessageSession::writeAndRead(messages); // chunked writes go one by one
        }
    }
    const auto ioTimeout = wireMilliseconds(timeout());
    const base::Deadline sending(timeout());
    std::vector<std::pair<std::uint32_t, std::size_t>> writes;
    for (const auto message : messages) {
        const DeviceWriteParms parms{linkId_, ioTimeout, 0, kFlagEnd, std::string(message)};
        writes.emplace_back(core_->send(kDeviceWrite, parms.encode(), sending), message.size());
    }
    const auto readXid = core_->send(kDeviceRead, readParms(timeout(), 0).encode(), sending);
    // Each answer is awaited within the session's time-out, as if the steps had run one by one.
    std::size_t refusedAsLocked = 0;
    try {
        for (const auto& [xid, size] : writes) {
            const base::Deadline deadline(timeout());
            const auto accepted =
                acceptedUnlessLocked(core_->awaitReply(xid, deadline, "message not sent"), size);
            if (!accepted) {
                ++refusedAsLocked;
                continue;
            }
            if (refusedAsLocked > 0) {
                // The lock went while the calls were on their way: an earlier message is missing.
                failDevice(kVxi11DeviceLocked, "write failed");
            }
            if (*accepted != size) {
                // The rest cannot be resent here: the following calls are already on their way.
                core_->stream().fail(VisaError::Kind::Protocol,
                                     "the instrument accepted only part of a message sent with others");
            }
        }
    } catch (const VisaError&) {
        settle(readXid);
        throw;
    }
    if (refusedAsLocked > 0) {
        // Another link holds the lock and the instrument took none of the messages: they go again one
        // by one, each waiting for the lock.
        settle(readXid);
        return MessageSession::writeAndRead(messages);
    }
    return collectReply(base::Deadline(timeout()), readXid);
}

// A read already sent still runs at the instrument after a write failed; its answer, which comes at the
// latest when the instrument's own time-out ends, is awaited so that it cannot stand in front of the
// caller's next call.
void Vxi11Session::settle(std::uint32_t sentRead) {
    try {
        core_->awaitReply(sentRead, base::Deadline(2 * timeout()), "no answer");
    } catch (const VisaError&) {
        // The write's failure is what the caller hears about.
    }
}

DeviceReadParms Vxi11Session::readParms(std::chrono::milliseconds remaining, std::size_t alreadyRead,
                                        bool waitsForLock) const {
    const auto wanted = static_cast<std::uint32_t>(kMaxReplyBytes - alreadyRead + 1);
    const auto wait = wireMilliseconds(remaining);
    return DeviceReadParms{linkId_, wanted, wait, waitsForLock ? wait : 0u, waitsForLock ? kFlagWaitLock : 0u,
                           '\n'};
}

// device_read calls until the instrument marks the reply's end; the first call may already be on its way.
std::string Vxi11Session::collectReply(const base::Deadline& deadline,
                                       std::optional<std::uint32_t> sentRead) {
    std::string reply;
    // As write(): asked again, waiting for the lock, only when another link holds it.
    bool waitsForLock = false;
    for (;;) {
        const auto parms = readParms(deadline.remaining(), reply.size(), waitsForLock);
        const base::Deadline answered(waitsForLock ? deadline.remaining() + timeout() : deadline.remaining());
        const std::string result = sentRead ? core_->awaitReply(*sentRead, deadline, "no reply")
                                            : core_->call(kDeviceRead, parms.encode(), answered, "no reply");
        sentRead.reset();
        auto resp = decodeOrFail<DeviceReadResp>(core_->stream(), result, DeviceReadResp::decode);
        if (resp.error == kVxi11IoTimeout) {
            failTimeout("no reply", timeout());
        }
        if (resp.error == kVxi11DeviceLocked) {
            if (waitsForLock || deadline.expired()) {
                failLockTimeout(timeout());
            }
            waitsForLock = true;
            continue;
        }
        if (resp.error != kVxi11NoError) {
            failDevice(resp.error, "read failed");
        }
        if (resp.data.size() > parms.requestSize) {
            core_->stream().fail(VisaError::Kind::Protocol, "the instrument sent more than was asked for");
        }
        reply += resp.data;
        if (reply.size() > kMaxReplyBytes) {
            failReplyTooLong();
        }
        if ((resp.reason & (kReasonEnd | kReasonTermChar)) != 0) {
            return reply;
        }
        if (deadline.expired()) {
            failTimeout("reply not complete", timeout());
        }
    }
}

void Vxi11Session::lockExclusive(milliseconds lockTimeout) {
    requireOpen();
    const DeviceLockParms parms{linkId_, kFlagWaitLock, wireMilliseconds(lockTimeout)};
    // The instrument answers when the lock is free or at the end of the lock time-out; the answer then
    // takes as long as any other.
    const base::Deadline deadline(lockTimeout + timeout());
    std::string result;
    try {
        result = core_->call(kDeviceLock, parms.encode(), deadline, "no answer to device_lock");
    } catch (const VisaError& e) {
        // The instrument may still grant the lock the caller is told it did not get; ending the link
        // releases it.
        if (e.kind() == VisaError::Kind::Timeout) {
            close();
        }
        throw;
    }
    const auto error = decodeOrFail<std::int32_t>(core_->stream(), result, decodeDeviceError);
    if (error == kVxi11DeviceLocked) {
        failLockTimeout(lockTimeout);
    }
    if (error != kVxi11NoError) {
        failDevice(error, "lock failed");
    }
}

void Vxi11Session::unlock() {
    requireOpen();
    const std::string result = core_->call(kDeviceUnlock, encodeLink(linkId_), base::Deadline(timeout()),
                                           "no answer to device_unlock");
    const auto error = decodeOrFail<std::int32_t>(core_->stream(), result, decodeDeviceError);
    if (error != kVxi11NoError) {
        failDevice(error, "unlock failed");
    }
}

// Whole replies are taken by read(), so nothing stays buffered on this side of the link.
void Vxi11Session::flushRead() {
    requireOpen();
}

void Vxi11Session::close() {
    if (!core_) {
        return;
    }
    // Tell the instrument, briefly: a link left open holds its resources until it notices.
    constexpr milliseconds kDestroyWait{500};
    try {
        const base::Deadline deadline(std::min(timeout(), kDestroyWait));
        core_->call(kDestroyLink, encodeLink(linkId_), deadline, "no answer to destroy_link");
    } catch (const VisaError&) {
        // The connection closes below either way.
    }
    core_.reset();
}

} // namespace visa
