#include "visa/AddressResolver.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <thread>

namespace visa {
namespace {

AddressResolver::Result lookUp(const std::string& host, std::uint16_t port, bool numericOnly) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    const std::string service = std::to_string(port);

    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(list, &::freeaddrinfo);

    AddressResolver::Result result;
    if (rc != 0) {
        const bool unknown = rc == EAI_NONAME || rc == EAI_NODATA || rc == EAI_FAIL;
        result.status = unknown ? AddressResolver::Status::UnknownHost : AddressResolver::Status::Failed;
        result.detail = ::gai_strerror(rc);
        return result;
    }
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        if (entry->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress address;
        address.family = entry->ai_family;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        result.addresses.push_back(address);
    }
    result.status =
        result.addresses.empty() ? AddressResolver::Status::UnknownHost : AddressResolver::Status::Resolved;
    return result;
}

bool isNumericHost(const std::string& host) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (list)
        ::freeaddrinfo(list);
    return rc == 0;
}

// Shared between the caller and the look-up thread; whichever leaves last frees it.
struct PendingLookUp {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    AddressResolver::Result result;
};

} // namespace

AddressResolver::Result AddressResolver::resolve(const std::string& host, std::uint16_t port,
                                                 const base::Deadline& deadline) {
    if (isNumericHost(host))
        return lookUp(host, port, true);

    auto pending = std::make_shared<PendingLookUp>();
    // getaddrinfo() cannot be cancelled: when the open gives up first, the thread is left to finish on its
    // own and drops its share of the state; it touches nothing else.
    std::thread([pending, host, port] {
        auto result = lookUp(host, port, false);
        const std::lock_guard lock(pending->mutex);
        pending->result = std::move(result);
        pending->done = true;
        pending->finished.notify_all();
    }).detach();

    std::unique_lock lock(pending->mutex);
    if (!pending->finished.wait_for(lock, deadline.remaining(), [&] { return pending->done; })) {
        Result timedOut;
        timedOut.status = Status::TimedOut;
        return timedOut;
    }
    return std::move(pending->result);
}

} // namespace visa
