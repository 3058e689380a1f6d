#pragma once

#include <QFont>

class QApplication;

// The windows are laid out at fixed pixel positions (1 px = 15 twips at 96 dpi), so their captions only
// fit with a font whose metrics are known. Both windows use this one font and nothing else.
QFont ProgramFont();

// Makes ProgramFont() the default font of every widget; call once, before any window is created.
void ApplyProgramFont(QApplication& application);
