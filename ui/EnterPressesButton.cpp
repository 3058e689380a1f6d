#include "ui/EnterPressesButton.h"

#include <QKeyEvent>
#include <QPushButton>

bool EnterPressesButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* button = qobject_cast<QPushButton*>(watched);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (button == nullptr || (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    // A held key repeats; one press is one click.
    if (!key->isAutoRepeat() && button->isEnabled())
        button->click();
    return true;
}
