#include "cli/ShowFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {
namespace {

constexpr const char* kUnknown = "unknown";

QJsonValue orNull(const std::optional<std::string>& text) {
    return text ? QJsonValue(QString::fromStdString(*text)) : QJsonValue(QJsonValue::Null);
}

} // namespace

std::string showText(const PortReading& reading) {
    std::string text;
    for (std::size_t k = 0; k < reading.setup.pins.size(); ++k) {
        const auto& pin = reading.setup.pins[k];
        text += "pin " + std::to_string(k + 1) + ": " + pin.function.value_or(kUnknown) + ", " +
                (pin.polarity ? polarityName(*pin.polarity) : kUnknown) + "\n";
    }
    text += "output: " + std::to_string(wordFromBits(reading.outputBits)) +
            " (pin 7654321: " + reading.outputBits + ")\n";
    text += "input: " + std::to_string(wordFromBits(reading.inputBits)) +
            " (pin 7654321: " + reading.inputBits + ")\n";
    text +=
        "inhibit: " +
        (reading.setup.inhibitMode ? inhibitModeName(*reading.setup.inhibitMode) : std::string(kUnknown)) +
        "\n";
    return text;
}

std::string showJson(const std::string& resource, const PortReading& reading) {
    QJsonObject root;
    root["resource"] = QString::fromStdString(resource);
    QJsonArray pins;
    for (std::size_t k = 0; k < reading.setup.pins.size(); ++k) {
        const auto& pin = reading.setup.pins[k];
        QJsonObject entry;
        entry["pin"] = static_cast<int>(k + 1);
        entry["function"] = orNull(pin.function);
        entry["polarity"] = orNull(pin.polarity ? std::optional(polarityName(*pin.polarity)) : std::nullopt);
        pins.append(entry);
    }
    root["pins"] = pins;
    root["outputWord"] = wordFromBits(reading.outputBits);
    root["outputBits"] = QString::fromStdString(reading.outputBits);
    root["inputWord"] = wordFromBits(reading.inputBits);
    root["inputBits"] = QString::fromStdString(reading.inputBits);
    root["inhibitMode"] =
        orNull(reading.setup.inhibitMode ? std::optional(inhibitModeName(*reading.setup.inhibitMode))
                                         : std::nullopt);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace cli
