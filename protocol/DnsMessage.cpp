#include "protocol/DnsMessage.h"

#include "protocol/DecodeError.h"

#include <algorithm>
#include <stdexcept>

namespace protocol {

namespace {

constexpr std::size_t kMaxLabel = 63;
constexpr std::size_t kMaxName = 255; // wire bytes, with the length bytes and the root
constexpr std::size_t kMaxTxtString = 255;
constexpr std::uint16_t kTopBit = 0x8000;
constexpr std::size_t kHeaderSize = 12;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void put16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xFF));
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value >> 16));
    put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
}

std::vector<std::string> splitName(std::string_view name) {
    std::vector<std::string> labels;
    std::string label;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) {
            label.push_back(name[++i]);
        } else if (name[i] == '.') {
            labels.push_back(std::move(label));
            label.clear();
        } else {
            label.push_back(name[i]);
        }
    }
    if (!label.empty() || (!name.empty() && name.back() != '.')) {
        labels.push_back(std::move(label));
    }
    return labels;
}

std::string escapeLabel(std::string_view label) {
    std::string text;
    for (const char c : label) {
        if (c == '.' || c == '\\') {
            text.push_back('\\');
        }
        text.push_back(c);
    }
    return text;
}

void putName(std::string& out, std::string_view name) {
    std::size_t length = 1;
    for (const std::string& label : splitName(name)) {
        if (label.empty() || label.size() > kMaxLabel) {
            throw std::invalid_argument("DNS name \"" + std::string(name) +
                                        "\" has an empty or over-long label");
        }
        length += label.size() + 1;
        out.push_back(static_cast<char>(label.size()));
        out += label;
    }
    if (length > kMaxName) {
        throw std::invalid_argument("DNS name \"" + std::string(name) + "\" is longer than 255 bytes");
    }
    out.push_back('\0');
}

std::string recordData(const DnsRecord& record) {
    std::string data;
    switch (record.type) {
    case kDnsPtr:
        putName(data, record.target);
        break;
    case kDnsSrv:
        put16(data, record.priority);
        put16(data, record.weight);
        put16(data, record.port);
        putName(data, record.target);
        break;
    case kDnsTxt:
        for (const std::string& item : record.text) {
            if (item.size() > kMaxTxtString) {
                throw std::invalid_argument("TXT string longer than 255 bytes");
            }
            data.push_back(static_cast<char>(item.size()));
            data += item;
        }
        if (record.text.empty()) {
            data.push_back('\0'); // a TXT record holds at least one (empty) string
        }
        break;
    case kDnsA:
        data.assign(record.address.begin(), record.address.end());
        break;
    default:
        data = record.data;
    }
    return data;
}

// Questions and records start alike: the name, the type, and the class, whose top bit mDNS gives a
// meaning of its own (classFlag: unicast response on a question, cache flush on a record).
template <class Entry> void putEntryStart(std::string& out, const Entry& entry, bool Entry::*classFlag) {
    putName(out, entry.name);
    put16(out, entry.type);
    put16(out, static_cast<std::uint16_t>(entry.dnsClass | (entry.*classFlag ? kTopBit : 0)));
}

void putRecord(std::string& out, const DnsRecord& record) {
    putEntryStart(out, record, &DnsRecord::cacheFlush);
    put32(out, record.ttl);
    const std::string data = recordData(record);
    if (data.size() > 0xFFFF) {
        throw std::invalid_argument("DNS record data longer than 65535 bytes");
    }
    put16(out, static_cast<std::uint16_t>(data.size()));
    out += data;
}

// Reads a message it does not own, each read checked against the end it is given.
class DnsReader {
public:
    explicit DnsReader(std::string_view message) : message_(message) {}

    std::uint8_t get8(std::size_t& at, std::size_t end) const {
        need(at, 1, end);
        return static_cast<std::uint8_t>(message_[at++]);
    }
    std::uint16_t get16(std::size_t& at, std::size_t end) const {
        const std::uint16_t high = get8(at, end);
        return static_cast<std::uint16_t>((high << 8) | get8(at, end));
    }
    std::uint32_t get32(std::size_t& at, std::size_t end) const {
        const std::uint32_t high = get16(at, end);
        return (high << 16) | get16(at, end);
    }
    std::string_view bytes(std::size_t& at, std::size_t count, std::size_t end) const {
        need(at, count, end);
        const std::string_view part = message_.substr(at, count);
        at += count;
        return part;
    }

    // A name at `at`, whose own bytes end before `end`. Every compression pointer must point before the
    // label that holds it, so following them always ends; the name's length is bounded as it grows.
    std::string name(std::size_t& at, std::size_t end) const {
        std::string text;
        std::size_t length = 1;
        std::size_t position = at;
        std::size_t limit = end;
        bool jumped = false;
        for (;;) {
            const std::size_t labelStart = position;
            const std::uint8_t size = get8(position, limit);
            if (size == 0) {
                break;
            }
            if ((size & 0xC0) == 0xC0) {
                const std::size_t pointer =
                    static_cast<std::size_t>(size & 0x3F) << 8 | get8(position, limit);
                if (pointer >= labelStart) {
                    throw DecodeError("DNS name compression pointer that does not point back");
                }
                if (!jumped) {
                    at = position;
                    jumped = true;
                }
                position = pointer;
                limit = labelStart; // what a pointer leads to lies wholly before it
                continue;
            }
            if ((size & 0xC0) != 0) {
                throw DecodeError("DNS label of an unknown kind");
            }
            length += size + 1u;
            if (length > kMaxName) {
                throw DecodeError("DNS name longer than 255 bytes");
            }
            if (!text.empty()) {
                text.push_back('.');
            }
            text += escapeLabel(bytes(position, size, limit));
        }
        if (!jumped) {
            at = position;
        }
        return text;
    }

private:
    void need(std::size_t at, std::size_t count, std::size_t end) const {
        if (end > message_.size() || at > end || count > end - at) {
            throw DecodeError("DNS message ends inside a field");
        }
    }

    std::string_view message_;
};

template <class Entry>
Entry getEntryStart(const DnsReader& in, std::size_t& at, std::size_t end, bool Entry::*classFlag) {
    Entry entry;
    entry.name = in.name(at, end);
    entry.type = in.get16(at, end);
    const std::uint16_t dnsClass = in.get16(at, end);
    entry.dnsClass = dnsClass & ~kTopBit;
    entry.*classFlag = (dnsClass & kTopBit) != 0;
    return entry;
}

DnsRecord getRecord(const DnsReader& in, std::size_t& at, std::size_t end) {
    DnsRecord record = getEntryStart(in, at, end, &DnsRecord::cacheFlush);
    record.ttl = in.get32(at, end);
    const std::uint16_t length = in.get16(at, end);
    const std::size_t dataEnd = at + length;
    if (dataEnd > end) {
        throw DecodeError("DNS record data runs past the message");
    }
    std::size_t position = at;
    switch (record.type) {
    case kDnsPtr:
        record.target = in.name(position, dataEnd);
        break;
    case kDnsSrv:
        record.priority = in.get16(position, dataEnd);
        record.weight = in.get16(position, dataEnd);
        record.port = in.get16(position, dataEnd);
        record.target = in.name(position, dataEnd);
        break;
    case kDnsTxt:
        while (position < dataEnd) {
            const std::uint8_t size = in.get8(position, dataEnd);
            record.text.emplace_back(in.bytes(position, size, dataEnd));
        }
        break;
    case kDnsA:
        if (length != record.address.size()) {
            throw DecodeError("DNS A record that is not 4 bytes long");
        }
        std::copy_n(in.bytes(position, 4, dataEnd).begin(), 4, record.address.begin());
        break;
    default:
        record.data = std::string(in.bytes(position, length, dataEnd));
    }
    if (position != dataEnd) {
        throw DecodeError("DNS record data longer than its contents");
    }
    at = dataEnd;
    return record;
}

} // namespace

std::string encodeDnsMessage(const DnsMessage& message) {
    std::string out;
    put16(out, message.id);
    put16(out, message.flags);
    for (const std::size_t count : {message.questions.size(), message.answers.size(),
                                    message.authorities.size(), message.additionals.size()}) {
        if (count > 0xFFFF) {
            throw std::invalid_argument("more than 65535 entries in one DNS section");
        }
        put16(out, static_cast<std::uint16_t>(count));
    }
    for (const DnsQuestion& question : message.questions) {
        putEntryStart(out, question, &DnsQuestion::unicastResponse);
    }
    for (const auto* section : {&message.answers, &message.authorities, &message.additionals}) {
        for (const DnsRecord& record : *section) {
            putRecord(out, record);
        }
    }
    return out;
}

DnsMessage decodeDnsMessage(std::string_view bytes) {
    if (bytes.size() > kMaxDnsMessage) {
        throw DecodeError("DNS message longer than " + std::to_string(kMaxDnsMessage) + " bytes");
    }
    const DnsReader in(bytes);
    const std::size_t end = bytes.size();
    std::size_t at = 0;
    DnsMessage message;
    message.id = in.get16(at, end);
    message.flags = in.get16(at, end);
    std::array<std::uint16_t, 4> counts{};
    for (std::uint16_t& count : counts) {
        count = in.get16(at, end);
    }
    static_assert(kHeaderSize == 12);
    // Each entry takes bytes, so the counts cannot make the loops below outrun the message.
    for (std::uint16_t i = 0; i < counts[0]; ++i) {
        message.questions.push_back(getEntryStart(in, at, end, &DnsQuestion::unicastResponse));
    }
    std::vector<DnsRecord>* sections[] = {&message.answers, &message.authorities, &message.additionals};
    for (std::size_t s = 0; s < 3; ++s) {
        for (std::uint16_t i = 0; i < counts[s + 1]; ++i) {
            sections[s]->push_back(getRecord(in, at, end));
        }
    }
    return message;
}

bool sameDnsName(std::string_view a, std::string_view b) {
    if (!a.empty() && a.back() == '.') {
        a.remove_suffix(1);
    }
    if (!b.empty() && b.back() == '.') {
        b.remove_suffix(1);
    }
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string firstDnsLabel(std::string_view name) {
    const std::vector<std::string> labels = splitName(name);
    return labels.empty() ? std::string() : labels.front();
}

std::string prependDnsLabel(std::string_view label, std::string_view name) {
    return escapeLabel(label) + "." + std::string(name);
}

std::string txtValue(const std::vector<std::string>& text, std::string_view key) {
    for (const std::string& item : text) {
        const auto equals = item.find('=');
        if (equals != std::string::npos && sameDnsName(std::string_view(item).substr(0, equals), key) &&
            equals == key.size()) {
            return item.substr(equals + 1);
        }
    }
    return {};
}

} // namespace protocol
