#include "cli/ShowFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {
namespace {

constexpr const char* kUnknown = "unknown";

QJsonValue OrNull(const std::optional<std::string>& text) {
    return text ? QJsonValue(QString::fromStdString(*text)) : QJsonValue(QJsonValue::Null);
}

} // namespace

std::string ShowText(const PortReading& reading) {
    std::string text;
    for (std::size_t k = 0; k < reading.setup.pins.size(); ++k) {
        const auto& pin = reading.setup.pins[k];
        text += "pin " + std::to_string(k + 1) + ": " + pin.function.value_or(kUnknown) + ", " +
                (pin.polarity ? PolarityName(*pin.polarity) : kUnknown) + "\n";
    }
    text += "output: " + std::to_string(WordFromBits(reading.outputBits)) +
            " (pin 7654321: " + reading.outputBits + ")\n";
    text += "input: " + std::to_string(WordFromBits(reading.inputBits)) +
            " (pin 7654321: " + reading.inputBits + ")\n";
    text +=
        "inhibit: " +
        (reading.setup.inhibitMode ? InhibitModeName(*reading.setup.inhibitMode) : std::string(kUnknown)) +
        "\n";
    return text;
}

std::string ShowJson(const std::string& resource, const PortReading& reading) {
    QJsonObject root;
    root["resource"] = QString::fromStdString(resource);
    QJsonArray pins;
    for (std::size_t k = 0; k < reading.setup.pins.size(); ++k) {
        const auto& pin = reading.setup.pins[k];
        QJsonObject entry;
        entry["pin"] = static_cast<int>(k + 1);
        entry["function"] = OrNull(pin.function);
        entry["polarity"] = OrNull(pin.polarity ? std::optional(PolarityName(*pin.polarity)) : std::nullopt);
        pins.append(entry);
    }
    root["pins"] = pins;
    root["outputWord"] = WordFromBits(reading.outputBits);
    root["outputBits"] = QString::fromStdString(reading.outputBits);
    root["inputWord"] = WordFromBits(reading.inputBits);
    root["inputBits"] = QString::fromStdString(reading.inputBits);
    root["inhibitMode"] =
        OrNull(reading.setup.inhibitMode ? std::optional(InhibitModeName(*reading.setup.inhibitMode))
                                         : std::nullopt);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace cli
