#pragma once

// Pinwright is a windowed program. Without a display Qt would print advice about reinstalling and abort;
// the user instead reads plainly what is missing and the program ends with a failure status.

// Call with main's arguments before the QApplication is made. Returns false, after telling the user on
// stderr, when there is plainly no display to use (no DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM or
// -platform argument); otherwise arranges that a display that then fails to open ends the program the
// same way.
bool CheckGraphicalDisplay(int argc, char* argv[]);
