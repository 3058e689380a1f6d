#include "sim/DatagramService.h"

#include "base/NetworkInterfaces.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace sim {

namespace {

// Datagrams taken from one socket before the others get a turn.
constexpr int kMaxDatagramsPerTurn = 32;

} // namespace

DatagramService::DatagramService(std::string serviceName, std::vector<base::UdpSocket> sockets,
                                 std::size_t maxBytes, Handler handler, Log log)
    : prefix_(serviceName.empty() ? std::string() : serviceName + ": "), sockets_(std::move(sockets)),
      maxBytes_(maxBytes), handler_(std::move(handler)), log_(std::move(log)),
      stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!stop_.valid()) {
        throw std::system_error(errno, std::generic_category(), prefix_ + "cannot make a stop event");
    }
    thread_ = std::thread([this] { serve(); });
}

DatagramService::~DatagramService() {
    stop();
}

void DatagramService::stop() {
    if (!thread_.joinable()) {
        return;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
}

void DatagramService::serve() {
    std::vector<pollfd> entries;
    for (const base::UdpSocket& socket : sockets_) {
        entries.push_back({socket.fd(), POLLIN, 0});
    }
    entries.push_back({stop_.get(), POLLIN, 0});
    for (;;) {
        if (::poll(entries.data(), entries.size(), -1) < 0 && errno != EINTR) {
            if (log_) {
                log_(prefix_ + "stopped serving: cannot wait for datagrams");
            }
            return;
        }
        if (entries.back().revents != 0) {
            return;
        }
        for (std::size_t i = 0; i < sockets_.size(); ++i) {
            if (entries[i].revents == 0) {
                continue;
            }
            for (int n = 0; n < kMaxDatagramsPerTurn; ++n) {
                const auto datagram = sockets_[i].receive(maxBytes_);
                if (!datagram) {
                    break;
                }
                try {
                    handler_(sockets_, i, *datagram);
                } catch (const std::exception& e) {
                    if (log_) {
                        log_(prefix_ + "dropped a datagram from " +
                             base::formatIpv4(datagram->source.sin_addr) + ": " + e.what());
                    }
                }
            }
        }
    }
}

} // namespace sim
