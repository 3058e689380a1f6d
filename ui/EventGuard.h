#pragma once

#include <exception>
#include <functional>
#include <string>

// Every window event handler runs through RunGuarded: the wait cursor shows while it runs, and an
// error that nothing below handled is shown to the user in plain words instead of reaching the
// event loop. The interrupted handler is abandoned; the program goes on.
void RunGuarded(const std::function<void()>& handler);
