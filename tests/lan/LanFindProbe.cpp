// lan_find_probe broadcast|mdns [window-ms]: runs one LAN finder and prints each resource it reports, one
// line each ("<resource> | <method> | <manufacturer> | <model> | <serial>"), and on standard error what
// it could not do. The namespace tests (tests/lan/find-in-namespaces) drive the finders through it.
#include "visa/LanFinders.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>

namespace {

class PrintingSink : public visa::FindSink {
public:
    void found(const visa::FoundResource& r) override {
        std::lock_guard lock(mutex_);
        std::cout << r.resource << " | " << r.method << " | " << r.manufacturer << " | " << r.model << " | "
                  << r.serial << std::endl;
    }
    void unavailable(const std::string& finder, const std::string& reason) override {
        std::lock_guard lock(mutex_);
        std::cerr << finder << ": " << reason << std::endl;
    }

private:
    std::mutex mutex_;
};

} // namespace

int main(int argc, char** argv) {
    const std::string method = argc > 1 ? argv[1] : "";
    if (method != "broadcast" && method != "mdns") {
        std::cerr << "usage: lan_find_probe broadcast|mdns [window-ms]\n";
        return 2;
    }
    visa::FindOptions options;
    if (argc > 2) {
        options.window = std::chrono::milliseconds(std::atoi(argv[2]));
    }
    PrintingSink sink;
    (method == "broadcast" ? visa::findVxi11ByBroadcast : visa::findByMdns)(options, sink);
    return 0;
}
