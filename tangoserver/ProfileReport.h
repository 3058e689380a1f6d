#pragma once

#include "port/ApplyPlan.h"

#include <string>
#include <vector>

// The reports of Apply, Diff and Plan as JSON text, in the shapes pinwright-cli --json prints, so that a
// script reads both the same way.
namespace tangoserver::ProfileReport {

// {"result": "changed" | "unchanged" | "differs", "changes": [...], "differences": [...]}
std::string applied(const std::vector<ApplyPlan::SettingChange>& changed,
                    const std::vector<ApplyPlan::SettingChange>& remaining);
// {"result": "same" | "differs", "changes": [...]}
std::string differences(const std::vector<ApplyPlan::SettingChange>& differences);
// {"result": "unchanged" | "planned", "plan": [{"setting", "old", "new", "command"}, ...]}
std::string plan(const std::vector<ApplyPlan::ApplyStep>& steps);

} // namespace tangoserver::ProfileReport
