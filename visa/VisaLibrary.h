#pragma once

#include "visa/SharedLibrary.h"
#include "visa/VisaCApi.h"

#include <memory>
#include <string>

namespace visa {

// An installed VISA shared library, loaded at run time, with the handful of its calls Pinwright uses.
// Sessions keep it alive through shared ownership, so it is unloaded only after the last one closes.
class VisaLibrary {
public:
    struct Api {
        capi::ViOpenDefaultRMFn openDefaultRM = nullptr;
        capi::ViOpenFn open = nullptr;
        capi::ViSetAttributeFn setAttribute = nullptr;
        capi::ViWriteFn write = nullptr;
        capi::ViReadFn read = nullptr;
        capi::ViFlushFn flush = nullptr;
        capi::ViCloseFn close = nullptr;
        capi::ViStatusDescFn statusDesc = nullptr;
        // Optional: listing resources. Sessions do without them.
        capi::ViFindRsrcFn findRsrc = nullptr;
        capi::ViFindNextFn findNext = nullptr;
    };

    // libvisa.so.0, else libvisa.so, through the system's library search path; nullptr when neither is
    // installed. Throws std::runtime_error when a library is found but lacks one of the calls.
    static std::shared_ptr<const VisaLibrary> load();

    const Api& api() const { return api_; }
    const std::string& name() const { return library_.name(); }

    // The library's own words for a status code, as printable text; a hex code when it has none.
    std::string describeStatus(capi::ViObject object, capi::ViStatus status) const;

    explicit VisaLibrary(SharedLibrary library);

private:
    SharedLibrary library_;
    Api api_;
};

} // namespace visa
