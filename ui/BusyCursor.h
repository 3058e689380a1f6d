#pragma once

#include <QtGlobal>

// Shows the wait cursor for as long as it lives: the program is talking to the instrument and takes
// no input meanwhile.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    Q_DISABLE_COPY(BusyCursor)
};
