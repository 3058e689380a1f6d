#include "visa/GpibLibrary.h"

#include <array>
#include <functional>
#include <initializer_list>
#include <stdexcept>

namespace visa {

namespace {

// linux-gpib keeps ibsta, iberr and ibcnt of the last call twice: per thread, read through accessor
// functions, and in process-wide variables that a call on any thread overwrites. The accessors are
// taken where the library exports them; releases without them have only the variables.
template <typename T, typename Returned = T>
std::function<T()> perThread(const SharedLibrary& library, const char* accessor) {
    auto* read = library.optionalFunction<Returned (*)()>(accessor);
    if (read == nullptr) {
        return {};
    }
    return [read] {
        return static_cast<T>(read());
    };
}

template <typename T> std::function<T()> processWide(const SharedLibrary& library, const char* variable) {
    const auto* value = static_cast<const volatile T*>(library.findSymbol(variable));
    if (value == nullptr) {
        return {};
    }
    return [value] {
        return *value;
    };
}

template <typename T> std::function<T()> firstOf(std::initializer_list<std::function<T()>> candidates) {
    for (const auto& candidate : candidates) {
        if (candidate) {
            return candidate;
        }
    }
    return {};
}

} // namespace

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
    status_ = firstOf<int>({perThread<int>(library_, "ThreadIbsta"), processWide<int>(library_, "ibsta")});
    error_ = firstOf<int>({perThread<int>(library_, "ThreadIberr"), processWide<int>(library_, "iberr")});
    // ThreadIbcnt returns an int where ThreadIbcntl returns a long.
    count_ =
        firstOf<long>({perThread<long>(library_, "ThreadIbcntl"),
                       perThread<long, int>(library_, "ThreadIbcnt"), processWide<long>(library_, "ibcntl")});
    if (!status_ || !error_ || !count_) {
        throw std::runtime_error(
            library_.name() +
            " exports neither ThreadIbsta, ThreadIberr and ThreadIbcntl nor ibsta, iberr and "
            "ibcntl (an incompatible installation)");
    }
}

} // namespace visa
