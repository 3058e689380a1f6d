#include "ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// Messages quote instrument replies, which may be up to a mebibyte of anything. A box that size would
// bury its OK button off screen, so the quote is cut and the cut said.
constexpr qsizetype kMaxShownCharacters = 4000;

QString Shown(const std::string& text) {
    QString shown = QString::fromStdString(text);
    if (shown.size() > kMaxShownCharacters) {
        const auto hidden = shown.size() - kMaxShownCharacters;
        shown.truncate(kMaxShownCharacters);
        shown += QStringLiteral("\r\n... (%1 more characters not shown)").arg(hidden);
    }
    return shown;
}

} // namespace

void ShowMessage(const std::string& text) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QStringLiteral("Pinwright"));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(Shown(text));
    box.setStandardButtons(QMessageBox::Ok);

    // The program may be showing its wait cursor; the user is expected to act now.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
}
