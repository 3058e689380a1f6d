#pragma once

#include "base/FileDescriptor.h"
#include "visa/BackendSession.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace visa {

// A USB instrument through the Linux kernel's usbtmc driver: /dev/usbtmcN takes one complete message
// per write (the driver sets END, "EOM", on its last transfer) and hands back reply data on read, each
// call bounded by the driver's own time-out, which the session keeps equal to its I/O time-out.
class UsbtmcSession : public BackendSession {
public:
    // The driver refuses time-outs below this; shorter ones are raised to it.
    static constexpr std::chrono::milliseconds kDriverMinimumTimeout{100};

    // Opens the node UsbtmcDeviceFinder found for the resource and hands the driver the time-out.
    static std::unique_ptr<UsbtmcSession> open(const ResourceName& name, const std::filesystem::path& node);

    // How a failed open of node (errno error) is reported; permission problems name the fix.
    static VisaError openFailure(const ResourceName& name, const std::filesystem::path& node, int error);

    ~UsbtmcSession() override = default;

    void write(std::string_view message) override;
    std::string read() override;
    void flushRead() override;
    void close() override;

protected:
    UsbtmcSession(std::string resource, base::FileDescriptor device);

    // The driver's set-time-out ioctl. The one seam: a stand-in for /dev/usbtmcN in tests (a socket,
    // which has no such ioctl) bounds its reads another way; everything else runs as on the device.
    virtual void setDriverTimeout(int fd, std::chrono::milliseconds timeout);

    void applyTimeout(std::chrono::milliseconds timeout);

private:
    std::optional<std::string> takeReply();
    bool isOpen() const override { return device_.valid(); }
    [[noreturn]] void failIo(int error, const std::string& what, std::chrono::milliseconds timeout) const;

    base::FileDescriptor device_;
    std::optional<std::chrono::milliseconds> appliedTimeout_;
    std::string pending_; // bytes received after the last reply's line feed
};

} // namespace visa
