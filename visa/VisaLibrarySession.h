#pragma once

#include "visa/MessageSession.h"
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
class VisaLibrarySession final : public MessageSession {
public:
    VisaLibrarySession(std::shared_ptr<const VisaLibrary> library, std::string resource,
                       std::chrono::milliseconds openTimeout);
    ~VisaLibrarySession() override;

    void write(std::string_view message) override;
    std::string read() override;
    void flushRead() override;
    void close() override;

private:
    void setAttribute(capi::ViAttr attribute, capi::ViAttrState value, const char* purpose);
    void applyTimeout(std::chrono::milliseconds timeout);
    void requireOpen() const;
    void closeHandles() noexcept;
    [[noreturn]] void fail(capi::ViStatus status, const std::string& what) const;

    std::shared_ptr<const VisaLibrary> library_;
    std::string resource_;
    capi::ViSession resourceManager_ = 0;
    capi::ViSession session_ = 0;
    bool resourceManagerOpen_ = false;
    bool sessionOpen_ = false;
    std::optional<std::chrono::milliseconds> appliedTimeout_;
};

} // namespace visa
