// Feeds arbitrary bytes to everything that reads mDNS from the network: the DNS decoder, the finder's
// gathering of answers (as a response) and the simulator's responder (as a query). Decoding may refuse
// with DecodeError; anything else is a finding, and so is a decoded message that does not encode back to
// bytes that decode to the same encoding.

#include "protocol/DecodeError.h"
#include "protocol/DnsMessage.h"
#include "sim/MdnsZone.h"
#include "visa/MdnsAnswerSet.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

const sim::MdnsZone& zone() {
    static const sim::MdnsZone instance({
        {"Korvane MF-7 SIM0001", "_scpi-raw._tcp.local", 5025, {"Manufacturer=Korvane", "Model=MF-7"}},
        {"Korvane MF-7 SIM0001", "_hislip._tcp.local", 4880, {"SubAddress=hislip0"}},
    });
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace protocol;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    DnsMessage message;
    try {
        message = decodeDnsMessage(bytes);
    } catch (const DecodeError&) {
        return 0;
    }
    const std::string encoded = encodeDnsMessage(message);
    if (encodeDnsMessage(decodeDnsMessage(encoded)) != encoded) {
        __builtin_trap(); // what the decoder accepted does not survive a round trip
    }

    visa::MdnsAnswerSet answers;
    answers.add(message, "10.201.1.10");
    answers.takeFollowUpQuestions();
    answers.takeResources(true);

    const bool legacy = size > 0 && (data[0] & 1) != 0;
    for (const DnsMessage& answer : zone().answer(message, {10, 201, 1, 10}, legacy)) {
        if (encodeDnsMessage(answer).size() > kMaxDnsMessage) {
            __builtin_trap(); // the responder's answers must fit the receivers' limit
        }
    }
    return 0;
}
