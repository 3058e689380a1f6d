// Feeds arbitrary text to the resource-name parser. A refusal must be a BadResource VisaError whose
// description starts with the quoted text and stays short and printable (it goes into a message box);
// an accepted name must hold only fields that make sense for its interface, taken from the text, and
// read the same way again, whatever letter case the interface name has.

#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool sameFields(const visa::ResourceName& a, const visa::ResourceName& b) {
    return a.interfaceType == b.interfaceType && a.board == b.board && a.resourceClass == b.resourceClass &&
           a.primaryAddress == b.primaryAddress && a.secondaryAddress == b.secondaryAddress &&
           a.host == b.host && a.lanDevice == b.lanDevice && a.port == b.port && a.vendorId == b.vendorId &&
           a.productId == b.productId && a.serialNumber == b.serialNumber && a.usbInterface == b.usbInterface;
}

bool printableWithoutBlanks(std::string_view text) {
    for (const char c : text)
        if (c <= ' ' || c >= 0x7F)
            return false;
    return true;
}

void checkRefusal(const visa::VisaError& error, std::string_view text) {
    require(error.kind() == visa::VisaError::Kind::BadResource);
    const std::string_view description = error.what();
    require(description.starts_with('"'));
    require(description.size() < 1024);
    for (const char c : description)
        require(c >= 0x20 && c < 0x7F);
    // The quote shows the text itself as long as it is printable.
    std::string_view head = text.substr(0, 40);
    if (printableWithoutBlanks(head))
        require(description.substr(1).starts_with(head));
}

void checkAccepted(const visa::ResourceName& name, std::string_view text) {
    using visa::InterfaceType;
    require(name.text == text);
    require(printableWithoutBlanks(text));
    require(name.board <= 65535);
    const visa::ResourceName fresh;
    switch (name.interfaceType) {
    case InterfaceType::Gpib:
        require(name.primaryAddress <= 30);
        require(!name.secondaryAddress || *name.secondaryAddress <= 31);
        require(name.host.empty() && name.serialNumber.empty());
        break;
    case InterfaceType::Tcpip:
        require(!name.host.empty() && text.find(name.host) != std::string_view::npos);
        require(!name.lanDevice.empty());
        require(name.lanDevice == fresh.lanDevice || text.find(name.lanDevice) != std::string_view::npos);
        if (name.resourceClass == visa::ResourceClass::Socket || name.isHislip())
            require(name.port != 0);
        else
            require(name.port == 0);
        require(name.serialNumber.empty() && !name.secondaryAddress);
        break;
    case InterfaceType::Usb:
        require(!name.serialNumber.empty() && name.serialNumber.find(':') == std::string::npos);
        require(text.find(name.serialNumber) != std::string_view::npos);
        require(!name.usbInterface || *name.usbInterface <= 255);
        require(name.host.empty());
        break;
    case InterfaceType::Asrl:
    case InterfaceType::Sim:
        require(name.host.empty() && name.serialNumber.empty() && !name.secondaryAddress);
        break;
    }
    if (name.resourceClass == visa::ResourceClass::Socket)
        require(name.interfaceType == InterfaceType::Tcpip);

    // The interface name is read in any letter case.
    std::string flipped(text);
    for (std::size_t i = 0; i < flipped.size() && std::isalpha(static_cast<unsigned char>(flipped[i])); ++i) {
        const auto c = static_cast<unsigned char>(flipped[i]);
        flipped[i] = static_cast<char>(std::islower(c) ? std::toupper(c) : std::tolower(c));
    }
    try {
        require(sameFields(name, visa::ResourceName::parse(flipped)));
    } catch (const visa::VisaError&) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        checkAccepted(visa::ResourceName::parse(text), text);
    } catch (const visa::VisaError& error) {
        checkRefusal(error, text);
    }
    return 0;
}
