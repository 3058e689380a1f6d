#include "tests/local/support/FakeSysfs.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
}

} // namespace

FakeSysfs::FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "pinwright-sysfs-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
}

FakeSysfs::~FakeSysfs() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void FakeSysfs::addInterface(const std::string& node, const std::string& usbPath, const std::string& vendor,
                             const std::string& product, const std::string& serial,
                             const std::string& interface) {
    const fs::path device = root_ / "sys/devices/pci0000:00/usb1" / usbPath;
    writeFile(device / "idVendor", vendor);
    writeFile(device / "idProduct", product);
    if (!serial.empty()) {
        writeFile(device / "serial", serial);
    }
    const fs::path usbInterface = device / (usbPath + ":1." + interface);
    writeFile(usbInterface / "bInterfaceNumber", interface);
    // As in sysfs: the class entry lives under the interface, and class/usbmisc links to it.
    const fs::path entry = usbInterface / "usbmisc" / node;
    fs::create_directories(entry);
    fs::create_directory_symlink("../..", entry / "device");
    fs::create_directories(root_ / "sys/class/usbmisc");
    fs::create_directory_symlink(entry, root_ / "sys/class/usbmisc" / node);
    writeFile(root_ / "dev" / node, "");
}

void FakeSysfs::addDanglingEntry(const std::string& node) {
    const fs::path entry = root_ / "sys/class/usbmisc" / node;
    fs::create_directories(entry);
    fs::create_directory_symlink(root_ / "sys/devices/gone", entry / "device");
}

void FakeSysfs::addEmptyClass() {
    fs::create_directories(root_ / "sys/class/usbmisc");
}
