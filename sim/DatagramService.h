#pragma once

#include "base/FileDescriptor.h"
#include "base/UdpSocket.h"

#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// The UDP counterpart of TcpService: one thread waits on a few bound sockets and hands each datagram to
// the handler, which answers through one of the sockets as its protocol says. Datagrams come from anyone on
// the network, so the handler must take any bytes; whatever it throws is logged and the datagram dropped.
class DatagramService {
public:
    using Handler = std::function<void(const std::vector<base::UdpSocket>& sockets, std::size_t socketIndex,
                                       const base::UdpSocket::Datagram&)>;
    using Log = std::function<void(const std::string&)>;

    // Starts serving at once; maxBytes bounds one datagram (longer ones are dropped).
    DatagramService(std::string serviceName, std::vector<base::UdpSocket> sockets, std::size_t maxBytes,
                    Handler handler, Log log = {});
    ~DatagramService();
    DatagramService(const DatagramService&) = delete;
    DatagramService& operator=(const DatagramService&) = delete;

    // For what a service sends unasked (sending is safe beside the serving thread).
    const base::UdpSocket& socket(std::size_t index) const { return sockets_.at(index); }
    // Stops the thread and waits for it. Idempotent.
    void stop();

private:
    void serve();

    std::string prefix_;
    std::vector<base::UdpSocket> sockets_;
    std::size_t maxBytes_;
    Handler handler_;
    Log log_;
    base::FileDescriptor stop_;
    std::thread thread_;
};

} // namespace sim
