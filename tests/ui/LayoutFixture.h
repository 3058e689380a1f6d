#pragma once

// Shared by the layout tests: the fixture and lookups by name.

#include <QWidget>
#include <gtest/gtest.h>
#include <string>

namespace layout_test {

// The layout is drawn in twips; at 96 dpi one pixel is 15 of them.
constexpr int kTwipsPerPixel = 15;

// The layout tests share one QApplication, created before the first test with the program font.
class LayoutTest : public ::testing::Test {};

// The one control of that name, or null when there is none or more than one.
template <typename T = QWidget> T* Find(QWidget& window, const std::string& name) {
    const auto found = window.findChildren<T*>(QString::fromStdString(name));
    return found.size() == 1 ? found.front() : nullptr;
}

inline std::string PinName(const char* prefix, int pin, const char* suffix = "") {
    return prefix + std::to_string(pin) + suffix;
}

} // namespace layout_test
