#pragma once

#include "ui/WindowChildFilter.h"

#include <QPushButton>

// Enter and the keypad's Enter press the command button that has the keyboard focus, as Space does; on
// the desktops our users come from both keys do. Installed once per window on all its command buttons, so
// Enter typed in a text box or a list still presses nothing.
class EnterPressesButton : public WindowChildFilter<EnterPressesButton, QPushButton> {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend WindowChildFilter;
    using WindowChildFilter::WindowChildFilter;
};
