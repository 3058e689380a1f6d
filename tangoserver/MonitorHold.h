#pragma once

#include <tango.h>

namespace tangoserver {

// The device's Tango monitor, which keeps its clients' calls out while held (Tango serialises each
// device's calls through it); DevFailed when not had within Tango's monitor time-out.
class MonitorHold {
public:
    explicit MonitorHold(Tango::TangoMonitor& monitor) : monitor_(monitor) { monitor_.get_monitor(); }
    ~MonitorHold() { monitor_.rel_monitor(); }
    MonitorHold(const MonitorHold&) = delete;
    MonitorHold& operator=(const MonitorHold&) = delete;

private:
    Tango::TangoMonitor& monitor_;
};

} // namespace tangoserver
