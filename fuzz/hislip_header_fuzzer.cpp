// Feeds arbitrary bytes to the HiSLIP side of the LAN codec: the header decoder, the size payload
// and the stream assembler fed in two pieces. DecodeError is the only allowed refusal, and no
// message may come out larger than the assembler's limit.

#include "protocol/DecodeError.h"
#include "protocol/HislipMessage.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace protocol;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const HislipHeader header = decodeHislipHeader(bytes);
        describeHislipFatal(header.control);
        describeHislipError(header.control);
    } catch (const DecodeError&) {
    }
    try {
        decodeHislipSize(bytes.substr(0, 8));
    } catch (const DecodeError&) {
    }

    constexpr std::uint64_t kLimit = 1024;
    const std::size_t cut = size == 0 ? 0 : data[size - 1] % (size + 1);
    HislipAssembler assembler(kLimit);
    try {
        assembler.feed(bytes.substr(0, cut));
        assembler.feed(bytes.substr(cut));
    } catch (const DecodeError&) {
    }
    while (auto message = assembler.next()) {
        if (message->payload.size() != message->header.payloadLength || message->payload.size() > kLimit) {
            __builtin_trap();
        }
    }
    return 0;
}
