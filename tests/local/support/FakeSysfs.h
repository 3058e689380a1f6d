#pragma once

#include <filesystem>
#include <string>

// A throw-away root with the parts of sys/ and dev/ the usbtmc device finder reads, removed on
// destruction.
class FakeSysfs {
public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    const std::filesystem::path& root() const { return root_; }

    // One USB device (attribute texts exactly as sysfs would hold them, e.g. "1a2b") with one usbtmc
    // interface bound as /sys/class/usbmisc/<node>, and an empty /dev/<node>.
    void addInterface(const std::string& node, const std::string& usbPath, const std::string& vendor,
                      const std::string& product, const std::string& serial, const std::string& interface);

    // A class entry whose device link leads nowhere, as after an unplug in the middle of a scan.
    void addDanglingEntry(const std::string& node);

    // Just the class folder, with nothing bound to the driver.
    void addEmptyClass();

private:
    std::filesystem::path root_;
};
