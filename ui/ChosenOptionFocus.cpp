#include "ui/ChosenOptionFocus.h"

#include <QFocusEvent>
#include <QRadioButton>

void ChosenOptionFocus::InstallOn(QWidget* window) {
    auto* filter = new ChosenOptionFocus(window);
    for (auto* button : window->findChildren<QRadioButton*>())
        button->installEventFilter(filter);
}

bool ChosenOptionFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::FocusIn)
        return false;
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    auto* button = qobject_cast<QRadioButton*>(watched);
    if (button == nullptr || button->isChecked() ||
        (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason))
        return false;
    // Option buttons are grouped by their container.
    for (auto* sibling : button->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
        if (sibling->isChecked() && sibling->autoExclusive()) {
            sibling->setFocus(reason);
            break;
        }
    }
    return false;
}
