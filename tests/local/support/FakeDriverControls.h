#pragma once

#include "visa/SharedLibrary.h"

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// The test's handle on a fake driver library: loads it the way the backend does (so both share one
// copy) and reaches the controls it exports.
class FakeDriverControls {
public:
    explicit FakeDriverControls(const char* libraryName) : library_(load(libraryName)) { reset(); }

    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        std::istringstream log(function<const char* (*)()>("fakeCallLog")());
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    void reset() { function<void (*)()>("fakeReset")(); }
    void failNext(const char* call, int code) {
        function<void (*)(const char*, int)>("fakeFailNext")(call, code);
    }
    void setReadChunk(unsigned bytes) { function<void (*)(unsigned)>("fakeSetReadChunk")(bytes); }
    void queueRawReply(const std::string& bytes) {
        function<void (*)(const char*, unsigned)>("fakeQueueRawReply")(bytes.data(),
                                                                       static_cast<unsigned>(bytes.size()));
    }
    // What the fake VISA library's viFindRsrc lists, one resource a line.
    void setFindList(const std::string& lines) {
        function<void (*)(const char*)>("fakeSetFindList")(lines.c_str());
    }
    int openHandles() const { return function<int (*)()>("fakeOpenHandles")(); }
    // A control only one fake has.
    template <typename F> F call(const char* name) const { return function<F>(name); }

private:
    static visa::SharedLibrary load(const char* name) {
        std::string whyNot;
        auto library = visa::SharedLibrary::openFirst({name}, &whyNot);
        if (!library) {
            throw std::runtime_error("the fake " + std::string(name) +
                                     " is not on LD_LIBRARY_PATH: " + whyNot);
        }
        return std::move(*library);
    }

    template <typename F> F function(const char* name) const { return library_.requireFunction<F>(name); }

    visa::SharedLibrary library_;
};
