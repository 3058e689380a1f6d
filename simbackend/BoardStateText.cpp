#include "simbackend/BoardStateText.h"

#include "sim/PortModel.h"

#include <charconv>
#include <vector>

namespace simbackend {
namespace {

constexpr std::string_view kFormatLine = "pinwright built-in board state 1";
constexpr std::string_view kFunctions = "functions";
constexpr std::string_view kPolarities = "polarities";
constexpr std::string_view kOutputWord = "output-word";
constexpr std::string_view kInhibitMode = "inhibit-mode";
constexpr std::string_view kInputLevels = "input-levels";

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// The enum value whose instrument word this is.
template <typename Enum>
std::optional<Enum> fromWord(std::string_view word, std::span<const std::string_view> keywords) {
    for (std::size_t i = 0; i < keywords.size(); ++i)
        if (word == sim::wordFor(static_cast<Enum>(i)))
            return static_cast<Enum>(i);
    return std::nullopt;
}

std::optional<int> portWord(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < 0 ||
        value > sim::PortModel::kMaxWord)
        return std::nullopt;
    return value;
}

// The words after `key` on a line, when the line starts with it and holds `count` of them.
std::optional<std::vector<std::string_view>> valuesOf(std::string_view line, std::string_view key,
                                                      std::size_t count) {
    auto words = split(line, ' ');
    if (words.size() != count + 1 || words.front() != key)
        return std::nullopt;
    words.erase(words.begin());
    return words;
}

} // namespace

std::string boardStateText(const sim::PortState& state) {
    std::string text(kFormatLine);
    text += "\n" + std::string(kFunctions);
    for (int pin = 1; pin <= sim::PortModel::kPinCount; ++pin)
        text += " " + state.pinFunction[pin];
    text += "\n" + std::string(kPolarities);
    for (int pin = 1; pin <= sim::PortModel::kPinCount; ++pin)
        text += " " + state.pinPolarity[pin];
    text += "\n" + std::string(kOutputWord) + " " + std::to_string(state.outputWord);
    text += "\n" + std::string(kInhibitMode) + " " + state.inhibitMode;
    text += "\n" + std::string(kInputLevels) + " " + std::to_string(state.externalInputLevels) + "\n";
    return text;
}

std::optional<sim::PortState> boardStateFromText(std::string_view text) {
    if (text.size() > kMaxBoardStateBytes || !text.ends_with('\n'))
        return std::nullopt;
    text.remove_suffix(1);
    const auto lines = split(text, '\n');
    constexpr auto kPins = static_cast<std::size_t>(sim::PortModel::kPinCount);
    if (lines.size() != 6 || lines[0] != kFormatLine)
        return std::nullopt;
    const auto functions = valuesOf(lines[1], kFunctions, kPins);
    const auto polarities = valuesOf(lines[2], kPolarities, kPins);
    const auto outputWord = valuesOf(lines[3], kOutputWord, 1);
    const auto inhibitMode = valuesOf(lines[4], kInhibitMode, 1);
    const auto inputLevels = valuesOf(lines[5], kInputLevels, 1);
    if (!functions || !polarities || !outputWord || !inhibitMode || !inputLevels)
        return std::nullopt;
    sim::PortState state;
    for (int pin = 1; pin <= sim::PortModel::kPinCount; ++pin) {
        const auto k = static_cast<std::size_t>(pin - 1);
        const auto function = fromWord<sim::PinFunction>((*functions)[k], sim::pinFunctionKeywords());
        const auto polarity = fromWord<sim::Polarity>((*polarities)[k], sim::polarityKeywords());
        if (!function || !polarity || !sim::PortModel::allows(pin, *function))
            return std::nullopt;
        state.pinFunction[pin] = (*functions)[k];
        state.pinPolarity[pin] = (*polarities)[k];
    }
    const auto word = portWord(outputWord->front());
    const auto levels = portWord(inputLevels->front());
    if (!word || !levels || !fromWord<sim::InhibitMode>(inhibitMode->front(), sim::inhibitModeKeywords()))
        return std::nullopt;
    state.outputWord = *word;
    state.externalInputLevels = *levels;
    state.inhibitMode = inhibitMode->front();
    return state;
}

} // namespace simbackend
