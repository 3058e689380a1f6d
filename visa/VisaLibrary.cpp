#include "visa/VisaLibrary.h"

#include "base/PrintableText.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace visa {

std::shared_ptr<const VisaLibrary> VisaLibrary::load() {
    auto library = SharedLibrary::openFirst({"libvisa.so.0", "libvisa.so"});
    if (!library) {
        return nullptr;
    }
    return std::make_shared<const VisaLibrary>(std::move(*library));
}

VisaLibrary::VisaLibrary(SharedLibrary library) : library_(std::move(library)) {
    api_.openDefaultRM = library_.requireFunction<capi::ViOpenDefaultRMFn>("viOpenDefaultRM");
    api_.open = library_.requireFunction<capi::ViOpenFn>("viOpen");
    api_.setAttribute = library_.requireFunction<capi::ViSetAttributeFn>("viSetAttribute");
    api_.write = library_.requireFunction<capi::ViWriteFn>("viWrite");
    api_.read = library_.requireFunction<capi::ViReadFn>("viRead");
    api_.flush = library_.requireFunction<capi::ViFlushFn>("viFlush");
    api_.close = library_.requireFunction<capi::ViCloseFn>("viClose");
    api_.statusDesc = library_.requireFunction<capi::ViStatusDescFn>("viStatusDesc");
    api_.findRsrc = library_.optionalFunction<capi::ViFindRsrcFn>("viFindRsrc");
    api_.findNext = library_.optionalFunction<capi::ViFindNextFn>("viFindNext");
}

std::string VisaLibrary::describeStatus(capi::ViObject object, capi::ViStatus status) const {
    // One spare byte beyond what the API promises, so that a library overrunning by its terminator
    // cannot reach past the buffer; the text is cut at the first NUL we find either way.
    std::array<char, capi::kStatusDescriptionSize + 1> buffer{};
    std::string text;
    if (api_.statusDesc(object, status, buffer.data()) >= capi::VI_SUCCESS) {
        const std::string_view described(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
        text = base::printableText(described, described.size(), base::Unprintable::Blank);
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
    return text.empty() ? std::string("VISA status ") + code : text + " [" + code + "]";
}

} // namespace visa
