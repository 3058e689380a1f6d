#include "tests/lan/Vxi11Probe.h"

#include "base/Deadline.h"
#include "visa/LanStream.h"

namespace lan::testing {

using namespace protocol;

Vxi11Probe::Vxi11Probe(std::uint16_t port)
    : rpc_(visa::LanStream::connect("probe", "127.0.0.1", port, base::Deadline(kPatience)), kVxi11CoreProgram,
           kVxi11CoreVersion, "VXI-11 core channel") {}

std::string Vxi11Probe::call(std::uint32_t procedure, const std::string& arguments) {
    return awaitReply(send(procedure, arguments));
}

std::uint32_t Vxi11Probe::send(std::uint32_t procedure, const std::string& arguments) {
    return rpc_.send(procedure, arguments, base::Deadline(kPatience));
}

std::string Vxi11Probe::awaitReply(std::uint32_t xid, std::chrono::milliseconds patience) {
    return rpc_.awaitReply(xid, base::Deadline(patience), "probe reply");
}

CreateLinkResp Vxi11Probe::createLink(const std::string& device, bool lockDevice, std::uint32_t lockTimeout) {
    CreateLinkParms parms;
    parms.device = device;
    parms.lockDevice = lockDevice;
    parms.lockTimeout = lockTimeout;
    return CreateLinkResp::decode(call(kCreateLink, parms.encode()));
}

std::int32_t Vxi11Probe::lock(std::int32_t link, std::uint32_t flags, std::uint32_t lockTimeout) {
    return decodeDeviceError(call(kDeviceLock, DeviceLockParms{link, flags, lockTimeout}.encode()));
}

std::int32_t Vxi11Probe::unlock(std::int32_t link) {
    return decodeDeviceError(call(kDeviceUnlock, encodeLink(link)));
}

std::int32_t Vxi11Probe::destroyLink(std::int32_t link) {
    return decodeDeviceError(call(kDestroyLink, encodeLink(link)));
}

std::int32_t Vxi11Probe::clear(std::int32_t link, std::uint32_t flags, std::uint32_t lockTimeout) {
    return decodeDeviceError(call(kDeviceClear, DeviceGenericParms{link, flags, lockTimeout, 1000}.encode()));
}

std::int32_t Vxi11Probe::write(std::int32_t link, const std::string& message, std::uint32_t flags,
                               std::uint32_t lockTimeout) {
    const DeviceWriteParms parms{link, 1000, lockTimeout, flags | kFlagEnd, message};
    return DeviceWriteResp::decode(call(kDeviceWrite, parms.encode())).error;
}

DeviceReadResp Vxi11Probe::read(std::int32_t link, std::uint32_t flags, std::uint32_t lockTimeout) {
    DeviceReadParms parms;
    parms.linkId = link;
    parms.requestSize = 1024;
    parms.ioTimeout = 1000;
    parms.lockTimeout = lockTimeout;
    parms.flags = flags;
    return DeviceReadResp::decode(call(kDeviceRead, parms.encode()));
}

} // namespace lan::testing
