#pragma once

// The mainframes whose digital port this command set knows: made by Korvane, of a model listed here.
// Anything else that answers *IDN? may take the same queries and mean something else by them.

#include <optional>
#include <string>

namespace KnownMainframes {

// Why the identity reply is not one of a known mainframe ("the identity \"Acme,DMM-1,...\" is not a
// Korvane mainframe with a known port (MF-7)"), or nothing when it is. The reply is shown escaped.
std::optional<std::string> whyUnknown(const std::string& identityReply);

} // namespace KnownMainframes
