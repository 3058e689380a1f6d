#include "tangoserver/DeviceSettings.h"

#include "base/PrintableText.h"
#include "base/UserError.h"

#include <charconv>
#include <tango.h>

namespace tangoserver {
namespace {

constexpr long kMaxMilliseconds = 3600 * 1000;

std::chrono::milliseconds millisecondsProperty(Tango::DbDatum& datum, std::chrono::milliseconds fallback) {
    if (datum.is_empty())
        return fallback;
    std::string text;
    datum >> text;
    long value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > kMaxMilliseconds)
        throw base::UserError("the property " + datum.name +
                              " must be a whole number of milliseconds from 0 to " +
                              std::to_string(kMaxMilliseconds) + ", not \"" +
                              base::printableText(text, 40, base::Unprintable::HexEscape) + "\"");
    return std::chrono::milliseconds(value);
}

} // namespace

std::string joinedResource(const std::vector<std::string>& pieces) {
    std::string resource;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        resource += (i == 0 ? "" : ",") + pieces[i];
    return resource;
}

DeviceSettings readDeviceSettings(Tango::DeviceImpl& device) {
    DeviceSettings settings;
    if (!Tango::Util::_UseDb)
        return settings;
    Tango::DbData properties{Tango::DbDatum("Resource"), Tango::DbDatum("Timeout"),
                             Tango::DbDatum("LockTimeout"), Tango::DbDatum("InputPollPeriod")};
    try {
        device.get_db_device()->get_property(properties);
    } catch (const Tango::DevFailed& failure) {
        throw base::UserError("the device's properties could not be read: " +
                              std::string(failure.errors[0].desc.in()));
    }
    std::vector<std::string> pieces;
    if (!properties[0].is_empty())
        properties[0] >> pieces;
    settings.resource = joinedResource(pieces);
    settings.timeout = millisecondsProperty(properties[1], settings.timeout);
    settings.lockTimeout = millisecondsProperty(properties[2], settings.lockTimeout);
    settings.inputPollPeriod = millisecondsProperty(properties[3], settings.inputPollPeriod);
    return settings;
}

} // namespace tangoserver
