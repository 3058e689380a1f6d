#pragma once

#include "visa/GpibLibrary.h"
#include "visa/MessageSession.h"
#include "visa/ResourceName.h"

#include <memory>
#include <string>
#include <string_view>

namespace visa {

// A GPIB device session through linux-gpib: ibdev opens it with END (EOI) on the last byte of every
// write and reads ending at EOI or a line feed; ibonl takes it offline again when the session closes.
class GpibSession final : public MessageSession {
public:
    GpibSession(std::shared_ptr<const GpibLibrary> library, const ResourceName& name);
    ~GpibSession() override;

    void write(std::string_view message) override;
    std::string read() override;
    void flushRead() override;
    void close() override;

private:
    void applyTimeout(std::chrono::milliseconds timeout);
    void requireOpen() const;
    // what names the failed step; timeout is what the caller was waiting for.
    [[noreturn]] void fail(int status, const std::string& what, std::chrono::milliseconds timeout) const;

    std::shared_ptr<const GpibLibrary> library_;
    std::string resource_;
    unsigned board_ = 0;
    unsigned primaryAddress_ = 0;
    int ud_ = -1;
    int appliedStep_ = 0;
};

} // namespace visa
