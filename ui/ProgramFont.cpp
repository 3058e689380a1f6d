#include "ui/ProgramFont.h"

#include <QApplication>

namespace {
// DejaVu Sans at 8 pt is about the size of the classic 8 pt dialog font the layout was drawn for, but its
// glyphs are wider: "Enter VISA initialization string here:" and the clear-unit check box would be cut
// off. The semi-condensed width selects DejaVu Sans Condensed (fonts-dejavu-extra); without that package
// Qt condenses DejaVu Sans itself, which gives nearly the same advances.
constexpr const char* kFamily = "DejaVu Sans";
constexpr int kPointSize = 8;
} // namespace

QFont ProgramFont() {
    QFont font(QString::fromLatin1(kFamily), kPointSize);
    font.setStretch(QFont::SemiCondensed);
    // Pixel-rounded advances keep the captions the same width on every screen at 96 dpi.
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void ApplyProgramFont(QApplication& application) {
    application.setFont(ProgramFont());
}
