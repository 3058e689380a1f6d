#include "tests/support/ModalBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

ModalBoxes::ModalBoxes() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &ModalBoxes::answer);
    timer_.start();
}

QStringList ModalBoxes::texts() const {
    QStringList result;
    for (const auto& box : seen_)
        result << box.text;
    return result;
}

void ModalBoxes::answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible() || box->property("answeredByTest").toBool())
        return;
    if (static_cast<int>(seen_.size()) >= kMaxBoxes)
        qFatal("more than %d message boxes in one test", kMaxBoxes);
    box->setProperty("answeredByTest", true);
    SeenBox seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    for (auto* button : box->buttons())
        seen.buttons << button->text();
    seen.icon = box->icon();
    seen.textFormat = box->textFormat();
    seen_.push_back(seen);
    auto* ok = box->button(QMessageBox::Ok);
    if (ok != nullptr)
        ok->click();
    else
        box->reject();
}
