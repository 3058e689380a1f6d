#include "transport/TransportTimeouts.h"

namespace transport {
namespace {
TransportTimeouts current;
}

const TransportTimeouts& CurrentTimeouts() {
    return current;
}

void SetTimeouts(const TransportTimeouts& timeouts) {
    current = timeouts;
}

void SetTimeoutsForTesting(const TransportTimeouts& timeouts) {
    SetTimeouts(timeouts);
}

} // namespace transport
