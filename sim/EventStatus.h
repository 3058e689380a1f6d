#pragma once

#include "sim/ScpiError.h"

namespace sim {

// The IEEE 488.2 standard event status register: which classes of event happened since it was last
// read. Errors set the bit of their class, so a caller polling *ESR? learns that something failed.
class EventStatus {
public:
    static constexpr int kOperationComplete = 1 << 0;
    static constexpr int kQueryError = 1 << 2;
    static constexpr int kDeviceError = 1 << 3;
    static constexpr int kExecutionError = 1 << 4;
    static constexpr int kCommandError = 1 << 5;

    void record(const ScpiError& error);
    void setOperationComplete() { bits_ |= kOperationComplete; }
    // *ESR? reads the register and clears it.
    int take();
    void clear() { bits_ = 0; }

private:
    int bits_ = 0;
};

} // namespace sim
