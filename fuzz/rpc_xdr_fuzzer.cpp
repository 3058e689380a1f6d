// Feeds arbitrary bytes through the RPC side of the LAN codec as a peer could send them: record
// marking first (split at a point taken from the input), then every call, reply and VXI-11 decoder
// on each record. Decoders may refuse input with DecodeError; anything else is a finding.

#include "protocol/DecodeError.h"
#include "protocol/RecordMarking.h"
#include "protocol/RpcMessage.h"
#include "protocol/Vxi11Messages.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

template <typename F> void tolerate(F&& decode) {
    try {
        decode();
    } catch (const protocol::DecodeError&) {
    }
}

void decodeEverything(std::string_view record) {
    using namespace protocol;
    tolerate([&] { decodeCall(record); });
    tolerate([&] {
        const RpcReply reply = decodeReply(record);
        describe(reply);
        tolerate([&] { CreateLinkResp::decode(reply.results); });
        tolerate([&] { DeviceWriteResp::decode(reply.results); });
        tolerate([&] { DeviceReadResp::decode(reply.results); });
        tolerate([&] { DeviceReadStbResp::decode(reply.results); });
        tolerate([&] { decodePort(reply.results); });
        tolerate([&] { decodeDeviceError(reply.results); });
    });
    tolerate([&] { CreateLinkParms::decode(record); });
    tolerate([&] { DeviceWriteParms::decode(record); });
    tolerate([&] { DeviceReadParms::decode(record); });
    tolerate([&] { DeviceGenericParms::decode(record); });
    tolerate([&] { DeviceLockParms::decode(record); });
    tolerate([&] { PortmapMapping::decode(record); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    decodeEverything(bytes);

    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    protocol::RecordAssembler assembler(4096);
    try {
        assembler.feed(bytes.substr(0, cut));
        assembler.feed(bytes.substr(cut));
    } catch (const protocol::DecodeError&) {
    }
    while (auto record = assembler.nextRecord()) {
        if (record->size() > 4096) {
            __builtin_trap(); // the assembler let through more than its limit
        }
        decodeEverything(*record);
    }
    return 0;
}
