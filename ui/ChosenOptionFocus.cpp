#include "ui/ChosenOptionFocus.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QRadioButton>

bool ChosenOptionFocus::SameGroup(const QRadioButton* button, const QWidget* other) {
    const auto* sibling = qobject_cast<const QRadioButton*>(other);
    return sibling != nullptr && sibling->autoExclusive() && button->autoExclusive() &&
           sibling->parentWidget() == button->parentWidget();
}

// Moves the focus to the next (or previous) control of the window's focus order that lies outside the
// button's group and takes the Tab key, as Qt's own Tab handling picks it.
void ChosenOptionFocus::LeaveGroup(QRadioButton* button, bool forward) {
    QWidget* window = button->window();
    QWidget* candidate = button;
    // The focus chain is a ring through every widget of the window; the bound only guards a broken one.
    for (int step = 0; step < 10000; ++step) {
        candidate = forward ? candidate->nextInFocusChain() : candidate->previousInFocusChain();
        if (candidate == button)
            return;
        if (SameGroup(button, candidate))
            continue;
        const bool takesTab = (candidate->focusPolicy() & Qt::TabFocus) == Qt::TabFocus &&
                              candidate->focusProxy() == nullptr && candidate->isVisibleTo(window) &&
                              candidate->isEnabled() && window->isAncestorOf(candidate);
        if (takesTab) {
            candidate->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

bool ChosenOptionFocus::eventFilter(QObject* watched, QEvent* event) {
    auto* button = qobject_cast<QRadioButton*>(watched);
    if (button == nullptr || !button->autoExclusive())
        return false;

    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        const bool backward = key->key() == Qt::Key_Backtab ||
                              (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
        if (key->key() != Qt::Key_Tab && !backward)
            return false;
        LeaveGroup(button, !backward);
        return true;
    }

    if (event->type() != QEvent::FocusIn)
        return false;
    // Only a move from outside reaches here by Tab: leaving a group never steps onto a sibling.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (button->isChecked() || (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason))
        return false;
    for (auto* sibling : button->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
        if (sibling != button && sibling->isChecked() && SameGroup(button, sibling)) {
            sibling->setFocus(reason);
            break;
        }
    }
    return false;
}
