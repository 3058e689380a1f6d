#pragma once

#include "base/FileDescriptor.h"
#include "sim/Mainframe.h"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A USB instrument at the far end of a SOCK_SEQPACKET socket pair standing in for /dev/usbtmcN: each
// record is one transfer, so a write of the session is one message, as with the driver's EOM. A
// simulated mainframe answers. The device's thread ends on its own when the host end closes, and at
// the latest when the object goes.
class SocketUsbtmcDevice {
public:
    enum class Mode {
        Answer,          // each reply in one record
        SplitReplies,    // each reply in two records
        ExtraLine,       // each reply followed by "EXTRA\n" in the same record
        HangUpOnMessage, // the device goes away as soon as a message arrives
    };

    explicit SocketUsbtmcDevice(Mode mode = Mode::Answer);
    ~SocketUsbtmcDevice();
    SocketUsbtmcDevice(const SocketUsbtmcDevice&) = delete;
    SocketUsbtmcDevice& operator=(const SocketUsbtmcDevice&) = delete;

    // The host's end, for the session under test (once).
    base::FileDescriptor takeHostEnd();

    std::vector<std::string> received() const;

private:
    void run(std::stop_token stop);
    void sendRecord(const std::string& bytes);

    Mode mode_;
    base::FileDescriptor deviceEnd_;
    base::FileDescriptor hostEnd_;
    sim::Mainframe mainframe_;
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::jthread thread_;
};
