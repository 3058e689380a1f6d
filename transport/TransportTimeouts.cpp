#include "transport/TransportTimeouts.h"

namespace transport {
namespace {
TransportTimeouts current;
}

const TransportTimeouts& CurrentTimeouts() {
    return current;
}

void SetTimeoutsForTesting(const TransportTimeouts& timeouts) {
    current = timeouts;
}

} // namespace transport
