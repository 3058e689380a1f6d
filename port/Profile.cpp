#include "port/Profile.h"

#include "base/PrintableText.h"
#include "port/CouplingRule.h"
#include "port/PortNames.h"
#include "port/PortRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>

namespace Profile {
namespace {

struct Refuse {
    [[noreturn]] void at(const std::string& where, const std::string& what) const {
        throw Refusal(where, what);
    }
};

int lineOf(const std::string& text, int offset) {
    const auto end = text.begin() + std::clamp<int>(offset, 0, static_cast<int>(text.size()));
    return 1 + static_cast<int>(std::count(text.begin(), end, '\n'));
}

void requireOnlyKnownFields(const QJsonObject& object, std::initializer_list<const char*> known,
                            const std::string& where, const Refuse& refuse) {
    for (const QString& key : object.keys()) {
        const bool isKnown = std::any_of(known.begin(), known.end(), [&](const char* k) { return key == k; });
        if (!isKnown)
            refuse.at(where + key.toStdString(), "unknown field");
    }
}

std::string quoted(const QJsonValue& value) {
    if (value.isString())
        return "\"" + base::printableText(value.toString().toStdString(), 80, base::Unprintable::HexEscape) +
               "\"";
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<int> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != static_cast<double>(static_cast<long long>(number)) || number < -1e9 || number > 1e9)
        return std::nullopt;
    return static_cast<int>(number);
}

void parsePins(const QJsonValue& value, PortSetup& setup, const Refuse& refuse) {
    if (!value.isArray())
        refuse.at("pins", "must be a list of pins");
    QSet<int> seen;
    TextTable functions; // as given so far, for the one-pin rule
    functions.resize(kPinCount);
    const QJsonArray pins = value.toArray();
    for (qsizetype i = 0; i < pins.size(); ++i) {
        const std::string where = "pins[" + std::to_string(i) + "]";
        if (!pins[i].isObject())
            refuse.at(where, "must be an object with pin, function and polarity");
        const QJsonObject entry = pins[i].toObject();
        requireOnlyKnownFields(entry, {"pin", "function", "polarity"}, where + ".", refuse);
        const auto pin = wholeNumber(entry.value("pin"));
        if (!pin || *pin < 1 || *pin > kPinCount)
            refuse.at(where + ".pin", "must be a pin number from 1 to " + std::to_string(kPinCount) +
                                          ", not " + quoted(entry.value("pin")));
        if (seen.contains(*pin))
            refuse.at(where + ".pin", "pin " + std::to_string(*pin) + " is listed twice");
        seen.insert(*pin);
        PinSetup& pinSetup = setup.pins[static_cast<std::size_t>(*pin - 1)];

        if (entry.contains("function")) {
            const auto name = PortNames::functionFromName(entry.value("function").toString().toStdString());
            if (!entry.value("function").isString() || !name)
                refuse.at(where + ".function", "unknown function " + quoted(entry.value("function")) +
                                                   " (use one of " + PortNames::functionChoices() + ")");
            if (!PortRules::offers(static_cast<std::int16_t>(*pin), *name))
                refuse.at(where + ".function",
                          PortRules::notOfferedMessage(static_cast<std::int16_t>(*pin), *name));
            if (CouplingRule::isCouplingFunction(*name)) {
                const auto holders =
                    CouplingRule::pinsHolding(*name, static_cast<std::int16_t>(*pin), functions);
                if (!holders.empty())
                    refuse.at(where + ".function", *name + " is also given to pin " +
                                                       std::to_string(holders.front()) +
                                                       "; only one pin can be set to " + *name);
            }
            pinSetup.function = *name;
            functions[static_cast<std::size_t>(*pin)] = *name;
        }
        if (entry.contains("polarity")) {
            const auto polarity =
                PortNames::polarityFromName(entry.value("polarity").toString().toStdString());
            if (!entry.value("polarity").isString() || !polarity)
                refuse.at(where + ".polarity", "must be " + PortNames::polarityChoices() + ", not " +
                                                   quoted(entry.value("polarity")));
            pinSetup.polarity = polarity;
        }
    }
}

} // namespace

PortSetup parse(const std::string& text) {
    const Refuse refuse;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    if (error.error != QJsonParseError::NoError)
        refuse.at("line " + std::to_string(lineOf(text, error.offset)),
                  "not valid JSON (" + error.errorString().toStdString() + ")");
    if (!document.isObject())
        refuse.at("line 1", "a profile is one JSON object");
    const QJsonObject root = document.object();
    if (root.value("format").toString() != kFormat)
        refuse.at("format", std::string("must be \"") + kFormat + "\", not " + quoted(root.value("format")));
    if (wholeNumber(root.value("version")) != kVersion)
        refuse.at("version", "unsupported version " + quoted(root.value("version")) +
                                 " (this program reads version " + std::to_string(kVersion) + ")");
    requireOnlyKnownFields(root, {"format", "version", "pins", "outputWord", "inhibitMode"}, "", refuse);

    PortSetup setup;
    if (root.contains("pins"))
        parsePins(root.value("pins"), setup, refuse);
    if (root.contains("outputWord")) {
        const auto word = wholeNumber(root.value("outputWord"));
        if (!word || !PortRules::isOutputWord(*word))
            refuse.at("outputWord", "must be a whole number from 0 to " +
                                        std::to_string(PortRules::kMaxOutputWord) + ", not " +
                                        quoted(root.value("outputWord")));
        setup.outputWord = word;
    }
    if (root.contains("inhibitMode")) {
        const auto mode = PortNames::inhibitModeFromName(root.value("inhibitMode").toString().toStdString());
        if (!root.value("inhibitMode").isString() || !mode)
            refuse.at("inhibitMode", "must be " + PortNames::inhibitModeChoices() + ", not " +
                                         quoted(root.value("inhibitMode")));
        setup.inhibitMode = mode;
    }
    return setup;
}

std::string write(const PortSetup& setup) {
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
            pin["polarity"] = QString::fromStdString(PortNames::polarityName(*setup.pins[k].polarity));
        pins.append(pin);
    }
    root["pins"] = pins;
    if (setup.outputWord)
        root["outputWord"] = *setup.outputWord;
    if (setup.inhibitMode)
        root["inhibitMode"] = QString::fromStdString(PortNames::inhibitModeName(*setup.inhibitMode));
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace Profile
