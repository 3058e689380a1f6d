#pragma once

// The few types and constants of the standard VISA C API that Pinwright uses, declared here because no
// vendor header is installed on a bench machine without a VISA library (and none is needed to build).
// Sizes are those of the 64-bit Linux ABI: 32-bit session handles and status codes, 64-bit attribute
// values.

#include <cstddef>
#include <cstdint>

namespace visa::capi {

using ViStatus = std::int32_t;
using ViUInt32 = std::uint32_t;
using ViUInt16 = std::uint16_t;
using ViSession = ViUInt32;
using ViObject = ViUInt32;
using ViAttr = ViUInt32;
using ViAttrState = std::uint64_t;
using ViAccessMode = ViUInt32;
using ViFindList = ViObject;

inline constexpr ViStatus VI_SUCCESS = 0;
inline constexpr ViStatus VI_SUCCESS_TERM_CHAR = 0x3FFF0005;
inline constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;

// Error codes have the top bit set; spelled through the unsigned value as the VISA documents list them.
constexpr ViStatus viError(std::uint32_t code) {
    return static_cast<ViStatus>(code);
}
inline constexpr ViStatus VI_ERROR_SYSTEM_ERROR = viError(0xBFFF0000u);
inline constexpr ViStatus VI_ERROR_INV_OBJECT = viError(0xBFFF000Eu);
inline constexpr ViStatus VI_ERROR_RSRC_LOCKED = viError(0xBFFF000Fu);
inline constexpr ViStatus VI_ERROR_RSRC_NFOUND = viError(0xBFFF0011u);
inline constexpr ViStatus VI_ERROR_INV_RSRC_NAME = viError(0xBFFF0012u);
inline constexpr ViStatus VI_ERROR_TMO = viError(0xBFFF0015u);
inline constexpr ViStatus VI_ERROR_IO = viError(0xBFFF003Eu);
inline constexpr ViStatus VI_ERROR_NLISTENERS = viError(0xBFFF005Fu);
inline constexpr ViStatus VI_ERROR_NSUP_OPER = viError(0xBFFF0067u);
inline constexpr ViStatus VI_ERROR_RSRC_BUSY = viError(0xBFFF0072u);
inline constexpr ViStatus VI_ERROR_CONN_LOST = viError(0xBFFF00A6u);

inline constexpr ViAttr VI_ATTR_SEND_END_EN = 0x3FFF0016;
inline constexpr ViAttr VI_ATTR_TERMCHAR = 0x3FFF0018;
inline constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001A;
inline constexpr ViAttr VI_ATTR_TERMCHAR_EN = 0x3FFF0038;

inline constexpr ViAccessMode VI_NO_LOCK = 0;
inline constexpr ViAttrState VI_TRUE = 1;

inline constexpr ViUInt16 VI_READ_BUF_DISCARD = 4;
inline constexpr ViUInt16 VI_IO_IN_BUF_DISCARD = 64;

// viFindRsrc and viFindNext write at most this many characters, terminator included.
inline constexpr std::size_t kFindBufferSize = 256;

// viStatusDesc writes at most this many characters, terminator included.
inline constexpr std::size_t kStatusDescriptionSize = 256;

extern "C" {
using ViOpenDefaultRMFn = ViStatus (*)(ViSession* resourceManager);
using ViOpenFn = ViStatus (*)(ViSession resourceManager, const char* name, ViAccessMode mode,
                              ViUInt32 openTimeoutMs, ViSession* session);
using ViSetAttributeFn = ViStatus (*)(ViObject object, ViAttr attribute, ViAttrState value);
using ViWriteFn = ViStatus (*)(ViSession session, const unsigned char* buffer, ViUInt32 count,
                               ViUInt32* written);
using ViReadFn = ViStatus (*)(ViSession session, unsigned char* buffer, ViUInt32 count, ViUInt32* read);
using ViFlushFn = ViStatus (*)(ViSession session, ViUInt16 mask);
using ViCloseFn = ViStatus (*)(ViObject object);
using ViFindRsrcFn = ViStatus (*)(ViSession resourceManager, const char* expression, ViFindList* list,
                                  ViUInt32* count, char description[]);
using ViFindNextFn = ViStatus (*)(ViFindList list, char description[]);
using ViStatusDescFn = ViStatus (*)(ViObject object, ViStatus status, char description[]);
}

} // namespace visa::capi
