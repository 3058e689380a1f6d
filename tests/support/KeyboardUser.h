#pragma once

// Keyboard and mouse steps of a GUI test, done as a user does them: real key clicks to the focused
// control and real mouse clicks.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <ostream>

namespace keyboard_user {

// Presses Tab (or Shift+Tab) `presses` times from the control that has the focus and names where the focus
// went after each press.
inline QStringList PressTab(int presses, bool forward = true) {
    QStringList names;
    for (int i = 0; i < presses && QApplication::focusWidget() != nullptr; ++i) {
        QTest::keyClick(QApplication::focusWidget(), forward ? Qt::Key_Tab : Qt::Key_Backtab,
                        forward ? Qt::NoModifier : Qt::ShiftModifier);
        names << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    return names;
}

// Clicks into a list's text, selects what it shows and types over it.
inline void TypeInto(QComboBox* list, const QString& text) {
    QTest::mouseClick(list->lineEdit(), Qt::LeftButton);
    QTest::keyClick(list->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(list->lineEdit(), text);
}

} // namespace keyboard_user

// Failure messages show texts, not their bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
