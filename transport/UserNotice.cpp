#include "transport/UserNotice.h"

#include <cstdio>
#include <utility>

namespace transport {
namespace {

NoticeHandler& handler() {
    // Without a window system (a command-line caller) the notice still reaches someone. Each thread has
    // its own handler, so threads that each run their own session tell their own story.
    static thread_local NoticeHandler current = [](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
    };
    return current;
}

} // namespace

void SetNoticeHandler(NoticeHandler newHandler) {
    handler() = std::move(newHandler);
}

void ShowNotice(const std::string& text) {
    handler()(text);
}

} // namespace transport
