#include "visa/LocalBusFinders.h"

#include "base/Deadline.h"
#include "base/PrintableText.h"
#include "visa/GpibLibrary.h"
#include "visa/LibraryHandle.h"
#include "visa/ResourceName.h"
#include "visa/UsbtmcDeviceFinder.h"
#include "visa/VisaError.h"
#include "visa/VisaLibrary.h"

#include <array>
#include <cstring>
#include <stdexcept>

namespace visa {
namespace {

// linux-gpib's boards are minor numbers 0 to 15; GPIB primary addresses are 0 to 30.
constexpr int kGpibBoards = 16;
constexpr int kGpibAddresses = 31;
// A VISA library may list a whole network; a list is still a bounded amount of work.
constexpr unsigned kMaxListed = 256;

// A resource the library listed as we would open it, or nothing when we cannot open that kind. A listing
// with bytes that are not printable could not be typed back, so it is left out rather than changed.
std::optional<FoundResource> listedResource(std::string_view listed, const char* method) {
    if (base::printableText(listed, listed.size(), base::Unprintable::Question) != listed)
        return std::nullopt;
    try {
        const auto name = ResourceName::parse(listed);
        FoundResource found;
        found.resource = name.text;
        found.method = method;
        found.host = name.host;
        if (name.interfaceType == InterfaceType::Usb)
            found.serial = name.serialNumber;
        return found;
    } catch (const VisaError&) {
        return std::nullopt;
    }
}

template <typename Load> auto loadOrSay(Load load, const char* finder, FindSink& sink) {
    try {
        return load();
    } catch (const std::runtime_error& error) {
        sink.unavailable(finder, error.what());
        return decltype(load()){};
    }
}

// linux-gpib's calls for finding listeners.
struct ListenerCalls {
    int (*ibln)(int ud, int pad, int sad, short* found) = nullptr;
    int (*ibask)(int ud, int option, int* value) = nullptr; // optional
};

// Scans one board; false when the board does not answer at all (not configured, no driver, not in charge).
bool scanGpibBoard(const GpibLibrary& gpib, const ListenerCalls& calls, int board,
                   const base::Deadline& deadline, const FindOptions& options, FindSink& sink,
                   std::string& whyNot) {
    const auto& api = gpib.api();
    int ownAddress = -1;
    if (calls.ibask != nullptr &&
        (calls.ibask(board, gpib::kAskPrimaryAddress, &ownAddress) & gpib::kStatusError))
        ownAddress = -1;
    bool firstProbe = true;
    for (int address = 0; address < kGpibAddresses && !deadline.expired() && !options.stopRequested();
         ++address) {
        if (address == ownAddress)
            continue;
        short listening = 0;
        const bool failed =
            (calls.ibln(board, address, gpib::kNoSecondaryAddress, &listening) & gpib::kStatusError) != 0;
        const bool boardAnswers = !firstProbe || !failed;
        firstProbe = false;
        if (failed) {
            if (!boardAnswers) {
                const int error = gpib.lastError();
                whyNot = api.errorString != nullptr
                             ? base::printableText(api.errorString(error), 80, base::Unprintable::Question)
                             : "error " + std::to_string(error);
                return false;
            }
            continue;
        }
        if (listening != 0) {
            FoundResource found;
            found.resource = "GPIB" + std::to_string(board) + "::" + std::to_string(address) + "::INSTR";
            found.method = "linux-gpib";
            sink.found(found);
        }
    }
    return true;
}

// A resource manager or find list of the VISA library, closed when it goes.
using VisaObject = LibraryHandle<VisaLibrary, capi::ViObject>;

void closeObject(const VisaLibrary& library, capi::ViObject object) {
    library.api().close(object);
}

std::string_view listedText(const std::array<char, capi::kFindBufferSize + 1>& buffer) {
    return {buffer.data(), ::strnlen(buffer.data(), buffer.size())};
}

} // namespace

ResourceFinder usbtmcFinder(std::filesystem::path root) {
    return [root](const FindOptions&, FindSink& sink) {
        const UsbtmcDeviceFinder finder(root);
        if (!finder.driverLoaded()) {
            sink.unavailable(kUsbtmcFinder, "the usbtmc kernel module is not loaded (sudo modprobe usbtmc)");
            return;
        }
        for (const auto& attached : finder.attachedInterfaces()) {
            FoundResource found;
            found.resource = UsbtmcDeviceFinder::resourceText(attached);
            found.method = "USBTMC";
            found.serial = attached.serialNumber;
            sink.found(found);
        }
    };
}

void findGpibListeners(const FindOptions& options, FindSink& sink) {
    const auto gpib = loadOrSay(&GpibLibrary::load, kGpibFinder, sink);
    if (!gpib) {
        sink.unavailable(kGpibFinder, "linux-gpib (libgpib.so.0) is not installed");
        return;
    }
    ListenerCalls calls;
    calls.ibln = gpib->optionalFunction<decltype(calls.ibln)>("ibln");
    calls.ibask = gpib->optionalFunction<decltype(calls.ibask)>("ibask");
    if (calls.ibln == nullptr) {
        sink.unavailable(kGpibFinder, gpib->name() + " does not export ibln");
        return;
    }
    const base::Deadline deadline(options.window);
    std::string whyNot;
    bool anyBoard = false;
    for (int board = 0; board < kGpibBoards && !deadline.expired() && !options.stopRequested(); ++board)
        anyBoard = scanGpibBoard(*gpib, calls, board, deadline, options, sink, whyNot) || anyBoard;
    if (!anyBoard)
        sink.unavailable(kGpibFinder, "linux-gpib answers for no board (" + whyNot + ")");
}

void findVisaLibraryResources(const FindOptions&, FindSink& sink) {
    const auto library = loadOrSay(&VisaLibrary::load, kVisaLibraryFinder, sink);
    if (!library) {
        sink.unavailable(kVisaLibraryFinder, "no VISA library (libvisa.so.0) is installed");
        return;
    }
    const auto& api = library->api();
    if (api.findRsrc == nullptr || api.findNext == nullptr) {
        sink.unavailable(kVisaLibraryFinder, library->name() + " does not export viFindRsrc and viFindNext");
        return;
    }
    capi::ViSession handle = 0;
    capi::ViStatus status = api.openDefaultRM(&handle);
    if (status < capi::VI_SUCCESS) {
        sink.unavailable(kVisaLibraryFinder, library->describeStatus(0, status));
        return;
    }
    const VisaObject resourceManager(library, handle, closeObject);
    // One spare byte beyond the API's buffer, so that a library overrunning by its terminator stays inside.
    std::array<char, capi::kFindBufferSize + 1> text{};
    capi::ViFindList list = 0;
    capi::ViUInt32 count = 0;
    status = api.findRsrc(resourceManager.get(), "?*", &list, &count, text.data());
    if (status == capi::VI_ERROR_RSRC_NFOUND)
        return;
    if (status < capi::VI_SUCCESS) {
        sink.unavailable(kVisaLibraryFinder, library->describeStatus(resourceManager.get(), status));
        return;
    }
    const VisaObject listHandle(library, list, closeObject);
    for (capi::ViUInt32 index = 0; index < count && index < kMaxListed; ++index) {
        if (index > 0) {
            text.fill('\0');
            if (api.findNext(listHandle.get(), text.data()) < capi::VI_SUCCESS)
                break;
        }
        if (auto found = listedResource(listedText(text), "VISA library"))
            sink.found(*found);
    }
}

} // namespace visa
