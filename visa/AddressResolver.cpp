#include "visa/AddressResolver.h"

#include <condition_variable>
#include <cstring>
#include <map>
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

// Shared between the callers waiting for one name and the look-up thread; whoever leaves last frees it.
struct PendingLookUp {
    std::condition_variable finished;
    bool done = false;
    AddressResolver::Result result;
};

// The look-ups still running, one per host and port. getaddrinfo() cannot be cancelled, so a thread whose
// callers have all given up lives on until the system resolver answers; this keeps their number bounded.
// Never destroyed: detached look-up threads may still use it while the program exits.
struct PendingLookUps {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<PendingLookUp>> byName;
    AddressResolver::NameLookUp lookUp;
};

PendingLookUps& pendingLookUps() {
    static auto* const pending = new PendingLookUps;
    return *pending;
}

} // namespace

bool AddressResolver::isNumeric(const std::string& host) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (list)
        ::freeaddrinfo(list);
    return rc == 0;
}

void AddressResolver::setNameLookUpForTesting(NameLookUp lookUp) {
    auto& pending = pendingLookUps();
    const std::lock_guard lock(pending.mutex);
    pending.lookUp = std::move(lookUp);
}

AddressResolver::Result AddressResolver::resolve(const std::string& host, std::uint16_t port,
                                                 const base::Deadline& deadline) {
    if (isNumeric(host))
        return lookUp(host, port, true);

    auto& registry = pendingLookUps();
    const std::string key = host + '\n' + std::to_string(port);
    std::unique_lock lock(registry.mutex);
    auto& slot = registry.byName[key];
    if (!slot) {
        if (registry.byName.size() > kMaxPendingLookUps) {
            registry.byName.erase(key);
            Result refused;
            refused.status = Status::TooManyPending;
            refused.detail =
                std::to_string(kMaxPendingLookUps) +
                " earlier look-ups of other names are still waiting for the system's name resolver";
            return refused;
        }
        slot = std::make_shared<PendingLookUp>();
        auto lookUpName =
            registry.lookUp ? registry.lookUp : [](const std::string& name, std::uint16_t number) {
                return lookUp(name, number, false);
            };
        std::thread([pending = slot, key, host, port, lookUpName = std::move(lookUpName)] {
            auto result = lookUpName(host, port);
            auto& registry = pendingLookUps();
            const std::lock_guard lock(registry.mutex);
            pending->result = std::move(result);
            pending->done = true;
            registry.byName.erase(key);
            pending->finished.notify_all();
        }).detach();
    }
    const auto pending = slot;
    if (!pending->finished.wait_for(lock, deadline.remaining(), [&] { return pending->done; })) {
        Result timedOut;
        timedOut.status = Status::TimedOut;
        return timedOut;
    }
    return pending->result;
}

} // namespace visa
