// pyvisa with pyvisa-py, as a Debian user runs it, holding the simulated mainframe's VXI-11 lock
// (device_lock) while pinwright-cli applies a profile: the apply waits and goes ahead once pyvisa lets go,
// or gives up with status 3 at its lock time-out having sent nothing.
#include "tests/cli/CliRun.h"
#include "tests/cli/ServedInstrument.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

// Holds the lock for `seconds` once it has it; the returned future ends with the script's output. The
// pipe is read until the script says it holds the lock, so the caller starts only then.
class PyvisaHolder {
public:
    explicit PyvisaHolder(double seconds) {
        const std::string script =
            ::testing::TempDir() + "pinwright_cli_holder_" + std::to_string(::getpid()) + ".py";
        std::ofstream(script) << "import time, pyvisa\n"
                                 "rm = pyvisa.ResourceManager('@py')\n"
                                 "i = rm.open_resource('TCPIP0::127.0.0.1::INSTR', open_timeout=5000)\n"
                                 "i.lock_excl()\n"
                                 "print('locked', flush=True)\n"
                                 "time.sleep("
                              << seconds << ")\ni.unlock()\ni.close()\nprint('unlocked', flush=True)\n";
        pipe_.reset(::popen(("timeout 30 /usr/bin/python3 " + script + " 2>&1").c_str(), "r"));
        if (!pipe_)
            throw std::runtime_error("cannot start python3");
        std::array<char, 256> line{};
        if (std::fgets(line.data(), line.size(), pipe_.get()) == nullptr ||
            std::string(line.data()) != "locked\n")
            throw std::runtime_error(std::string("pyvisa did not take the lock: ") + line.data());
    }
    // The rest of the script's output, once it has ended.
    std::string finish() {
        std::string output;
        std::array<char, 256> buffer{};
        while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe_.get()))
            output.append(buffer.data(), n);
        pipe_.reset();
        return output;
    }

private:
    struct Close {
        void operator()(FILE* pipe) const { ::pclose(pipe); }
    };
    std::unique_ptr<FILE, Close> pipe_;
};

class PyvisaHoldsTheLock : public ::testing::Test {
protected:
    ServedInstrument instrument{Transport::Vxi11, 0};
    const std::string file = ::testing::TempDir() + "pyvisa-lock-" + std::to_string(::getpid()) + ".json";
    void SetUp() override {
        std::ofstream(file) << R"({"format": "pinwright-profile", "version": 1, "outputWord": 21})";
    }
};

TEST_F(PyvisaHoldsTheLock, ApplyWaitsAndGoesAheadOnceItLetsGo) {
    PyvisaHolder holder(0.5);
    const auto start = std::chrono::steady_clock::now();
    const auto result = runCliHere({"-r", instrument.resource(), "--lock-timeout", "10000", "apply", file});
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "output word: 0 -> 21\n");
    EXPECT_EQ(holder.finish(), "unlocked\n");
}

TEST_F(PyvisaHoldsTheLock, ApplyGivesUpAtItsLockTimeOutHavingSentNothing) {
    PyvisaHolder holder(1.0);
    instrument.mainframe().traffic().clear();
    const auto start = std::chrono::steady_clock::now();
    const auto result = runCliHere({"-r", instrument.resource(), "--lock-timeout", "300", "apply", file});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(300));
    // Gave up before the holder let go: had it waited for that, the lock would have been granted and the
    // profile applied (status 0, traffic sent), whatever the time.
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err.rfind("pinwright-cli: " + instrument.resource() + ": locking: ", 0), 0u)
        << result.err;
    EXPECT_TRUE(instrument.mainframe().traffic().received().empty());
    EXPECT_EQ(instrument.mainframe().state().outputWord, 0);
    holder.finish();
}

} // namespace
