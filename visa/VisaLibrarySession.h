#pragma once

#include "visa/BackendSession.h"
#include "visa/LibraryHandle.h"
#include "visa/VisaLibrary.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace visa {

// A message session through an installed VISA library's C API: the library's default resource manager
// opens the resource, and every write, read and flush goes through it. Failures carry the library's own
// description of its status code.
class VisaLibrarySession final : public BackendSession {
public:
    static std::unique_ptr<VisaLibrarySession> open(std::shared_ptr<const VisaLibrary> library,
                                                    std::string resource,
                                                    std::chrono::milliseconds openTimeout);

    void write(std::string_view message) override;
    std::string read() override;
    void flushRead() override;
    void close() override;

private:
    using Handle = LibraryHandle<VisaLibrary, capi::ViSession>;

    VisaLibrarySession(std::shared_ptr<const VisaLibrary> library, std::string resource,
                       std::chrono::milliseconds openTimeout);
    bool isOpen() const override { return session_.valid(); }
    Handle adopt(capi::ViSession handle) const;
    void setAttribute(capi::ViAttr attribute, capi::ViAttrState value, const char* purpose);
    void applyTimeout(std::chrono::milliseconds timeout);
    [[noreturn]] void failStatus(capi::ViStatus status, const std::string& what) const;

    std::shared_ptr<const VisaLibrary> library_;
    // Declared before the session, so that the session closes first.
    Handle resourceManager_;
    Handle session_;
    std::optional<std::chrono::milliseconds> appliedTimeout_;
};

} // namespace visa
