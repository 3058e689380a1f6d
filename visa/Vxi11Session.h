#pragma once

#include "protocol/Vxi11Messages.h"
#include "visa/BackendSession.h"
#include "visa/ResourceName.h"
#include "visa/RpcClient.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace visa {

// A VXI-11 instrument (TCPIP::host[::device]::INSTR): the portmapper gives the core channel's port,
// create_link opens a link to the named device (inst0, or a gateway name such as gpib0,5, passed as
// typed), and each write or read is one or more device_write / device_read calls bounded by the
// session's time-out. device_lock and device_unlock take and release the link's exclusive lock.
class Vxi11Session final : public BackendSession {
public:
    struct Options {
        // Instruments answer the portmapper on 111 only; tests point this at their own.
        std::uint16_t portmapperPort = 111;
    };

    static std::unique_ptr<Vxi11Session> open(const ResourceName& name, std::chrono::milliseconds openTimeout,
                                              Options options);
    static std::unique_ptr<Vxi11Session> open(const ResourceName& name,
                                              std::chrono::milliseconds openTimeout) {
        return open(name, openTimeout, Options{});
    }

    ~Vxi11Session() override;

    void write(std::string_view message) override;
    std::string read() override;
    std::string writeAndRead(std::initializer_list<std::string_view> messages) override;
    void flushRead() override;
    void close() override;
    bool canLock() const override { return true; }
    void lockExclusive(std::chrono::milliseconds lockTimeout) override;
    void unlock() override;

    std::uint32_t maxRecvSize() const { return maxRecvSize_; }

private:
    Vxi11Session(std::string resource, RpcClient core, std::int32_t linkId, std::uint32_t maxRecvSize);
    bool isOpen() const override { return core_.has_value(); }
    [[noreturn]] void failDevice(std::int32_t error, std::string_view during) const;
    std::uint32_t acceptedBy(const std::string& result, std::size_t sent);
    // As acceptedBy, but nothing when another link holds the lock, which the caller may wait for.
    std::optional<std::uint32_t> acceptedUnlessLocked(const std::string& result, std::size_t sent);
    protocol::DeviceReadParms readParms(std::chrono::milliseconds remaining, std::size_t alreadyRead,
                                        bool waitsForLock = false) const;
    std::string collectReply(const base::Deadline& deadline, std::optional<std::uint32_t> sentRead);
    void settle(std::uint32_t sentRead);

    std::optional<RpcClient> core_;
    std::int32_t linkId_;
    std::uint32_t maxRecvSize_;
};

} // namespace visa
