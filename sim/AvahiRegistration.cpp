#include "sim/AvahiRegistration.h"

#include <cstdint>
#include <dlfcn.h>

namespace sim {

namespace {

// The part of the Avahi client API (libavahi-client.so.3 with libavahi-common.so.3, ABI stable since
// 0.6) that registering services takes, declared here so that building needs none of Avahi.
struct AvahiThreadedPoll;
struct AvahiPoll;
struct AvahiClient;
struct AvahiEntryGroup;
struct AvahiStringList;
enum AvahiClientState : int { kClientRunning = 2, kClientFailure = 100 };
enum AvahiEntryGroupState : int { kGroupEstablished = 2, kGroupCollision = 3, kGroupFailure = 4 };
constexpr int kAvahiInterfaceAny = -1;
constexpr int kAvahiProtocolIpv4 = 0;
using ClientCallback = void (*)(AvahiClient*, AvahiClientState, void*);
using GroupCallback = void (*)(AvahiEntryGroup*, AvahiEntryGroupState, void*);

constexpr const char* kLocalSuffix = ".local";

} // namespace

struct AvahiRegistration::Library {
    std::unique_ptr<void, int (*)(void*)> handle{nullptr, ::dlclose};
    AvahiThreadedPoll* (*pollNew)() = nullptr;
    const AvahiPoll* (*pollGet)(AvahiThreadedPoll*) = nullptr;
    int (*pollStart)(AvahiThreadedPoll*) = nullptr;
    int (*pollStop)(AvahiThreadedPoll*) = nullptr;
    void (*pollFree)(AvahiThreadedPoll*) = nullptr;
    AvahiClient* (*clientNew)(const AvahiPoll*, int, ClientCallback, void*, int*) = nullptr;
    void (*clientFree)(AvahiClient*) = nullptr;
    int (*clientErrno)(AvahiClient*) = nullptr;
    AvahiEntryGroup* (*groupNew)(AvahiClient*, GroupCallback, void*) = nullptr;
    int (*addService)(AvahiEntryGroup*, int, int, unsigned, const char*, const char*, const char*,
                      const char*, std::uint16_t, AvahiStringList*) = nullptr;
    int (*commit)(AvahiEntryGroup*) = nullptr;
    AvahiStringList* (*listAdd)(AvahiStringList*, const char*) = nullptr;
    void (*listFree)(AvahiStringList*) = nullptr;
    const char* (*strerror)(int) = nullptr;

    // False, with the loader's words, when the library or one of its functions is missing.
    bool load(std::string& whyNot) {
        handle.reset(::dlopen("libavahi-client.so.3", RTLD_NOW | RTLD_LOCAL));
        if (!handle) {
            whyNot = "the Avahi client library (libavahi-client.so.3) is not installed";
            return false;
        }
        bool complete = true;
        const auto find = [&](auto& function, const char* name) {
            function =
                reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle.get(), name));
            complete = complete && function != nullptr;
        };
        find(pollNew, "avahi_threaded_poll_new");
        find(pollGet, "avahi_threaded_poll_get");
        find(pollStart, "avahi_threaded_poll_start");
        find(pollStop, "avahi_threaded_poll_stop");
        find(pollFree, "avahi_threaded_poll_free");
        find(clientNew, "avahi_client_new");
        find(clientFree, "avahi_client_free");
        find(clientErrno, "avahi_client_errno");
        find(groupNew, "avahi_entry_group_new");
        find(addService, "avahi_entry_group_add_service_strlst");
        find(commit, "avahi_entry_group_commit");
        find(listAdd, "avahi_string_list_add");
        find(listFree, "avahi_string_list_free");
        find(strerror, "avahi_strerror");
        if (!complete) {
            whyNot = "the Avahi client library lacks functions this program calls";
        }
        return complete;
    }
};

// The poll thread and the client; the client's entry group goes with it. Callbacks run on the poll thread.
struct AvahiRegistration::Session {
    const Library& api;
    Log log;
    std::size_t count = 0;
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;

    ~Session() {
        if (poll != nullptr) {
            api.pollStop(poll);
        }
        if (client != nullptr) {
            api.clientFree(client); // withdraws the services
        }
        if (poll != nullptr) {
            api.pollFree(poll);
        }
    }

    void say(const std::string& line) const {
        if (log) {
            log(line);
        }
    }

    static void onClient(AvahiClient*, AvahiClientState state, void* self) {
        if (state == kClientFailure) {
            static_cast<Session*>(self)->say(
                "mDNS: the Avahi daemon went away; the services are no longer announced");
        }
    }

    static void onGroup(AvahiEntryGroup*, AvahiEntryGroupState state, void* self) {
        const auto* session = static_cast<Session*>(self);
        if (state == kGroupEstablished) {
            session->say("mDNS: " + std::to_string(session->count) +
                         " services announced through the Avahi daemon");
        } else if (state == kGroupCollision) {
            session->say("mDNS: another host on the network already announces a service of this name");
        } else if (state == kGroupFailure) {
            session->say("mDNS: the Avahi daemon could not announce the services");
        }
    }

    // False, with Avahi's words, when the daemon cannot be reached or refuses the services.
    bool registerServices(unsigned interfaceIndex, const std::vector<AnnouncedService>& services,
                          std::string& whyNot) {
        poll = api.pollNew();
        int error = 0;
        client =
            poll == nullptr ? nullptr : api.clientNew(api.pollGet(poll), 0, &Session::onClient, this, &error);
        if (client == nullptr) {
            whyNot = std::string("no Avahi daemon to register with (") + api.strerror(error) + ")";
            return false;
        }
        AvahiEntryGroup* group = api.groupNew(client, &Session::onGroup, this);
        if (group == nullptr) {
            whyNot = std::string("the Avahi daemon refused a service group (") +
                     api.strerror(api.clientErrno(client)) + ")";
            return false;
        }
        const int interface = interfaceIndex == 0 ? kAvahiInterfaceAny : static_cast<int>(interfaceIndex);
        for (const AnnouncedService& service : services) {
            AvahiStringList* text = nullptr;
            for (auto it = service.text.rbegin(); it != service.text.rend(); ++it) {
                text = api.listAdd(text, it->c_str()); // adds in front
            }
            std::string type = service.type;
            if (type.ends_with(kLocalSuffix)) {
                type.resize(type.size() - std::char_traits<char>::length(kLocalSuffix));
            }
            error = api.addService(group, interface, kAvahiProtocolIpv4, 0, service.instance.c_str(),
                                   type.c_str(), nullptr, nullptr, service.port, text);
            api.listFree(text);
            if (error < 0) {
                whyNot = "the Avahi daemon refused " + service.instance + " (" + api.strerror(error) + ")";
                return false;
            }
        }
        count = services.size();
        if ((error = api.commit(group)) < 0 || (error = api.pollStart(poll)) < 0) {
            whyNot = std::string("the Avahi daemon did not take the services (") + api.strerror(error) + ")";
            return false;
        }
        return true;
    }
};

std::unique_ptr<AvahiRegistration> AvahiRegistration::start(unsigned interfaceIndex,
                                                            const std::vector<AnnouncedService>& services,
                                                            Log log, std::string& whyNot) {
    std::unique_ptr<AvahiRegistration> registration(new AvahiRegistration);
    registration->library_ = std::make_unique<Library>();
    if (!registration->library_->load(whyNot)) {
        return nullptr;
    }
    registration->session_.reset(new Session{*registration->library_, std::move(log)});
    if (!registration->session_->registerServices(interfaceIndex, services, whyNot)) {
        return nullptr;
    }
    return registration;
}

AvahiRegistration::~AvahiRegistration() {
    session_.reset(); // before the library that its functions live in
}

} // namespace sim
