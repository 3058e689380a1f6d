#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

void ShowMessage(const std::string& text) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QStringLiteral("Pinwright"));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setStandardButtons(QMessageBox::Ok);

    // The program may be showing its wait cursor; the user is expected to act now.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
}
