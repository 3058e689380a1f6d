#include "cli/Profile.h"

#include "cli/ExitStatus.h"
#include "port/CouplingRule.h"
#include "port/PinFunctionTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>
#include <map>

namespace cli::Profile {
namespace {

class Refusal {
public:
    explicit Refusal(std::string fileName) : fileName_(std::move(fileName)) {}
    [[noreturn]] void at(const std::string& where, const std::string& what) const {
        throw CliFailure(kUsageError,
                         "pinwright-cli: " + fileName_ + ": " + where + ": " + what + "; nothing was sent");
    }

private:
    std::string fileName_;
};

int LineOf(const std::string& text, int offset) {
    const auto end = text.begin() + std::clamp<int>(offset, 0, static_cast<int>(text.size()));
    return 1 + static_cast<int>(std::count(text.begin(), end, '\n'));
}

void RequireOnlyKnownFields(const QJsonObject& object, std::initializer_list<const char*> known,
                            const std::string& where, const Refusal& refuse) {
    for (const QString& key : object.keys()) {
        const bool isKnown = std::any_of(known.begin(), known.end(), [&](const char* k) { return key == k; });
        if (!isKnown)
            refuse.at(where + key.toStdString(), "unknown field");
    }
}

std::string Quoted(const QJsonValue& value) {
    if (value.isString())
        return "\"" + value.toString().toStdString() + "\"";
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<int> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != static_cast<double>(static_cast<long long>(number)) || number < -1e9 || number > 1e9)
        return std::nullopt;
    return static_cast<int>(number);
}

void ParsePins(const QJsonValue& value, PortSetup& setup, const Refusal& refuse) {
    if (!value.isArray())
        refuse.at("pins", "must be a list of pins");
    QSet<int> seen;
    std::map<std::string, int> couplingHolder;
    const QJsonArray pins = value.toArray();
    for (qsizetype i = 0; i < pins.size(); ++i) {
        const std::string where = "pins[" + std::to_string(i) + "]";
        if (!pins[i].isObject())
            refuse.at(where, "must be an object with pin, function and polarity");
        const QJsonObject entry = pins[i].toObject();
        RequireOnlyKnownFields(entry, {"pin", "function", "polarity"}, where + ".", refuse);
        const auto pin = WholeNumber(entry.value("pin"));
        if (!pin || *pin < 1 || *pin > 7)
            refuse.at(where + ".pin", "must be a pin number from 1 to 7, not " + Quoted(entry.value("pin")));
        if (seen.contains(*pin))
            refuse.at(where + ".pin", "pin " + std::to_string(*pin) + " is listed twice");
        seen.insert(*pin);
        PinSetup& pinSetup = setup.pins[static_cast<std::size_t>(*pin - 1)];

        if (entry.contains("function")) {
            const std::string name = entry.value("function").toString().toStdString();
            if (!entry.value("function").isString() || PinFunctionTable::MnemonicFor(name).empty())
                refuse.at(where + ".function", "unknown function " + Quoted(entry.value("function")) +
                                                   " (use a name as in the window, e.g. \"Digital IO\")");
            if (CouplingRule::IsCouplingFunction(name)) {
                if (*pin < CouplingRule::kFirstPin)
                    refuse.at(where + ".function", name + " is offered on pins 4 to 7 only");
                if (const auto held = couplingHolder.find(name); held != couplingHolder.end())
                    refuse.at(where + ".function", name + " is also given to pin " +
                                                       std::to_string(held->second) +
                                                       "; only one pin can be set to " + name);
                couplingHolder[name] = *pin;
            }
            pinSetup.function = name;
        }
        if (entry.contains("polarity")) {
            const auto polarity = PolarityFromName(entry.value("polarity").toString().toStdString());
            if (!entry.value("polarity").isString() || !polarity)
                refuse.at(where + ".polarity",
                          "must be \"positive\" or \"negative\", not " + Quoted(entry.value("polarity")));
            pinSetup.polarity = polarity;
        }
    }
}

} // namespace

PortSetup Parse(const std::string& text, const std::string& fileName) {
    const Refusal refuse(fileName);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    if (error.error != QJsonParseError::NoError)
        refuse.at("line " + std::to_string(LineOf(text, error.offset)),
                  "not valid JSON (" + error.errorString().toStdString() + ")");
    if (!document.isObject())
        refuse.at("line 1", "a profile is one JSON object");
    const QJsonObject root = document.object();
    if (root.value("format").toString() != kFormat)
        refuse.at("format", std::string("must be \"") + kFormat + "\", not " + Quoted(root.value("format")));
    if (WholeNumber(root.value("version")) != kVersion)
        refuse.at("version", "unsupported version " + Quoted(root.value("version")) +
                                 " (this program reads version " + std::to_string(kVersion) + ")");
    RequireOnlyKnownFields(root, {"format", "version", "pins", "outputWord", "inhibitMode"}, "", refuse);

    PortSetup setup;
    if (root.contains("pins"))
        ParsePins(root.value("pins"), setup, refuse);
    if (root.contains("outputWord")) {
        const auto word = WholeNumber(root.value("outputWord"));
        if (!word || *word < 0 || *word > 127)
            refuse.at("outputWord",
                      "must be a whole number from 0 to 127, not " + Quoted(root.value("outputWord")));
        setup.outputWord = word;
    }
    if (root.contains("inhibitMode")) {
        const auto mode = InhibitModeFromName(root.value("inhibitMode").toString().toStdString());
        if (!root.value("inhibitMode").isString() || !mode)
            refuse.at("inhibitMode",
                      "must be \"live\", \"latching\" or \"off\", not " + Quoted(root.value("inhibitMode")));
        setup.inhibitMode = mode;
    }
    return setup;
}

std::string Write(const PortSetup& setup) {
    QJsonObject root;
    root["format"] = kFormat;
    root["version"] = kVersion;
    QJsonArray pins;
    for (std::size_t k = 0; k < setup.pins.size(); ++k) {
        QJsonObject pin;
        pin["pin"] = static_cast<int>(k + 1);
        if (setup.pins[k].function)
            pin["function"] = QString::fromStdString(*setup.pins[k].function);
        if (setup.pins[k].polarity)
            pin["polarity"] = QString::fromStdString(PolarityName(*setup.pins[k].polarity));
        pins.append(pin);
    }
    root["pins"] = pins;
    if (setup.outputWord)
        root["outputWord"] = *setup.outputWord;
    if (setup.inhibitMode)
        root["inhibitMode"] = QString::fromStdString(InhibitModeName(*setup.inhibitMode));
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace cli::Profile
