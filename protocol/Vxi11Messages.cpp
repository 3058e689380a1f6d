#include "protocol/Vxi11Messages.h"

#include "protocol/DecodeError.h"
#include "protocol/Xdr.h"

namespace protocol {

std::string describeVxi11Error(std::int32_t code) {
    switch (code) {
    case kVxi11NoError:
        return "no error";
    case kVxi11SyntaxError:
        return "the instrument rejected the request as a syntax error";
    case kVxi11DeviceNotAccessible:
        return "device not accessible (no such device name, or it is in use)";
    case kVxi11InvalidLink:
        return "invalid link identifier (the instrument no longer knows this connection)";
    case kVxi11ParameterError:
        return "parameter error";
    case kVxi11ChannelNotEstablished:
        return "channel not established";
    case kVxi11OperationNotSupported:
        return "operation not supported by the instrument";
    case kVxi11OutOfResources:
        return "the instrument is out of resources (too many connections?)";
    case kVxi11DeviceLocked:
        return "device locked by another link";
    case kVxi11NoLockHeld:
        return "no lock held by this link";
    case kVxi11IoTimeout:
        return "I/O timeout";
    case kVxi11IoError:
        return "I/O error";
    case kVxi11InvalidAddress:
        return "invalid address (no such device behind the gateway)";
    case kVxi11Abort:
        return "the operation was aborted";
    case kVxi11ChannelAlreadyEstablished:
        return "channel already established";
    default:
        return "VXI-11 error " + std::to_string(code);
    }
}

namespace {
// A decoder's last step: anything left over means the peer and we disagree on the layout.
template <typename T> T finished(XdrReader& in, T value) {
    in.expectEnd();
    return value;
}
} // namespace

std::string PortmapMapping::encode() const {
    XdrWriter out;
    out.putUint32(program);
    out.putUint32(version);
    out.putUint32(protocol);
    out.putUint32(port);
    return out.take();
}

PortmapMapping PortmapMapping::decode(std::string_view xdr) {
    XdrReader in(xdr);
    PortmapMapping m;
    m.program = in.getUint32();
    m.version = in.getUint32();
    m.protocol = in.getUint32();
    m.port = in.getUint32();
    return finished(in, m);
}

std::string encodePort(std::uint32_t port) {
    XdrWriter out;
    out.putUint32(port);
    return out.take();
}

std::uint32_t decodePort(std::string_view xdr) {
    XdrReader in(xdr);
    const std::uint32_t port = in.getUint32();
    if (port > 0xFFFF) {
        throw DecodeError("portmapper answered an impossible port number " + std::to_string(port));
    }
    return finished(in, port);
}

std::string CreateLinkParms::encode() const {
    XdrWriter out;
    out.putInt32(clientId);
    out.putBool(lockDevice);
    out.putUint32(lockTimeout);
    out.putString(device);
    return out.take();
}

CreateLinkParms CreateLinkParms::decode(std::string_view xdr) {
    XdrReader in(xdr);
    CreateLinkParms p;
    p.clientId = in.getInt32();
    p.lockDevice = in.getBool();
    p.lockTimeout = in.getUint32();
    p.device = in.getString(kMaxDeviceName);
    return finished(in, p);
}

std::string CreateLinkResp::encode() const {
    XdrWriter out;
    out.putInt32(error);
    out.putInt32(linkId);
    out.putUint32(abortPort);
    out.putUint32(maxRecvSize);
    return out.take();
}

CreateLinkResp CreateLinkResp::decode(std::string_view xdr) {
    XdrReader in(xdr);
    CreateLinkResp r;
    r.error = in.getInt32();
    r.linkId = in.getInt32();
    r.abortPort = static_cast<std::uint16_t>(in.getUint32());
    r.maxRecvSize = in.getUint32();
    return finished(in, r);
}

std::string DeviceWriteParms::encode() const {
    XdrWriter out;
    out.putInt32(linkId);
    out.putUint32(ioTimeout);
    out.putUint32(lockTimeout);
    out.putUint32(flags);
    out.putOpaque(data);
    return out.take();
}

DeviceWriteParms DeviceWriteParms::decode(std::string_view xdr) {
    XdrReader in(xdr);
    DeviceWriteParms p;
    p.linkId = in.getInt32();
    p.ioTimeout = in.getUint32();
    p.lockTimeout = in.getUint32();
    p.flags = in.getUint32();
    p.data = in.getOpaque(kMaxVxi11Data);
    return finished(in, p);
}

std::string DeviceWriteResp::encode() const {
    XdrWriter out;
    out.putInt32(error);
    out.putUint32(size);
    return out.take();
}

DeviceWriteResp DeviceWriteResp::decode(std::string_view xdr) {
    XdrReader in(xdr);
    DeviceWriteResp r;
    r.error = in.getInt32();
    r.size = in.getUint32();
    return finished(in, r);
}

std::string DeviceReadParms::encode() const {
    XdrWriter out;
    out.putInt32(linkId);
    out.putUint32(requestSize);
    out.putUint32(ioTimeout);
    out.putUint32(lockTimeout);
    out.putUint32(flags);
    out.putUint32(static_cast<unsigned char>(termChar)); // a char travels as a 32-bit unit
    return out.take();
}

DeviceReadParms DeviceReadParms::decode(std::string_view xdr) {
    XdrReader in(xdr);
    DeviceReadParms p;
    p.linkId = in.getInt32();
    p.requestSize = in.getUint32();
    p.ioTimeout = in.getUint32();
    p.lockTimeout = in.getUint32();
    p.flags = in.getUint32();
    p.termChar = static_cast<char>(in.getUint32() & 0xFFu);
    return finished(in, p);
}

std::string DeviceReadResp::encode() const {
    XdrWriter out;
    out.putInt32(error);
    out.putInt32(reason);
    out.putOpaque(data);
    return out.take();
}

DeviceReadResp DeviceReadResp::decode(std::string_view xdr) {
    XdrReader in(xdr);
    DeviceReadResp r;
    r.error = in.getInt32();
    r.reason = in.getInt32();
    r.data = in.getOpaque(kMaxVxi11Data);
    return finished(in, r);
}

std::string DeviceGenericParms::encode() const {
    XdrWriter out;
    out.putInt32(linkId);
    out.putUint32(flags);
    out.putUint32(lockTimeout);
    out.putUint32(ioTimeout);
    return out.take();
}

DeviceGenericParms DeviceGenericParms::decode(std::string_view xdr) {
    XdrReader in(xdr);
    DeviceGenericParms p;
    p.linkId = in.getInt32();
    p.flags = in.getUint32();
    p.lockTimeout = in.getUint32();
    p.ioTimeout = in.getUint32();
    return finished(in, p);
}

std::string DeviceLockParms::encode() const {
    XdrWriter out;
    out.putInt32(linkId);
    out.putUint32(flags);
    out.putUint32(lockTimeout);
    return out.take();
}

DeviceLockParms DeviceLockParms::decode(std::string_view xdr) {
    XdrReader in(xdr);
    DeviceLockParms p;
    p.linkId = in.getInt32();
    p.flags = in.getUint32();
    p.lockTimeout = in.getUint32();
    return finished(in, p);
}

std::string DeviceReadStbResp::encode() const {
    XdrWriter out;
    out.putInt32(error);
    out.putUint32(statusByte);
    return out.take();
}

DeviceReadStbResp DeviceReadStbResp::decode(std::string_view xdr) {
    XdrReader in(xdr);
    DeviceReadStbResp r;
    r.error = in.getInt32();
    r.statusByte = static_cast<std::uint8_t>(in.getUint32() & 0xFFu);
    return finished(in, r);
}

std::string encodeLink(std::int32_t linkId) {
    XdrWriter out;
    out.putInt32(linkId);
    return out.take();
}

std::int32_t decodeLink(std::string_view xdr) {
    XdrReader in(xdr);
    return finished(in, in.getInt32());
}

std::string encodeDeviceError(std::int32_t error) {
    return encodeLink(error);
}

std::int32_t decodeDeviceError(std::string_view xdr) {
    return decodeLink(xdr);
}

} // namespace protocol
