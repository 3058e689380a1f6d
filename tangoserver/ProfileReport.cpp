#include "tangoserver/ProfileReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tangoserver::ProfileReport {
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

std::string text(const QJsonObject& report) {
    return QJsonDocument(report).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace

std::string applied(const std::vector<SettingChange>& changed, const std::vector<SettingChange>& remaining) {
    const char* result = !remaining.empty() ? "differs" : changed.empty() ? "unchanged" : "changed";
    return text({{"result", result}, {"changes", changesJson(changed)}, {"differences", changesJson(remaining)}});
}

std::string differences(const std::vector<SettingChange>& differences) {
    return text({{"result", differences.empty() ? "same" : "differs"}, {"changes", changesJson(differences)}});
}

std::string plan(const std::vector<ApplyPlan::ApplyStep>& steps) {
    QJsonArray plan;
    for (const auto& step : steps) {
        QJsonObject entry = changeJson(step.change);
        entry["command"] = QString::fromStdString(step.commandText());
        plan.append(entry);
    }
    return text({{"result", steps.empty() ? "unchanged" : "planned"}, {"plan", plan}});
}

} // namespace tangoserver::ProfileReport
