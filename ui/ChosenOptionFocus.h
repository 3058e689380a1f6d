#pragma once

#include <QObject>

class QWidget;

// Tab into a group of option buttons stops at the chosen one, as keyboard users expect; Qt would stop
// at the first button of the group instead. Installed once per window on all its option buttons.
class ChosenOptionFocus : public QObject {
public:
    static void InstallOn(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};
