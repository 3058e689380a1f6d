#pragma once

#include <QObject>
#include <QWidget>

// The base of an event filter that gives a window's children of one kind (Child) a keyboard habit Qt
// lacks: installed once per window on all of them, and owned by the window.
template <class Filter, class Child> class WindowChildFilter : public QObject {
public:
    static void InstallOn(QWidget* window) {
        auto* filter = new Filter(window);
        for (auto* child : window->findChildren<Child*>())
            child->installEventFilter(filter);
    }

protected:
    using QObject::QObject;
};
