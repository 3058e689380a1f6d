#include "cli/ProfileCommands.h"

#include "cli/ApplyPlan.h"
#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "cli/PortCommands.h"
#include "cli/PortSetup.h"
#include "cli/Profile.h"
#include "port/CouplingRule.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace cli::ProfileCommands {
namespace {

PortSetup readProfileFile(const std::string& fileName) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        throw CliFailure(kUsageError, "pinwright-cli: cannot read the profile " + fileName + ": " +
                                          file.errorString().toStdString());
    return Profile::parse(file.readAll().toStdString(), fileName);
}

void writeProfileFile(const std::string& fileName, const std::string& text, std::ostream& out) {
    if (fileName == "-") {
        out << text;
        return;
    }
    // Written beside the target and renamed over it, so a failure never leaves half a profile.
    QSaveFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) < 0 ||
        !file.commit())
        throw CliFailure(kInstrumentError,
                         "pinwright-cli: cannot write " + fileName + ": " + file.errorString().toStdString());
}

QJsonObject changeJson(const SettingChange& change) {
    return {{"setting", QString::fromStdString(change.setting)},
            {"old", QString::fromStdString(change.from)},
            {"new", QString::fromStdString(change.to)}};
}

QJsonArray changesJson(const std::vector<SettingChange>& changes) {
    QJsonArray array;
    for (const auto& change : changes)
        array.append(changeJson(change));
    return array;
}

QJsonArray settingsJson(const std::vector<ApplyStep>& steps, std::size_t from, std::size_t to) {
    QJsonArray array;
    for (std::size_t i = from; i < to && i < steps.size(); ++i)
        array.append(QString::fromStdString(steps[i].change.setting));
    return array;
}

std::string settingList(const std::vector<ApplyStep>& steps, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to && i < steps.size(); ++i)
        text += (text.empty() ? "" : ", ") + steps[i].change.setting;
    return text.empty() ? "none" : text;
}

void printJson(std::ostream& out, const QJsonObject& report) {
    out << QJsonDocument(report).toJson(QJsonDocument::Indented).toStdString();
}

// One apply on one instrument: the steps sent in order, and where it stopped if it did.
class ApplyRun {
public:
    ApplyRun(CliInstrument& instrument, const PortSetup& profile, bool json)
        : instrument_(instrument), profile_(profile), json_(json) {}

    int dryRun(std::ostream& out) {
        const auto present = readPort(instrument_, false);
        refuseClashes(present.setup);
        const auto steps = planApply(profile_, present.setup);
        if (json_) {
            QJsonArray plan;
            for (const auto& step : steps) {
                QJsonObject entry = changeJson(step.change);
                entry["command"] = QString::fromStdString(step.commandText());
                plan.append(entry);
            }
            printJson(out, {{"result", steps.empty() ? "unchanged" : "planned"}, {"plan", plan}});
        } else {
            for (const auto& step : steps)
                out << changeLine(step.change) << "  [" << step.commandText() << "]\n";
            if (steps.empty())
                out << "unchanged\n";
        }
        return kSuccess;
    }

    int apply(std::ostream& out) {
        const auto present = readPort(instrument_, false);
        refuseClashes(present.setup);
        steps_ = planApply(profile_, present.setup);
        // An instrument that takes the port's queries joined is asked what the next step needs (its
        // coupling check, or the read-back after the last step) behind each step's error query, in the
        // step's own exchange; the first step is checked against the port just read.
        askAhead_ = present.joined;
        std::optional<std::string> answer;
        try {
            for (; sent_ < steps_.size(); ++sent_) {
                const auto& step = steps_[sent_];
                if (checksCoupling(step))
                    checkCoupling(step, sent_ == 0 ? std::optional(pinFunctions(present.setup))
                                                   : functionsFrom(answer));
                answer = instrument_.command(step.change.setting, step.commandText(), askedAhead());
            }
        } catch (const CliFailure& failure) {
            if (json_)
                printJson(out, {{"result", "failed"},
                                {"applied", settingsJson(steps_, 0, sent_)},
                                {"failed", QString::fromStdString(steps_[sent_].change.setting)},
                                {"notReached", settingsJson(steps_, sent_ + 1, steps_.size())}});
            throw CliFailure(failure.status(),
                             std::string(failure.what()) +
                                 "; applied before it: " + settingList(steps_, 0, sent_) +
                                 "; not reached: " + settingList(steps_, sent_ + 1, steps_.size()));
        }
        const auto changed = findDifferences(profile_, present.setup);
        const auto remaining = steps_.empty() ? changed : findDifferences(profile_, readBack(answer).setup);
        return report(out, changed, remaining);
    }

private:
    // Without the lock another client may have taken a coupling function since the port was read.
    bool checksCoupling(const ApplyStep& step) const {
        return !instrument_.holdsLock() && step.kind == ApplyStep::Kind::Function &&
               PortCommands::needsCouplingCheck(step.pin, step.value);
    }

    // What the exchange of the step being sent asks behind its error query.
    std::string askedAhead() const {
        if (!askAhead_)
            return {};
        if (sent_ + 1 == steps_.size())
            return portQueryText(false);
        return checksCoupling(steps_[sent_ + 1]) ? pinsQueryText() : std::string();
    }

    // The pins' functions the previous exchange brought; nothing when nothing usable came, in which
    // case the instrument's error queue holds whatever it made of the queries, and is emptied.
    std::optional<TextTable> functionsFrom(const std::optional<std::string>& answer) {
        if (!askAhead_)
            return std::nullopt;
        if (auto functions = answer ? pinFunctionsFrom(*answer) : std::nullopt)
            return functions;
        instrument_.discardErrors();
        return std::nullopt;
    }

    void checkCoupling(const ApplyStep& step, const std::optional<TextTable>& functions) {
        if (functions && askAhead_)
            PortCommands::requireCouplingFree(instrument_, step.pin, step.value, *functions);
        else
            PortCommands::requireCouplingFree(instrument_, step.pin, step.value);
    }

    PortReading readBack(const std::optional<std::string>& answer) {
        if (askAhead_) {
            if (auto reading = answer ? portReadingFrom(instrument_, *answer, false) : std::nullopt)
                return std::move(*reading);
            instrument_.discardErrors();
        }
        return readPort(instrument_, false);
    }

    void refuseClashes(const PortSetup& present) {
        std::string clashes;
        for (const auto& clash : findCouplingClashes(profile_, present))
            clashes += clash + " ";
        if (!clashes.empty())
            instrument_.fail(kInstrumentError, "apply", clashes + "Nothing was sent.");
    }

    int report(std::ostream& out, const std::vector<SettingChange>& changed,
               const std::vector<SettingChange>& remaining) {
        const int status = remaining.empty() ? kSuccess : kInstrumentError;
        if (json_) {
            printJson(out, {{"result", !remaining.empty() ? "differs"
                                       : changed.empty()  ? "unchanged"
                                                          : "changed"},
                            {"changes", changesJson(changed)},
                            {"differences", changesJson(remaining)}});
            return status;
        }
        for (const auto& change : changed)
            out << changeLine(change) << '\n';
        if (changed.empty())
            out << "unchanged\n";
        for (const auto& difference : remaining)
            out << "still differs: " << difference.setting << ": profile " << difference.to << ", instrument "
                << difference.from << '\n';
        return status;
    }

    CliInstrument& instrument_;
    const PortSetup& profile_;
    bool json_;
    std::vector<ApplyStep> steps_;
    std::size_t sent_ = 0;
    bool askAhead_ = false;
};

} // namespace

PreparedCommand prepareSave(const CliArguments& arguments) {
    const std::string fileName = arguments.operands[0];
    return {[fileName](CliInstrument& instrument, std::ostream& out) {
                const auto reading = readPort(instrument, false);
                std::string missing;
                for (std::size_t k = 0; k < reading.setup.pins.size(); ++k) {
                    if (!reading.setup.pins[k].function)
                        missing += " pin " + std::to_string(k + 1) + " function;";
                    if (!reading.setup.pins[k].polarity)
                        missing += " pin " + std::to_string(k + 1) + " polarity;";
                }
                if (!reading.setup.inhibitMode)
                    missing += " inhibit mode;";
                if (!missing.empty())
                    instrument.fail(kInstrumentError, "save",
                                    "not saved: the instrument's reply is not a known value for" +
                                        missing.substr(0, missing.size() - 1));
                writeProfileFile(fileName, Profile::write(reading.setup), out);
                return int(kSuccess);
            },
            nullptr};
}

PreparedCommand prepareApply(const CliArguments& arguments) {
    const PortSetup profile = readProfileFile(arguments.operands[0]);
    const bool json = arguments.json;
    const bool dryRun = arguments.dryRun;
    return {[=](CliInstrument& instrument, std::ostream& out) {
                ApplyRun run(instrument, profile, json);
                return dryRun ? run.dryRun(out) : run.apply(out);
            },
            nullptr, !dryRun};
}

PreparedCommand prepareDiff(const CliArguments& arguments) {
    const PortSetup profile = readProfileFile(arguments.operands[0]);
    const bool json = arguments.json;
    return {[=](CliInstrument& instrument, std::ostream& out) {
                const auto differences = findDifferences(profile, readPort(instrument, false).setup);
                if (json)
                    printJson(out, {{"result", differences.empty() ? "same" : "differs"},
                                    {"changes", changesJson(differences)}});
                else
                    for (const auto& difference : differences)
                        out << difference.setting << ": profile " << difference.to << ", instrument "
                            << difference.from << '\n';
                return differences.empty() ? int(kSuccess) : int(kInstrumentError);
            },
            nullptr};
}

} // namespace cli::ProfileCommands
