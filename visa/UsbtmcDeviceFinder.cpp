#include "visa/UsbtmcDeviceFinder.h"

#include "base/PrintableText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <system_error>

namespace visa {

namespace {

namespace fs = std::filesystem;

// sysfs attribute files are one short line; anything longer is not what we look for.
constexpr std::size_t kAttributeLimit = 256;

std::optional<std::string> readAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(kAttributeLimit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    // A serial number is the device's own text and ends up in messages: keep it printable.
    return base::printableText(text, text.size(), base::Unprintable::Question);
}

// sysfs writes ids and interface numbers in hex without a prefix ("1a2b", "00").
std::optional<unsigned long> readHexAttribute(const fs::path& file, unsigned long max) {
    auto text = readAttribute(file);
    if (!text || text->empty() || text->size() > 8 ||
        !std::all_of(text->begin(), text->end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) {
        return std::nullopt;
    }
    unsigned long value = std::stoul(*text, nullptr, 16);
    if (value > max) {
        return std::nullopt;
    }
    return value;
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
    return text;
}

bool matches(const UsbtmcDeviceFinder::Interface& found, const ResourceName& name) {
    return found.vendorId == name.vendorId && found.productId == name.productId &&
           found.serialNumber == name.serialNumber &&
           (!name.usbInterface || *name.usbInterface == found.interfaceNumber);
}

} // namespace

UsbtmcDeviceFinder::UsbtmcDeviceFinder(std::filesystem::path root) : root_(std::move(root)) {}

std::string UsbtmcDeviceFinder::resourceText(const Interface& attached) {
    return "USB0::" + hex4(attached.vendorId) + "::" + hex4(attached.productId) +
           "::" + attached.serialNumber + "::" + std::to_string(attached.interfaceNumber) + "::INSTR";
}

bool UsbtmcDeviceFinder::driverLoaded() const {
    std::error_code error;
    return fs::is_directory(classDirectory(), error);
}

fs::path UsbtmcDeviceFinder::classDirectory() const {
    return root_ / "sys/class/usbmisc";
}

std::vector<UsbtmcDeviceFinder::Interface> UsbtmcDeviceFinder::attachedInterfaces() const {
    std::vector<Interface> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(classDirectory(), error)) {
        const std::string nodeName = entry.path().filename().string();
        if (nodeName.rfind("usbtmc", 0) != 0) {
            continue;
        }
        // device points at the USB interface; its parent directory is the USB device.
        const fs::path interfaceDir = fs::canonical(entry.path() / "device", error);
        if (error) {
            error.clear();
            continue;
        }
        const fs::path deviceDir = interfaceDir.parent_path();
        auto vendor = readHexAttribute(deviceDir / "idVendor", 0xFFFF);
        auto product = readHexAttribute(deviceDir / "idProduct", 0xFFFF);
        auto interfaceNumber = readHexAttribute(interfaceDir / "bInterfaceNumber", 0xFF);
        if (!vendor || !product || !interfaceNumber) {
            continue;
        }
        Interface item;
        item.nodeName = nodeName;
        item.vendorId = static_cast<std::uint16_t>(*vendor);
        item.productId = static_cast<std::uint16_t>(*product);
        item.serialNumber = readAttribute(deviceDir / "serial").value_or("");
        item.interfaceNumber = static_cast<unsigned>(*interfaceNumber);
        found.push_back(std::move(item));
    }
    std::sort(found.begin(), found.end(), [](const Interface& a, const Interface& b) {
        return std::make_pair(a.nodeName.size(), a.nodeName) < std::make_pair(b.nodeName.size(), b.nodeName);
    });
    return found;
}

std::optional<fs::path> UsbtmcDeviceFinder::findDeviceNode(const ResourceName& name) const {
    std::optional<Interface> best;
    for (auto& candidate : attachedInterfaces()) {
        if (matches(candidate, name) && (!best || candidate.interfaceNumber < best->interfaceNumber)) {
            best = std::move(candidate);
        }
    }
    if (!best) {
        return std::nullopt;
    }
    return root_ / "dev" / best->nodeName;
}

std::string UsbtmcDeviceFinder::describeMissing(const ResourceName& name) const {
    std::string wanted = "no USB instrument with vendor id " + hex4(name.vendorId) + ", product id " +
                         hex4(name.productId) + " and serial number \"" + name.serialNumber + "\"";
    if (name.usbInterface) {
        wanted += " (interface " + std::to_string(*name.usbInterface) + ")";
    }
    wanted += " is attached through the Linux usbtmc driver";
    const auto attached = attachedInterfaces();
    if (attached.empty()) {
        return wanted + "; none is: check the cable and power, and that the usbtmc kernel module is "
                        "loaded (sudo modprobe usbtmc)";
    }
    std::string list;
    for (const auto& item : attached) {
        list += (list.empty() ? "" : ", ") + resourceText(item);
    }
    return wanted + "; attached: " + list;
}

} // namespace visa
