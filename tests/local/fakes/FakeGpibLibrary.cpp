// A stand-in for linux-gpib's user library (built as libgpib.so.0 for the tests only): the calls
// Pinwright makes, answered by a simulated mainframe at one primary address, each recorded in the log.

#include "tests/local/fakes/FakeInstrument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr int kErr = 0x8000;
constexpr int kTimo = 0x4000;
constexpr int kEnd = 0x2000;
constexpr int kCmpl = 0x100;
constexpr int kEabo = 6;
constexpr int kEarg = 4;
constexpr int kEneb = 7;

// Board 0 is the only one configured; these primary addresses listen on it.
constexpr int kListeners[] = {5, 12};

// The step durations T10us .. T1000s, in microseconds.
constexpr long long kSteps[] = {10,         30,         100,         300,         1'000,        3'000,
                                10'000,     30'000,     100'000,     300'000,     1'000'000,    3'000'000,
                                10'000'000, 30'000'000, 100'000'000, 300'000'000, 1'000'000'000};

struct Device {
    int timeoutStep = 0;
    int eos = 0;
};

std::map<int, Device>& devices() {
    static std::map<int, Device> d;
    return d;
}

int nextUd = 1;

struct LastCall {
    int status = 0;
    int error = 0;
    long count = 0;
};
thread_local LastCall lastCall;
bool overwriteGlobals = false;

fake::FakeInstrument& instrument() {
    return fake::FakeInstrument::instance();
}

int finish(int status, int error, long count);

} // namespace

extern "C" {

// What linux-gpib keeps for the last call: process-wide and per thread. A build with
// FAKE_GPIB_GLOBALS_ONLY stands for a release without the per-thread accessors.
int ibsta = 0;
int iberr = 0;
int ibcnt = 0;
long ibcntl = 0;

#ifndef FAKE_GPIB_GLOBALS_ONLY
int ThreadIbsta() {
    return lastCall.status;
}
int ThreadIberr() {
    return lastCall.error;
}
int ThreadIbcnt() {
    return static_cast<int>(lastCall.count);
}
long ThreadIbcntl() {
    return lastCall.count;
}
#endif

// From now on, as if another thread's successful call followed each of ours: the process-wide values no
// longer describe our calls, the per-thread ones still do.
void fakeGpibOverwriteGlobals(int on) {
    overwriteGlobals = on != 0;
}

const char* gpib_error_string(int error) {
    switch (error) {
    case 0:
        return "EDVR 0: OS error";
    case 2:
        return "ENOL 2: No listeners";
    case 6:
        return "EABO 6: Operation aborted";
    case 7:
        return "ENEB 7: Board not present";
    default:
        return "fake: other error";
    }
}

int ibdev(int board, int pad, int sad, int timo, int sendEoi, int eos) {
    char line[96];
    std::snprintf(line, sizeof line, "ibdev %d %d 0x%x %d %d 0x%x", board, pad, sad, timo, sendEoi, eos);
    instrument().record(line);
    if (auto failure = instrument().takeFailure("ibdev")) {
        finish(kErr, *failure, *failure == 0 ? 2 /* ENOENT */ : 0);
        return -1;
    }
    const int ud = nextUd++;
    devices()[ud] = Device{timo, eos};
    instrument().addOpenHandles(1);
    finish(kCmpl, 0, 0);
    return ud;
}

int ibtmo(int ud, int step) {
    instrument().record("ibtmo " + std::to_string(step));
    auto device = devices().find(ud);
    if (device == devices().end() || step < 0 || step > 17) {
        return finish(kErr, kEarg, 0);
    }
    device->second.timeoutStep = step;
    return finish(kCmpl, 0, 0);
}

int ibwrt(int ud, const void* data, long count) {
    std::string message(static_cast<const char*>(data), static_cast<std::size_t>(count));
    instrument().record("ibwrt " + message);
    if (!devices().count(ud)) {
        return finish(kErr, kEarg, 0);
    }
    if (auto failure = instrument().takeFailure("ibwrt")) {
        return finish(kErr | (*failure == kEabo ? kTimo : 0), *failure, 0);
    }
    instrument().receive(message);
    return finish(kCmpl, 0, count);
}

int ibrd(int ud, void* buffer, long count) {
    auto device = devices().find(ud);
    const int step = device == devices().end() ? 0 : device->second.timeoutStep;
    instrument().record("ibrd " + std::to_string(count) + " tmo=" + std::to_string(step));
    if (device == devices().end()) {
        return finish(kErr, kEarg, 0);
    }
    if (auto failure = instrument().takeFailure("ibrd")) {
        return finish(kErr, *failure, 0);
    }
    const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::microseconds(step >= 1 ? kSteps[step - 1] : 0));
    bool last = false;
    auto piece = instrument().readPiece(static_cast<std::size_t>(count), timeout, last);
    if (!piece) {
        return finish(kErr | kTimo, kEabo, 0);
    }
    std::memcpy(buffer, piece->data(), piece->size());
    return finish(kCmpl | (last ? kEnd : 0), 0, static_cast<long>(piece->size()));
}

// Board 0's own primary address is 0, as gpib_config sets it by default.
int ibask(int ud, int option, int* value) {
    instrument().record("ibask " + std::to_string(ud) + " " + std::to_string(option));
    if (ud != 0 || option != 1)
        return finish(kErr, ud != 0 ? kEneb : kEarg, 0);
    *value = 0;
    return finish(kCmpl, 0, 0);
}

int ibln(int board, int pad, int sad, short* found) {
    instrument().record("ibln " + std::to_string(board) + " " + std::to_string(pad) + " " +
                        std::to_string(sad));
    if (auto failure = instrument().takeFailure("ibln"))
        return finish(kErr, *failure, 0);
    if (board != 0)
        return finish(kErr, kEneb, 0);
    *found = std::find(std::begin(kListeners), std::end(kListeners), pad) != std::end(kListeners) ? 1 : 0;
    return finish(kCmpl, 0, 0);
}

int ibonl(int ud, int online) {
    instrument().record("ibonl " + std::to_string(online));
    if (devices().erase(ud) == 0) {
        return finish(kErr, kEarg, 0);
    }
    instrument().addOpenHandles(-1);
    return finish(kCmpl, 0, 0);
}
}

namespace {

int finish(int status, int error, long count) {
    lastCall = LastCall{status, (status & kErr) ? error : 0, count};
    const LastCall global = overwriteGlobals ? LastCall{kCmpl, 0, 0} : lastCall;
    ibsta = global.status;
    iberr = global.error;
    ibcnt = static_cast<int>(global.count);
    ibcntl = global.count;
    return status;
}

} // namespace
