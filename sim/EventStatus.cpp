#include "sim/EventStatus.h"

namespace sim {

void EventStatus::record(const ScpiError& error) {
    if (error.code <= -100 && error.code > -200) {
        bits_ |= kCommandError;
    } else if (error.code <= -200 && error.code > -300) {
        bits_ |= kExecutionError;
    } else if (error.code <= -300 && error.code > -400) {
        bits_ |= kDeviceError;
    } else if (error.code <= -400 && error.code > -500) {
        bits_ |= kQueryError;
    }
}

int EventStatus::take() {
    const int bits = bits_;
    bits_ = 0;
    return bits;
}

} // namespace sim
