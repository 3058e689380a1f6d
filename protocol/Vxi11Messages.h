#pragma once

// The VXI-11 core channel's procedures and the portmapper's GETPORT, as XDR structs. Each struct
// encodes itself and decodes from a procedure's argument or result bytes (XdrStruct), bounding every
// variable-length field.

#include "protocol/Xdr.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

// Portmapper, RFC 1833: program 100000 version 2, port 111.
inline constexpr std::uint32_t kPortmapProgram = 100000;
inline constexpr std::uint32_t kPortmapVersion = 2;
inline constexpr std::uint16_t kPortmapPort = 111;
inline constexpr std::uint32_t kPortmapProcNull = 0;
inline constexpr std::uint32_t kPortmapProcGetPort = 3;
inline constexpr std::uint32_t kIpProtoTcp = 6;
inline constexpr std::uint32_t kIpProtoUdp = 17;

// VXI-11 core channel.
inline constexpr std::uint32_t kVxi11CoreProgram = 0x0607AF;
inline constexpr std::uint32_t kVxi11CoreVersion = 1;
enum Vxi11Procedure : std::uint32_t {
    kVxi11Null = 0,
    kCreateLink = 10,
    kDeviceWrite = 11,
    kDeviceRead = 12,
    kDeviceReadStb = 13,
    kDeviceTrigger = 14,
    kDeviceClear = 15,
    kDeviceRemote = 16,
    kDeviceLocal = 17,
    kDeviceLock = 18,
    kDeviceUnlock = 19,
    kDeviceEnableSrq = 20,
    kDeviceDoCmd = 22,
    kDestroyLink = 23,
    kCreateIntrChan = 25,
    kDestroyIntrChan = 26,
};

// Device_Flags bits, and the bits of Device_ReadResp's reason.
enum Vxi11Flag : std::uint32_t { kFlagWaitLock = 0x01, kFlagEnd = 0x08, kFlagTermCharSet = 0x80 };
enum Vxi11Reason : std::int32_t { kReasonRequestCount = 0x01, kReasonTermChar = 0x02, kReasonEnd = 0x04 };

// Device_ErrorCode values.
enum Vxi11Error : std::int32_t {
    kVxi11NoError = 0,
    kVxi11SyntaxError = 1,
    kVxi11DeviceNotAccessible = 3,
    kVxi11InvalidLink = 4,
    kVxi11ParameterError = 5,
    kVxi11ChannelNotEstablished = 6,
    kVxi11OperationNotSupported = 8,
    kVxi11OutOfResources = 9,
    kVxi11DeviceLocked = 11,
    kVxi11NoLockHeld = 12,
    kVxi11IoTimeout = 15,
    kVxi11IoError = 17,
    kVxi11InvalidAddress = 21,
    kVxi11Abort = 23,
    kVxi11ChannelAlreadyEstablished = 29,
};

// Plain words for a Device_ErrorCode, e.g. "device locked by another link".
std::string describeVxi11Error(std::int32_t code);

// The longest device name we send or accept, and the longest data block in one call.
inline constexpr std::size_t kMaxDeviceName = 256;
inline constexpr std::size_t kMaxVxi11Data = (1u << 20) + 4096;

namespace layout {
// The XDR structs' members and field lists; the names without `layout::` below are the structs to use.

struct PortmapMapping {
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t protocol = kIpProtoTcp;
    std::uint32_t port = 0;
    static void fields(auto& m, auto&& visit) { visit(m.program, m.version, m.protocol, m.port); }
};

struct CreateLinkParms {
    std::int32_t clientId = 0;
    bool lockDevice = false;
    std::uint32_t lockTimeout = 0;
    std::string device;
    static void fields(auto& m, auto&& visit) {
        visit(m.clientId, m.lockDevice, m.lockTimeout, bounded(m.device, kMaxDeviceName));
    }
};

struct CreateLinkResp {
    std::int32_t error = 0;
    std::int32_t linkId = 0;
    std::uint16_t abortPort = 0;
    std::uint32_t maxRecvSize = 0;
    static void fields(auto& m, auto&& visit) { visit(m.error, m.linkId, m.abortPort, m.maxRecvSize); }
};

struct DeviceWriteParms {
    std::int32_t linkId = 0;
    std::uint32_t ioTimeout = 0;
    std::uint32_t lockTimeout = 0;
    std::uint32_t flags = 0;
    std::string data;
    static void fields(auto& m, auto&& visit) {
        visit(m.linkId, m.ioTimeout, m.lockTimeout, m.flags, bounded(m.data, kMaxVxi11Data));
    }
};

struct DeviceWriteResp {
    std::int32_t error = 0;
    std::uint32_t size = 0;
    static void fields(auto& m, auto&& visit) { visit(m.error, m.size); }
};

struct DeviceReadParms {
    std::int32_t linkId = 0;
    std::uint32_t requestSize = 0;
    std::uint32_t ioTimeout = 0;
    std::uint32_t lockTimeout = 0;
    std::uint32_t flags = 0;
    char termChar = '\n'; // a char travels as a whole unit
    static void fields(auto& m, auto&& visit) {
        visit(m.linkId, m.requestSize, m.ioTimeout, m.lockTimeout, m.flags, m.termChar);
    }
};

struct DeviceReadResp {
    std::int32_t error = 0;
    std::int32_t reason = 0;
    std::string data;
    static void fields(auto& m, auto&& visit) { visit(m.error, m.reason, bounded(m.data, kMaxVxi11Data)); }
};

struct DeviceGenericParms {
    std::int32_t linkId = 0;
    std::uint32_t flags = 0;
    std::uint32_t lockTimeout = 0;
    std::uint32_t ioTimeout = 0;
    static void fields(auto& m, auto&& visit) { visit(m.linkId, m.flags, m.lockTimeout, m.ioTimeout); }
};

struct DeviceLockParms {
    std::int32_t linkId = 0;
    std::uint32_t flags = 0;
    std::uint32_t lockTimeout = 0;
    static void fields(auto& m, auto&& visit) { visit(m.linkId, m.flags, m.lockTimeout); }
};

struct DeviceReadStbResp {
    std::int32_t error = 0;
    std::uint8_t statusByte = 0;
    static void fields(auto& m, auto&& visit) { visit(m.error, m.statusByte); }
};

} // namespace layout

using PortmapMapping = XdrStruct<layout::PortmapMapping>; // GETPORT's argument
using CreateLinkParms = XdrStruct<layout::CreateLinkParms>;
using CreateLinkResp = XdrStruct<layout::CreateLinkResp>;
using DeviceWriteParms = XdrStruct<layout::DeviceWriteParms>;
using DeviceWriteResp = XdrStruct<layout::DeviceWriteResp>;
using DeviceReadParms = XdrStruct<layout::DeviceReadParms>;
using DeviceReadResp = XdrStruct<layout::DeviceReadResp>;
// Device_GenericParms: device_readstb, trigger, clear, remote, local.
using DeviceGenericParms = XdrStruct<layout::DeviceGenericParms>;
// Device_LockParms: device_lock. Waits up to lockTimeout for the lock when flags has kFlagWaitLock.
using DeviceLockParms = XdrStruct<layout::DeviceLockParms>;
using DeviceReadStbResp = XdrStruct<layout::DeviceReadStbResp>;

// GETPORT's result: a bare port number, 0 when the program is not registered.
std::string encodePort(std::uint32_t port);
std::uint32_t decodePort(std::string_view xdr);

// A bare Device_Link (destroy_link, device_unlock) and a bare Device_Error (their results).
std::string encodeLink(std::int32_t linkId);
std::int32_t decodeLink(std::string_view xdr);
std::string encodeDeviceError(std::int32_t error);
std::int32_t decodeDeviceError(std::string_view xdr);

} // namespace protocol
