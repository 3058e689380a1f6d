#include "cli/ProfileCommands.h"

#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "port/ApplyPlan.h"
#include "port/KnownPort.h"
#include "port/PortReader.h"
#include "port/Profile.h"
#include "port/ProfileApply.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace cli::ProfileCommands {
namespace {

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

void printJson(std::ostream& out, const QJsonObject& report) {
    out << QJsonDocument(report).toJson(QJsonDocument::Indented).toStdString();
}

struct ApplyOptions {
    bool json = false;
    ChangeGuard guard;
    bool reset = false; // --reset given: a dry run plans against the state it would leave
};

std::string resetLine(const std::vector<SettingChange>& changes) {
    if (changes.empty())
        return "a reset would change no setting of the port";
    std::string text = "a reset would set";
    for (std::size_t i = 0; i < changes.size(); ++i)
        text += (i == 0 ? " the " : ", the ") + changes[i].setting + " from " + changes[i].from + " to " +
                changes[i].to;
    return text;
}

QJsonArray stringsJson(const std::vector<std::string>& texts) {
    QJsonArray array;
    for (const auto& text : texts)
        array.append(QString::fromStdString(text));
    return array;
}

// A profile refused before anything was sent: its report, then the failure.
[[noreturn]] void reportRefusal(const ProfileRefused& refused, const ApplyOptions& options,
                                std::ostream& out) {
    if (options.json)
        printJson(out, {{"result", "refused"}, {"refusals", stringsJson(refused.refusals())}});
    throw cliFailureOf(refused);
}

int dryRun(CliInstrument& instrument, const PortSetup& profile, const ApplyOptions& options,
           std::ostream& out) {
    ProfileApply::PlanOutcome plan;
    try {
        // The open left --reset unsent: the plan is made against what it would leave.
        plan = ProfileApply::plan(instrument, profile, options.guard, options.reset);
    } catch (const ProfileRefused& refused) {
        reportRefusal(refused, options, out);
    }
    const auto& steps = plan.steps;
    if (options.json) {
        QJsonArray entries;
        for (const auto& step : steps) {
            QJsonObject entry = changeJson(step.change);
            entry["command"] = QString::fromStdString(step.commandText());
            entries.append(entry);
        }
        QJsonObject report{{"result", steps.empty() ? "unchanged" : "planned"}, {"plan", entries}};
        if (plan.reset)
            report["reset"] = QJsonObject{{"sent", false}, {"changes", changesJson(*plan.reset)}};
        printJson(out, report);
    } else {
        if (plan.reset)
            out << "reset: not sent in a dry run; " << resetLine(*plan.reset)
                << "; the plan starts from there\n";
        for (const auto& step : steps)
            out << ApplyPlan::changeLine(step.change) << "  [" << step.commandText() << "]\n";
        if (steps.empty())
            out << "unchanged\n";
    }
    return kSuccess;
}

int apply(CliInstrument& instrument, const PortSetup& profile, const ApplyOptions& options,
          std::ostream& out) {
    ProfileApply::ApplyOutcome outcome;
    try {
        outcome = ProfileApply::apply(instrument, profile, options.guard);
    } catch (const ProfileRefused& refused) {
        reportRefusal(refused, options, out);
    } catch (const ApplyFailure& failure) {
        if (options.json)
            printJson(out, {{"result", "failed"},
                            {"reason", QString::fromStdString(failure.reason())},
                            {"applied", stringsJson(failure.applied())},
                            {"failed", QString::fromStdString(failure.failed())},
                            {"notReached", stringsJson(failure.notReached())}});
        throw cliFailureOf(failure);
    }
    const auto& changed = outcome.changed;
    const auto& remaining = outcome.remaining;
    const int status = remaining.empty() ? kSuccess : kInstrumentError;
    if (options.json) {
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
    const ApplyOptions options{arguments.json, changeGuard(arguments), arguments.reset};
    const bool planOnly = arguments.dryRun;
    PreparedCommand prepared{[=](CliInstrument& instrument, std::ostream& out) {
                                 return planOnly ? dryRun(instrument, profile, options, out)
                                                 : apply(instrument, profile, options, out);
                             },
                             nullptr, !planOnly};
    prepared.planOnly = planOnly;
    return prepared;
}

PreparedCommand prepareDiff(const CliArguments& arguments) {
    const PortSetup profile = readProfileFile(arguments.operands[0]);
    const bool json = arguments.json;
    return {[=](CliInstrument& instrument, std::ostream& out) {
                const auto differences = ProfileApply::diff(instrument, profile);
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
