#pragma once

// A profile on one instrument: planned against the port as read, refused whole when the port's rules
// would refuse any of it, else sent step by step. Shared by every front end; none of this prints.

#include "port/ApplyPlan.h"
#include "port/PortSetup.h"

#include <optional>
#include <vector>

class PortSession;
struct ChangeGuard;

namespace ProfileApply {

struct ApplyOutcome {
    std::vector<ApplyPlan::SettingChange> changed;   // what the apply changed, from the port as read
    std::vector<ApplyPlan::SettingChange> remaining; // what still differs when read back: none when it took
};

struct PlanOutcome {
    std::vector<ApplyPlan::ApplyStep> steps;
    // With a reset first: what the reset would change; the steps start from there.
    std::optional<std::vector<ApplyPlan::SettingChange>> reset;
};

// Reads the port (readPortForChange), checks the profile (ProfileRefused, nothing sent), sends the
// planned steps and reads the port back. Without the instrument's lock, a step that gives a pin a
// coupling function is checked against the pins as they are just before it. A step that fails is
// ApplyFailure, naming what was applied before it and what was not reached.
ApplyOutcome apply(PortSession& session, const PortSetup& profile, const ChangeGuard& guard);
// What apply would send; nothing that changes the instrument is sent, a reset included.
PlanOutcome plan(PortSession& session, const PortSetup& profile, const ChangeGuard& guard, bool resetFirst);
// Where the instrument differs from the profile; its port must read back whole.
std::vector<ApplyPlan::SettingChange> diff(PortSession& session, const PortSetup& profile);

} // namespace ProfileApply
