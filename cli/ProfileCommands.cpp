#include "cli/ProfileCommands.h"

#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "cli/KnownPort.h"
#include "cli/PortReader.h"
#include "port/ApplyPlan.h"
#include "port/CouplingRule.h"
#include "port/PortRules.h"
#include "port/Profile.h"
#include "port/ProfileCheck.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace cli::ProfileCommands {
namespace {

using ApplyPlan::ApplyStep;
using ApplyPlan::SettingChange;

PortSetup readProfileFile(const std::string& fileName) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        usageError("cannot read the profile " + fileName + ": " + file.errorString().toStdString());
    try {
        return Profile::parse(file.readAll().toStdString());
    } catch (const Profile::Refusal& refusal) {
        usageError(fileName + ": " + refusal.what() + "; nothing was sent");
    }
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
        usageError("cannot write " + fileName + ": " + file.errorString().toStdString());
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

struct ApplyOptions {
    bool json = false;
    bool force = false;
    bool reset = false; // --reset given: a dry run plans against the state it would leave
};

// One apply on one instrument: the steps sent in order, and where it stopped if it did.
class ApplyRun {
public:
    ApplyRun(CliInstrument& instrument, const PortSetup& profile, const ApplyOptions& options)
        : instrument_(instrument), profile_(profile), options_(options) {}

    int dryRun(std::ostream& out) {
        auto present = readPortForChange(instrument_, options_.force);
        std::optional<std::vector<SettingChange>> reset;
        if (options_.reset) {
            // The open left --reset unsent: the plan is made against what it would leave.
            const PortSetup after = PortRules::afterReset(present.setup);
            reset = ApplyPlan::findDifferences(after, present.setup);
            present.setup = after;
        }
        refuseBreaches(out, present.setup);
        const auto steps = ApplyPlan::planApply(profile_, present.setup);
        if (options_.json) {
            QJsonArray plan;
            for (const auto& step : steps) {
                QJsonObject entry = changeJson(step.change);
                entry["command"] = QString::fromStdString(step.commandText());
                plan.append(entry);
            }
            QJsonObject report{{"result", steps.empty() ? "unchanged" : "planned"}, {"plan", plan}};
            if (reset)
                report["reset"] = QJsonObject{{"sent", false}, {"changes", changesJson(*reset)}};
            printJson(out, report);
        } else {
            if (reset)
                out << "reset: not sent in a dry run; " << resetLine(*reset)
                    << "; the plan starts from there\n";
            for (const auto& step : steps)
                out << ApplyPlan::changeLine(step.change) << "  [" << step.commandText() << "]\n";
            if (steps.empty())
                out << "unchanged\n";
        }
        return kSuccess;
    }

    int apply(std::ostream& out) {
        const auto present = readPortForChange(instrument_, options_.force);
        refuseBreaches(out, present.setup);
        steps_ = ApplyPlan::planApply(profile_, present.setup);
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
            if (options_.json)
                printJson(out, {{"result", "failed"},
                                {"reason", QString::fromStdString(reasonOf(failure))},
                                {"applied", settingsJson(steps_, 0, sent_)},
                                {"failed", QString::fromStdString(steps_[sent_].change.setting)},
                                {"notReached", settingsJson(steps_, sent_ + 1, steps_.size())}});
            throw CliFailure(failure.status(),
                             std::string(failure.what()) +
                                 "; applied before it: " + settingList(steps_, 0, sent_) +
                                 "; not reached: " + settingList(steps_, sent_ + 1, steps_.size()));
        }
        const auto changed = ApplyPlan::findDifferences(profile_, present.setup);
        const auto remaining =
            steps_.empty() ? changed : ApplyPlan::findDifferences(profile_, readBack(answer).setup);
        return report(out, changed, remaining);
    }

private:
    static std::string resetLine(const std::vector<SettingChange>& changes) {
        if (changes.empty())
            return "a reset would change no setting of the port";
        std::string text = "a reset would set";
        for (std::size_t i = 0; i < changes.size(); ++i)
            text += (i == 0 ? " the " : ", the ") + changes[i].setting + " from " + changes[i].from + " to " +
                    changes[i].to;
        return text;
    }

    std::string reasonOf(const CliFailure& failure) const {
        const std::string prefix = "pinwright-cli: " + instrument_.resource() + ": ";
        const std::string message = failure.what();
        return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
    }

    // Without the lock another client may have taken a coupling function since the port was read.
    bool checksCoupling(const ApplyStep& step) const {
        return !instrument_.holdsLock() && step.kind == ApplyStep::Kind::Function &&
               CouplingRule::isCouplingFunction(step.value);
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
        const TextTable present = functions && askAhead_ ? *functions : readPinFunctions(instrument_);
        if (const auto refusal = PortRules::refusalForPin(step.pin, step.value, present))
            instrument_.fail(kInstrumentError, step.change.setting,
                             *refusal + "; pin " + std::to_string(step.pin) + " was not changed");
    }

    PortReading readBack(const std::optional<std::string>& answer) {
        if (askAhead_) {
            if (auto reading = answer ? portReadingFrom(*answer, false) : std::nullopt)
                return std::move(*reading);
            instrument_.discardErrors();
        }
        return readPort(instrument_, false);
    }

    // The profile against the port as read and the port's rules: refused whole, before anything is sent.
    void refuseBreaches(std::ostream& out, const PortSetup& present) {
        const auto refusals = ProfileCheck::refusals(profile_, present);
        if (refusals.empty())
            return;
        std::string text;
        QJsonArray list;
        for (const auto& refusal : refusals) {
            text += refusal + "; ";
            list.append(QString::fromStdString(refusal));
        }
        if (options_.json)
            printJson(out, {{"result", "refused"}, {"refusals", list}});
        instrument_.fail(kInstrumentError, "apply", text + "nothing was sent");
    }

    int report(std::ostream& out, const std::vector<SettingChange>& changed,
               const std::vector<SettingChange>& remaining) {
        const int status = remaining.empty() ? kSuccess : kInstrumentError;
        if (options_.json) {
            printJson(out, {{"result", !remaining.empty() ? "differs"
                                       : changed.empty()  ? "unchanged"
                                                          : "changed"},
                            {"changes", changesJson(changed)},
                            {"differences", changesJson(remaining)}});
            return status;
        }
        for (const auto& change : changed)
            out << ApplyPlan::changeLine(change) << '\n';
        if (changed.empty())
            out << "unchanged\n";
        for (const auto& difference : remaining)
            out << "still differs: " << difference.setting << ": profile " << difference.to << ", instrument "
                << difference.from << '\n';
        return status;
    }

    CliInstrument& instrument_;
    const PortSetup& profile_;
    ApplyOptions options_;
    std::vector<ApplyStep> steps_;
    std::size_t sent_ = 0;
    bool askAhead_ = false;
};

} // namespace

PreparedCommand prepareSave(const CliArguments& arguments) {
    const std::string fileName = arguments.operands[0];
    return {[fileName](CliInstrument& instrument, std::ostream& out) {
                const auto reading = readPort(instrument, false);
                requireWholePort(instrument, reading.setup, "save", "; not saved");
                writeProfileFile(fileName, Profile::write(reading.setup), out);
                return int(kSuccess);
            },
            nullptr};
}

PreparedCommand prepareApply(const CliArguments& arguments) {
    const PortSetup profile = readProfileFile(arguments.operands[0]);
    const ApplyOptions options{arguments.json, arguments.force, arguments.reset};
    const bool dryRun = arguments.dryRun;
    PreparedCommand prepared{[=](CliInstrument& instrument, std::ostream& out) {
                                 ApplyRun run(instrument, profile, options);
                                 return dryRun ? run.dryRun(out) : run.apply(out);
                             },
                             nullptr, !dryRun};
    prepared.planOnly = dryRun;
    return prepared;
}

PreparedCommand prepareDiff(const CliArguments& arguments) {
    const PortSetup profile = readProfileFile(arguments.operands[0]);
    const bool json = arguments.json;
    return {[=](CliInstrument& instrument, std::ostream& out) {
                const auto present = readPort(instrument, false);
                requireWholePort(instrument, present.setup, "reading the port", "; nothing to compare with");
                const auto differences = ApplyPlan::findDifferences(profile, present.setup);
                if (json)
                    printJson(out, {{"result", differences.empty() ? "same" : "differs"},
                                    {"changes", changesJson(differences)}});
                else
                    for (const auto& difference : differences)
                        out << difference.setting << ": profile " << difference.to << ", instrument "
                            << difference.from << '\n';
                if (!json && differences.empty())
                    out << "no differences\n";
                return differences.empty() ? int(kSuccess) : int(kInstrumentError);
            },
            nullptr};
}

} // namespace cli::ProfileCommands
