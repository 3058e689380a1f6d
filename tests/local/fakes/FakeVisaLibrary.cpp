// A stand-in for an installed VISA library (built as libvisa.so.0 for the tests only): the handful of
// C calls Pinwright makes, answered by a simulated mainframe, each recorded in the call log.

#include "tests/local/fakes/FakeInstrument.h"
#include "visa/VisaCApi.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace visa::capi;

namespace {

constexpr ViSession kFirstResourceManager = 100;
constexpr ViSession kFirstSession = 200;

struct State {
    std::set<ViSession> resourceManagers;
    std::vector<std::string> findList;           // what viFindRsrc lists, set by the test
    std::map<ViFindList, std::size_t> openLists; // each open find list and its next entry
    std::map<ViSession, ViAttrState> timeouts;   // open sessions and their VI_ATTR_TMO_VALUE
    ViSession next = 0;
};

State& state() {
    static State s;
    return s;
}

fake::FakeInstrument& instrument() {
    return fake::FakeInstrument::instance();
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::optional<ViStatus> armed(const char* call) {
    auto code = instrument().takeFailure(call);
    if (code) {
        return static_cast<ViStatus>(*code);
    }
    return std::nullopt;
}

} // namespace

extern "C" {

ViStatus viOpenDefaultRM(ViSession* resourceManager) {
    instrument().record("viOpenDefaultRM");
    if (auto failure = armed("viOpenDefaultRM")) {
        return *failure;
    }
    *resourceManager = kFirstResourceManager + state().next++;
    state().resourceManagers.insert(*resourceManager);
    instrument().addOpenHandles(1);
    return VI_SUCCESS;
}

ViStatus viOpen(ViSession resourceManager, const char* name, ViAccessMode mode, ViUInt32 timeout,
                ViSession* session) {
    instrument().record("viOpen " + std::string(name) + " mode=" + std::to_string(mode) +
                        " timeout=" + std::to_string(timeout));
    if (!state().resourceManagers.count(resourceManager)) {
        return VI_ERROR_INV_OBJECT;
    }
    if (auto failure = armed("viOpen")) {
        return *failure;
    }
    *session = kFirstSession + state().next++;
    state().timeouts[*session] = 2000;
    instrument().addOpenHandles(1);
    return VI_SUCCESS;
}

ViStatus viSetAttribute(ViObject object, ViAttr attribute, ViAttrState value) {
    instrument().record("viSetAttribute " + hex(attribute) + " " + std::to_string(value));
    auto session = state().timeouts.find(object);
    if (session == state().timeouts.end()) {
        return VI_ERROR_INV_OBJECT;
    }
    if (auto failure = armed("viSetAttribute")) {
        return *failure;
    }
    if (attribute == VI_ATTR_TMO_VALUE) {
        session->second = value;
    }
    return VI_SUCCESS;
}

ViStatus viWrite(ViSession session, const unsigned char* buffer, ViUInt32 count, ViUInt32* written) {
    std::string message(reinterpret_cast<const char*>(buffer), count);
    instrument().record("viWrite " + message);
    if (!state().timeouts.count(session)) {
        return VI_ERROR_INV_OBJECT;
    }
    if (auto failure = armed("viWrite")) {
        *written = 0;
        return *failure;
    }
    instrument().receive(message);
    *written = count;
    return VI_SUCCESS;
}

ViStatus viRead(ViSession session, unsigned char* buffer, ViUInt32 count, ViUInt32* read) {
    auto found = state().timeouts.find(session);
    instrument().record("viRead " + std::to_string(count) +
                        " tmo=" + std::to_string(found == state().timeouts.end() ? 0 : found->second));
    *read = 0;
    if (found == state().timeouts.end()) {
        return VI_ERROR_INV_OBJECT;
    }
    if (auto failure = armed("viRead")) {
        return *failure;
    }
    bool last = false;
    auto piece = instrument().readPiece(count, std::chrono::milliseconds(found->second), last);
    if (!piece) {
        return VI_ERROR_TMO;
    }
    std::memcpy(buffer, piece->data(), piece->size());
    *read = static_cast<ViUInt32>(piece->size());
    if (!last) {
        return VI_SUCCESS_MAX_CNT;
    }
    return !piece->empty() && piece->back() == '\n' ? VI_SUCCESS_TERM_CHAR : VI_SUCCESS;
}

ViStatus viFlush(ViSession session, ViUInt16 mask) {
    instrument().record("viFlush " + std::to_string(mask));
    if (!state().timeouts.count(session)) {
        return VI_ERROR_INV_OBJECT;
    }
    if (auto failure = armed("viFlush")) {
        return *failure;
    }
    return VI_SUCCESS;
}

// As the API promises: at most kFindBufferSize characters, terminator included; a longer entry is cut.
void describeListed(const std::string& text, char description[]) {
    std::snprintf(description, kFindBufferSize, "%s", text.c_str());
}

void fakeSetFindList(const char* lines) {
    state().findList.clear();
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);)
        state().findList.push_back(line);
}

ViStatus viFindRsrc(ViSession resourceManager, const char* expression, ViFindList* list, ViUInt32* count,
                    char description[]) {
    instrument().record("viFindRsrc " + std::string(expression));
    if (!state().resourceManagers.count(resourceManager))
        return VI_ERROR_INV_OBJECT;
    if (auto failure = armed("viFindRsrc"))
        return *failure;
    if (state().findList.empty())
        return VI_ERROR_RSRC_NFOUND;
    *list = kFirstSession + state().next++;
    state().openLists[*list] = 1;
    *count = static_cast<ViUInt32>(state().findList.size());
    describeListed(state().findList.front(), description);
    instrument().addOpenHandles(1);
    return VI_SUCCESS;
}

ViStatus viFindNext(ViFindList list, char description[]) {
    auto open = state().openLists.find(list);
    if (open == state().openLists.end())
        return VI_ERROR_INV_OBJECT;
    if (open->second >= state().findList.size())
        return VI_ERROR_RSRC_NFOUND;
    describeListed(state().findList[open->second++], description);
    return VI_SUCCESS;
}

ViStatus viClose(ViObject object) {
    if (state().openLists.erase(object)) {
        instrument().record("viClose list");
        instrument().addOpenHandles(-1);
        return VI_SUCCESS;
    }
    if (state().resourceManagers.erase(object)) {
        instrument().record("viClose rm");
        instrument().addOpenHandles(-1);
        return VI_SUCCESS;
    }
    if (state().timeouts.erase(object)) {
        instrument().record("viClose session");
        instrument().addOpenHandles(-1);
        return VI_SUCCESS;
    }
    instrument().record("viClose unknown");
    return VI_ERROR_INV_OBJECT;
}

ViStatus viStatusDesc(ViObject, ViStatus status, char description[]) {
    const char* text = "Fake VISA: unknown status code.";
    switch (status) {
    case VI_ERROR_TMO:
        text = "Fake VISA: Timeout expired before operation completed.";
        break;
    case VI_ERROR_RSRC_NFOUND:
        text = "Fake VISA: Insufficient location information or the device is not present in the system.";
        break;
    case VI_ERROR_RSRC_BUSY:
        text = "Fake VISA: The resource is valid but VISA cannot currently access it.";
        break;
    case VI_ERROR_CONN_LOST:
        text = "Fake VISA: The connection for the given session has been lost.";
        break;
    default:
        break;
    }
    std::snprintf(description, kStatusDescriptionSize, "%s", text);
    return VI_SUCCESS;
}
}
