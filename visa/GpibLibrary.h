#pragma once

#include "visa/SharedLibrary.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace visa {

// linux-gpib's user library (libgpib.so.0), loaded at run time, with the calls and constants Pinwright
// uses. Declared here because its headers are not installed where the library is not.
namespace gpib {

// ibsta bits.
inline constexpr int kStatusError = 0x8000;
inline constexpr int kStatusTimeout = 0x4000;
inline constexpr int kStatusEnd = 0x2000;

// iberr codes.
enum Error {
    EDVR = 0, // system error; ibcntl holds errno
    ECIC = 1, // board is not controller in charge
    ENOL = 2, // no listeners
    EADR = 3, // board not addressed correctly
    EARG = 4, // bad argument
    ESAC = 5, // board is not system controller
    EABO = 6, // I/O aborted (time-out)
    ENEB = 7, // no such board
    EDMA = 8,
    EOIP = 10, // asynchronous I/O in progress
    ECAP = 11, // not supported by the board
    EFSO = 12, // file system error
    EBUS = 14, // bus error
    ESTB = 15,
    ESRQ = 16,
    ETAB = 20,
};

// ibdev's end-of-string mode: end reads at the character in the low byte.
inline constexpr int kReadEndsAtEos = 0x400;

// ibdev's secondary address argument: 0 for none, else 0x60 + address.
inline constexpr int kSecondaryAddressBase = 0x60;

// ibln's secondary address argument for "primary address only", and ibask's option for the board's own
// primary address.
inline constexpr int kNoSecondaryAddress = 0;
inline constexpr int kAskPrimaryAddress = 0x1;

// The time-out steps T10us (1) to T1000s (17). The nearest step not below the wanted time-out; the
// longest step for anything longer, never TNONE (0, which waits forever).
int timeoutStep(std::chrono::milliseconds timeout);

} // namespace gpib

class GpibLibrary {
public:
    struct Api {
        int (*ibdev)(int board, int pad, int sad, int timo, int sendEoi, int eos) = nullptr;
        int (*ibwrt)(int ud, const void* data, long count) = nullptr;
        int (*ibrd)(int ud, void* buffer, long count) = nullptr;
        int (*ibonl)(int ud, int online) = nullptr;
        int (*ibtmo)(int ud, int step) = nullptr;
        const char* (*errorString)(int iberr) = nullptr; // optional: gpib_error_string
    };

    // libgpib.so.0 through the system's library search path; nullptr when it is not installed.
    // Throws std::runtime_error when it is found but lacks one of the calls.
    static std::shared_ptr<const GpibLibrary> load();

    // A call that sessions do without and an older release may lack (finding listeners takes ibln and
    // ibask); nullptr where the library does not export it.
    template <typename Function> Function optionalFunction(const char* symbol) const {
        return library_.optionalFunction<Function>(symbol);
    }

    explicit GpibLibrary(SharedLibrary library);

    const Api& api() const { return api_; }
    const std::string& name() const { return library_.name(); }

    // The calling thread's ibsta, iberr and ibcntl after its last call.
    int lastStatus() const { return status_(); }
    int lastError() const { return error_(); }
    long lastCount() const { return count_(); }

private:
    SharedLibrary library_;
    Api api_;
    std::function<int()> status_;
    std::function<int()> error_;
    std::function<long()> count_;
};

} // namespace visa
