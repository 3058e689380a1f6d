#include "protocol/Vxi11Messages.h"

#include "protocol/DecodeError.h"
#include "protocol/Xdr.h"

#include <string_view>
#include <utility>

namespace protocol {

namespace {

constexpr std::pair<std::int32_t, std::string_view> kErrorWords[] = {
    {kVxi11NoError, "no error"},
    {kVxi11SyntaxError, "the instrument rejected the request as a syntax error"},
    {kVxi11DeviceNotAccessible, "device not accessible (no such device name, or it is in use)"},
    {kVxi11InvalidLink, "invalid link identifier (the instrument no longer knows this connection)"},
    {kVxi11ParameterError, "parameter error"},
    {kVxi11ChannelNotEstablished, "channel not established"},
    {kVxi11OperationNotSupported, "operation not supported by the instrument"},
    {kVxi11OutOfResources, "the instrument is out of resources (too many connections?)"},
    {kVxi11DeviceLocked, "device locked by another link"},
    {kVxi11NoLockHeld, "no lock held by this link"},
    {kVxi11IoTimeout, "I/O timeout"},
    {kVxi11IoError, "I/O error"},
    {kVxi11InvalidAddress, "invalid address (no such device behind the gateway)"},
    {kVxi11Abort, "the operation was aborted"},
    {kVxi11ChannelAlreadyEstablished, "channel already established"},
};

// Procedures whose argument or result is one bare integer.
template <typename T> std::string encodeBare(T value) {
    XdrWriter out;
    out(value);
    return out.take();
}

template <typename T> T decodeBare(std::string_view xdr) {
    XdrReader in(xdr);
    T value{};
    in(value);
    in.expectEnd();
    return value;
}

} // namespace

std::string describeVxi11Error(std::int32_t code) {
    for (const auto& [known, words] : kErrorWords) {
        if (known == code) {
            return std::string(words);
        }
    }
    return "VXI-11 error " + std::to_string(code);
}

std::string encodePort(std::uint32_t port) {
    return encodeBare(port);
}

std::uint32_t decodePort(std::string_view xdr) {
    const auto port = decodeBare<std::uint32_t>(xdr);
    if (port > 0xFFFF) {
        throw DecodeError("portmapper answered an impossible port number " + std::to_string(port));
    }
    return port;
}

std::string encodeLink(std::int32_t linkId) {
    return encodeBare(linkId);
}

std::int32_t decodeLink(std::string_view xdr) {
    return decodeBare<std::int32_t>(xdr);
}

std::string encodeDeviceError(std::int32_t error) {
    return encodeBare(error);
}

std::int32_t decodeDeviceError(std::string_view xdr) {
    return decodeBare<std::int32_t>(xdr);
}

} // namespace protocol
