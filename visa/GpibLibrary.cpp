#include "visa/GpibLibrary.h"

#include <array>

namespace visa {

namespace gpib {

namespace {
// T10us .. T1000s in microseconds; index + 1 is the step number.
constexpr std::array<long long, 17> kStepMicroseconds = {
    10,      30,        100,       300,        1'000,      3'000,       10'000,      30'000,        100'000,
    300'000, 1'000'000, 3'000'000, 10'000'000, 30'000'000, 100'000'000, 300'000'000, 1'000'000'000,
};
} // namespace

int timeoutStep(std::chrono::milliseconds timeout) {
    const long long wanted = std::chrono::microseconds(timeout).count();
    for (std::size_t i = 0; i < kStepMicroseconds.size(); ++i) {
        if (kStepMicroseconds[i] >= wanted) {
            return static_cast<int>(i) + 1;
        }
    }
    return static_cast<int>(kStepMicroseconds.size());
}

std::chrono::microseconds stepDuration(int step) {
    if (step < 1 || step > static_cast<int>(kStepMicroseconds.size())) {
        return std::chrono::microseconds{0};
    }
    return std::chrono::microseconds{kStepMicroseconds[static_cast<std::size_t>(step) - 1]};
}

} // namespace gpib

std::shared_ptr<const GpibLibrary> GpibLibrary::load() {
    auto library = SharedLibrary::openFirst({"libgpib.so.0"});
    if (!library) {
        return nullptr;
    }
    return std::make_shared<const GpibLibrary>(std::move(*library));
}

GpibLibrary::GpibLibrary(SharedLibrary library) : library_(std::move(library)) {
    api_.ibdev = library_.requireFunction<decltype(api_.ibdev)>("ibdev");
    api_.ibwrt = library_.requireFunction<decltype(api_.ibwrt)>("ibwrt");
    api_.ibrd = library_.requireFunction<decltype(api_.ibrd)>("ibrd");
    api_.ibonl = library_.requireFunction<decltype(api_.ibonl)>("ibonl");
    api_.ibtmo = library_.requireFunction<decltype(api_.ibtmo)>("ibtmo");
    api_.errorString = library_.optionalFunction<decltype(api_.errorString)>("gpib_error_string");
    // The per-thread accessors are right for a threaded program; older releases only have the
    // process-wide variables.
    threadIberr_ = library_.optionalFunction<decltype(threadIberr_)>("ThreadIberr");
    threadIbcntl_ = library_.optionalFunction<decltype(threadIbcntl_)>("ThreadIbcntl");
    if (threadIberr_ == nullptr) {
        iberr_ = static_cast<const volatile int*>(library_.findSymbol("iberr"));
    }
    if (threadIbcntl_ == nullptr) {
        ibcntl_ = static_cast<const volatile long*>(library_.findSymbol("ibcntl"));
    }
    if ((threadIberr_ == nullptr && iberr_ == nullptr) || (threadIbcntl_ == nullptr && ibcntl_ == nullptr)) {
        throw std::runtime_error(library_.name() +
                                 " exports neither ThreadIberr/ThreadIbcntl nor iberr/ibcntl (an "
                                 "incompatible installation)");
    }
}

int GpibLibrary::lastError() const {
    return threadIberr_ != nullptr ? threadIberr_() : *iberr_;
}

long GpibLibrary::lastCount() const {
    return threadIbcntl_ != nullptr ? threadIbcntl_() : *ibcntl_;
}

} // namespace visa
