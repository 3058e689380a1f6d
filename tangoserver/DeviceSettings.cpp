#include "tangoserver/DeviceSettings.h"

namespace tangoserver {

std::string joinedResource(const std::vector<std::string>& pieces) {
    std::string resource;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        resource += (i == 0 ? "" : ",") + pieces[i];
    return resource;
}

} // namespace tangoserver
