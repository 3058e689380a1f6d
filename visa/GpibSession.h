#pragma once

#include "visa/BackendSession.h"
#include "visa/GpibLibrary.h"
#include "visa/LibraryHandle.h"
#include "visa/ResourceName.h"

#include <memory>
#include <string>
#include <string_view>

namespace visa {

// A GPIB device session through linux-gpib: ibdev opens it with END (EOI) on the last byte of every
// write and reads ending at EOI or a line feed; ibonl takes it offline again when the session closes.
class GpibSession final : public BackendSession {
public:
    static std::unique_ptr<GpibSession> open(std::shared_ptr<const GpibLibrary> library,
                                             const ResourceName& name);

    void write(std::string_view message) override;
    std::string read() override;
    void close() override;

private:
    GpibSession(std::shared_ptr<const GpibLibrary> library, const ResourceName& name);
    bool isOpen() const override { return device_.valid(); }
    void applyTimeout(std::chrono::milliseconds timeout);
    // what names the failed step; timeout is what the caller was waiting for.
    [[noreturn]] void failGpib(int status, const std::string& what, std::chrono::milliseconds timeout) const;

    std::shared_ptr<const GpibLibrary> library_;
    unsigned board_ = 0;
    unsigned primaryAddress_ = 0;
    LibraryHandle<GpibLibrary, int> device_;
    int appliedStep_ = 0;
};

} // namespace visa
