#include "port/ProfileReport.h"

#include "port/PortFailure.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ProfileReport {
namespace {

using ApplyPlan::SettingChange;

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

QJsonArray stringsJson(const std::vector<std::string>& texts) {
    QJsonArray array;
    for (const auto& text : texts)
        array.append(QString::fromStdString(text));
    return array;
}

std::string text(const QJsonObject& report) {
    return QJsonDocument(report).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace

std::string applied(const std::vector<SettingChange>& changed, const std::vector<SettingChange>& remaining) {
    const char* result = !remaining.empty() ? "differs" : changed.empty() ? "unchanged" : "changed";
    return text(
        {{"result", result}, {"changes", changesJson(changed)}, {"differences", changesJson(remaining)}});
}

std::string differences(const std::vector<SettingChange>& differences) {
    return text(
        {{"result", differences.empty() ? "same" : "differs"}, {"changes", changesJson(differences)}});
}

std::string plan(const ProfileApply::PlanOutcome& plan) {
    QJsonArray entries;
    for (const auto& step : plan.steps) {
        QJsonObject entry = changeJson(step.change);
        entry["command"] = QString::fromStdString(step.commandText());
        entries.append(entry);
    }
    QJsonObject report{{"result", plan.steps.empty() ? "unchanged" : "planned"}, {"plan", entries}};
    if (plan.reset)
        report["reset"] = QJsonObject{{"sent", false}, {"changes", changesJson(*plan.reset)}};
    return text(report);
}

std::string refused(const ProfileRefused& refused) {
    return text({{"result", "refused"}, {"refusals", stringsJson(refused.refusals())}});
}

std::string failed(const ApplyFailure& failure) {
    return text({{"result", "failed"},
                 {"reason", QString::fromStdString(failure.reason())},
                 {"applied", stringsJson(failure.applied())},
                 {"failed", QString::fromStdString(failure.failed())},
                 {"notReached", stringsJson(failure.notReached())}});
}

} // namespace ProfileReport
