#pragma once

#include "ui/WindowChildFilter.h"

#include <QRadioButton>

// A group of option buttons is one stop of the Tab key, as keyboard users expect: Tab or Shift+Tab into
// the group lands on the chosen button (the first one met when none is chosen), the next Tab or Shift+Tab
// leaves the group, and the arrow keys move within it. Qt would stop at every button instead. Installed
// once per window on all its option buttons; a group is the option buttons of one container.
class ChosenOptionFocus : public WindowChildFilter<ChosenOptionFocus, QRadioButton> {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend WindowChildFilter;
    using WindowChildFilter::WindowChildFilter;

    static bool SameGroup(const QRadioButton* button, const QWidget* other);
    static void LeaveGroup(QRadioButton* button, bool forward);
};
