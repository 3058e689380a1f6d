// pyvisa with pyvisa-py, as a Debian user runs it, sharing the simulator's lock with our own protocol-level
// clients: its device_lock keeps the others out until it lets go, and another link's lock keeps it out. It
// finds the VXI-11 core channel through the portmapper on port 111 only, so this test serves port 111 itself,
// as root, in a network namespace of its own (tests/support/own-network).

#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/PortmapServer.h"
#include "sim/Vxi11Server.h"
#include "tests/lan/HislipProbe.h"
#include "tests/lan/Vxi11Probe.h"
#include "tests/support/CommandOutput.h"

#include <chrono>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

using namespace protocol;
using namespace std::chrono_literals;

namespace {

// A pyvisa-py script run on TCPIP0::127.0.0.1::INSTR, bounded so that a hung client fails the test.
std::string runPyvisa(const std::string& name, const std::string& body) {
    const std::string script = ::testing::TempDir() + "/pinwright_" + name + ".py";
    std::ofstream(script) << "import sys, time, pyvisa\n"
                             "rm = pyvisa.ResourceManager('@py')\n"
                             "i = rm.open_resource('TCPIP0::127.0.0.1::INSTR', open_timeout=5000)\n"
                             "i.timeout = 2000\n"
                             "i.read_termination = '\\n'\n"
                             "i.write_termination = '\\n'\n"
                          << body << "i.close()\n";
    return commandOutput("timeout 30 /usr/bin/python3 " + script + " 2>&1");
}

class PyvisaLock : public ::testing::Test {
protected:
    void SetUp() override {
        try {
            portmapper_ = std::make_unique<sim::PortmapServer>("127.0.0.1", kPortmapPort);
        } catch (const std::exception& e) {
            GTEST_FAIL()
                << e.what()
                << ". pyvisa-py asks the portmapper on port 111 only: run the tests as root and stop any "
                   "rpcbind on this machine.";
        }
        portmapper_->registerProgram(kVxi11CoreProgram, kVxi11CoreVersion, kIpProtoTcp, vxi11_.port());
    }

    sim::Mainframe mainframe_;
    sim::Vxi11Server vxi11_{mainframe_};
    sim::HislipServer hislip_{mainframe_};
    std::unique_ptr<sim::PortmapServer> portmapper_;
};

TEST_F(PyvisaLock, ItsLockKeepsOthersWaitingUntilItLetsGo) {
    auto script = std::async(std::launch::async, [] {
        return runPyvisa("holder", "i.lock_excl()\n"
                                   "print('locked', flush=True)\n"
                                   "time.sleep(1.0)\n"
                                   "i.write('DIG:OUTP:DATA 7')\n"
                                   "i.unlock()\n"
                                   "print('unlocked')\n");
    });
    lan::testing::HislipProbe watcher(hislip_.port());
    bool locked = false;
    for (int i = 0; i < 200 && !locked && script.wait_for(0ms) == std::future_status::timeout; ++i) {
        locked = watcher.lockInfo().header.control == 1;
        std::this_thread::sleep_for(25ms);
    }
    ASSERT_TRUE(locked) << "pyvisa never held the lock: "
                        << (script.wait_for(0ms) == std::future_status::ready ? script.get() : "");
    lan::testing::Vxi11Probe other(vxi11_.port());
    const std::int32_t link = other.createLink().linkId;
    EXPECT_EQ(other.write(link, "DIG:OUTP:DATA 1"), kVxi11DeviceLocked);
    EXPECT_EQ(other.lock(link, kFlagWaitLock, 10000), kVxi11NoError);
    EXPECT_EQ(mainframe_.state().outputWord, 7) << "granted before pyvisa's locked write";
    const std::string output = script.get();
    EXPECT_NE(output.find("locked\nunlocked\n"), std::string::npos) << output;
}

TEST_F(PyvisaLock, AnotherLinksLockRefusesItsLockAndItsMessages) {
    lan::testing::Vxi11Probe holder(vxi11_.port());
    const std::int32_t link = holder.createLink().linkId;
    ASSERT_EQ(holder.lock(link, 0, 0), kVxi11NoError);
    const std::string output =
        runPyvisa("refused", "for attempt in (lambda: i.lock_excl(), lambda: i.query('*IDN?')):\n"
                             "    try:\n"
                             "        attempt()\n"
                             "        print('went through')\n"
                             "    except pyvisa.errors.VisaIOError as e:\n"
                             "        print(e.abbreviation)\n");
    // pyvisa-py words every refused write, "device locked" included, as an I/O error.
    EXPECT_EQ(output, "VI_ERROR_RSRC_LOCKED\nVI_ERROR_IO\n");
}

} // namespace
