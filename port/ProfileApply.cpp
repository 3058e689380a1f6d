#include "port/ProfileApply.h"

#include "port/CouplingRule.h"
#include "port/KnownPort.h"
#include "port/PortReader.h"
#include "port/PortRules.h"
#include "port/PortSession.h"
#include "port/PortWrites.h"
#include "port/ProfileCheck.h"

namespace ProfileApply {
namespace {

using ApplyPlan::ApplyStep;

void refuseBreaches(const PortSession& session, const PortSetup& profile, const PortSetup& present) {
    if (auto refusals = ProfileCheck::refusals(profile, present); !refusals.empty())
        throw ProfileRefused(session.resource(), std::move(refusals));
}

std::vector<std::string> settings(const std::vector<ApplyStep>& steps, std::size_t from, std::size_t to) {
    std::vector<std::string> names;
    for (std::size_t i = from; i < to && i < steps.size(); ++i)
        names.push_back(steps[i].change.setting);
    return names;
}

// The steps sent in order. An instrument that takes the port's queries joined is asked what the next
// step needs (its coupling check, or the read-back after the last step) behind each step's error query,
// in the step's own exchange; the first step is checked against the port just read.
class StepRun {
public:
    StepRun(PortSession& session, const PortReading& present, std::vector<ApplyStep> steps)
        : session_(session), present_(present), steps_(std::move(steps)), askAhead_(present.joined) {}

    PortReading run() {
        std::optional<std::string> answer;
        try {
            for (; sent_ < steps_.size(); ++sent_) {
                const auto& step = steps_[sent_];
                if (checksCoupling(step))
                    checkCoupling(step, sent_ == 0 ? std::optional(pinFunctions(present_.setup))
                                                   : functionsFrom(answer));
                answer = session_.command(step.change.setting, step.commandText(), askedAhead());
            }
        } catch (const PortFailure& failure) {
            throw ApplyFailure(failure, settings(steps_, 0, sent_), steps_[sent_].change.setting,
                               settings(steps_, sent_ + 1, steps_.size()));
        }
        return readBack(answer);
    }

private:
    // Without the lock another client may have taken a coupling function since the port was read.
    bool checksCoupling(const ApplyStep& step) const {
        return !session_.holdsLock() && step.kind == ApplyStep::Kind::Function &&
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
        session_.discardErrors();
        return std::nullopt;
    }

    void checkCoupling(const ApplyStep& step, const std::optional<TextTable>& functions) {
        const TextTable present = functions && askAhead_ ? *functions : readPinFunctions(session_);
        if (const auto refusal = PortRules::refusalForPin(step.pin, step.value, present))
            session_.fail(PortFailure::Cause::Refused, step.change.setting,
                          *refusal + "; pin " + std::to_string(step.pin) + " was not changed");
    }

    PortReading readBack(const std::optional<std::string>& answer) {
        if (askAhead_) {
            if (auto reading = answer ? portReadingFrom(*answer, false) : std::nullopt)
                return std::move(*reading);
            session_.discardErrors();
        }
        return readPort(session_, false);
    }

    PortSession& session_;
    const PortReading& present_;
    std::vector<ApplyStep> steps_;
    std::size_t sent_ = 0;
    bool askAhead_ = false;
};

} // namespace

ApplyOutcome apply(PortSession& session, const PortSetup& profile, const ChangeGuard& guard) {
    const auto present = readPortForChange(session, guard.force, guard.nothingSent);
    refuseBreaches(session, profile, present.setup);
    auto steps = ApplyPlan::planApply(profile, present.setup);
    ApplyOutcome outcome;
    outcome.changed = ApplyPlan::findDifferences(profile, present.setup);
    if (steps.empty()) {
        outcome.remaining = outcome.changed;
        return outcome;
    }
    const auto after = StepRun(session, present, std::move(steps)).run();
    outcome.remaining = ApplyPlan::findDifferences(profile, after.setup);
    return outcome;
}

PlanOutcome plan(PortSession& session, const PortSetup& profile, const ChangeGuard& guard, bool resetFirst) {
    auto present = readPortForChange(session, guard.force, guard.nothingSent);
    PlanOutcome outcome;
    if (resetFirst) {
        const PortSetup after = PortRules::afterReset(present.setup);
        outcome.reset = ApplyPlan::findDifferences(after, present.setup);
        present.setup = after;
    }
    refuseBreaches(session, profile, present.setup);
    outcome.steps = ApplyPlan::planApply(profile, present.setup);
    return outcome;
}

std::vector<ApplyPlan::SettingChange> diff(PortSession& session, const PortSetup& profile) {
    const auto present = readPort(session, false);
    requireWholePort(session, present.setup, "reading the port", "; nothing to compare with");
    return ApplyPlan::findDifferences(profile, present.setup);
}

} // namespace ProfileApply
