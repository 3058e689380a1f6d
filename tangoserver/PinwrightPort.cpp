#include "tangoserver/PinwrightPort.h"

#include "base/PrintableText.h"
#include "port/PortReader.h"
#include "port/PortRules.h"
#include "port/PortWrites.h"
#include "port/Profile.h"
#include "port/ProfileApply.h"
#include "port/ProfileReport.h"
#include "tangoserver/InputPoller.h"
#include "tangoserver/MonitorHold.h"
#include "tangoserver/PortLabels.h"
#include "tangoserver/TangoFailure.h"

namespace tangoserver {
namespace {

using Kind = PortAttribute::Kind;

constexpr std::size_t kShownIdentityChars = 1000;

std::string settingName(const PortAttribute& attribute) {
    const std::string pin = "pin " + std::to_string(attribute.pin);
    switch (attribute.kind) {
    case Kind::PinFunction:
        return pin + " function";
    case Kind::PinPolarity:
        return pin + " polarity";
    case Kind::OutputWord:
        return "output word";
    case Kind::InhibitMode:
        return "inhibit mode";
    case Kind::InputWord:
        return "input word";
    case Kind::Identity:
        break;
    }
    return "identity";
}

std::string choices(const std::vector<std::string>& labels) {
    std::string text;
    for (std::size_t i = 0; i < labels.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(i) + " " + labels[i];
    return text;
}

} // namespace

PinwrightPort::PinwrightPort(Tango::DeviceClass* deviceClass, std::string& name)
    : TANGO_BASE_CLASS(deviceClass, name.c_str()) {
    init_device();
}

PinwrightPort::~PinwrightPort() {
    delete_device();
}

void PinwrightPort::init_device() {
    try {
        settings_ = readDeviceSettings(*this);
    } catch (const base::UserError& error) {
        settings_ = DeviceSettings{};
        noteFault(kInvalidProperty, error.what() + std::string("; set it and run Init"));
        return;
    }
    open();
    if (settings_.inputPollPeriod.count() > 0)
        poller_ = std::make_unique<InputPoller>(settings_.inputPollPeriod, [this] { pollInput(); });
}

void PinwrightPort::delete_device() {
    poller_.reset();
    std::lock_guard lock(mutex_);
    session_.reset();
    reading_.reset();
    polledWord_.reset();
}

void PinwrightPort::open() {
    std::lock_guard lock(mutex_);
    session_.reset();
    if (settings_.resource.empty()) {
        noteFault(
            reasonFor(PortFailure::Cause::InvalidResource),
            "the device has no Resource property: set it to the mainframe's VISA resource and run Init");
        return;
    }
    SessionOptions options;
    options.timeouts.open = settings_.timeout;
    options.timeouts.io = settings_.timeout;
    try {
        session_ = std::make_unique<PortSession>(settings_.resource, options);
        // The instrument's own text: bounded and on one line, as every front end shows it.
        identity_ =
            base::printableText(session_->identity(), kShownIdentityChars, base::Unprintable::HexEscape);
        std::lock_guard state(stateMutex_);
        fault_.reset();
        statusText_ = settings_.resource + ": the instrument answers";
    } catch (const PortFailure& failure) {
        session_.reset();
        noteFault(reasonFor(failure.cause()), failure.what());
    } catch (const std::exception& error) {
        session_.reset();
        noteFault(kFailed, settings_.resource + ": " + error.what());
    }
}

void PinwrightPort::noteFault(const std::string& reason, const std::string& description) {
    std::lock_guard state(stateMutex_);
    fault_ = Fault{reason, description};
    statusText_ = description;
}

void PinwrightPort::throwFault(const std::string& origin) {
    std::unique_lock state(stateMutex_);
    const Fault fault = fault_ ? *fault_ : Fault{kFailed, settings_.resource + ": no session"};
    state.unlock();
    throwTangoFailure(fault.reason, fault.description + " (run Init to open it again)", origin);
}

Tango::DevState PinwrightPort::dev_state() {
    std::lock_guard state(stateMutex_);
    set_state(fault_ ? Tango::FAULT : Tango::ON);
    return get_state();
}

Tango::ConstDevString PinwrightPort::dev_status() {
    std::lock_guard state(stateMutex_);
    set_status(statusText_);
    return get_status().c_str();
}

template <typename Action> auto PinwrightPort::withSession(const std::string& origin, Action&& action) {
    std::lock_guard lock(mutex_);
    if (!session_)
        throwFault(origin);
    try {
        return action(*session_);
    } catch (const PortFailure& failure) {
        endSessionIfLost(failure);
        throwTangoFailure(failure, origin);
    } catch (const std::exception& error) {
        // Nothing below should throw anything else; if it does, the client hears it and the server goes on.
        throwTangoFailure(kFailed, settings_.resource + ": " + error.what(), origin);
    }
}

void PinwrightPort::endSessionIfLost(const PortFailure& failure) {
    if (failure.cause() != PortFailure::Cause::Lost)
        return;
    session_.reset();
    noteFault(reasonFor(failure.cause()), failure.what());
}

template <typename Action> void PinwrightPort::changeSetting(const std::string& origin, Action&& action) {
    withSession(origin, [&](PortSession& session) {
        // Taken where the transport has a lock (VXI-11, HiSLIP): no other client can change the port between
        // the check of its rules and the change.
        const auto lock = session.lockForChange(settings_.lockTimeout);
        action(session);
    });
}

void PinwrightPort::read_attr_hardware(std::vector<long>& attributes) {
    bool port = false;
    bool input = false;
    for (const long index : attributes) {
        const std::string& name = dev_attr->get_attr_by_ind(index).get_name();
        if (name == "InputWord")
            input = true;
        else if (name != "Identity" && name != "State" && name != "Status")
            port = true;
    }
    if (!port && !input)
        return;
    withSession("PinwrightPort::read_attr_hardware", [&](PortSession& session) {
        if (port) {
            reading_ = readPort(session, input);
        } else {
            reading_ = PortReading{};
            reading_->inputWord = readInputWord(session);
        }
    });
}

void PinwrightPort::readAttribute(const PortAttribute& attribute, Tango::Attribute& value) {
    const auto invalid = [&value] {
        value.set_quality(Tango::ATTR_INVALID);
    };
    if (attribute.kind == Kind::Identity) {
        std::lock_guard lock(mutex_);
        if (!session_)
            throwFault("PinwrightPort::Identity");
        identityValue_ = const_cast<char*>(identity_.c_str());
        value.set_value(&identityValue_);
        return;
    }
    if (!reading_)
        return invalid();
    const auto& setup = reading_->setup;
    const std::size_t pin = static_cast<std::size_t>(attribute.pin > 0 ? attribute.pin - 1 : 0);
    switch (attribute.kind) {
    case Kind::PinFunction: {
        const auto& function = setup.pins[pin].function;
        const auto index = function ? PortLabels::functionIndex(attribute.pin, *function) : std::nullopt;
        if (!index)
            return invalid();
        functions_[pin] = *index;
        value.set_value(&functions_[pin]);
        return;
    }
    case Kind::PinPolarity: {
        const auto& polarity = setup.pins[pin].polarity;
        if (!polarity || *polarity == Polarity::None)
            return invalid();
        polarities_[pin] = PortLabels::polarityIndex(*polarity);
        value.set_value(&polarities_[pin]);
        return;
    }
    case Kind::OutputWord:
        if (!setup.outputWord)
            return invalid();
        outputWord_ = static_cast<Tango::DevUShort>(*setup.outputWord);
        value.set_value(&outputWord_);
        return;
    case Kind::InputWord:
        if (!reading_->inputWord)
            return invalid();
        inputWord_ = static_cast<Tango::DevUShort>(*reading_->inputWord);
        value.set_value(&inputWord_);
        return;
    case Kind::InhibitMode:
        if (!setup.inhibitMode || *setup.inhibitMode == InhibitMode::None)
            return invalid();
        inhibitMode_ = PortLabels::inhibitModeIndex(*setup.inhibitMode);
        value.set_value(&inhibitMode_);
        return;
    case Kind::Identity:
        break;
    }
}

void PinwrightPort::writeAttribute(const PortAttribute& attribute, Tango::WAttribute& value) {
    const std::string origin = "PinwrightPort::write " + attribute.name();
    const std::string step = settingName(attribute);
    const auto refuse = [&](const std::string& why) {
        throwTangoFailure(kRefused, settings_.resource + ": " + step + ": " + why + "; nothing was sent",
                          origin);
    };
    const std::int16_t pin = attribute.pin;
    PortSetup written;
    switch (attribute.kind) {
    case Kind::PinFunction: {
        Tango::DevShort index = 0;
        value.get_write_value(index);
        const auto function = PortLabels::functionAt(pin, index);
        if (!function)
            refuse(std::to_string(index) + " is not a function of pin " + std::to_string(pin) + " (" +
                   choices(PortLabels::functions(pin)) + ")");
        changeSetting(origin,
                      [&](PortSession& session) { PortWrites::setPinFunction(session, pin, *function); });
        written.pins[static_cast<std::size_t>(pin - 1)].function = *function;
        break;
    }
    case Kind::PinPolarity: {
        Tango::DevShort index = 0;
        value.get_write_value(index);
        const auto polarity = PortLabels::polarityAt(index);
        if (!polarity)
            refuse(std::to_string(index) + " is not a polarity (" + choices(PortLabels::polarities()) + ")");
        changeSetting(origin,
                      [&](PortSession& session) { PortWrites::setPinPolarity(session, pin, *polarity); });
        written.pins[static_cast<std::size_t>(pin - 1)].polarity = *polarity;
        break;
    }
    case Kind::OutputWord: {
        Tango::DevUShort word = 0;
        value.get_write_value(word);
        if (!PortRules::isOutputWord(word))
            refuse("the output word must be a whole number from 0 to " +
                   std::to_string(PortRules::kMaxOutputWord) + ", not " + std::to_string(word));
        changeSetting(origin, [&](PortSession& session) { PortWrites::setOutputWord(session, word); });
        written.outputWord = word;
        break;
    }
    case Kind::InhibitMode: {
        Tango::DevShort index = 0;
        value.get_write_value(index);
        const auto mode = PortLabels::inhibitModeAt(index);
        if (!mode)
            refuse(std::to_string(index) + " is not an inhibit mode (" + choices(PortLabels::inhibitModes()) +
                   ")");
        changeSetting(origin, [&](PortSession& session) { PortWrites::setInhibitMode(session, *mode); });
        written.inhibitMode = *mode;
        break;
    }
    case Kind::Identity:
    case Kind::InputWord:
        refuse(attribute.name() + " cannot be written");
    }
    pushWritten(written);
}

// Change events for what a write or an apply set, from the values sent: a client that watches a setting
// sees each change the server makes without polling it.
void PinwrightPort::pushWritten(const PortSetup& setup) {
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        const auto at = static_cast<std::size_t>(pin - 1);
        const auto& written = setup.pins[at];
        if (written.function)
            if (const auto index = PortLabels::functionIndex(pin, *written.function)) {
                functions_[at] = *index;
                push_change_event(PortAttribute{Kind::PinFunction, pin}.name(), &functions_[at]);
            }
        if (written.polarity && *written.polarity != Polarity::None) {
            polarities_[at] = PortLabels::polarityIndex(*written.polarity);
            push_change_event(PortAttribute{Kind::PinPolarity, pin}.name(), &polarities_[at]);
        }
    }
    if (setup.outputWord) {
        outputWord_ = static_cast<Tango::DevUShort>(*setup.outputWord);
        push_change_event("OutputWord", &outputWord_);
    }
    if (setup.inhibitMode && *setup.inhibitMode != InhibitMode::None) {
        inhibitMode_ = PortLabels::inhibitModeIndex(*setup.inhibitMode);
        push_change_event("InhibitMode", &inhibitMode_);
    }
}

std::string PinwrightPort::runProfile(ProfileAction action, const std::string& profileText) {
    const std::string origin = action == ProfileAction::Apply  ? "PinwrightPort::Apply"
                               : action == ProfileAction::Diff ? "PinwrightPort::Diff"
                                                               : "PinwrightPort::Plan";
    PortSetup profile;
    try {
        profile = Profile::parse(profileText);
    } catch (const Profile::Refusal& refusal) {
        throwTangoFailure(kInvalidProfile,
                          std::string("the profile: ") + refusal.what() + "; nothing was sent", origin);
    }
    switch (action) {
    case ProfileAction::Diff:
        return withSession(origin, [&](PortSession& session) {
            return ProfileReport::differences(ProfileApply::diff(session, profile));
        });
    case ProfileAction::Plan:
        return withSession(origin, [&](PortSession& session) {
            return ProfileReport::plan(ProfileApply::plan(session, profile, {}, false));
        });
    case ProfileAction::Apply:
        break;
    }
    std::string report;
    changeSetting(origin, [&](PortSession& session) {
        const auto outcome = ProfileApply::apply(session, profile, {});
        report = ProfileReport::applied(outcome.changed, outcome.remaining);
    });
    pushWritten(profile);
    return report;
}

void PinwrightPort::pollInput() {
    std::optional<int> word;
    {
        std::lock_guard lock(mutex_);
        if (!session_)
            return;
        try {
            word = readInputWord(*session_);
        } catch (const PortFailure& failure) {
            endSessionIfLost(failure);
            return;
        } catch (const std::exception&) {
            // The poller's thread must never end the server: the next poll, or a client's call, tells.
            return;
        }
    }
    if (word == polledWord_)
        return;
    polledWord_ = word;
    try {
        // The attribute's value is Tango's to copy while the device's calls are kept out.
        MonitorHold hold(get_dev_monitor());
        pushedInputWord_ = static_cast<Tango::DevUShort>(*word);
        push_change_event("InputWord", &pushedInputWord_);
    } catch (const Tango::DevFailed&) {
        // Not pushed this time (the device stayed busy past Tango's monitor time-out): the next change is.
        polledWord_.reset();
    }
}

} // namespace tangoserver
