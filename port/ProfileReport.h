#pragma once

#include "port/ApplyPlan.h"
#include "port/ProfileApply.h"

#include <string>
#include <vector>

class ApplyFailure;
class ProfileRefused;

// The reports of apply, diff and a dry run as JSON text (indented, one object, ending in a newline): what
// pinwright-cli --json prints and the Tango server's Apply, Diff and Plan return, so that a script reads
// both the same way.
namespace ProfileReport {

// {"result": "changed" | "unchanged" | "differs", "changes": [...], "differences": [...]}
std::string applied(const std::vector<ApplyPlan::SettingChange>& changed,
                    const std::vector<ApplyPlan::SettingChange>& remaining);
// {"result": "same" | "differs", "changes": [...]}
std::string differences(const std::vector<ApplyPlan::SettingChange>& differences);
// {"result": "unchanged" | "planned", "plan": [{"setting", "old", "new", "command"}, ...]}, and with a
// reset first "reset": {"sent": false, "changes": [...]}
std::string plan(const ProfileApply::PlanOutcome& plan);
// {"result": "refused", "refusals": [...]}
std::string refused(const ProfileRefused& refused);
// {"result": "failed", "reason", "applied", "failed", "notReached"}
std::string failed(const ApplyFailure& failure);

} // namespace ProfileReport
