#include "cli/FindCommand.h"

#include "cli/ExitStatus.h"
#include "transport/InstrumentFinder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {
namespace {

std::string instrumentLine(const transport::FoundInstrument& instrument) {
    std::string line = transport::describeIdentity(instrument) + ":";
    for (const auto& resource : instrument.resources)
        line += " " + resource.resource;
    return line + "\n";
}

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

std::string instrumentsJson(const std::vector<transport::FoundInstrument>& instruments) {
    QJsonArray list;
    for (const auto& instrument : instruments) {
        QJsonObject entry;
        entry["identity"] = text(transport::identitySourceName(instrument.source));
        entry["manufacturer"] = text(instrument.manufacturer);
        entry["model"] = text(instrument.model);
        entry["serial"] = text(instrument.serial);
        entry["firmware"] = text(instrument.firmware);
        entry["host"] = text(instrument.host);
        entry["builtIn"] = transport::isBuiltIn(instrument);
        QJsonArray resources;
        for (const auto& resource : instrument.resources) {
            QJsonObject item;
            item["resource"] = text(resource.resource);
            item["transport"] = text(transport::transportName(resource.resource));
            item["method"] = text(resource.method);
            resources.append(item);
        }
        entry["resources"] = resources;
        list.append(entry);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace

int runFindCommand(const FindCommandOptions& options, std::ostream& out, std::ostream& err) {
    transport::InstrumentFinderOptions finding;
    finding.window = options.window;
    finding.identify = options.identify;
    finding.includeBuiltIn = options.includeBuiltIn;
    transport::InstrumentFinderEvents events;
    events.unavailable = [&err](const std::string& finder, const std::string& reason) {
        err << "pinwright-cli: cannot look for instruments by " << finder << ": " << reason << '\n'
            << std::flush;
    };
    if (!options.json)
        events.changed = [&out](std::size_t, const transport::FoundInstrument& instrument) {
            out << instrumentLine(instrument) << std::flush;
        };
    const auto found = transport::InstrumentFinder(finding, events).run();
    if (options.json)
        out << instrumentsJson(found);
    return found.empty() ? kInstrumentError : kSuccess;
}

} // namespace cli
