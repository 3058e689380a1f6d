#pragma once

#include "port/PortFailure.h"
#include "port/PortSession.h"
#include "port/PortSetup.h"
#include "tangoserver/DeviceSettings.h"
#include "tangoserver/PortAttribute.h"

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tango.h>

namespace tangoserver {

class InputPoller;

// One Korvane mainframe's digital port as a Tango device. The device owns one session with the
// instrument, used by one thread at a time under the device's own mutex (Tango's calls and the input
// poller alike); devices share nothing, so a silent mainframe holds up no other device. An instrument that
// cannot be reached or stops answering puts the device in FAULT, with the resource and the reason in its
// status; Init opens it again.
class PinwrightPort : public TANGO_BASE_CLASS {
public:
    enum class ProfileAction { Apply, Diff, Plan };

    PinwrightPort(Tango::DeviceClass* deviceClass, std::string& name);
    ~PinwrightPort() override;

    void init_device() override;
    void delete_device() override;
    Tango::DevState dev_state() override;
    Tango::ConstDevString dev_status() override;

    // Reads from the instrument what the attributes of one client request need, once for them all.
    void read_attr_hardware(std::vector<long>& attributes) override;
    void readAttribute(const PortAttribute& attribute, Tango::Attribute& value);
    void writeAttribute(const PortAttribute& attribute, Tango::WAttribute& value);

    // A profile (JSON, as pinwright-cli reads it) applied, compared or planned; the report as JSON.
    std::string runProfile(ProfileAction action, const std::string& profileText);

private:
    struct Fault {
        std::string reason; // of the DevFailed that calls meet while it lasts
        std::string description;
    };

    void open();
    void pollInput();
    // Runs `action` on the session under the device's mutex. A failure becomes DevFailed; a lost
    // instrument also ends the session and puts the device in FAULT.
    template <typename Action> auto withSession(const std::string& origin, Action&& action);
    template <typename Action> void changeSetting(const std::string& origin, Action&& action);
    // With the mutex held: a lost instrument ends the session and puts the device in FAULT.
    void endSessionIfLost(const PortFailure& failure);
    void noteFault(const std::string& reason, const std::string& description);
    [[noreturn]] void throwFault(const std::string& origin);
    void pushWritten(const PortSetup& setup);

    DeviceSettings settings_;
    std::mutex mutex_; // the session's, and what the reads below bring
    std::unique_ptr<PortSession> session_;
    std::optional<PortReading> reading_;
    std::string identity_;

    mutable std::mutex stateMutex_; // what State and Status say, never held across I/O
    std::optional<Fault> fault_;
    std::string statusText_;

    std::unique_ptr<InputPoller> poller_;
    std::optional<int> polledWord_; // the poller's alone

    // What the attributes hand to Tango, which reads it after read() returns; a client's calls on one
    // device are serialised by Tango, and the poller pushes from its own.
    Tango::DevString identityValue_ = nullptr;
    std::array<Tango::DevShort, kPinCount> functions_{};
    std::array<Tango::DevShort, kPinCount> polarities_{};
    Tango::DevUShort outputWord_ = 0;
    Tango::DevUShort inputWord_ = 0;
    Tango::DevShort inhibitMode_ = 0;
    Tango::DevUShort pushedInputWord_ = 0;
};

} // namespace tangoserver
