#include "cli/ShowFormat.h"

#include "port/PortNames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {
namespace {

constexpr const char* kUnknown = "unknown";

QJsonValue orNull(const std::optional<std::string>& text) {
    return text ? QJsonValue(QString::fromStdString(*text)) : QJsonValue(QJsonValue::Null);
}

QJsonValue orNull(const std::optional<int>& number) {
    return number ? QJsonValue(*number) : QJsonValue(QJsonValue::Null);
}

std::optional<std::string> bitsOf(const std::optional<int>& word) {
    return word ? std::optional(bitsOfWord(*word)) : std::nullopt;
}

// "5 (pin 7654321: 0000101)", or "unknown"
std::string wordText(const std::optional<int>& word) {
    return word ? std::to_string(*word) + " (pin 7654321: " + bitsOfWord(*word) + ")" : kUnknown;
}

} // namespace

std::string showText(const PortReading& reading) {
    std::string text;
    for (std::size_t k = 0; k < reading.setup.pins.size(); ++k) {
        const auto& pin = reading.setup.pins[k];
        text += "pin " + std::to_string(k + 1) + ": " + pin.function.value_or(kUnknown) + ", " +
                (pin.polarity ? PortNames::polarityName(*pin.polarity) : kUnknown) + "\n";
    }
    text += "output: " + wordText(reading.setup.outputWord) + "\n";
    text += "input: " + wordText(reading.inputWord) + "\n";
    text += "inhibit: " +
            (reading.setup.inhibitMode ? PortNames::inhibitModeName(*reading.setup.inhibitMode)
                                       : std::string(kUnknown)) +
            "\n";
    return text;
}

std::string showJson(const std::string& resource, const PortReading& reading) {
    QJsonObject root;
    root["resource"] = QString::fromStdString(resource);
    root["result"] = "read";
    QJsonArray pins;
    for (std::size_t k = 0; k < reading.setup.pins.size(); ++k) {
        const auto& pin = reading.setup.pins[k];
        QJsonObject entry;
        entry["pin"] = static_cast<int>(k + 1);
        entry["function"] = orNull(pin.function);
        entry["polarity"] =
            orNull(pin.polarity ? std::optional(PortNames::polarityName(*pin.polarity)) : std::nullopt);
        pins.append(entry);
    }
    root["pins"] = pins;
    root["outputWord"] = orNull(reading.setup.outputWord);
    root["outputBits"] = orNull(bitsOf(reading.setup.outputWord));
    root["inputWord"] = orNull(reading.inputWord);
    root["inputBits"] = orNull(bitsOf(reading.inputWord));
    root["inhibitMode"] = orNull(reading.setup.inhibitMode
                                     ? std::optional(PortNames::inhibitModeName(*reading.setup.inhibitMode))
                                     : std::nullopt);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace cli
