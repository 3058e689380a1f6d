#pragma once

#include <functional>
#include <string>

// How the transport tells the user something. The program installs a handler that shows a modal
// message box and returns once it is acknowledged; the transport itself knows nothing of windows.
// The handler belongs to the thread that installs it: the window's thread, or each of pinwright-cli's
// threads that work on one instrument each.
namespace transport {

using NoticeHandler = std::function<void(const std::string& text)>;

void SetNoticeHandler(NoticeHandler handler);
void ShowNotice(const std::string& text);

} // namespace transport
