#pragma once

class QApplication;

// Everything the program sets up before its first window: the font the layouts are drawn for, the
// message boxes through which the transport speaks to the user and the end of the program on lost
// communication, the simulator's backend and, when
// PINWRIGHT_TRACE names a file, the I/O trace.
void PrepareProgram(QApplication& application);
